// Lattices behind cells. The primitive and Niggli cells come from gemmi (Křivý & Gruber 1976),
// the symmetry of a lattice from the twofold axes of its reduced cell (Le Page 1982), its
// sub-lattices from the Hermite normal forms of their index. Everything is worked on the direct
// metric G (G_ij = a_i · a_j) in the basis of the reduced cell, with integer rows and matrices.
#include "analysis/lattice_reduction.hpp"
#include "analysis/metric_matrix.hpp"

// gemmi 0.5.7 defines GruberVector::selling() in its header without `inline`: under another name
// here, a second file of the program (or of its tests) may include the header too.
#define selling selling_in_lattice_reduction
#include <gemmi/cellred.hpp>
#undef selling

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <set>
#include <string_view>
#include <vector>

namespace obrin {

namespace {

constexpr double kRad = std::numbers::pi / 180;

using Mat = Eigen::Matrix3d;
using Vec = Eigen::Vector3d;
using IMat = Eigen::Matrix3i;
using IVec = Eigen::Vector3i;

Failure noCell() { return fail("Error on cell parameters"); }

using metric_matrix::directMetric;
UnitCell cellOf(const Mat& g) { return metric_matrix::cellOfMetric(g); }

// Gruber's (1973) vector: a·a, b·b, c·c, 2 b·c, 2 a·c, 2 a·b.
std::array<double, 6> g6Of(const Mat& g) {
  return {g(0, 0), g(1, 1), g(2, 2), 2 * g(1, 2), 2 * g(0, 2), 2 * g(0, 1)};
}

Mat metricOfG6(const std::array<double, 6>& v) {
  Mat g;
  g << v[0], v[5] / 2, v[4] / 2, v[5] / 2, v[1], v[3] / 2, v[4] / 2, v[3] / 2, v[2];
  return g;
}

Mat transformed(const Mat& g, const IMat& m) {
  const Mat md = m.cast<double>();
  return md.transpose() * g * md;
}

// Buerger's reduction takes a skewed basis to short vectors in few steps; Křivý & Gruber's (1976)
// steps then settle the boundary cases, comparing within a part of the cell's size
// (Grosse-Kunstleve, Sauter & Adams 2004) so that rounding cannot send them round in circles.
Mat niggliMetric(const Mat& g) {
  gemmi::GruberVector v(g6Of(g));
  v.buerger_reduce();
  v.niggli_reduce(kNiggliRelativeEpsilon * g.trace() / 3, kMaxNiggliSteps);
  return metricOfG6(v.parameters());
}

// --- Integer rows and matrices ---

int determinant(const IMat& m) {
  return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) - m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
         m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
}

// m⁻¹ = adjugate / det.
IMat adjugate(const IMat& m) {
  IMat t;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      t(i, j) = m(r0, c0) * m(r1, c1) - m(r0, c1) * m(r1, c0);
    }
  return t;
}

// The row divided by the divisor of its indices, its first index made positive.
IVec canonical(IVec v) {
  const int d = std::gcd(std::gcd(v[0], v[1]), v[2]);
  if (d > 1) v /= d;
  for (int i = 0; i < 3; ++i)
    if (v[i] != 0) return v[i] < 0 ? IVec(-v) : v;
  return v;
}

// Every row with indices up to n but the origin (both of ±).
std::vector<IVec> rowsUpTo(int n) {
  std::vector<IVec> out;
  for (int i = -n; i <= n; ++i)
    for (int j = -n; j <= n; ++j)
      for (int k = -n; k <= n; ++k)
        if (i != 0 || j != 0 || k != 0) out.emplace_back(i, j, k);
  return out;
}

// The primitive rows up to n, one of each ±.
std::vector<IVec> primitiveRows(int n) {
  std::vector<IVec> out;
  for (const IVec& v : rowsUpTo(n))
    if (canonical(v) == v) out.push_back(v);
  return out;
}

