// The extinction symbol of a space group (International Tables A, 2006, §3.1.3): the lattice
// letter, then for each symmetry direction of the system the glide plane and/or screw axis that
// its reflection conditions show, a dash where they show none ("P n - a", "I 41/a - -",
// "P 1 21/c 1"). Groups that powder data cannot tell apart share one.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "symmetry/space_group.hpp"

namespace obrin {

// What the conditions show for one symmetry direction.
struct DirectionAbsences {
  // The glide letters whose condition, with the lattice's, gives the absences of the zone
  // perpendicular to the direction, in the order a b c n d; empty when the zone has no
  // absences beyond the lattice's. Two letters fit where the centring makes them one (a and b
  // perpendicular to c in a C lattice).
  std::string glides;
  // The period (2, 3, 4 or 6) of the absences along the direction's row beyond those that the
  // lattice and the glide planes through the row give it; 0 for none.
  int screwPeriod = 0;
  // The glide letter that the group's name writes for this direction (0: none): it picks the
  // letter shown where several fit.
  char namedGlide = 0;
};

struct ExtinctionSignature {
  // False for the rhombohedral-axes and triclinic systems, which have no symbol here, and for
  // conditions that no glide plane or screw axis explains.
  bool known = false;
  CrystalSystem system = CrystalSystem::Triclinic;
  char lattice = 'P';
  std::vector<DirectionAbsences> directions;
};

// Read from the group's own reflection test, so that it holds for every setting of the files.
ExtinctionSignature extinctionSignature(const SpaceGroup& group);

// The same absences in every direction (the named glide letters may differ).
bool sameAbsences(const ExtinctionSignature& a, const ExtinctionSignature& b);

// The symbol of groups of one signature; empty when they do not share one or it is not known.
// Where several letters fit a zone, the one the groups' names write is shown; several written
// letters are shown together in parentheses, "(ab)".
std::string extinctionSymbol(std::span<const ExtinctionSignature* const> signatures);

}  // namespace obrin
