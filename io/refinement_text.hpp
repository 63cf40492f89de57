// A cell refinement as the outputs write it: a text block for the report, the command line and
// the dialog, and tab-separated rows for the spreadsheet text.
#pragma once

#include <optional>
#include <string>

#include "analysis/cell_refinement.hpp"

namespace obrin {

// A value with its standard uncertainty in the crystallographer's notation: the s.u. to two
// digits when they start with 1, else to one, in parentheses after the value's last digit
// ("5.43102(4)", "160.193(12)"); without an s.u. (0) the value with `decimals` decimals.
std::string valueWithUncertainty(double value, double su, int decimals);

// How a parameter of the refined cell reads after "b = ": its value and s.u., the parameter
// it equals for one the system ties ("a"), the fixed angle for one it fixes ("90").
std::string cellParameterText(const CellRefinement& r, int parameter);
// The same for any cell of the system with its s.u.
std::string cellParameterText(CrystalSystem system, const UnitCell& cell, const UnitCell& su, int parameter);

// "M20 = 85.3 (⟨|ΔQ|⟩ = 0.00012 Å⁻², N_poss = 24)" or "F17 = 62.1 (0.0061°, 28)"; a figure
// that could not be formed reads "M20: none".
std::string deWolffText(const CellRefinement& r);
std::string smithSnyderText(const CellRefinement& r);
std::string deWolffText(const std::optional<FigureOfMerit>& m20);
std::string smithSnyderText(const std::optional<FigureOfMerit>& fN);

// The lines of the results: the cell and V with s.u., zero and displacement, warnings, the
// figures of merit and the per-line table; every line ends in "\n".
std::string refinementText(const CellRefinement& r);

// The same as tab-separated rows: parameter, value, s.u., then a header and a peak a row.
std::string refinementSpreadsheetText(const CellRefinement& r);

}  // namespace obrin