double dot(const Mat& g, const IVec& u, const IVec& v) { return u.cast<double>().dot(g * v.cast<double>()); }
double length(const Mat& g, const IVec& u) { return std::sqrt(dot(g, u, u)); }
double angle(const Mat& g, const IVec& u, const IVec& v) {
  return std::acos(std::clamp(dot(g, u, v) / (length(g, u) * length(g, v)), -1.0, 1.0)) / kRad;
}

// Directions of a symmetrised metric: exact to rounding.
bool perpendicular(const Mat& g, const IVec& u, const IVec& v) {
  return std::abs(dot(g, u, v)) < 1e-9 * length(g, u) * length(g, v);
}
bool sameLength(const Mat& g, const IVec& u, const IVec& v) {
  return std::abs(length(g, u) - length(g, v)) < 1e-9 * length(g, u);
}

// --- Twofold axes and the lattice's rotations (Le Page 1982) ---

struct Axis {
  IVec u;              // the direct row along it
  IVec h;              // the reciprocal row closest to it, u·h > 0
  double delta = 180;  // the angle between the two, degrees: 0 for an exact axis
};

// A twofold axis of a lattice is a direct row [uvw] parallel to a reciprocal row (hkl) with
// |uh + vk + wl| = 1 or 2; in a reduced cell both have indices of at most 2. The angle between
// them is taken in Cartesian axes from its sine and cosine: an arc cosine alone near 1 would
// miss an exact axis by a microdegree of rounding.
std::vector<Axis> twofoldAxes(const Mat& g, double tolerance) {
  const Eigen::LLT<Mat> cholesky(g);  // G = L Lᵀ: direct rows x = Lᵀ u, reciprocal rows y = L⁻¹ h
  if (cholesky.info() != Eigen::Success) return {};
  const Mat toDirect = cholesky.matrixU();
  const Mat toReciprocal = cholesky.matrixL().solve(Mat::Identity());
  const auto rows = primitiveRows(2);
  std::vector<Vec> reciprocal;
  for (const IVec& h : rows) reciprocal.push_back(toReciprocal * h.cast<double>());
  std::vector<Axis> out;
  for (const IVec& u : rows) {
    const Vec x = toDirect * u.cast<double>();
    Axis best{u, {}, 180};
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const IVec& h = rows[k];
      const int m = std::abs(u.dot(h));
      if (m != 1 && m != 2) continue;
      const double delta = std::atan2(x.cross(reciprocal[k]).norm(), m) / kRad;
      if (delta < best.delta) best = {u, u.dot(h) > 0 ? h : IVec(-h), delta};
    }
    if (best.delta <= tolerance) out.push_back(best);
  }
  return out;
}

// The rotation by 180° about u, on the rows: x → 2 u (h·x) / (u·h) − x.
IMat twofoldRotation(const Axis& a) {
  return IMat(2 * a.u * a.h.transpose() / a.u.dot(a.h)) - IMat::Identity();
}

// The rotations of the cubic holohedry, the most a lattice has.
constexpr std::size_t kMaxLatticeRotations = 24;

// The rotations the generators make; none when they make more than any lattice has.
std::optional<std::vector<IMat>> generatedGroup(const std::vector<IMat>& generators) {
  std::vector<IMat> group{IMat::Identity()};
  for (std::size_t i = 0; i < group.size(); ++i)
    for (const IMat& r : generators) {
      const IMat p = group[i] * r;
      if (std::find(group.begin(), group.end(), p) != group.end()) continue;
      if (group.size() == kMaxLatticeRotations) return std::nullopt;
      group.push_back(p);
    }
  return group;
}

struct Symmetry {
  std::vector<IMat> rotations{IMat::Identity()};
  std::vector<Axis> axes;  // its twofold axes
  double deviation = 0;    // the largest δ among them
};

