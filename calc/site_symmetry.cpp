#include "calc/site_symmetry.hpp"

#include <algorithm>
#include <cmath>

#include "core/limits.hpp"

namespace obrin {
namespace {

using Vec3 = std::array<double, 3>;

Vec3 image(const SymmetryOperator& op, const Vec3& x) {
  Vec3 y{};
  for (int i = 0; i < 3; ++i) y[i] = op.m[i][0] * x[0] + op.m[i][1] * x[1] + op.m[i][2] * x[2] + op.m[i][3];
  return y;
}

double wrap(double t) {
  t -= std::floor(t);
  return t >= 1.0 ? 0.0 : t;  // −1e-17 wraps to 1 − 1e-17, which rounds to 1
}

double squaredLength(const Mat3& G, const Vec3& v) {
  double s = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s += v[i] * G[i][j] * v[j];
  return s;
}

}  // namespace

Mat3 directMetric(const UnitCell& cell) {
  const double ca = std::cos(cell.alpha * kRadPerDeg), cb = std::cos(cell.beta * kRadPerDeg),
               cg = std::cos(cell.gamma * kRadPerDeg);
  return {{{cell.a * cell.a, cell.a * cell.b * cg, cell.a * cell.c * cb},
           {cell.a * cell.b * cg, cell.b * cell.b, cell.b * cell.c * ca},
           {cell.a * cell.c * cb, cell.b * cell.c * ca, cell.c * cell.c}}};
}

double latticeDistance(const Mat3& G, const Vec3& a, const Vec3& b) {
  Vec3 d{};
  for (int i = 0; i < 3; ++i) d[i] = b[i] - a[i] - std::round(b[i] - a[i]);
  return std::sqrt(std::max(0.0, squaredLength(G, d)));
}

SitePlacement placeOnSite(const Vec3& xyz, const std::vector<SymmetryOperator>& ops, const Mat3& G) {
  SitePlacement p;
  Vec3 sum{};
  for (std::size_t k = 0; k < ops.size(); ++k) {
    const Vec3 y = image(ops[k], xyz);
    Vec3 shift{}, d{};
    for (int i = 0; i < 3; ++i) {
      shift[i] = -std::round(y[i] - xyz[i]);
      d[i] = y[i] + shift[i] - xyz[i];
    }
    if (!(squaredLength(G, d) < kSameSiteDistance * kSameSiteDistance)) continue;
    p.stabiliser.push_back(static_cast<int>(k));
    p.shift.push_back(shift);
    for (int i = 0; i < 3; ++i) sum[i] += y[i] + shift[i];
  }
  if (p.stabiliser.empty()) {  // not a group without the identity; the atom stands alone
    p.xyz = xyz;
    return p;
  }
  const double n = static_cast<double>(p.stabiliser.size());
  for (int i = 0; i < 3; ++i) p.xyz[i] = sum[i] / n;
  p.multiplicity = static_cast<double>(ops.size()) / n;
  return p;
}

std::map<std::string, double> cellContent(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                          const UnitCell& cell) {
  const Mat3 G = directMetric(cell);
  std::map<std::string, double> content;
  for (const AtomSite& a : atoms) content[a.element] += a.occupancy * placeOnSite(a.xyz, ops, G).multiplicity;
  return content;
}

std::vector<Vec3> cellPositions(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                const UnitCell& cell) {
  const Mat3 G = directMetric(cell);
  std::vector<Vec3> out;
  for (const AtomSite& a : atoms) {
    const SitePlacement site = placeOnSite(a.xyz, ops, G);
    const std::size_t first = out.size();
    for (const SymmetryOperator& op : ops) {
      Vec3 y = image(op, site.xyz);
      for (double& t : y) t = wrap(t);
      const bool seen = std::any_of(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                                    [&](const Vec3& q) { return latticeDistance(G, q, y) < kSameSiteDistance; });
      if (!seen) out.push_back(y);
    }
  }
  return out;
}

std::optional<double> shortestContact(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                      const UnitCell& cell, std::size_t maxAtoms) {
  double expected = 0;
  const Mat3 G = directMetric(cell);
  for (const AtomSite& a : atoms) expected += placeOnSite(a.xyz, ops, G).multiplicity;
  if (expected > static_cast<double>(maxAtoms)) return std::nullopt;
  const std::vector<Vec3> all = cellPositions(atoms, ops, cell);
  if (all.size() < 2) return std::nullopt;
  double shortest = INFINITY;
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size(); ++j) shortest = std::min(shortest, latticeDistance(G, all[i], all[j]));
  return shortest;
}

}  // namespace obrin
