// The images of an atom in the cell: those of the group's operators that fall on the atom
// itself are one atom (its site symmetry), the others are the distinct images it brings.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "calc/structure.hpp"
#include "core/mathhkl.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

// The direct metric tensor G (Å²): the squared distance of a fractional step v is vᵀ·G·v.
Mat3 directMetric(const UnitCell& cell);
// The distance (Å) between the fractional points a and b, each coordinate of b − a brought
// into [−½, ½]: the shortest over the lattice translations whenever that is below half the
// smallest spacing d of the cell's planes (always so for the contacts of atoms).
double latticeDistance(const Mat3& G, const std::array<double, 3>& a, const std::array<double, 3>& b);

struct SitePlacement {
  // The operators that map the atom within kSameSiteDistance of itself (the identity among
  // them) and the lattice step that brings each image next to the atom.
  std::vector<int> stabiliser;
  std::vector<std::array<double, 3>> shift;
  // The mean of those images: a point the site symmetry maps exactly onto itself, where the
  // file's coordinates were rounded (0.3333 for 1/3).
  std::array<double, 3> xyz{};
  // Distinct images in the cell: the operators over the stabiliser's order.
  double multiplicity = 1;
};

// The operators form a group (centring translations included); the same answer for any order
// of them, the distance alone deciding which images merge.
SitePlacement placeOnSite(const std::array<double, 3>& xyz, const std::vector<SymmetryOperator>& ops,
                          const Mat3& G);

// Atoms of each element in the cell: occupancy times distinct images, summed over the sites.
std::map<std::string, double> cellContent(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                          const UnitCell& cell);

// The distinct images of every atom, wrapped into the cell.
std::vector<std::array<double, 3>> cellPositions(const std::vector<AtomSite>& atoms,
                                                 const std::vector<SymmetryOperator>& ops, const UnitCell& cell);

// The shortest distance (Å) between two atoms of the cell, images of one atom included (as
// latticeDistance measures it); none when the cell holds fewer than two atoms or more than
// maxAtoms (the pairs are compared one by one).
std::optional<double> shortestContact(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                      const UnitCell& cell, std::size_t maxAtoms);

}  // namespace obrin
