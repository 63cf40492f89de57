#include "analysis/peak.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace obrin {

void orderPeaks(std::vector<Peak>& peaks, std::optional<double> lambda) {
  std::stable_sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.twoTheta < b.twoTheta; });
  if (!lambda || !(*lambda > 0)) return;
  for (Peak& p : peaks) {
    const double s = std::sin(p.twoTheta * std::numbers::pi / 360.0);
    p.d = p.twoTheta > 0 && p.twoTheta < 180 && s > 0 ? *lambda / (2 * s) : 0;
  }
}

}  // namespace obrin
