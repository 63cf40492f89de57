#include "calc/profile.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/limits.hpp"
#include "core/mathhkl.hpp"

namespace obrin {
namespace {

// The Lorentzian part of a peak is summed out to this many FWHM on either side and scaled up
// by the share of its area it holds there (97 %), so every peak keeps its area; the part left
// out is under 0.3 % of the peak's height.
constexpr double kPeakReach = 10;
// The Gaussian part has fallen below 1e-10 of its top at three FWHM.
constexpr double kGaussianReach = 3;

// Pseudo-Voigt of unit area, full width h at half maximum (Thompson, Cox & Hastings 1987,
// J. Appl. Cryst. 20, 79), each part with its own reach.
struct PeakShape {
  double lorentzTop, lorentzScale;  // η·2/(πh)/share, 4/h²
  double gaussTop, gaussScale;      // (1−η)·2√(ln2/π)/h, 4 ln2/h²
  double h;

  PeakShape(double width, double eta) : h(width) {
    const double share = 2 / std::numbers::pi * std::atan(2 * kPeakReach);
    lorentzTop = eta * 2 / (std::numbers::pi * h) / share;
    lorentzScale = 4 / (h * h);
    gaussTop = (1 - eta) * 2 * std::sqrt(std::numbers::ln2 / std::numbers::pi) / h;
    gaussScale = 4 * std::numbers::ln2 / (h * h);
  }
};

// Adds a peak of the given area at x0 to the points it reaches.
void addPeak(std::vector<ProfilePoint>& points, double from, double step, double x0, double area, const PeakShape& s) {
  const double last = double(points.size()) - 1;
  const double reach = kPeakReach * s.h, gaussReach = kGaussianReach * s.h;
  if (x0 + reach < from || x0 - reach > from + last * step) return;
  auto firstAt = [&](double x) { return static_cast<std::size_t>(std::clamp(std::ceil((x - from) / step), 0.0, last)); };
  auto lastAt = [&](double x) { return static_cast<std::size_t>(std::clamp(std::floor((x - from) / step), 0.0, last)); };
  const double lorentz = area * s.lorentzTop, gauss = area * s.gaussTop;
  for (std::size_t i = firstAt(x0 - reach), end = lastAt(x0 + reach); i <= end; ++i) {
    const double x = points[i].twoTheta - x0;
    points[i].intensity += lorentz / (1 + s.lorentzScale * x * x);
  }
  if (gauss == 0) return;
  // exp(−a x²) on evenly spaced x by products: from one point to the next the value changes by
  // exp(−a(2x·step + step²)), and that factor by exp(−2a·step²) — three exponentials a peak.
  const std::size_t first = firstAt(x0 - gaussReach), end = lastAt(x0 + gaussReach);
  if (first > end) return;
  const double a = s.gaussScale, x = points[first].twoTheta - x0;
  double value = gauss * std::exp(-a * x * x);
  double ratio = std::exp(-a * (2 * x * step + step * step));
  const double ratioChange = std::exp(-2 * a * step * step);
  for (std::size_t i = first; i <= end; ++i) {
    points[i].intensity += value;
    value *= ratio;
    ratio *= ratioChange;
  }
}

}  // namespace

double cagliotiFwhm(const ProfileShape& shape, double theta) {
  const double t = std::tan(theta * kRadPerDeg);
  const double h2 = shape.u * t * t + shape.v * t + shape.w;
  return h2 > 0 ? std::sqrt(h2) : 0.0;
}

std::vector<ProfilePoint> simulatedProfile(const std::vector<ProfileLine>& lines, double from, double to,
                                           const ProfileShape& shape) {
  std::vector<ProfilePoint> points;
  if (!(to > from) || !(shape.step > 0) || !std::isfinite(to - from)) return points;
  const double count = std::floor((to - from) / shape.step) + 1;
  const auto n = static_cast<std::size_t>(std::min(count, double(kMaxProfilePoints)));
  points.resize(n);
  for (std::size_t i = 0; i < n; ++i) points[i].twoTheta = from + double(i) * shape.step;
  const double eta = std::clamp(shape.eta, 0.0, 1.0);
  for (const ProfileLine& line : lines) {
    const double h = cagliotiFwhm(shape, line.twoTheta / 2);
    if (!(h > 0) || !std::isfinite(h) || !std::isfinite(line.intensity) || line.intensity == 0) continue;
    addPeak(points, from, shape.step, line.twoTheta, line.intensity, PeakShape(h, eta));
  }
  return points;
}

}  // namespace obrin
