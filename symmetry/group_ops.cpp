// Operator algebra for groups given by their operators, and the search of the position files.
#include "symmetry/group_ops.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace obrin {
namespace {

double wrap(double t) {
  t -= std::floor(t);
  return t > 1.0 - kTranslationTolerance ? 0.0 : t;
}

bool sameModuloOne(double a, double b) {
  const double d = std::fabs(wrap(a) - wrap(b));
  return d < kTranslationTolerance || d > 1.0 - kTranslationTolerance;
}

bool sameTranslation(const Translation& a, const Translation& b) {
  return sameModuloOne(a[0], b[0]) && sameModuloOne(a[1], b[1]) && sameModuloOne(a[2], b[2]);
}

Rotation rotationOf(const SymmetryOperator& op) {
  Rotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<int>(std::lround(op.m[i][j]));
  return r;
}

constexpr Rotation kIdentity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

int determinant(const Rotation& r) {
  return r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) - r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
         r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
}

bool integerRotation(const SymmetryOperator& op) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (!std::isfinite(op.m[i][j]) || std::fabs(op.m[i][j] - std::round(op.m[i][j])) > 1e-9 ||
          std::fabs(op.m[i][j]) > 1)
        return false;
  return true;
}

bool contains(const std::vector<SymmetryOperator>& ops, const SymmetryOperator& x) {
  return std::any_of(ops.begin(), ops.end(), [&](const SymmetryOperator& o) { return sameOperation(o, x); });
}

bool sameCentring(std::vector<Translation> a, std::vector<Translation> b) {
  if (a.size() != b.size()) return false;
  for (const Translation& t : a)
    if (std::none_of(b.begin(), b.end(), [&](const Translation& u) { return sameTranslation(t, u); })) return false;
  return true;
}

std::set<Rotation> rotationSet(const std::vector<SymmetryOperator>& ops) {
  std::set<Rotation> s;
  for (const auto& op : ops) s.insert(rotationOf(op));
  return s;
}

// Every reflection of the box is tested: conditions repeat within 6 (6₁ screws: l = 6n).
constexpr int kAbsenceCheckBound = 8;

bool sameAbsences(const SpaceGroup& a, const SpaceGroup& b) {
  for (int h = -kAbsenceCheckBound; h <= kAbsenceCheckBound; ++h)
    for (int k = -kAbsenceCheckBound; k <= kAbsenceCheckBound; ++k)
      for (int l = -kAbsenceCheckBound; l <= kAbsenceCheckBound; ++l)
        if (allowed(a, {h, k, l}) != allowed(b, {h, k, l})) return false;
  return true;
}

}  // namespace

SymmetryOperator compose(const SymmetryOperator& a, const SymmetryOperator& b) {
  SymmetryOperator c;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      c.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    c.m[i][3] = wrap(a.m[i][0] * b.m[0][3] + a.m[i][1] * b.m[1][3] + a.m[i][2] * b.m[2][3] + a.m[i][3]);
  }
  return c;
}

bool sameOperation(const SymmetryOperator& a, const SymmetryOperator& b) {
  return rotationOf(a) == rotationOf(b) &&
         sameTranslation({a.m[0][3], a.m[1][3], a.m[2][3]}, {b.m[0][3], b.m[1][3], b.m[2][3]});
}

std::string groupClosureFault(const std::vector<SymmetryOperator>& ops) {
  if (ops.empty()) return "there are none";
  for (const auto& op : ops) {
    if (!integerRotation(op) || std::abs(determinant(rotationOf(op))) != 1)
      return "an operator is not a rotation of the lattice";
    for (int i = 0; i < 3; ++i)
      if (!std::isfinite(op.m[i][3])) return "an operator has no finite translation";
  }
  // Operators by rotation: a product is looked for among the few that share its rotation.
  std::map<Rotation, std::vector<SymmetryOperator>> byRotation;
  for (const auto& op : ops) byRotation[rotationOf(op)].push_back(op);
  auto member = [&](const SymmetryOperator& x) {
    const auto it = byRotation.find(rotationOf(x));
    return it != byRotation.end() && contains(it->second, x);
  };
  SymmetryOperator identity;
  for (int i = 0; i < 3; ++i) identity.m[i][i] = 1;
  if (!member(identity)) return "x,y,z is missing";
  for (const auto& a : ops)
    for (const auto& b : ops)
      if (!member(compose(a, b))) return "a product of two operators is not among them";
  return {};
}

std::vector<Translation> centringVectors(const std::vector<SymmetryOperator>& ops) {
  std::vector<Translation> v{{0, 0, 0}};
  for (const auto& op : ops) {
    if (rotationOf(op) != kIdentity) continue;
    const Translation t{wrap(op.m[0][3]), wrap(op.m[1][3]), wrap(op.m[2][3])};
    if (std::none_of(v.begin(), v.end(), [&](const Translation& u) { return sameTranslation(t, u); })) v.push_back(t);
  }
  return v;
}

bool sameSettingUpToOrigin(const std::vector<SymmetryOperator>& a, const std::vector<SymmetryOperator>& b) {
  if (rotationSet(a) != rotationSet(b) || !sameCentring(centringVectors(a), centringVectors(b))) return false;
  const auto ga = spaceGroupFromOperators("", a), gb = spaceGroupFromOperators("", b);
  return ga && gb && sameAbsences(*ga, *gb);
}

std::vector<Translation> latticeCentring(char lattice, CrystalSystem system) {
  constexpr double h = 0.5, t1 = 1.0 / 3, t2 = 2.0 / 3;
  switch (lattice) {
    case 'A': return {{0, 0, 0}, {0, h, h}};
    case 'B': return {{0, 0, 0}, {h, 0, h}};
    case 'C': return {{0, 0, 0}, {h, h, 0}};
    case 'I': return {{0, 0, 0}, {h, h, h}};
    case 'F': return {{0, 0, 0}, {0, h, h}, {h, 0, h}, {h, h, 0}};
    case 'R':
      if (system == CrystalSystem::Hexagonal) return {{0, 0, 0}, {t2, t1, t1}, {t1, t2, t2}};
      return {{0, 0, 0}};
    default: return {{0, 0, 0}};
  }
}

std::optional<PositionFileGroup> matchPositionFileGroup(
    const std::vector<SymmetryOperator>& ops,
    const std::function<std::filesystem::path(CrystalSystem)>& fileOf) {
  const auto rotations = rotationSet(ops);
  const auto centring = centringVectors(ops);
  const auto own = spaceGroupFromOperators("", ops);
  if (!own) return std::nullopt;
  for (int s = 0; s < kSystemCount; ++s) {
    const auto system = static_cast<CrystalSystem>(s);
    const auto file = fileOf(system);
    const GroupList list = loadSpaceGroupList(file);
    for (const std::string& name : list.names) {
      if (name.empty() || !sameCentring(latticeCentring(name[0], system), centring)) continue;
      const auto read = readSpaceGroupEntry(file, name);
      if (!read || rotationSet(read->operators) != rotations) continue;
      const auto group = loadSpaceGroup(file, system, name);
      if (group && sameAbsences(*own, *group)) return PositionFileGroup{system, name};
    }
  }
  return std::nullopt;
}

std::optional<PositionFileGroup> matchPositionFileGroup(const std::vector<SymmetryOperator>& ops) {
  return matchPositionFileGroup(ops, [](CrystalSystem s) {
    return findPositionFile(s).value_or(std::filesystem::path(positionFileName(s)));
  });
}

}  // namespace obrin
