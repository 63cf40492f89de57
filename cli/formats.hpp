// The texts obrin-cli prints for a calculation: the window's result lines, tab-separated rows,
// JSON, and the Bragg-equation result.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "calc/calculation.hpp"
#include "calc/state.hpp"

namespace obrin::cli {

// The list formats are written to out a block at a time: a long list never stands whole in
// memory as text.

// The result-list lines, then the count line.
void writeList(std::ostream& out, const ReflectionList& list, AngleMode angle, bool intensities = false);

// A header, then h k l d angle multiplicity a row; d and the angle with every digit of their
// stored value, or with the given number of decimals.
void writeTsv(std::ostream& out, const ReflectionList& list, AngleMode angle, std::optional<int> decimals,
              bool intensities = false);

// Numbers as JSON: every digit needed to read back the same value.
std::string jsonNumber(double x);
std::string jsonString(std::string_view s);

// The calculation of state in mode (powder or single crystal) as JSON.
void writeJson(std::ostream& out, const CalculationState& state, CalcMode mode, AngleMode angle);

// The Bragg equation: h k l (3 each), then the d and angle texts of the window; a second line
// "( F = forbidden)" when the reflection is forbidden.
std::string braggListText(int h, int k, int l, const BraggOutcome& outcome);
std::string braggJsonText(const CalculationState& state, AngleMode angle, int h, int k, int l,
                          const BraggOutcome& outcome);

// The first line of the report and the spreadsheet text: the local date and time,
// "dd/mm/yyyy hh:mm:ss".
std::string localDateTimeText();

}  // namespace obrin::cli
