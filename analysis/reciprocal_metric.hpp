// The reciprocal metric as the analysis uses it: 1/d² is linear in its six coefficients, which
// makes the start of a refinement and the trial cells of indexing linear problems. Angles are
// in degrees converted by π/180: measured positions are true angles.
#pragma once

#include <array>

#include "core/mathhkl.hpp"
#include "core/miller.hpp"
#include "core/result.hpp"

namespace obrin {

// Q = 1/d² = A h² + B k² + C l² + D kl + E hl + F hk (Å⁻²), in that order: A = a*², ...,
// D = 2 b* c* cos α*, E = 2 a* c* cos β*, F = 2 a* b* cos γ*.
using ReciprocalMetric = std::array<double, 6>;

// The six products h², k², l², kl, hl, hk that multiply the coefficients.
std::array<double, 6> metricTerms(const Miller& hkl);

// Refused ("Error on cell parameters") where the cell is none.
Result<ReciprocalMetric> reciprocalMetric(const UnitCell& cell);

// Refused when the coefficients form no positive-definite metric.
Result<UnitCell> cellFromReciprocalMetric(const ReciprocalMetric& metric);

double inverseSquareSpacing(const ReciprocalMetric& metric, const Miller& hkl);
// d (Å); 0 where Q is not positive.
double spacingOf(const ReciprocalMetric& metric, const Miller& hkl);

// ∂(coefficients)/∂(cell parameter) for a, b, c (per Å) and alpha, beta, gamma (per degree);
// none where the cell is none.
Result<std::array<ReciprocalMetric, 6>> reciprocalMetricDerivatives(const UnitCell& cell);

// Cell volume (Å³), with π/180; 0 where the cell is none.
double cellVolume(const UnitCell& cell);

}  // namespace obrin
