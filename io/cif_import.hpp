// Crystal structures from CIF files: the cell, the symmetry operators and the atom sites of one
// data block, in plain types of the program (the CIF parser stays inside cif_import.cpp).
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/structure.hpp"
#include "core/mathhkl.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

// Where the operators came from, in the order they are preferred.
enum class SymmetrySource { Operators, Hall, HermannMauguin, Number };

struct CifStructure {
  std::string fileName;   // as given, for messages
  std::string blockName;  // without "data_"
  UnitCell cell;
  std::vector<SymmetryOperator> operators;  // the whole group, centring translations included
  SymmetrySource source = SymmetrySource::Operators;
  std::string hall;            // as written, or empty
  std::string hermannMauguin;  // as written, or empty
  int number = 0;              // International Tables number, 0 when not given, -1 when not 1 to 230
  std::vector<AtomSite> atoms;  // the asymmetric unit as listed
};

struct CifRead {
  std::optional<CifStructure> structure;  // none on any fault: nothing is half-imported
  std::string error;                      // names the file and what is missing or wrong
};

// The data blocks of a CIF that give a cell, in file order, for the choice of a block.
struct CifBlockList {
  std::vector<std::string> names;
  std::string error;
};

// One block of the CIF text: the named one, or the first with a cell when blockName is empty.
// fileName only names the file in the messages.
CifRead parseCif(std::string_view text, std::string_view fileName, std::string_view blockName = {});
CifRead readCif(const std::filesystem::path& file, std::string_view blockName = {});

CifBlockList parseCifBlockNames(std::string_view text, std::string_view fileName);
CifBlockList readCifBlockNames(const std::filesystem::path& file);

}  // namespace obrin
