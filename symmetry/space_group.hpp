// A space group as the calculations use it: read once from a position file when the group is
// selected, or built from a list of symmetry operators; then asked which reflections it allows
// and how many equivalents they have.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/crystal_system.hpp"
#include "core/miller.hpp"
#include "core/result.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

// The rotation part of an operator, acting on indices as a row vector: h' = h R.
using Rotation = std::array<std::array<int, 3>, 3>;

struct SpaceGroup {
  std::string name;
  int number = 0;
  char lattice = 'P';  // the first character of the name
  CrystalSystem system = CrystalSystem::Triclinic;
  std::vector<SymmetryOperator> operators;       // as listed
  std::vector<ReflectionCondition> conditions;   // decoded from the position file
  std::vector<std::string> conditionsText;       // the 'Conditions' list, line by line
  // The distinct rotations of the operators, first one first: with Friedel's law, the Laue class.
  std::vector<Rotation> rotations;
  // Built from operators alone: absences follow from their translations, not from codes.
  bool absencesFromOperators = false;
};

// Selecting a group in a position file. The 'Conditions' text exists as soon as the entry was
// read, even when its conditions did not all decode and the group is refused.
struct GroupSelection {
  Result<SpaceGroup> group = Failure{};
  std::optional<std::vector<std::string>> conditionsText;
};
GroupSelection selectSpaceGroup(const std::filesystem::path& file, CrystalSystem system, std::string_view name);
Result<SpaceGroup> loadSpaceGroup(const std::filesystem::path& file, CrystalSystem system, std::string_view name);

// Every group of a position file, in list order, read in one pass: what compares all groups of
// a system (the space-group ranking) would otherwise read the file once a group. An entry that
// does not load is left out with its message; error is the group list's own.
struct SpaceGroupFileRead {
  std::vector<SpaceGroup> groups;
  std::vector<std::string> refused;
  std::string error;
};
SpaceGroupFileRead loadAllSpaceGroups(const std::filesystem::path& file, CrystalSystem system);

// A group from its symmetry operators (centring translations included). Refused without
// operators, or with more than kMaxGroupOperators.
Result<SpaceGroup> spaceGroupFromOperators(std::string name, const std::vector<SymmetryOperator>& operators,
                                           CrystalSystem system = CrystalSystem::Triclinic);

// Whether the group lets h k l reflect (never 0 0 0).
bool allowed(const SpaceGroup& group, const Miller& hkl);

// The allowed images ±h R of h k l under the group's rotations, distinct, h k l's own image
// under the first rotation first; the count is the multiplicity. out holds 2 kMaxOperators.
int equivalentReflections(const SpaceGroup& group, const Miller& hkl, Miller* out);
int multiplicity(const SpaceGroup& group, const Miller& hkl);

// The 'Conditions' list of the group.
const std::vector<std::string>& conditionsText(const SpaceGroup& group);

}  // namespace obrin
