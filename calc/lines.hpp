// The reflection lists of a cell and a space group at one wavelength: pure functions of their
// inputs, for any front end.
#pragma once

#include <array>

#include "calc/reflection.hpp"
#include "core/mathhkl.hpp"
#include "core/miller.hpp"
#include "core/result.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// Bragg angles θ in degrees. A lower limit of 0 stands for kThetaMinReplacement.
struct ThetaWindow {
  double min = kDefaultThetaMin, max = kDefaultThetaMax;
};

// d limits in Å.
struct DRange {
  double min = 0, max = 0;
};

// Indices from min to max on each axis, both included.
struct IndexBox {
  Miller min, max;
};

// One allowed line per set of equivalents with θ in the window, by decreasing d, with its
// multiplicity; lines of equal d that the system relates become one. λ in Å.
Result<ReflectionList> powderLines(const Metric& metric, const SpaceGroup& group, double lambda, ThetaWindow window);
// The same in a d range, the index range still set by θmax (the powder button in the
// single-crystal mode).
Result<ReflectionList> powderLinesInDRange(const Metric& metric, const SpaceGroup& group, double lambda,
                                           DRange range, double thetaMax);

// Every allowed reflection in the box with d ≥ 1.01 λ / 2, multiplicity 1, by decreasing d.
Result<ReflectionList> singleCrystalLines(const Metric& metric, const SpaceGroup& group, double lambda,
                                          const IndexBox& box);

struct BraggLine {
  double d = 0;      // Å
  double theta = 0;  // degrees
  bool forbidden = false;
};
// d and θ of one reflection, allowed or not; refused for 0 0 0, indices beyond 16 bits, or no
// angle (λ / 2d ≥ 1).
Result<BraggLine> braggLine(const Metric& metric, const SpaceGroup& group, double lambda, const Miller& hkl);

// Largest |h|, |k|, |l| of any reflection with d ≥ 1/sMax in the metric B: |h| = |s·a| ≤ |a|/d,
// with a, b, c the direct axes, the rows of B⁻¹ (h = B⁻¹ s). Valid for any cell.
std::array<int, 3> completeIndexBound(const Mat3& B, double sMax);
// The same before rounding down and clamping to what 16 bits hold (infinite when sMax is).
std::array<double, 3> completeIndexExtent(const Mat3& B, double sMax);
// The classic range, kept for its lists: per axis the largest Round(sMax·d(v)) over the four
// vectors with 1 on that axis and 0 or 1 on the others, plus 1. It suffices for right angles.
std::array<int, 3> classicIndexBound(const Mat3& B, double sMax);

// A wavelength the calculations can use: 0 is the separate "no lambda" case.
bool usableLambda(double lambda);

}  // namespace obrin
