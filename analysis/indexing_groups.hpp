// The groups indexing refines its candidates with: the holohedry of each crystal system (the
// lattice's own symmetry, so every line of the lattice is allowed once) with a centring. Built
// from their operators once, so that indexing reads no position file.
#pragma once

#include "core/crystal_system.hpp"
#include "core/result.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// P m -3 m, F m -3 m, I 4/m m m, C 1 2/m 1, R -3 m (rhombohedral axes, centring 'R' there
// stands for the primitive rhombohedral cell), ...: the holohedry of the system with the
// centring P, A, B, C, I, F or R (hexagonal axes, obverse, in the hexagonal system). Refused
// for a centring the system does not have.
Result<const SpaceGroup*> holohedryGroup(CrystalSystem system, char centring = 'P');

// The centrings indexing tries on a primitive cell of the system, P excluded.
std::string_view latticeCentrings(CrystalSystem system);

// Whether h k l obeys the centring's condition on conventional axes (R: obverse hexagonal).
bool centringAllows(char centring, const Miller& hkl);

}  // namespace obrin
