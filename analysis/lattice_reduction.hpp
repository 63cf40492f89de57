// Lattices behind cells: the primitive cell of a centred one, its Niggli-reduced form, the
// Bravais lattice its metric has, and how two lattices relate (the same, or one a sub- or
// super-lattice of the other). Indexing reduces and groups its candidates with these.
#pragma once

#include <optional>
#include <string>

#include "core/crystal_system.hpp"
#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin {

// The primitive cell of a cell with the centring P, A, B, C, I, F or R (R: hexagonal axes,
// obverse). Refused for another letter or no cell.
Result<UnitCell> primitiveCell(const UnitCell& cell, char centring);

// The Niggli-reduced cell of a primitive cell (Křivý & Gruber 1976).
Result<UnitCell> niggliCell(const UnitCell& primitive);

// The Bravais lattice a primitive cell's metric has within the angular tolerance (degrees), by
// the twofold axes of the lattice (Le Page 1982): its system, centring, symbol ("cF", "hR",
// "mC", ...) and conventional cell (rhombohedral lattices on rhombohedral axes: a, α).
// Settings: monoclinic b unique along the twofold axis, β ≥ 90°, centred ones always C (an I
// cell comes back as C): a the shortest row of the ac plane whose half with b's half is a
// lattice vector (for P: the shortest row), c the shortest completing the plane's cell;
// orthorhombic a ≤ b ≤ c, but C-centred with a ≤ b (an A or B face goes to C); hexagonal
// γ = 120°; tetragonal tP or tI, never C or F; rhombohedral a = b = c, α = β = γ, the axes of
// the obverse triple hexagonal cell's primitive cell, (2a + b + c)/3, (−a + b + c)/3,
// (−a − 2b + c)/3.
// The conventional cell is that of the metric averaged over the lattice's rotations: the
// system's ties and angles hold exactly. Triclinic lattices keep the Niggli cell.
struct BravaisLattice {
  CrystalSystem system = CrystalSystem::Triclinic;
  char centring = 'P';
  std::string symbol = "aP";
  UnitCell conventional;
  double deviation = 0;  // the largest angle (degrees) by which a twofold axis misses its place
};
Result<BravaisLattice> bravaisLattice(const UnitCell& primitive, double angleTolerance = kLatticeAngleTolerance);

// How lattice b stands to lattice a, both given by primitive cells: the same lattice, or b a
// sub-lattice of a (b's vectors integer combinations of a's, its cell index times larger, up to
// kMaxSuperlatticeIndex), or a a sub-lattice of b; lengths compared within the relative
// tolerance, angles within the angular one.
struct LatticeRelation {
  enum class Kind { None, Same, BInA, AInB } kind = Kind::None;
  int index = 1;  // the volume ratio of the larger cell to the smaller
};
LatticeRelation latticeRelation(const UnitCell& a, const UnitCell& b, double lengthTolerance = kLatticeLengthTolerance,
                                double angleTolerance = kLatticeAngleTolerance);

}  // namespace obrin
