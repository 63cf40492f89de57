// Space groups given by their operators alone (an imported structure): whether they form a
// group, their centring, the reflections their translations extinguish, and the entry of the
// position files that has the same operations.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "symmetry/pot.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

using Translation = std::array<double, 3>;

// (a·b)(x) = a(b(x)), translation brought into [0, 1).
SymmetryOperator compose(const SymmetryOperator& a, const SymmetryOperator& b);
// Same rotation and translations equal modulo 1.
bool sameOperation(const SymmetryOperator& a, const SymmetryOperator& b);

// Empty when the operators form a group (modulo lattice translations): integer rotations of
// determinant ±1, the identity among them, every product among them. Else what is wrong.
std::string groupClosureFault(const std::vector<SymmetryOperator>& ops);

// The translations of the operators whose rotation is the identity, (0,0,0) first.
std::vector<Translation> centringVectors(const std::vector<SymmetryOperator>& ops);
// The same rotations, centring and reflection conditions: the same setting of a group, its
// origin possibly shifted (P 21/n and P 21/c differ, two origin choices of F d -3 m do not).
bool sameSettingUpToOrigin(const std::vector<SymmetryOperator>& a, const std::vector<SymmetryOperator>& b);

// The centring vectors of a lattice letter as the position files use it (R: obverse
// hexagonal axes in the hexagonal system, primitive in rhombohedral axes).
std::vector<Translation> latticeCentring(char lattice, CrystalSystem system);

// The entry of the position files with the operators' rotations, centring and reflection
// conditions: translations may differ by an origin shift, not by a setting (P 21/n is not
// P 21/c).
struct PositionFileGroup {
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string name;  // as listed, e.g. "P 21/N (14)"
};
// fileOf gives the position file of a system.
std::optional<PositionFileGroup> matchPositionFileGroup(
    const std::vector<SymmetryOperator>& ops,
    const std::function<std::filesystem::path(CrystalSystem)>& fileOf);
// The same with the files the program finds (findPositionFile).
std::optional<PositionFileGroup> matchPositionFileGroup(const std::vector<SymmetryOperator>& ops);

}  // namespace obrin
