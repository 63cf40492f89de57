// The least-squares fit of one peak, or of a group of overlapping peaks, with pseudo-Voigt
// profiles (Kα1/Kα2 doublets when asked) on a local linear background.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/peak.hpp"
#include "analysis/pseudo_voigt.hpp"

namespace obrin {

// Where a fit starts from; position is Kα1's for a doublet. A peak too weak to determine its
// own shape keeps the FWHM, η and asymmetry given (their s.u. then stay 0); a peak whose
// asymmetry follows the pattern's trend keeps the asymmetry given.
struct PeakStart {
  double position = 0, height = 0, fwhm = 0, eta = 0.5, asymmetry = 0;
  bool fixedShape = false;
  bool fixedAsymmetry = false;
};

// The points of a fit window, in increasing x; y holds the counts less the peaks outside the
// group, variance their uncertainty squared (positive).
struct FitPoints {
  std::vector<double> x, y, variance;
};

struct PeakGroupFit {
  bool ok = false;
  std::string failure;      // why the fit gave no result, for the notes
  std::vector<Peak> peaks;  // in the order of the starts; d is left 0
  // Where a peak ended at the edge of its range of position or width: it has left its start.
  // Given for a fit that did not converge too (empty when it broke down).
  std::vector<bool> atLimit;
  double centre = 0, background0 = 0, background1 = 0;  // background b0 + b1 (x − centre)
  double chi2PerDof = 0;    // χ²/ν, by which the s.u. are scaled
};

// Position, height, FWHM, η and asymmetry of every peak and the two background terms, by
// Levenberg–Marquardt. The s.u. come from the covariance scaled by χ²/ν; the significance is the height
// over its counting uncertainty (the covariance unscaled). The height stays positive or 0, η
// within 0..1, the asymmetry within ±kMaxPeakAsymmetry, the position within kMaxPeakShiftFwhm
// start FWHM of its start and the FWHM within a factor kMaxPeakWidthChange of its start. Fails
// when it does not converge, when the points cannot determine the parameters, or when a
// number comes out that is not finite.
PeakGroupFit fitPeakGroup(const FitPoints& points, const std::vector<PeakStart>& starts,
                          const std::optional<Doublet>& doublet);

// Peaks of fixed positions and shapes on a polynomial background of backgroundTerms terms (2: a
// straight line), by linear least squares: their heights, and each height over its counting
// uncertainty (0 for both where the points do not determine it). Quick enough to screen every
// candidate before the full fit.
struct HeightEstimate {
  double height = 0, significance = 0;
};
std::vector<HeightEstimate> fixedShapeHeights(const FitPoints& points, const std::vector<PeakStart>& shapes,
                                              const std::optional<Doublet>& doublet, int backgroundTerms = 2);

}  // namespace obrin
