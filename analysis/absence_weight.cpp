#include "analysis/absence_weight.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace obrin {

namespace {

// The background is read beside the spot, out to this many widths on either side: the mean of
// the counts with those more than kClipSigmas above it left out, a few times over, so that the
// peaks around pass over it while the noise averages out.
constexpr double kBackgroundReach = 6;
constexpr double kClipSigmas = 2;
constexpr int kClipRounds = 4;
// Fewer points than this under a peak's width, or beside it, tell nothing.
constexpr std::size_t kMinSpotPoints = 3;

double clippedMean(std::vector<double> y) {
  std::nth_element(y.begin(), y.begin() + static_cast<long>(y.size() / 2), y.end());
  double level = y[y.size() / 2];
  for (int round = 0; round < kClipRounds; ++round) {
    const double top = level + kClipSigmas * std::sqrt(std::max(level, 1.0));
    double sum = 0;
    int kept = 0;
    for (double v : y)
      if (v <= top) {
        sum += v;
        ++kept;
      }
    if (kept == 0) break;
    level = sum / kept;
  }
  return level;
}

std::size_t firstAtOrAbove(const MeasuredPattern& p, double x) {
  return static_cast<std::size_t>(std::lower_bound(p.x.begin(), p.x.end(), x) - p.x.begin());
}

}  // namespace

AbsenceWeight absenceWeightFromPattern(std::shared_ptr<const MeasuredPattern> pattern, double fwhm,
                                       double minSignificance) {
  return [pattern = std::move(pattern), fwhm, minSignificance](double twoTheta) {
    const MeasuredPattern& p = *pattern;
    if (p.x.size() != p.y.size() || !(fwhm > 0) || !(minSignificance > 0)) return 1.0;
    const std::size_t begin = firstAtOrAbove(p, twoTheta - fwhm), end = firstAtOrAbove(p, twoTheta + fwhm);
    if (end - begin < kMinSpotPoints) return 0.0;
    // Both sides alike, so that a sloping background is met halfway.
    const std::size_t left = firstAtOrAbove(p, twoTheta - kBackgroundReach * fwhm);
    const std::size_t right = firstAtOrAbove(p, twoTheta + kBackgroundReach * fwhm);
    if (begin - left < kMinSpotPoints || right - end < kMinSpotPoints) return 0.0;
    std::vector<double> beside(p.y.begin() + static_cast<long>(left), p.y.begin() + static_cast<long>(begin));
    beside.insert(beside.end(), p.y.begin() + static_cast<long>(end), p.y.begin() + static_cast<long>(right));
    const double background = clippedMean(std::move(beside));
    // Weighted least squares of y − background = A·g(x) for the one parameter A.
    const double c = 4 * std::numbers::ln2 / (fwhm * fwhm);
    double sgy = 0, sgg = 0;
    for (std::size_t i = begin; i < end; ++i) {
      const double sigma = p.sigma.size() == p.y.size() && p.sigma[i] > 0 ? p.sigma[i] : std::sqrt(std::max(p.y[i], 1.0));
      const double g = std::exp(-c * (p.x[i] - twoTheta) * (p.x[i] - twoTheta));
      sgy += g * (p.y[i] - background) / (sigma * sigma);
      sgg += g * g / (sigma * sigma);
    }
    if (!(sgg > 0)) return 0.0;
    const double significance = sgy / std::sqrt(sgg);  // A / σ(A)
    const double weight = 1 - significance / minSignificance;
    return std::isfinite(weight) ? std::clamp(weight, 0.0, 1.0) : 0.0;
  };
}

}  // namespace obrin
