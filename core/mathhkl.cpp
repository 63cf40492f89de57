#include "core/mathhkl.hpp"

#include <cmath>

namespace obrin {

double arccos(double x) { return std::atan2(std::sqrt(1 - x * x), x); }
double arcsin(double x) { return std::atan2(x, std::sqrt(1 - x * x)); }

namespace {
Failure noCell() { return fail("Error on cell parameters"); }
}  // namespace

Result<Metric> computeMetric(const UnitCell& cell) {
  for (double v : cell.params())
    if (!std::isfinite(v)) return noCell();
  if (cell.a <= 0 || cell.b <= 0 || cell.c <= 0) return noCell();
  for (double angle : {cell.alpha, cell.beta, cell.gamma})
    if (angle <= 0 || angle >= 180) return noCell();

  const double ca = std::cos(cell.alpha * kRadPerDeg), sa = std::sin(cell.alpha * kRadPerDeg);
  const double cb = std::cos(cell.beta * kRadPerDeg), sb = std::sin(cell.beta * kRadPerDeg);
  const double cg = std::cos(cell.gamma * kRadPerDeg), sg = std::sin(cell.gamma * kRadPerDeg);

  const double G = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
  // The conversion factor is not exactly π/180, so a flat cell leaves G a rounding residue
  // (about 1e-11 for an angle of 180) instead of 0.
  if (!(G > kMinMetricDeterminant)) return noCell();
  const double V = cell.a * cell.b * cell.c * std::sqrt(G);
  // Lengths whose volume leaves the range of a double have no usable reciprocal cell.
  if (!std::isfinite(V) || !(V > 0)) return noCell();

  Metric m;
  m.volume = V;
  UnitCell& r = m.reciprocal;
  r.a = cell.b * cell.c * sa / V;
  r.b = cell.c * cell.a * sb / V;
  r.c = cell.a * cell.b * sg / V;
  // Reciprocal angles: Giacovazzo et al., Fundamentals of Crystallography, eq. 2.16.
  const double cas = (cb * cg - ca) / (sb * sg);
  const double cbs = (cg * ca - cb) / (sg * sa);
  const double cgs = (ca * cb - cg) / (sa * sb);
  const double as = arccos(cas), bs = arccos(cbs), gs = arccos(cgs);
  r.alpha = as * kDegPerRad;
  r.beta = bs * kDegPerRad;
  r.gamma = gs * kDegPerRad;

  m.B = {{{r.a, r.b * cgs, r.c * cbs},
          {0, r.b * std::sin(gs), -r.c * std::sin(bs) * ca},
          {0, 0, 1 / cell.c}}};

  for (const auto& row : m.B)
    for (double v : row)
      if (!std::isfinite(v)) return noCell();
  for (double v : r.params())
    if (!std::isfinite(v)) return noCell();
  if (!(r.a > 0 && r.b > 0 && r.c > 0)) return noCell();
  return m;
}

double dSpacing(const Mat3& B, int h, int k, int l) {
  double s2 = 0;
  for (const auto& row : B) {
    const double x = row[0] * h + row[1] * k + row[2] * l;
    s2 += x * x;
  }
  return s2 > 0 ? 1 / std::sqrt(s2) : 0;
}

std::optional<double> braggTheta(double lambda, double d) {
  if (!(d > 0)) return std::nullopt;
  const double s = lambda / (2 * d);
  if (!std::isfinite(s) || s > 1 || s < -1) return std::nullopt;
  return arcsin(s) * kDegPerRad;
}

}  // namespace obrin
