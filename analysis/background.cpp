#include "analysis/background.hpp"

#include <algorithm>
#include <cmath>

namespace obrin {

namespace {

// The log-log-square-root operator: it compresses the range of the counts, so that the
// clipping treats a peak on a high background like one on a low background.
double lls(double y) { return std::log(std::log(std::sqrt(std::max(y, 0.0) + 1) + 1) + 1); }
double llsInverse(double v) {
  const double e = std::exp(std::exp(v) - 1) - 1;
  return e * e - 1;
}

}  // namespace

std::vector<double> snipBackground(const std::vector<double>& y, int halfWidth) {
  const int n = static_cast<int>(y.size());
  if (n == 0) return {};
  // Intensities below 0 (a file with the background already subtracted) are shifted up for the
  // transform and back afterwards.
  const double offset = std::min(0.0, *std::min_element(y.begin(), y.end()));
  std::vector<double> v(n), clipped(n);
  for (int i = 0; i < n; ++i) v[i] = lls(y[i] - offset);
  halfWidth = std::clamp(halfWidth, 1, std::max(1, (n - 1) / 2));
  for (int p = halfWidth; p >= 1; --p) {
    for (int i = 0; i < n; ++i) {
      // At the ends the window shrinks to what the pattern holds.
      const int q = std::min({p, i, n - 1 - i});
      if (q == 0) {
        clipped[i] = v[i];
        continue;
      }
      // The mean of the window's ends, or where a curve through four points of it passes,
      // whichever is higher: the second follows a curved background, which the first alone
      // would clip a little more at every window.
      double estimate = 0.5 * (v[i - q] + v[i + q]);
      if (q >= 2) {
        const int h = q / 2;
        estimate = std::max(estimate, (-v[i - q] + 4 * v[i - h] + 4 * v[i + h] - v[i + q]) / 6);
      }
      clipped[i] = std::min(v[i], estimate);
    }
    v.swap(clipped);
  }
  std::vector<double> background(n);
  for (int i = 0; i < n; ++i) background[i] = std::min(y[i], llsInverse(v[i]) + offset);
  return background;
}

}  // namespace obrin
