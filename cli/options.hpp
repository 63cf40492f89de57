// The command line of obrin-cli: the command, its words and its options, read into one value
// before anything is loaded or calculated. Values stay texts: the numbers go through the same
// checks as the window's fields, with the same messages.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace obrin::cli {

enum class Command { Help, Version, Groups, Conditions, Powder, Single, Bragg, Plot, Pattern, Peaks, Refine, Rank, Index };
enum class OutputFormat { List, Tsv, Json, Report, Excel, Cell };

struct Options {
  Command command = Command::Help;
  std::vector<std::string> words;            // SYSTEM, then GROUP
  std::vector<std::string> cell;             // one to six texts; empty when --cell is absent
  std::optional<std::string> lambda;         // a number or a wavelength-table row name
  std::optional<std::array<std::string, 2>> theta;
  bool twoTheta = false;
  std::optional<std::array<std::string, 6>> limits;  // Hmin Hmax Kmin Kmax Lmin Lmax
  std::optional<std::array<std::string, 3>> hkl;
  std::optional<std::string> from;           // a cell file
  std::optional<std::string> cif;            // a crystal structure
  std::optional<std::string> block;          // its data block
  std::optional<std::string> monochromator;  // 2θ of the monochromator, degrees
  OutputFormat format = OutputFormat::List;
  std::optional<std::string> decimals;
  std::optional<std::string> dataDir;
  // plot and pattern: the measured pattern, then the picture (texts checked by the plot).
  std::optional<std::string> pattern;
  std::optional<std::string> scan;  // which scan of the pattern's file, from 1
  std::optional<std::string> axis, ka2, zero, output, size;
  std::optional<std::vector<std::string>> profile;  // plot: U V W, or none given for the default
  // peaks (and plot --peaks): the 2θ range searched and the minimum significance.
  std::optional<std::array<std::string, 2>> range;
  std::optional<std::string> minSignificance;
  bool peaks = false;  // plot: mark the peaks of the measured pattern
  // refine: the peaks from a peak list, or found in the pattern (--pattern); what is refined
  // besides the cell; the matching tolerance (degrees 2θ).
  std::optional<std::string> peakFile;
  bool refineZero = false;
  std::optional<std::string> displacement;  // the goniometer radius given, or empty for the default
  std::optional<std::string> tolerance;
  // rank: the impurity peaks a class may leave unexplained; every system the cell's metric
  // allows instead of SYSTEM's alone.
  std::optional<std::string> impurities;
  bool allSystems = false;
  // index: the limits of the search (--tolerance and --impurities above too), and the crystal
  // systems tried as codes separated by commas.
  std::optional<std::string> lines, maxVolume, zeroRange, systems;
};

// args: the arguments after the program name. Refused with what is wrong with the command line
// (a usage fault, exit status 2).
Result<Options> parseCommandLine(const std::vector<std::string>& args);

std::optional<OutputFormat> formatFromName(std::string_view name);
std::string_view formatName(OutputFormat format);

// The synopsis printed with a usage fault, and the whole help of --help.
std::string usageText();
std::string helpText();

}  // namespace obrin::cli
