// What the pattern view does with a peak list, without a window: the fields of its peak
// search read as the window reads them, and which peaks and lines explain each other.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace obrin {

// A positive finite number; else refused naming the field and the text.
Result<double> readMinSignificance(std::string_view text);

// The 2θ range searched (degrees): an empty field leaves its end open; each end between 0 and
// 180, the first below the second.
struct SearchRange {
  std::optional<double> from, to;
};
Result<SearchRange> readSearchRange(std::string_view from, std::string_view to);

// Degrees 2θ, above 0 and at most kMaxPeakMatchTolerance.
Result<double> readPeakMatchTolerance(std::string_view text);

// A peak and a line closer than the tolerance (degrees 2θ) explain each other; a peak no line
// explains, or a line no peak explains, is what a cell misses. Angles that are not numbers
// explain nothing.
struct Explanation {
  std::vector<bool> peakExplained, lineExplained;  // in the order given
};
Explanation explainEachOther(std::span<const double> peaks, std::span<const double> lines, double tolerance);

}  // namespace obrin
