// Where a calculated line appears in a measured pattern: its Bragg angle moved by the
// instrument's zero shift and by the specimen's displacement from the focusing circle.
#pragma once

#include <optional>

#include "core/limits.hpp"

namespace obrin {

struct DiffractionGeometry {
  double lambda = 0;        // Å
  double zero = 0;          // degrees 2θ, added to every line
  double displacement = 0;  // mm, the specimen surface below the goniometer axis
  double radius = kDefaultGoniometerRadius;  // mm
};

// 2θ (degrees) at which a line of spacing d (Å) is observed: 2θ_B + zero − 2s·cosθ/R
// (Δ2θ of a displaced specimen in Bragg–Brentano geometry, Klug & Alexander 1974). None when
// λ/2d > 1.
std::optional<double> observedTwoTheta(const DiffractionGeometry& geometry, double d);

// The Bragg angle 2θ_B (degrees) of an observed position: observedTwoTheta undone.
double braggTwoTheta(const DiffractionGeometry& geometry, double observed);

// The spacing (Å) of an observed position; 0 where it has none.
double observedSpacing(const DiffractionGeometry& geometry, double observed);

}  // namespace obrin
