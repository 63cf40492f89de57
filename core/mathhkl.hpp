// Crystal systems, the unit cell, its reciprocal cell and the orthogonalising matrix B,
// d-spacings and Bragg angles.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/crystal_system.hpp"
#include "core/limits.hpp"
#include "core/result.hpp"

namespace obrin {

// The program converts angles with these factors, not with 180/π: every published list of
// this program was computed with them.
inline constexpr double kDegPerRad = 57.2957;
inline constexpr double kRadPerDeg = 0.0174533167;

// a, b, c in Å; alpha, beta, gamma in degrees.
struct UnitCell {
  double a = 0, b = 0, c = 0, alpha = 0, beta = 0, gamma = 0;

  std::array<double, 6> params() const { return {a, b, c, alpha, beta, gamma}; }
  static UnitCell fromParams(const std::array<double, 6>& p) { return {p[0], p[1], p[2], p[3], p[4], p[5]}; }
  // The product the calculations test against 0 before anything else.
  double product() const { return a * b * c * alpha * beta * gamma; }
};

using Mat3 = std::array<std::array<double, 3>, 3>;

struct Metric {
  UnitCell reciprocal;  // a*, b*, c* in Å⁻¹, alpha*, beta*, gamma* in degrees
  Mat3 B{};             // Busing & Levy (1967), Acta Cryst. 22, 457, eq. 3
  double volume = 0;    // Å³
};

// Refused when the six values cannot form a cell: a length not above 0, an angle outside
// (0, 180), angles with G = 1 − cos²α − cos²β − cos²γ + 2 cosα cosβ cosγ ≤ 0 (to rounding),
// any value that is not finite, or lengths whose volume or reciprocal lengths a double cannot
// hold (beyond about 1e100 Å, below about 1e-100 Å).
// The failure is "Error on cell parameters".
Result<Metric> computeMetric(const UnitCell& cell);

// d = 1 / |B·(h k l)|; 0 for 0 0 0.
double dSpacing(const Mat3& B, int h, int k, int l);

// θ = arcsin(λ / 2d) in degrees; none when d ≤ 0 or λ / 2d is above 1 or not finite.
std::optional<double> braggTheta(double lambda, double d);

// arccos and arcsin through the two-argument arctangent, as the metric defines them.
double arccos(double x);
double arcsin(double x);

}  // namespace obrin
