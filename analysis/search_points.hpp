// The points a peak search works on: those of the range searched in increasing 2θ, with the
// variance each is given, and small tools over such series.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/measured_pattern.hpp"

namespace obrin {

struct SearchPoints {
  std::vector<double> x, y, variance;
  double step = 0;  // median spacing, degrees 2θ
};

// The points between from and to (either none: no bound), sorted by 2θ, points that are not
// numbers left out; the variances from the file's σ or from counting statistics, made larger
// where the intensities scatter more than those say (or smaller, for intensities that are not
// counts). None when the points cannot hold a peak; notes receives why, and what was done to
// the variances.
std::optional<SearchPoints> searchPoints(const MeasuredPattern& pattern, std::optional<double> from,
                                         std::optional<double> to, std::vector<std::string>& notes);

// The mean over 2·half + 1 points, fewer at the ends.
std::vector<double> movingAverage(const std::vector<double>& y, int half);
// The upper median (0 for none).
double median(std::vector<double> v);
// x with the given decimals, as the notes write numbers.
std::string fixedText(double x, int decimals);

}  // namespace obrin
