// The buttons of the main window: the powder list (calcul), the single-crystal list
// (calcul_monocristaux) and the Bragg equation (calcul_bragg), on the one CalculationState.
// They make the window's checks in the window's order and call the pure calculations of
// calc/lines.hpp; a front end without the window's fields calls those directly.
//
// How the window calls them:
//   1. Run its own input validation first; it stores the cell, λ and the θ limits (always θ)
//      in state.cell, state.lambda, state.thetaMin, state.thetaMax; state.system is the
//      chosen system. (For the Bragg equation, readBraggIndices comes before the validation.)
//   2. Pass the selected space-group item (none when nothing is selected) and the position
//      file of the system, e.g. findPositionFile(*state.system).value_or(positionFileName(...)).
//   3. If outcome.conditionsRead, the 'Conditions' list becomes outcome.conditionDisplay
//      (the group's entry was read, even when a later check refused the calculation).
//   4. If outcome.warning is not empty, show it in the warning box: state.list is then exactly
//      what it was before the call, so the screen keeps the previous lines and count.
//      Otherwise state.list is the new list: show resultLines(state.list, angle mode) and
//      countText(state.list.size()) (calc/display.hpp).
//   The Miller-limit texts are passed by reference: empty ones become "0", as the fields must.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calc/lines.hpp"
#include "calc/state.hpp"

namespace obrin {

// The group of the selection, read from its position file once and kept until the selection
// changes, even if the file goes away meanwhile. Without one the handlers read the file on
// every call. A keeper serves one set of position files: forget() when they change.
class GroupKeeper {
 public:
  const GroupSelection& select(const std::filesystem::path& file, CrystalSystem system, const std::string& name);
  void forget() { key_.reset(); }

 private:
  struct Key {
    CrystalSystem system;
    std::string name;
    bool operator==(const Key&) const = default;
  };
  std::optional<Key> key_;
  GroupSelection selection_;
};

struct CalcOutcome {
  std::string warning;                        // empty: state.list holds the new list
  std::string structureNote;                  // the structure was dropped, and why (dropStructureIfLeft)
  bool conditionsRead = false;                // the group's entry was read and decoded
  std::vector<std::string> conditionDisplay;  // then: the 'Conditions' lines
  bool ok() const { return warning.empty(); }
};

// The powder list, between state.thetaMin and state.thetaMax ("Calc." of the powder panel).
// mode is the current item of the mode list: SingleCrystal takes the single-crystal d window
// (and checks millerTexts); Powder, Bragg and None take the powder window. A lower limit of 0
// is stored as 0.01.
CalcOutcome calcul(CalculationState& state, const std::optional<std::string>& selectedGroup,
                   const std::filesystem::path& positionFile, CalcMode mode,
                   std::array<std::string, 6>& millerTexts, GroupKeeper* keeper = nullptr);

// Every allowed reflection inside the Miller limits (Hmin Hmax Kmin Kmax Lmin Lmax) with
// d ≥ 1.01 λ / 2, multiplicity 1, by decreasing d.
CalcOutcome calcul_monocristaux(CalculationState& state, const std::optional<std::string>& selectedGroup,
                                const std::filesystem::path& positionFile,
                                std::array<std::string, 6>& millerTexts, GroupKeeper* keeper = nullptr);

// ---- Bragg equation --------------------------------------------------------------------------

struct BraggIndices {
  enum class Status { Nothing, Bad, Ok } status = Status::Nothing;
  int h = 0, k = 0, l = 0;
  std::string warning;  // "Bad Miller indices" when status is Bad
};
// The h, k, l fields, before the input validation: all three empty or 0 0 0 → Nothing (no
// message); empty fields become "0"; a field that does not read, or an index beyond ±32767,
// is Bad.
BraggIndices readBraggIndices(std::array<std::string, 3>& hklTexts);

struct BraggOutcome {
  std::string warning;  // "Error on cell parameters", "Not possible reflection", ...
  std::string structureNote;
  bool conditionsRead = false;
  std::vector<std::string> conditionDisplay;
  bool shown = false;      // the d and angle fields receive dText and angleText
  double d = 0, theta = 0;
  std::string dText;       // 8:4
  std::string angleText;   // 8:3 (θ or 2θ), + " F" when forbidden
  bool forbidden = false;  // grey angle text and the "( F = forbidden)" label
};
// After readBraggIndices gave Ok and the input validation passed. Indices beyond ±32767 give
// "Bad Miller indices" here too.
BraggOutcome calcul_bragg(CalculationState& state, const std::optional<std::string>& selectedGroup,
                          const std::filesystem::path& positionFile, AngleMode angleMode, int h, int k, int l,
                          GroupKeeper* keeper = nullptr);

// ---- Imported structures --------------------------------------------------------------------

// The atoms, the structure's own group and what they came with leave the state.
void dropStructure(CalculationState& state);
// A structure whose source is recorded belongs to that crystal: when the state's system, the
// cell or the selected group (the group list's item, none when nothing is selected) is another
// one, the structure is dropped and the note names it and what changed. Empty when it stays.
// The three calculations call it first with the validated cell; the window calls it with the
// cell its fields show as soon as the user leaves one.
std::string dropStructureIfLeft(CalculationState& state, const UnitCell& cell,
                                const std::optional<std::string>& selectedGroup);

// ---- Parts shared with the tests and the command-line program -------------------------------

// A whole number: optional leading blanks, optional sign, digits, nothing after; none beyond int.
std::optional<int> parseWholeNumber(std::string_view text);

// The six limits, empties made "0"; refused with "Miller indices error" (a field not a whole number,
// all six 0, or a minimum above its maximum).
Result<std::array<int, 6>> readMillerLimits(std::array<std::string, 6>& texts);

}  // namespace obrin
