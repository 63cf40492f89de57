#include "analysis/indexing_search.hpp"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>

#include "core/limits.hpp"

namespace obrin::indexing_search {

namespace {

constexpr double kRad = 3.14159265358979323846 / 180;
// Refitting rounds of a trial: the indexing usually settles in two.
constexpr int kFitRounds = 4;

double twoThetaOfQ(double q, double lambda) {
  const double s = lambda * std::sqrt(std::max(q, 0.0)) / 2;
  return s < 1 ? 2 * std::asin(s) / kRad : 180;
}

struct CalcLine {
  double q;
  Miller hkl;
};

// The lines of a metric up to qTop, one of each Friedel pair, Q ascending.
std::vector<CalcLine> metricLines(const ReciprocalMetric& metric, const UnitCell& cell, double qTop) {
  std::vector<CalcLine> out;
  forEachIndexUpTo(cell, qTop, [&](const Miller& m) {
    const double q = inverseSquareSpacing(metric, m);
    if (q > 0 && q <= qTop) out.push_back({q, m});
  });
  std::sort(out.begin(), out.end(), [](const CalcLine& x, const CalcLine& y) { return x.q < y.q; });
  return out;
}

// The calculated line nearest in 2θ to a true 2θ.
const CalcLine* nearestLine(const std::vector<CalcLine>& calc, double q) {
  if (calc.empty()) return nullptr;
  auto it = std::lower_bound(calc.begin(), calc.end(), q, [](const CalcLine& c, double v) { return c.q < v; });
  if (it == calc.end()) return &calc.back();
  if (it == calc.begin()) return &*it;
  return (q - std::prev(it)->q < it->q - q) ? &*std::prev(it) : &*it;
}

struct Indexing {
  std::vector<const CalcLine*> line;  // null where unindexed
  int unindexed = 0;
  double sumDelta = 0;
};

Indexing indexLines(const SearchLines& lines, const std::vector<CalcLine>& calc, double zero, double tolerance) {
  Indexing ix;
  for (int i = 0; i < lines.size(); ++i) {
    const double tt = lines.twoTheta[i] - zero;
    const CalcLine* c = nearestLine(calc, lines.q(tt));
    const double delta = c ? std::abs(tt - twoThetaOfQ(c->q, lines.lambda)) : 1e9;
    if (delta <= tolerance) {
      ix.line.push_back(c);
      ix.sumDelta += delta;
    } else {
      ix.line.push_back(nullptr);
      ++ix.unindexed;
    }
  }
  return ix;
}

// One linear least-squares step: the family's parameters and a change of the zero, weighted
// so that the residuals are in degrees 2θ.
bool fitStep(Family family, const SearchLines& lines, const Indexing& ix, std::array<double, 6>& p, double& zero) {
  const int n = parameterCount(family);
  const bool withZero = lines.zeroRange > 0;
  const int unknowns = n + (withZero ? 1 : 0);
  const int rows = lines.size() - ix.unindexed;
  if (rows < unknowns + 1) return false;
  Eigen::MatrixXd m(rows, unknowns);
  Eigen::VectorXd y(rows);
  int r = 0;
  for (int i = 0; i < lines.size(); ++i) {
    if (!ix.line[i]) continue;
    const double tt = lines.twoTheta[i] - zero;
    const double s = lines.slope(tt);
    if (s <= 0) return false;
    const auto t = familyTerms(family, ix.line[i]->hkl);
    for (int j = 0; j < n; ++j) m(r, j) = t[j] / s;
    if (withZero) m(r, n) = 1;  // Q(2θ − zero − dz) ≈ Q(2θ − zero) − s dz
    y(r) = lines.q(tt) / s;
    ++r;
  }
  const Eigen::VectorXd x = m.colPivHouseholderQr().solve(y);
  if (!x.allFinite()) return false;
  for (int j = 0; j < n; ++j) p[j] = x(j);
  if (withZero) zero = std::clamp(zero + x(n), -lines.zeroRange, lines.zeroRange);
  return true;
}

}  // namespace

double SearchLines::q(double tt) const {
  if (!(tt > 0 && tt < 180)) return 0;
  const double s = std::sin(tt * kRad / 2);
  return 4 * s * s / (lambda * lambda);
}

double SearchLines::slope(double tt) const {
  // d/d(2θ) of 4 sin²θ / λ² = (2 / λ²) sin 2θ, per radian of 2θ.
  return 2 * std::sin(tt * kRad) / (lambda * lambda) * kRad;
}

double SearchLines::top() const {
  return twoTheta.empty() ? 0 : q(std::min(twoTheta.back() + zeroRange + tolerance, 179.999));
}

int parameterCount(Family family) {
  switch (family) {
    case Family::Cubic: return 1;
    case Family::Tetragonal:
    case Family::Hexagonal: return 2;
    case Family::Orthorhombic: return 3;
    case Family::Monoclinic: return 4;
    case Family::Triclinic: return 6;
  }
  return 0;
}

std::array<double, 6> familyTerms(Family family, const Miller& m) {
  const double h = m.h, k = m.k, l = m.l;
  switch (family) {
    case Family::Cubic: return {h * h + k * k + l * l};
    case Family::Tetragonal: return {h * h + k * k, l * l};
    case Family::Hexagonal: return {h * h + h * k + k * k, l * l};
    case Family::Orthorhombic: return {h * h, k * k, l * l};
    case Family::Monoclinic: return {h * h, k * k, l * l, h * l};
    case Family::Triclinic: return metricTerms(m);
  }
  return {};
}

ReciprocalMetric familyMetric(Family family, const std::array<double, 6>& p) {
  switch (family) {
    case Family::Cubic: return {p[0], p[0], p[0], 0, 0, 0};
    case Family::Tetragonal: return {p[0], p[0], p[1], 0, 0, 0};
    case Family::Hexagonal: return {p[0], p[0], p[1], 0, 0, p[0]};
    case Family::Orthorhombic: return {p[0], p[1], p[2], 0, 0, 0};
    case Family::Monoclinic: return {p[0], p[1], p[2], 0, p[3], 0};
    case Family::Triclinic: return p;
  }
  return {};
}

std::array<double, 6> familyParameters(Family family, const ReciprocalMetric& g) {
  switch (family) {
    case Family::Cubic: return {g[0]};
    case Family::Tetragonal:
    case Family::Hexagonal: return {g[0], g[2]};
    case Family::Orthorhombic: return {g[0], g[1], g[2]};
    case Family::Monoclinic: return {g[0], g[1], g[2], g[4]};
    case Family::Triclinic: return g;
  }
  return {};
}

std::optional<Trial> fitTrial(Family family, const SearchLines& lines, const ReciprocalMetric& guess, double zero,
                              double windowTolerance) {
  std::array<double, 6> p = familyParameters(family, guess);
  const double qTop = lines.top();
  Indexing ix;
  std::vector<CalcLine> calc;
  for (int round = 0; round <= kFitRounds; ++round) {
    const ReciprocalMetric metric = familyMetric(family, p);
    const auto cell = cellFromReciprocalMetric(metric);
    if (!cell || cellVolume(*cell) > lines.maxVolume * (1 + kLatticeLengthTolerance)) return std::nullopt;
    calc = metricLines(metric, *cell, qTop);
    // The wide window of the guess first, the search's own tolerance once the fit has settled.
    const double tol = round < kFitRounds / 2 ? windowTolerance : lines.tolerance;
    Indexing next = indexLines(lines, calc, zero, tol);
    if (round == kFitRounds) {
      ix = std::move(next);
      break;
    }
    if (next.unindexed > lines.impurities + (tol > lines.tolerance ? 2 : 0)) return std::nullopt;
    ix = std::move(next);
    if (!fitStep(family, lines, ix, p, zero)) return std::nullopt;
  }
  if (ix.unindexed > lines.impurities) return std::nullopt;
  Trial t;
  t.family = family;
  t.metric = familyMetric(family, p);
  t.zero = zero;
  t.unindexed = ix.unindexed;
  t.meanDelta = ix.sumDelta / std::max(1, lines.size() - ix.unindexed);
  return t;
}

}  // namespace obrin::indexing_search
