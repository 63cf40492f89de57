#include "calc/profile.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/limits.hpp"
#include "core/mathhkl.hpp"

namespace obrin {
namespace {

// A peak is summed out to this many FWHM on either side: the Lorentzian tail beyond holds
// under 1 % of its area.
constexpr double kPeakReach = 30;

// Pseudo-Voigt of unit area, full width h at half maximum (Thompson, Cox & Hastings 1987,
// J. Appl. Cryst. 20, 79).
double pseudoVoigt(double x, double h, double eta) {
  const double g = 2 * std::sqrt(std::numbers::ln2 / std::numbers::pi) / h * std::exp(-4 * std::numbers::ln2 * x * x / (h * h));
  const double l = 2 / (std::numbers::pi * h) / (1 + 4 * x * x / (h * h));
  return eta * l + (1 - eta) * g;
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
    if (!(h > 0) || !std::isfinite(line.intensity) || line.intensity == 0) continue;
    const double lo = std::max(0.0, std::ceil((line.twoTheta - kPeakReach * h - from) / shape.step));
    const double hi = std::min(double(n) - 1, std::floor((line.twoTheta + kPeakReach * h - from) / shape.step));
    for (double i = lo; i <= hi; ++i) {
      auto& p = points[static_cast<std::size_t>(i)];
      p.intensity += line.intensity * pseudoVoigt(p.twoTheta - line.twoTheta, h, eta);
    }
  }
  return points;
}

}  // namespace obrin