// The group of the chosen axes when every twofold axis it holds is among the axes found: its
// metric then fits the reduced cell's within the tolerance.
std::optional<Symmetry> symmetryOf(const std::vector<Axis>& found, const std::vector<int>& chosen) {
  std::vector<IMat> generators;
  for (int i : chosen) generators.push_back(twofoldRotation(found[i]));
  auto group = generatedGroup(generators);
  if (!group) return std::nullopt;
  Symmetry s{*group, {}, 0};
  for (const IMat& r : s.rotations) {
    if (r.trace() != -1) continue;  // a twofold rotation: eigenvalues 1, −1, −1
    const IMat p = r + IMat::Identity();
    const int col = p.col(0).any() ? 0 : p.col(1).any() ? 1 : 2;
    const IVec u = canonical(p.col(col));
    const auto it = std::find_if(found.begin(), found.end(), [&](const Axis& a) { return a.u == u; });
    if (it == found.end()) return std::nullopt;
    s.axes.push_back(*it);
    s.deviation = std::max(s.deviation, it->delta);
  }
  return s;
}

// Every group the axes found generate, most rotations first, then the closest fit; the trivial
// group last. The rotations of each holohedry are generated by at most three of its twofold
// rotations (two for all but the cubic).
std::vector<Symmetry> symmetriesByRank(const std::vector<Axis>& found) {
  const int n = static_cast<int>(found.size());
  std::vector<Symmetry> out{Symmetry{}};
  auto consider = [&](const std::vector<int>& chosen) {
    auto s = symmetryOf(found, chosen);
    if (s) out.push_back(std::move(*s));
    return s.has_value();
  };
  for (int i = 0; i < n; ++i) consider({i});
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      if (!consider({i, j})) continue;  // a larger set holds the same misfit
      const std::size_t pairOrder = out.back().rotations.size();
      for (int k = j + 1; k < n; ++k)
        if (pairOrder < 12) consider({i, j, k});
    }
  std::stable_sort(out.begin(), out.end(), [](const Symmetry& x, const Symmetry& y) {
    if (x.rotations.size() != y.rotations.size()) return x.rotations.size() > y.rotations.size();
    return x.deviation < y.deviation;
  });
  return out;
}

// G averaged over the rotations: the metric of the lattice's symmetry closest to the measured.
Mat symmetrised(const Mat& g, const std::vector<IMat>& rotations) {
  Mat sum = Mat::Zero();
  for (const IMat& r : rotations) sum += transformed(g, r);
  return sum / static_cast<double>(rotations.size());
}

// --- Conventional cells ---

// The centring of the cell whose axes are the columns of m, det m > 0: the lattice points inside
// it, in fractions of its axes, are the reduced axes m⁻¹ e_i taken modulo 1. '?' for none of the
// centrings; 'r' for R on reverse axes.
char centringOf(const IMat& m) {
  const int d = determinant(m);
  if (d == 1) return 'P';
  if (d <= 0 || 12 % d != 0) return '?';
  const IMat t = adjugate(m);
  std::set<std::array<int, 3>> points;  // in twelfths
  for (int k0 = 0; k0 < d; ++k0)
    for (int k1 = 0; k1 < d; ++k1)
      for (int k2 = 0; k2 < d; ++k2) {
        const IVec v = k0 * t.col(0) + k1 * t.col(1) + k2 * t.col(2);
        std::array<int, 3> p{};
        for (int i = 0; i < 3; ++i) p[i] = ((v[i] % d + d) % d) * (12 / d);
        if (p != std::array<int, 3>{0, 0, 0}) points.insert(p);
      }
  using P = std::set<std::array<int, 3>>;
  static const std::array<std::pair<char, P>, 7> kCentrings{{
      {'A', {{0, 6, 6}}},
      {'B', {{6, 0, 6}}},
      {'C', {{6, 6, 0}}},
      {'I', {{6, 6, 6}}},
      {'F', {{0, 6, 6}, {6, 0, 6}, {6, 6, 0}}},
      {'R', {{8, 4, 4}, {4, 8, 8}}},
      {'r', {{4, 8, 4}, {8, 4, 8}}},
  }};
  for (const auto& [letter, set] : kCentrings)
    if (points == set) return letter;
  return '?';
}

void makeRightHanded(IMat& m, int column) {
  if (determinant(m) < 0) m.col(column) *= -1;
}

const Axis* axisWithPerpendiculars(const Mat& g, const std::vector<Axis>& axes, int count) {
  for (const Axis& a : axes) {
    const auto n = std::count_if(axes.begin(), axes.end(), [&](const Axis& b) { return perpendicular(g, a.u, b.u); });
    if (n == count) return &a;
  }
  return nullptr;
}

