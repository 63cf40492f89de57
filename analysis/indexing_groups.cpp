#include "analysis/indexing_groups.hpp"

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "symmetry/group_ops.hpp"

namespace obrin {

namespace {

// Generators of each holohedry (International Tables A, 2016, Table 8.3.5.1 settings).
std::vector<std::string> generators(CrystalSystem system) {
  switch (system) {
    case CrystalSystem::Cubic: return {"-y,x,z", "z,x,y", "-x,-y,-z"};
    case CrystalSystem::Tetragonal: return {"-y,x,z", "x,-y,-z", "-x,-y,-z"};
    case CrystalSystem::Orthorhombic: return {"-x,-y,z", "-x,y,-z", "-x,-y,-z"};
    case CrystalSystem::Hexagonal: return {"x-y,x,z", "y,x,-z", "-x,-y,-z"};
    case CrystalSystem::Rhombohedral: return {"z,x,y", "-y,-x,-z", "-x,-y,-z"};
    case CrystalSystem::Monoclinic: return {"-x,y,-z", "-x,-y,-z"};
    case CrystalSystem::Triclinic: return {"-x,-y,-z"};
  }
  return {};
}

std::vector<std::array<double, 3>> centringTranslations(char centring) {
  switch (centring) {
    case 'A': return {{0, 0.5, 0.5}};
    case 'B': return {{0.5, 0, 0.5}};
    case 'C': return {{0.5, 0.5, 0}};
    case 'I': return {{0.5, 0.5, 0.5}};
    case 'F': return {{0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
    case 'R': return {{2.0 / 3, 1.0 / 3, 1.0 / 3}, {1.0 / 3, 2.0 / 3, 2.0 / 3}};
    default: return {};
  }
}

const char* holohedryName(CrystalSystem system) {
  switch (system) {
    case CrystalSystem::Cubic: return " m -3 m";
    case CrystalSystem::Tetragonal: return " 4/m m m";
    case CrystalSystem::Orthorhombic: return " m m m";
    case CrystalSystem::Hexagonal: return " 6/m m m";
    case CrystalSystem::Rhombohedral: return " -3 m";
    case CrystalSystem::Monoclinic: return " 1 2/m 1";
    case CrystalSystem::Triclinic: return " -1";
  }
  return "";
}

// The closure of the generators and the centring translations under composition.
std::vector<SymmetryOperator> closure(std::vector<SymmetryOperator> ops) {
  SymmetryOperator identity;
  for (int i = 0; i < 3; ++i) identity.m[i][i] = 1;
  ops.insert(ops.begin(), identity);
  auto member = [&ops](const SymmetryOperator& x) {
    for (const auto& o : ops)
      if (sameOperation(o, x)) return true;
    return false;
  };
  for (std::size_t i = 0; i < ops.size(); ++i)
    for (std::size_t j = 0; j <= i; ++j)
      for (const auto& product : {compose(ops[i], ops[j]), compose(ops[j], ops[i])})
        if (!member(product)) ops.push_back(product);
  return ops;
}

// R -3 m on hexagonal axes: an R-centred lattice has no sixfold axis.
const std::vector<std::string> kRhombohedralOnHexagonalAxes = {"-y,x-y,z", "y,x,-z", "-x,-y,-z"};

Result<SpaceGroup> build(CrystalSystem system, char centring) {
  std::vector<SymmetryOperator> ops;
  const bool hexagonalR = system == CrystalSystem::Hexagonal && centring == 'R';
  for (const std::string& g : hexagonalR ? kRhombohedralOnHexagonalAxes : generators(system))
    ops.push_back(*parseTriplet(g));
  for (const auto& t : centringTranslations(centring)) {
    SymmetryOperator op;
    for (int i = 0; i < 3; ++i) {
      op.m[i][i] = 1;
      op.m[i][3] = t[i];
    }
    ops.push_back(op);
  }
  const std::string letter(1, system == CrystalSystem::Rhombohedral ? 'R' : centring);
  return spaceGroupFromOperators(letter + (hexagonalR ? " -3 m" : holohedryName(system)), closure(ops), system);
}

}  // namespace

std::string_view latticeCentrings(CrystalSystem system) {
  switch (system) {
    case CrystalSystem::Cubic: return "IF";
    case CrystalSystem::Tetragonal: return "I";
    case CrystalSystem::Orthorhombic: return "CABIF";
    case CrystalSystem::Hexagonal: return "R";
    case CrystalSystem::Monoclinic: return "CAI";
    default: return "";
  }
}

bool centringAllows(char centring, const Miller& m) {
  auto even = [](int v) { return v % 2 == 0; };
  switch (centring) {
    case 'A': return even(m.k + m.l);
    case 'B': return even(m.h + m.l);
    case 'C': return even(m.h + m.k);
    case 'I': return even(m.h + m.k + m.l);
    case 'F': return even(m.h + m.k) && even(m.h + m.l);
    case 'R': return ((-m.h + m.k + m.l) % 3 + 3) % 3 == 0;
    default: return true;
  }
}

Result<const SpaceGroup*> holohedryGroup(CrystalSystem system, char centring) {
  const bool known = centring == 'P' || latticeCentrings(system).find(centring) != std::string_view::npos ||
                     (system == CrystalSystem::Rhombohedral && centring == 'R');
  if (!known)
    return fail("The " + std::string(systemName(system)) + " system has no lattice centring " +
                std::string(1, centring));
  // Built once, on first use by any thread.
  static std::mutex mutex;
  static std::map<std::pair<int, char>, SpaceGroup> groups;
  const char key = system == CrystalSystem::Rhombohedral ? 'P' : centring;
  const std::lock_guard lock(mutex);
  auto it = groups.find({systemIndex(system), key});
  if (it == groups.end()) {
    auto g = build(system, key);
    if (!g) return g.failure();
    it = groups.emplace(std::pair{systemIndex(system), key}, std::move(*g)).first;
  }
  return &it->second;
}

}  // namespace obrin
