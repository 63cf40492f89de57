// What powder, single, bragg and plot read from the command line before they calculate: the
// system and its group list, the group, the inputs as texts, and the cell file or structure
// they come from. The calculations' own validation reads the texts with its own messages.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calc/inputs.hpp"
#include "calc/state.hpp"
#include "cli/options.hpp"

namespace obrin::cli {

struct Request {
  InputTexts texts;
  std::optional<CrystalSystem> system;
  std::vector<std::string> groupNames;
  std::optional<std::string> group;  // the entry of the group list
  std::filesystem::path positionFile;
  std::string title;                 // of the imported cell file or data block
  bool wholeCell = false;            // the cell was given as six values
};

// Why a command stops before it calculates: the message, and the exit status (1 the input was
// refused, 2 the command line is wrong).
struct Refusal {
  std::string message;
  int status = 1;
};

// The group list of the system's position file; its fault goes to the error output, and the
// names read before it stay listed.
std::vector<std::string> loadGroupList(const std::filesystem::path& file);

// The request from the cell file or the CIF and the command line; a structure goes into the
// state with the monochromator angle. Notes that do not stop the command (a damaged entry of a
// group list, a setting the position files do not hold) go to the error output.
std::optional<Refusal> readRequest(const Options& options, AngleMode angle, CalculationState& state, Request& request);

// The calculations' validation, then the ties of the system for a cell given whole.
std::optional<Refusal> validateRequest(const Request& request, AngleMode angle, CalculationState& state);

}  // namespace obrin::cli
