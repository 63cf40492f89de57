// Observed peaks matched to the lines a cell and a space group allow: the first step of a cell
// refinement, and the test of a trial cell or group in indexing and space-group ranking.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "calc/reflection.hpp"
#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// Where a Bragg-Brentano diffractometer puts a line of spacing d:
// 2θ = 2 asin(λ / 2d) + zero − 2 s cosθ / R (radians), s the height of the specimen surface
// above the focusing circle and R the goniometer radius.
struct Diffractometer {
  double lambda = 0;        // Å
  double zero = 0;          // degrees 2θ
  double displacement = 0;  // s, mm
  double radius = kDefaultGoniometerRadius;  // R, mm
};

// Degrees 2θ; none where λ / 2d is not below 1.
std::optional<double> lineTwoTheta(double d, const Diffractometer& instrument);
// The spacing a measured 2θ stands for once the zero shift and the displacement are taken off;
// none where none does.
std::optional<double> spacingAt(double twoTheta, const Diffractometer& instrument);

// The lines the group allows for the cell, one per set of equivalents (with its multiplicity),
// from 2θ = 0 up to twoThetaMax (degrees, at most 180), by decreasing d. d is recomputed from
// the cell by π/180 (reciprocalMetric), θ likewise; the group's calculation picks the indices.
Result<ReflectionList> allowedLines(const UnitCell& cell, const SpaceGroup& group, double lambda,
                                    double twoThetaMax);
// The same indices with d and θ of another cell (a refined one); lines without an angle keep θ 0.
void respaceLines(ReflectionList& lines, const UnitCell& cell, double lambda);

// What one observed peak matched.
struct LineMatch {
  int line = -1;           // the nearest allowed line within the tolerance; -1: unindexed
  double delta = 0;        // 2θobs − 2θcalc of that line, degrees
  int distinctSpacings = 0;  // distinct d among the lines within the tolerance
  bool ambiguous() const { return distinctSpacings > 1; }
  bool indexed() const { return line >= 0; }
};

// Each observed 2θ (degrees) against the lines as the instrument places them: the nearest line
// within ±tolerance, and how many lines of distinct d lie there (lines of one d, such as 3 3 3
// and 5 1 1 of a cubic cell, count once; of those the first in the list is taken). Several
// peaks may take one line. Not a number: unindexed.
std::vector<LineMatch> matchPeaks(std::span<const double> twoThetaObs, const ReflectionList& lines,
                                  const Diffractometer& instrument, double tolerance = kDefaultMatchTolerance);

}  // namespace obrin
