// The width of a pattern's peaks: measured on its strongest peaks before any fit, and as the
// search goes, followed from the peaks fitted with their own shape.
#pragma once

#include <utility>
#include <vector>

namespace obrin {

// The FWHM in points of the strongest peaks above a background, each at its top's index,
// walking down each peak to half its height; empty where no peak stands out enough.
std::vector<std::pair<int, double>> measuredWidths(const std::vector<double>& net, const std::vector<double>& variance);

// The FWHM of the pattern's peaks as a function of 2θ, from the widths of its strong peaks:
// the median of the nearest few. The median passes over an unresolved overlap, which measures
// far wider than one peak, and the local reach follows the widths as they grow with the angle
// without a model of the diffractometer.
class WidthTrend {
 public:
  explicit WidthTrend(double constant = 0) : constant_(constant) {}
  // 2θ and FWHM of each peak, degrees.
  explicit WidthTrend(std::vector<std::pair<double, double>> peaks);

  double operator()(double twoTheta) const;

 private:
  std::vector<std::pair<double, double>> peaks_;  // sorted by 2θ
  double constant_ = 0;  // with too few peaks: their median
};

}  // namespace obrin
