// The seven crystal systems in one table: how the program names them, which position file
// holds their groups, and what each imposes on the six cell parameters. Input locking, the
// cell-file rules, the command line's free parameters and the tie messages all read it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/limits.hpp"

namespace obrin {

// In the order of the system list.
enum class CrystalSystem { Cubic, Tetragonal, Orthorhombic, Hexagonal, Rhombohedral, Monoclinic, Triclinic };
inline constexpr int kSystemCount = 7;

// The six cell parameters in their order: a, b, c, alpha, beta, gamma.
enum CellParameter { kA, kB, kC, kAlpha, kBeta, kGamma };
inline constexpr std::array<std::string_view, 6> kCellParameterNames = {"a", "b", "c", "alpha", "beta", "gamma"};

// What a system does with one cell parameter.
struct CellParameterRule {
  enum Kind { Free, Tied, Fixed } kind = Free;
  int source = 0;     // Tied: the parameter it equals (the one before it in the chain)
  int degrees = 0;    // Fixed: the angle it takes
  bool shownFromCell = false;  // Free angle rewritten from the stored cell when the system is chosen
};

struct CrystalSystemInfo {
  CrystalSystem system;
  std::string_view code;      // four letters, as the files and the command line write them
  std::string_view listName;  // the spelling is the program's own
  char fileLetter;            // of the position file: "Q" for tetragonal, "T" being triclinic
  std::array<CellParameterRule, 6> cell;
  double lengthTolerance;     // Å: tied lengths closer than this are equal
  double angleTolerance;      // degrees: tied angles closer than this are equal
};

namespace detail {
inline constexpr CellParameterRule F{};
inline constexpr CellParameterRule FS{CellParameterRule::Free, 0, 0, true};
constexpr CellParameterRule tie(int source) { return {CellParameterRule::Tied, source, 0, false}; }
constexpr CellParameterRule fix(int degrees) { return {CellParameterRule::Fixed, 0, degrees, false}; }
}  // namespace detail

inline constexpr std::array<CrystalSystemInfo, kSystemCount> kCrystalSystems = [] {
  using namespace detail;
  constexpr double lt = kCellLengthTolerance, at = kCellAngleTolerance;
  using S = CrystalSystem;
  return std::array<CrystalSystemInfo, kSystemCount>{{
      {S::Cubic, "CUBI", "Cubic", 'C', {F, tie(kA), tie(kB), fix(90), fix(90), fix(90)}, lt, at},
      {S::Tetragonal, "TETR", "Tetragonal", 'Q', {F, tie(kA), F, fix(90), fix(90), fix(90)}, lt, at},
      {S::Orthorhombic, "ORTH", "Othorhombic", 'O', {F, F, F, fix(90), fix(90), fix(90)}, lt, at},
      {S::Hexagonal, "HEXA", "Hexagonal", 'H', {F, tie(kA), F, fix(90), fix(90), fix(120)}, lt, at},
      {S::Rhombohedral, "RHOM", "Rhomboedral", 'R', {F, tie(kA), tie(kB), FS, tie(kAlpha), tie(kBeta)}, lt, at},
      {S::Monoclinic, "MONO", "Monoclinic", 'M', {F, F, F, fix(90), FS, fix(90)}, lt, at},
      {S::Triclinic, "TRIC", "Triclinic", 'T', {F, F, F, F, F, F}, lt, at},
  }};
}();

constexpr int systemIndex(CrystalSystem s) { return static_cast<int>(s); }
constexpr const CrystalSystemInfo& systemInfo(CrystalSystem s) { return kCrystalSystems[systemIndex(s)]; }
constexpr std::string_view systemCode(CrystalSystem s) { return systemInfo(s).code; }
constexpr std::string_view systemName(CrystalSystem s) { return systemInfo(s).listName; }
std::optional<CrystalSystem> systemFromCode(std::string_view code);  // exact four-letter code
std::optional<CrystalSystem> systemFromIndex(int row);                // 0..6, else none

// The parameters the user types for the system, in cell order.
std::vector<int> freeCellParameters(CrystalSystem system);
// Parameters the system fixes or ties to another: their fields are read-only.
std::array<bool, 6> lockedCellParameters(CrystalSystem system);
// The free parameter whose value a tied one takes, following the chain (c = b = a).
int tieRoot(CrystalSystem system, int parameter);
// The parameters that take the value typed into a free one (none for a locked one).
std::vector<int> tiedTo(CrystalSystem system, int parameter);
// What the system imposes, as the messages say it: "b = c = a, alpha = beta = gamma = 90".
std::string cellTiesText(CrystalSystem system);

}  // namespace obrin
