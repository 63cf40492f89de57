// The results report "indic.out": the printable form of the last calculation.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/cell_refinement.hpp"
#include "calc/state.hpp"

namespace obrin {

inline constexpr const char* kReportFileName = "indic.out";

// What only the main window knows when a report or the spreadsheet text is written.
struct MainWindowChoices {
  CalcMode mode = CalcMode::Powder;
  AngleMode angle = AngleMode::Theta;
  std::array<std::string, 6> millerLimitTexts;  // Hmin Hmax Kmin Kmax Lmin Lmax, as typed
  // The cell refinement the cell of the list came from, written after the reflections.
  std::optional<CellRefinement> refinement;
};

// Asked at the moment of writing, since the user may change them at any time.
using MainWindowChoicesProvider = std::function<MainWindowChoices()>;

struct ReportInputs {
  std::string dateTime;  // the first line, in the user's short date and long time format
  MainWindowChoices choices;
  int decimals = kDefaultDecimals;  // of the angle column
};

// A whole number as typed into a field: blanks around it, an optional sign; the syntax of the
// calculations' limit fields (parseWholeNumber) once the blanks are gone.
std::optional<int> readWholeNumber(std::string_view text);

// The decimals of the angle column; refused for a text that is not a whole number from 0 to
// kMaxReportDecimals.
Result<int> readDecimals(std::string_view text);

// The six Miller-index limit texts as integers; refused, naming the field, when one does not read.
Result<std::array<int, 6>> readReportMillerLimits(const std::array<std::string, 6>& texts);

// The limit lines both the report and the spreadsheet text carry, each ending in "\n": the
// angle limits in powder mode, the Miller-index limits in single-crystal mode, else nothing.
std::string angleLimitLines(double thetaMin, double thetaMax, AngleMode angle);
std::string millerLimitLines(const std::array<int, 6>& limits);

// The text of "indic.out"; an error only when, in single-crystal mode, a Miller-index limit
// text does not read.
Result<std::string> resultsReportText(const CalculationState& state, const ReportInputs& inputs);

// Writes "indic.out" into the folder; refused with "Cannot write indic.out: ...", the previous
// report then left as it was.
Result<void> WriteResultsReport(const CalculationState& state, const ReportInputs& inputs,
                               const std::filesystem::path& folder);

}  // namespace obrin