// The shortest lattice vector along an axis is its primitive row; a, b, c along the fourfold axes,
// each perpendicular to four twofold axes.
std::optional<IMat> cubicAxes(const Mat& g, const std::vector<Axis>& axes) {
  std::vector<IVec> fourfold;
  for (const Axis& a : axes)
    if (std::count_if(axes.begin(), axes.end(), [&](const Axis& b) { return perpendicular(g, a.u, b.u); }) == 4)
      fourfold.push_back(a.u);
  if (fourfold.size() != 3) return std::nullopt;
  IMat m;
  m << fourfold[0], fourfold[1], fourfold[2];
  makeRightHanded(m, 2);
  return m;
}

// c along the fourfold axis; a, b along the perpendicular pair of the smaller cell (tI, not tF).
std::optional<IMat> tetragonalAxes(const Mat& g, const std::vector<Axis>& axes) {
  const Axis* c = axisWithPerpendiculars(g, axes, 4);
  if (!c) return std::nullopt;
  std::optional<IMat> best;
  for (const Axis& a : axes)
    for (const Axis& b : axes) {
      if (&a == c || &b == c || &a == &b || !perpendicular(g, a.u, b.u)) continue;
      IMat m;
      m << a.u, b.u, c->u;
      makeRightHanded(m, 1);
      if (!best || determinant(m) < determinant(*best)) best = m;
    }
  return best;
}

// Along the three axes: a one-face centring put on C with a ≤ b, otherwise a ≤ b ≤ c.
std::optional<IMat> orthorhombicAxes(const Mat& g, const std::vector<Axis>& axes) {
  if (axes.size() != 3) return std::nullopt;
  std::array<IVec, 3> v{axes[0].u, axes[1].u, axes[2].u};
  auto shorter = [&](const IVec& x, const IVec& y) { return length(g, x) < length(g, y); };
  IMat m;
  m << v[0], v[1], v[2];
  makeRightHanded(m, 2);
  const char centring = centringOf(m);
  const int face = centring == 'A' ? 0 : centring == 'B' ? 1 : centring == 'C' ? 2 : -1;
  if (face >= 0) {
    std::swap(v[face], v[2]);
    std::sort(v.begin(), v.begin() + 2, shorter);
  } else {
    std::sort(v.begin(), v.end(), shorter);
  }
  m << v[0], v[1], v[2];
  makeRightHanded(m, 2);
  return m;
}

// c along the sixfold axis, perpendicular to the six others; a the shortest of those, b the row
// of its length at 120° to it.
std::optional<IMat> hexagonalAxes(const Mat& g, const std::vector<Axis>& axes) {
  const Axis* c = axisWithPerpendiculars(g, axes, 6);
  if (!c) return std::nullopt;
  const Axis* a = nullptr;
  for (const Axis& x : axes)
    if (&x != c && (!a || length(g, x.u) < length(g, a->u))) a = &x;
  for (const Axis& x : axes) {
    if (&x == c || &x == a || !sameLength(g, a->u, x.u)) continue;
    const IVec b = dot(g, a->u, x.u) < 0 ? x.u : IVec(-x.u);
    IMat m;
    m << a->u, b, c->u;
    makeRightHanded(m, 2);
    return m;
  }
  return std::nullopt;
}

