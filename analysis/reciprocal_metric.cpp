#include "analysis/reciprocal_metric.hpp"

#include "analysis/metric_matrix.hpp"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace obrin {

namespace {

constexpr double kRad = std::numbers::pi / 180;

using Mat = Eigen::Matrix3d;

using metric_matrix::directMetric;

// ∂G/∂p for each of the six parameters, angles per degree.
std::array<Mat, 6> directMetricDerivatives(const UnitCell& c) {
  const double ca = std::cos(c.alpha * kRad), cb = std::cos(c.beta * kRad), cg = std::cos(c.gamma * kRad);
  const double sa = std::sin(c.alpha * kRad), sb = std::sin(c.beta * kRad), sg = std::sin(c.gamma * kRad);
  std::array<Mat, 6> d;
  for (Mat& m : d) m.setZero();
  d[kA] << 2 * c.a, c.b * cg, c.c * cb, c.b * cg, 0, 0, c.c * cb, 0, 0;
  d[kB] << 0, c.a * cg, 0, c.a * cg, 2 * c.b, c.c * ca, 0, c.c * ca, 0;
  d[kC] << 0, 0, c.a * cb, 0, 0, c.b * ca, c.a * cb, c.b * ca, 2 * c.c;
  d[kAlpha](1, 2) = d[kAlpha](2, 1) = -c.b * c.c * sa * kRad;
  d[kBeta](0, 2) = d[kBeta](2, 0) = -c.a * c.c * sb * kRad;
  d[kGamma](0, 1) = d[kGamma](1, 0) = -c.a * c.b * sg * kRad;
  return d;
}

ReciprocalMetric coefficients(const Mat& gs) {
  return {gs(0, 0), gs(1, 1), gs(2, 2), 2 * gs(1, 2), 2 * gs(0, 2), 2 * gs(0, 1)};
}

Mat matrixOf(const ReciprocalMetric& m) {
  Mat gs;
  gs << m[0], m[5] / 2, m[4] / 2, m[5] / 2, m[1], m[3] / 2, m[4] / 2, m[3] / 2, m[2];
  return gs;
}

// The inverse of a metric, refused where it is not positive definite.
bool positiveInverse(const Mat& g, Mat& inverse) {
  if (!g.allFinite()) return false;
  const Eigen::LLT<Mat> llt(g);
  if (llt.info() != Eigen::Success) return false;
  inverse = llt.solve(Mat::Identity());
  return inverse.allFinite();
}

Failure noCell() { return fail("Error on cell parameters"); }

}  // namespace

std::array<double, 6> metricTerms(const Miller& m) {
  const double h = m.h, k = m.k, l = m.l;
  return {h * h, k * k, l * l, k * l, h * l, h * k};
}

Result<ReciprocalMetric> reciprocalMetric(const UnitCell& cell) {
  if (!computeMetric(cell)) return noCell();
  Mat gs;
  if (!positiveInverse(directMetric(cell), gs)) return noCell();
  return coefficients(gs);
}

Result<UnitCell> cellFromReciprocalMetric(const ReciprocalMetric& metric) {
  Mat g;
  if (!positiveInverse(matrixOf(metric), g))
    return fail("The reciprocal metric is not positive definite: no cell has these spacings");
  const UnitCell c = metric_matrix::cellOfMetric(g);
  if (!computeMetric(c)) return fail("The reciprocal metric is not positive definite: no cell has these spacings");
  return c;
}

double inverseSquareSpacing(const ReciprocalMetric& metric, const Miller& hkl) {
  const auto t = metricTerms(hkl);
  double q = 0;
  for (int i = 0; i < 6; ++i) q += metric[i] * t[i];
  return q;
}

double spacingOf(const ReciprocalMetric& metric, const Miller& hkl) {
  const double q = inverseSquareSpacing(metric, hkl);
  return q > 0 ? 1 / std::sqrt(q) : 0;
}

Result<std::array<ReciprocalMetric, 6>> reciprocalMetricDerivatives(const UnitCell& cell) {
  if (!computeMetric(cell)) return noCell();
  Mat gs;
  if (!positiveInverse(directMetric(cell), gs)) return noCell();
  // ∂G⁻¹ = −G⁻¹ ∂G G⁻¹.
  const auto dg = directMetricDerivatives(cell);
  std::array<ReciprocalMetric, 6> out;
  for (int p = 0; p < 6; ++p) out[p] = coefficients(-gs * dg[p] * gs);
  return out;
}

double cellVolume(const UnitCell& cell) {
  if (!computeMetric(cell)) return 0;
  const double det = directMetric(cell).determinant();
  return det > 0 ? std::sqrt(det) : 0;
}

}  // namespace obrin
