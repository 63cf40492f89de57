#include "analysis/line_position.hpp"

#include <cmath>

#include "core/mathhkl.hpp"

namespace obrin {

namespace {

// Δ2θ (degrees) of the displacement at a Bragg angle 2θ_B (degrees).
double displacementShift(const DiffractionGeometry& g, double braggTwoThetaDeg) {
  if (g.displacement == 0 || !(g.radius > 0)) return 0;
  return -2 * g.displacement * std::cos(braggTwoThetaDeg / 2 * kRadPerDeg) / g.radius * kDegPerRad;
}

}  // namespace

std::optional<double> observedTwoTheta(const DiffractionGeometry& g, double d) {
  const auto theta = braggTheta(g.lambda, d);
  if (!theta) return std::nullopt;
  return 2 * *theta + g.zero + displacementShift(g, 2 * *theta);
}

double braggTwoTheta(const DiffractionGeometry& g, double observed) {
  // The shift varies slowly with θ: a few fixed-point steps settle it far below any peak's s.u.
  double bragg = observed - g.zero;
  for (int i = 0; i < 4; ++i) bragg = observed - g.zero - displacementShift(g, bragg);
  return bragg;
}

double observedSpacing(const DiffractionGeometry& g, double observed) {
  const double s = std::sin(braggTwoTheta(g, observed) / 2 * kRadPerDeg);
  return s > 0 && g.lambda > 0 ? g.lambda / (2 * s) : 0;
}

}  // namespace obrin