// The hexagonal triple cell first (a along a twofold axis, b at 120°, c along the threefold
// axis, on obverse axes), then its rhombohedral cell by the standard transformation.
std::optional<IMat> rhombohedralAxes(const Mat& g, const Symmetry& s) {
  const auto threefold = std::find_if(s.rotations.begin(), s.rotations.end(), [](const IMat& r) { return r.trace() == 0; });
  if (threefold == s.rotations.end() || s.axes.size() != 3) return std::nullopt;
  const IMat p = IMat::Identity() + *threefold + *threefold * *threefold;  // 3 × the projection on the axis
  const int col = p.col(0).any() ? 0 : p.col(1).any() ? 1 : 2;
  const IVec c = canonical(p.col(col));
  IVec a = s.axes[0].u;
  IVec b = dot(g, a, s.axes[1].u) < 0 ? s.axes[1].u : IVec(-s.axes[1].u);
  IMat hex;
  hex << a, b, c;
  makeRightHanded(hex, 2);
  const char centring = centringOf(hex);
  if (centring == 'r') hex.leftCols(2) *= -1;  // a half turn about c puts reverse axes on obverse
  else if (centring != 'R') return std::nullopt;
  const auto r = gemmi::centred_to_primitive('R');
  IMat toRhombohedral;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) toRhombohedral(i, j) = r[i][j] * 3 / gemmi::Op::DEN;
  const IMat threeTimes = hex * toRhombohedral;
  if (threeTimes.unaryExpr([](int x) { return x % 3; }).any()) return std::nullopt;
  return IMat(threeTimes / 3);
}

// b along the twofold axis; a and c span the lattice plane perpendicular to it. Where the planes
// lie |b|/2 apart (u·h = 2) the cell is C-centred: a is then the shortest plane row whose half,
// added to b's, reaches a lattice point. c is the shortest completing the plane's cell, β ≥ 90°.
std::optional<IMat> monoclinicAxes(const Mat& g, const Axis& axis) {
  const IVec& u = axis.u;
  const IVec& h = axis.h;
  std::vector<IVec> plane;
  for (const IVec& v : rowsUpTo(4))
    if (h.dot(v) == 0) plane.push_back(v);
  std::stable_sort(plane.begin(), plane.end(), [&](const IVec& x, const IVec& y) { return length(g, x) < length(g, y); });
  if (plane.empty()) return std::nullopt;
  IVec a = plane[0];
  if (u.dot(h) == 2) {
    // w: a row one plane up; 2w − u lies in the plane, and so does a, whose half it matches.
    // h is primitive with indices up to 2, so one of them is ±1.
    const int i = std::abs(h[0]) == 1 ? 0 : std::abs(h[1]) == 1 ? 1 : 2;
    IVec w = IVec::Zero();
    w[i] = h[i];
    if (h.dot(w) != 1) return std::nullopt;
    const IVec s = 2 * w - u;
    const auto it = std::find_if(plane.begin(), plane.end(), [&](const IVec& v) {
      const IVec d = v - s;
      return d[0] % 2 == 0 && d[1] % 2 == 0 && d[2] % 2 == 0;
    });
    if (it == plane.end()) return std::nullopt;
    a = *it;
  }
  const auto c = std::find_if(plane.begin(), plane.end(), [&](const IVec& v) {
    const IVec x = a.cross(v);
    return x == h || x == IVec(-h);
  });
  if (c == plane.end()) return std::nullopt;
  IMat m;
  m << a, u, (dot(g, a, *c) > 0 ? IVec(-*c) : *c);
  makeRightHanded(m, 1);
  return m;
}

// Ties and fixed angles of the system, exact: tied values by their mean.
UnitCell idealised(const UnitCell& cell, CrystalSystem system) {
  const auto p = cell.params();
  auto out = p;
  for (int i : freeCellParameters(system)) {
    const auto tied = tiedTo(system, i);
    double sum = p[i];
    for (int t : tied) sum += p[t];
    out[i] = sum / static_cast<double>(tied.size() + 1);
    for (int t : tied) out[t] = out[i];
  }
  const auto& rules = systemInfo(system).cell;
  for (int i = 0; i < 6; ++i)
    if (rules[i].kind == CellParameterRule::Fixed) out[i] = rules[i].degrees;
  return UnitCell::fromParams(out);
}

struct SystemCentrings {
  CrystalSystem system;
  char letter;
  std::string_view centrings;
};
constexpr std::array<SystemCentrings, 7> kLatticeSystems{{
    {CrystalSystem::Triclinic, 'a', "P"},
    {CrystalSystem::Monoclinic, 'm', "PC"},
    {CrystalSystem::Orthorhombic, 'o', "PCIF"},
    {CrystalSystem::Rhombohedral, 'h', "R"},
    {CrystalSystem::Tetragonal, 't', "PI"},
    {CrystalSystem::Hexagonal, 'h', "P"},
    {CrystalSystem::Cubic, 'c', "PIF"},
}};

