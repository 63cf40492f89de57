// The selected group as the calculations use it.
#include "symmetry/space_group.hpp"

#include "core/lineread.hpp"
#include "symmetry/allowed_reflections.hpp"
#include "symmetry/operator_group.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <tuple>

namespace obrin {

namespace {

// The first letter of a group's name: primitive, one-face, body, all-face centred, rhombohedral.
constexpr const char* kLatticeLetters = "PABCIFR";

Rotation rotationOf(const SymmetryOperator& op) {
  Rotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<int>(std::lround(op.m[i][j]));
  return r;
}

std::vector<Rotation> distinctRotations(const std::vector<SymmetryOperator>& ops) {
  std::vector<Rotation> rotations;
  for (const auto& op : ops) {
    const Rotation r = rotationOf(op);
    if (std::find(rotations.begin(), rotations.end(), r) == rotations.end()) rotations.push_back(r);
  }
  return rotations;
}

// Extinction by the operators: an operator (R, t) that leaves h k l in place multiplies its
// structure factor by exp(2πi h·t), so h·t not an integer cancels it (International Tables A, §1.6.5).
bool allowedByOperators(const SpaceGroup& g, const Miller& hkl) {
  for (const auto& op : g.operators) {
    if (imageOf(rotationOf(op), hkl) != hkl) continue;
    const double phase = hkl.h * op.m[0][3] + hkl.k * op.m[1][3] + hkl.l * op.m[2][3];
    if (std::fabs(phase - std::round(phase)) > 1e-6) return false;
  }
  return true;
}

}  // namespace

namespace {

// The group of an entry read from a position file.
GroupSelection groupOfEntry(SpaceGroupEntry&& entry, const std::string& fileName, CrystalSystem system) {
  GroupSelection selection;
  const std::string& name = entry.name;
  const std::string where = fileName + ", group \"" + name + "\", line ";
  const char lattice = name.front();  // the reader refuses an empty name
  if (std::string_view(kLatticeLetters).find(lattice) == std::string_view::npos) {
    selection.group = fail(where + std::to_string(entry.nameLine) + ": \"" + std::string(1, lattice) +
                           "\" is not a lattice letter (" + kLatticeLetters + ")");
    return selection;
  }
  DerivedConditions derived = deriveReflectionConditions(lattice, system, entry.conditionLines);
  selection.conditionsText = derived.display;
  // A group whose conditions are only partly known would list forbidden reflections. The
  // failing line is the one after those decoded.
  if (derived.status != 0) {
    const long long line = entry.firstConditionLine + static_cast<long long>(derived.conditions.size());
    selection.group = fail(where + std::to_string(line) + ": " + derived.warning);
    return selection;
  }
  SpaceGroup g;
  g.name = std::string(name);
  g.number = entry.number;
  g.lattice = lattice;
  g.system = system;
  g.rotations = distinctRotations(entry.operators);
  g.operators = std::move(entry.operators);
  g.conditions = std::move(derived.conditions);
  g.conditionsText = std::move(derived.display);
  selection.group = std::move(g);
  return selection;
}

}  // namespace

GroupSelection selectSpaceGroup(const std::filesystem::path& file, CrystalSystem system, std::string_view name) {
  auto read = readSpaceGroupEntry(file, name);
  if (!read) {
    GroupSelection selection;
    selection.group = read.failure();
    return selection;
  }
  return groupOfEntry(std::move(*read), file.filename().string(), system);
}

SpaceGroupFileRead loadAllSpaceGroups(const std::filesystem::path& file, CrystalSystem system) {
  SpaceGroupFileRead read;
  GroupList list = loadSpaceGroupList(file);
  read.error = std::move(list.error);
  std::ifstream in;
  const bool open = openRegularFile(file, in).empty();
  const std::string fileName = file.filename().string();
  for (const std::string& name : list.names) {
    if (name.empty()) continue;
    // The entries follow each other: each search goes on from the end of the one before. The
    // line numbers it counts start there, so an entry that fails is read again alone, from the
    // top, for its message (and for a name that only the search from the top finds).
    auto entry = open && in ? parseSpaceGroupEntry(in, fileName, name) : Result<SpaceGroupEntry>(Failure{});
    GroupSelection selection = entry ? groupOfEntry(std::move(*entry), fileName, system) : GroupSelection{};
    if (!selection.group) {
      in.clear();
      in.seekg(0);
      selection = selectSpaceGroup(file, system, name);
    }
    if (selection.group) read.groups.push_back(std::move(*selection.group));
    else read.refused.push_back(selection.group.error());
  }
  return read;
}

Result<SpaceGroup> loadSpaceGroup(const std::filesystem::path& file, CrystalSystem system, std::string_view name) {
  return std::move(selectSpaceGroup(file, system, name).group);
}

Result<SpaceGroup> spaceGroupFromOperators(std::string name, const std::vector<SymmetryOperator>& operators,
                                           CrystalSystem system) {
  if (operators.empty()) return fail("Space group " + name + ": no symmetry operators");
  if (operators.size() > static_cast<std::size_t>(kMaxGroupOperators))
    return fail("Space group " + name + ": more than " + std::to_string(kMaxGroupOperators) + " symmetry operators");
  if (const auto fault = findRotationGroupFault(operators))
    return fail("Space group " + name + ": the symmetry operators do not form a group (operator " +
                std::to_string(fault->index + 1) + ": " + fault->reason + ")");
  SpaceGroup g;
  g.lattice = name.empty() ? 'P' : name.front();
  g.name = std::move(name);
  g.system = system;
  g.operators = operators;
  g.rotations = distinctRotations(operators);
  g.absencesFromOperators = true;
  return g;
}

bool allowed(const SpaceGroup& g, const Miller& hkl) {
  if (hkl.isOrigin()) return false;
  if (g.absencesFromOperators) return allowedByOperators(g, hkl);
  // A primitive lattice without conditions forbids nothing: the walk asks this for every index.
  if (g.conditions.empty() && (g.lattice == 'P' || g.system == CrystalSystem::Rhombohedral)) return true;
  return !isReflectionForbidden(g.lattice, g.system, g.conditions, hkl.h, hkl.k, hkl.l);
}

int equivalentReflections(const SpaceGroup& g, const Miller& hkl, Miller* out) {
  // Every rotation on its own, in the group's order.
  std::vector<RotationUpToSign> each;
  for (const Rotation& r : g.rotations) each.push_back({r, false});
  return equivalentImagesWith(each, hkl, out, [&g](const Miller& m) { return allowed(g, m); });
}

int multiplicity(const SpaceGroup& g, const Miller& hkl) {
  Miller buffer[2 * kMaxOperators];
  return equivalentReflections(g, hkl, buffer);
}

const std::vector<std::string>& conditionsText(const SpaceGroup& g) { return g.conditionsText; }

}  // namespace obrin
