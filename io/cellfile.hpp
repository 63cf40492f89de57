// Cell files (".ind"): one cell with its space group, Bragg-angle limits and wavelength, in
// five text lines; the crystal system is not stored and is derived from the cell on import.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/state.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin {

struct CellFileData {
  std::string title;   // line 1, kept as read and written back unchanged
  std::string symbol;  // the space-group symbol
  UnitCell cell;
  double thetaMin = 0, thetaMax = 0;  // degrees, always θ
  double lambda = 0;                  // Å
};

// What an export writes: the title of the last import, the symbol, and the validated input.
CellFileData cellFileData(const CalculationState& state, std::string title, std::string symbol);

// The five lines, each ending in "\n".
std::string cellFileText(const CellFileData& data);

// Refused on any fault, with a warning naming the file and the line: nothing is half-read.
// fileName only names the file in the warnings.
Result<CellFileData> parseCellFile(std::string_view text, std::string_view fileName);
Result<CellFileData> readCellFile(const std::filesystem::path& file);
// The name an export writes to: ".ind" is appended when the name does not contain ".ind"
// anywhere. Ask before overwriting under this name, not under the one typed: "x" must not
// replace an existing "x.ind" unasked.
std::string withCellFileExtension(std::string_view name);

// A failed write leaves any previous file untouched.
Result<void> writeCellFile(const std::filesystem::path& file, const CellFileData& data);

// ---- Crystal system of an imported cell ----------------------------------------------------

// The system the cell's values point to, by the tests below (the last that holds wins); none
// when a·b·c·alpha·beta·gamma is 0 or no test holds.
std::optional<CrystalSystem> systemFromCell(const UnitCell& cell);

// Whether the cell keeps the ties the system imposes on it (b = a, angles of 90, ...), with
// the tolerances of systemFromCell.
bool cellFitsSystem(const UnitCell& cell, CrystalSystem system);

// Answers whether the position file of the system lists the symbol.
using SymbolListedFn = std::function<bool(CrystalSystem, const std::string& symbol)>;

// systemFromCell, unless that system's position file does not list the symbol: then the first
// system, in list order, whose file lists it and whose ties the cell keeps. A cell alone cannot
// tell an orthorhombic cell with a = b from a tetragonal one, or a triclinic cell with a = b
// from nothing at all; the symbol can.
std::optional<CrystalSystem> deriveCrystalSystem(const UnitCell& cell, const std::string& symbol,
                                                 const SymbolListedFn& symbolListed);

// Answers from the position files found in the directories (findPositionFile); a file that is
// missing or cannot be read lists nothing.
SymbolListedFn symbolListedInPositionFiles(std::vector<std::filesystem::path> dirs);

// The entry of a group list that names the symbol: the exact one, else the only one equal
// ignoring letter case (the file keeps symbols in upper case whatever the list spells).
std::optional<std::string> findListedSymbol(const std::vector<std::string>& names,
                                            std::string_view symbol);

// ---- The input fields after an import ------------------------------------------------------

struct CellFieldTexts {
  std::array<std::string, 6> cell;  // a, b, c, alpha, beta, gamma
  std::string lambda;
  std::string thetaMin, thetaMax;   // what the two angle-limit fields show
  std::array<bool, 6> greyed{};     // cell fields the system fixes; all false without a system
  int systemRow = -1;               // row of the system list; -1 without a system
};

// The angle-limit fields show 2θ in 2θ mode, since the input check halves what they hold.
CellFieldTexts cellFieldTexts(const CellFileData& data, std::optional<CrystalSystem> system,
                              AngleMode angleMode = AngleMode::Theta);

// Cell fields (a, b, c, alpha, beta, gamma) greyed after an import of that system.
std::array<bool, 6> greyedCellFields(CrystalSystem system);

// ---- A whole import ------------------------------------------------------------------------

// Everything an import changes, worked out before the window changes anything.
struct CellImport {
  std::optional<CellFileData> data;          // none: the file was refused, see error
  std::optional<CrystalSystem> system;       // none when neither cell nor symbol places it
  std::vector<std::string> groupNames;       // the system's group list
  std::optional<std::size_t> selectedGroup;  // the entry naming the file's symbol
  CellFieldTexts fields;
  std::string error;    // the file was refused: the window keeps everything it holds
  std::string warning;  // the group list could not be read in full; the rest of the import stands
};
CellImport importCellFile(const std::filesystem::path& file,
                          const std::vector<std::filesystem::path>& positionFileDirs,
                          AngleMode angleMode = AngleMode::Theta);

}  // namespace obrin