// The system of a holohedry by its rotations: 1, 2, 4, 6, 8, 12 or 24.
const SystemCentrings* systemOfOrder(std::size_t order) {
  static constexpr std::array<std::size_t, 7> kOrders{1, 2, 4, 6, 8, 12, 24};
  const auto it = std::find(kOrders.begin(), kOrders.end(), order);
  return it == kOrders.end() ? nullptr : &kLatticeSystems[it - kOrders.begin()];
}

std::optional<BravaisLattice> conventionalLattice(const Mat& g, const Symmetry& s) {
  const SystemCentrings* info = systemOfOrder(s.rotations.size());
  if (!info) return std::nullopt;
  const Mat gs = symmetrised(g, s.rotations);
  std::optional<IMat> m;
  switch (info->system) {
    case CrystalSystem::Triclinic: m = IMat::Identity(); break;
    case CrystalSystem::Monoclinic: m = monoclinicAxes(gs, s.axes.front()); break;
    case CrystalSystem::Orthorhombic: m = orthorhombicAxes(gs, s.axes); break;
    case CrystalSystem::Rhombohedral: m = rhombohedralAxes(gs, s); break;
    case CrystalSystem::Tetragonal: m = tetragonalAxes(gs, s.axes); break;
    case CrystalSystem::Hexagonal: m = hexagonalAxes(gs, s.axes); break;
    case CrystalSystem::Cubic: m = cubicAxes(gs, s.axes); break;
  }
  if (!m) return std::nullopt;
  // The rhombohedral cell is primitive; its R is that of the hexagonal cell it came from.
  const char centring = info->system == CrystalSystem::Rhombohedral ? (determinant(*m) == 1 ? 'R' : '?') : centringOf(*m);
  if (info->centrings.find(centring) == std::string_view::npos) return std::nullopt;
  BravaisLattice out;
  out.system = info->system;
  out.centring = centring;
  out.symbol = std::string{info->letter, centring};
  out.conventional = idealised(cellOf(transformed(gs, *m)), info->system);
  out.deviation = s.deviation;
  return out;
}

// --- Same lattice, sub-lattices ---

// Two reduced metrics of one lattice: b's axes are rows of a of their lengths, at their angles,
// that span the whole of a. In a reduced cell, every vector as short as the longest reduced axis
// has indices of at most 2.
bool sameLattice(const Mat& ga, const Mat& gb, double lengthTolerance, double angleTolerance) {
  const auto rows = rowsUpTo(2);
  std::array<std::vector<IVec>, 3> candidates;
  for (int i = 0; i < 3; ++i) {
    const double l = std::sqrt(gb(i, i));
    for (const IVec& v : rows)
      if (std::abs(length(ga, v) - l) <= lengthTolerance * l && (i > 0 || canonical(v) == v)) candidates[i].push_back(v);
  }
  const UnitCell b = cellOf(gb);
  auto near = [&](const IVec& x, const IVec& y, double degrees) { return std::abs(angle(ga, x, y) - degrees) <= angleTolerance; };
  for (const IVec& v0 : candidates[0])
    for (const IVec& v1 : candidates[1]) {
      if (!near(v0, v1, b.gamma)) continue;
      for (const IVec& v2 : candidates[2]) {
        if (!near(v0, v2, b.beta) || !near(v1, v2, b.alpha)) continue;
        IMat m;
        m << v0, v1, v2;
        if (std::abs(determinant(m)) == 1) return true;
      }
    }
  return false;
}

// The sub-lattices of index n, each once: the columns of the upper triangular H with
// h11 h22 h33 = n, 0 ≤ h12, h13 < h11 and 0 ≤ h23 < h22 (Hermite normal form).
std::vector<IMat> hermiteForms(int n) {
  std::vector<IMat> out;
  for (int d0 = 1; d0 <= n; ++d0) {
    if (n % d0 != 0) continue;
    for (int d1 = 1; d1 <= n / d0; ++d1) {
      if ((n / d0) % d1 != 0) continue;
      const int d2 = n / d0 / d1;
      for (int h01 = 0; h01 < d0; ++h01)
        for (int h02 = 0; h02 < d0; ++h02)
          for (int h12 = 0; h12 < d1; ++h12) {
            IMat h;
            h << d0, h01, h02, 0, d1, h12, 0, 0, d2;
            out.push_back(h);
          }
    }
  }
  return out;
}

