#include "analysis/absence_weight.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
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

// The curve's value at x, linear between its points; none outside it.
std::optional<double> curveAt(const BackgroundCurve& c, double x) {
  if (c.x.size() != c.y.size() || c.x.empty() || x < c.x.front() || x > c.x.back()) return std::nullopt;
  const std::size_t i = static_cast<std::size_t>(std::lower_bound(c.x.begin(), c.x.end(), x) - c.x.begin());
  if (i == 0 || c.x[i] == x) return c.y[i];
  const double t = (x - c.x[i - 1]) / (c.x[i] - c.x[i - 1]);
  return c.y[i - 1] + t * (c.y[i] - c.y[i - 1]);
}

}  // namespace

AbsenceWeight absenceWeightFromPattern(std::shared_ptr<const MeasuredPattern> pattern, double fwhm,
                                       double minSignificance, std::shared_ptr<const BackgroundCurve> curve) {
  return [pattern = std::move(pattern), fwhm, minSignificance, curve = std::move(curve)](double twoTheta) {
    const MeasuredPattern& p = *pattern;
    if (p.x.size() != p.y.size() || !(fwhm > 0) || !(minSignificance > 0)) return 1.0;
    const std::size_t begin = firstAtOrAbove(p, twoTheta - fwhm), end = firstAtOrAbove(p, twoTheta + fwhm);
    if (end - begin < kMinSpotPoints) return 0.0;
    std::vector<double> background(end - begin, 0);
    const bool onCurve = curve && curveAt(*curve, p.x[begin]) && curveAt(*curve, p.x[end - 1]);
    if (onCurve) {
      for (std::size_t i = begin; i < end; ++i) background[i - begin] = *curveAt(*curve, p.x[i]);
    } else {
      // Both sides alike, so that a sloping background is met halfway.
      const std::size_t left = firstAtOrAbove(p, twoTheta - kBackgroundReach * fwhm);
      const std::size_t right = firstAtOrAbove(p, twoTheta + kBackgroundReach * fwhm);
      if (begin - left < kMinSpotPoints || right - end < kMinSpotPoints) return 0.0;
      std::vector<double> beside(p.y.begin() + static_cast<long>(left), p.y.begin() + static_cast<long>(begin));
      beside.insert(beside.end(), p.y.begin() + static_cast<long>(end), p.y.begin() + static_cast<long>(right));
      std::fill(background.begin(), background.end(), clippedMean(std::move(beside)));
    }
    // Weighted least squares of y − background = A·g(x) for the one parameter A.
    const double c = 4 * std::numbers::ln2 / (fwhm * fwhm);
    double sgy = 0, sgg = 0;
    for (std::size_t i = begin; i < end; ++i) {
      const double sigma = p.sigma.size() == p.y.size() && p.sigma[i] > 0 ? p.sigma[i] : std::sqrt(std::max(p.y[i], 1.0));
      const double g = std::exp(-c * (p.x[i] - twoTheta) * (p.x[i] - twoTheta));
      sgy += g * (p.y[i] - background[i - begin]) / (sigma * sigma);
      sgg += g * g / (sigma * sigma);
    }
    if (!(sgg > 0)) return 0.0;
    const double significance = sgy / std::sqrt(sgg);  // A / σ(A)
    const double weight = 1 - significance / minSignificance;
    return std::isfinite(weight) ? std::clamp(weight, 0.0, 1.0) : 0.0;
  };
}

}  // namespace obrin