bool hasSubLattice(const Mat& g, const Mat& sub, int n, double lengthTolerance, double angleTolerance) {
  for (const IMat& h : hermiteForms(n))
    if (sameLattice(niggliMetric(transformed(g, h)), sub, lengthTolerance, angleTolerance)) return true;
  return false;
}

// A volume ratio this close to an integer n is worth the search of the index-n sub-lattices:
// lengths within their tolerance move the volume by three times it, each angle by about its
// tolerance in radians.
int nearIndex(double ratio, double lengthTolerance, double angleTolerance) {
  const int n = static_cast<int>(std::lround(ratio));
  const double slack = 3 * lengthTolerance + 3 * angleTolerance * kRad;
  return n >= 2 && n <= kMaxSuperlatticeIndex && std::abs(ratio / n - 1) <= slack ? n : 0;
}

}  // namespace

Result<UnitCell> primitiveCell(const UnitCell& cell, char centring) {
  if (centring == '\0' || std::string_view("PABCIFR").find(centring) == std::string_view::npos)
    return fail(std::string("Unknown centring '") + centring + "': it is one of P, A, B, C, I, F and R");
  if (!computeMetric(cell)) return noCell();
  const gemmi::UnitCell c(cell.a, cell.b, cell.c, cell.alpha, cell.beta, cell.gamma);
  return cellOf(metricOfG6(gemmi::GruberVector(c, centring).parameters()));
}

Result<UnitCell> niggliCell(const UnitCell& primitive) {
  if (!computeMetric(primitive)) return noCell();
  return cellOf(niggliMetric(directMetric(primitive)));
}

Result<BravaisLattice> bravaisLattice(const UnitCell& primitive, double angleTolerance) {
  if (!(angleTolerance > 0 && angleTolerance <= kMaxLatticeAngleTolerance))
    return fail("The angle tolerance of the lattice symmetry must be above 0 and at most " +
                std::to_string(static_cast<int>(kMaxLatticeAngleTolerance)) + " degrees");
  if (!computeMetric(primitive)) return noCell();
  const Mat g = niggliMetric(directMetric(primitive));
  const auto found = twofoldAxes(g, angleTolerance);
  // Usually the axes found make one group, which holds every other they generate: then no
  // search of their subsets is needed.
  std::vector<int> all(found.size());
  std::iota(all.begin(), all.end(), 0);
  if (auto s = symmetryOf(found, all))
    if (auto lattice = conventionalLattice(g, *s)) return *lattice;
  for (const Symmetry& s : symmetriesByRank(found))
    if (auto lattice = conventionalLattice(g, s)) return *lattice;
  return *conventionalLattice(g, Symmetry{});  // the trivial group always has its cell
}

LatticeRelation latticeRelation(const UnitCell& a, const UnitCell& b, double lengthTolerance, double angleTolerance) {
  if (!computeMetric(a) || !computeMetric(b)) return {};
  const Mat ga = niggliMetric(directMetric(a)), gb = niggliMetric(directMetric(b));
  if (sameLattice(ga, gb, lengthTolerance, angleTolerance)) return {LatticeRelation::Kind::Same, 1};
  const double ratio = std::sqrt(gb.determinant() / ga.determinant());
  if (const int n = nearIndex(ratio, lengthTolerance, angleTolerance); n && hasSubLattice(ga, gb, n, lengthTolerance, angleTolerance))
    return {LatticeRelation::Kind::BInA, n};
  if (const int n = nearIndex(1 / ratio, lengthTolerance, angleTolerance); n && hasSubLattice(gb, ga, n, lengthTolerance, angleTolerance))
    return {LatticeRelation::Kind::AInB, n};
  return {};
}

}  // namespace obrin
