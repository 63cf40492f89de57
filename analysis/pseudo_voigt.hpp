// The peak shape of the fits: a pseudo-Voigt, Lorentzian and Gaussian of one FWHM mixed by η,
// and the Kα2 companion of a Kα1 position.
#pragma once

#include <cmath>
#include <numbers>
#include <optional>

namespace obrin {

inline constexpr double kFourLn2 = 4 * std::numbers::ln2;
// Area of a Gaussian of height 1 and FWHM 1: √(π / 4 ln 2).
inline constexpr double kGaussianAreaFactor = 1.0644670194312262;
inline constexpr double kLorentzianAreaFactor = std::numbers::pi / 2;

// exp(−4 ln2 q²), 0 far out: the exponential's underflow is slow and its value nothing.
inline double gaussianPart(double q) {
  const double a = kFourLn2 * q * q;
  return a < 200 ? std::exp(-a) : 0;
}

// The width of the half of a peak on the side of x: the low-angle half fwhm (1 + asymmetry),
// the high-angle half fwhm (1 − asymmetry), so that the halves together are one FWHM wide.
inline double halfWidth(double x, double position, double fwhm, double asymmetry) {
  return fwhm * (x < position ? 1 + asymmetry : 1 - asymmetry);
}

// Height 1 at x = position: η L + (1 − η) G with L = 1 / (1 + 4q²), G = exp(−4 ln2 q²),
// q = (x − position) / width; the width differs between the halves by the asymmetry (a split
// pseudo-Voigt, Toraya 1990, J. Appl. Cryst. 23, 485), which follows the low-angle tail that
// axial divergence gives the peaks of a laboratory diffractometer.
inline double pseudoVoigt(double x, double position, double fwhm, double eta, double asymmetry = 0) {
  const double q = (x - position) / halfWidth(x, position, fwhm, asymmetry);
  return eta / (1 + 4 * q * q) + (1 - eta) * gaussianPart(q);
}

// The area under a peak of this height (either asymmetry: the halves' widths add to 2 FWHM).
inline double pseudoVoigtArea(double height, double fwhm, double eta) {
  return height * fwhm * (eta * kLorentzianAreaFactor + (1 - eta) * kGaussianAreaFactor);
}

// The Kα2 position (degrees 2θ) of a Kα1 peak at twoTheta: sin θ₂ = (λ₂/λ₁) sin θ₁. None
// where the companion falls beyond 180°.
inline std::optional<double> alpha2Position(double twoTheta, double lambdaRatio) {
  const double s = lambdaRatio * std::sin(twoTheta * std::numbers::pi / 360);
  if (!(s > -1 && s < 1)) return std::nullopt;
  return 360 / std::numbers::pi * std::asin(s);
}

// A Kα1/Kα2 doublet: the companion of every peak at alpha2Position(2θ, lambdaRatio), with the
// same width and shape and ratio times its height.
struct Doublet {
  double lambdaRatio = 0;  // λ₂ / λ₁
  double ratio = 0;        // I(Kα2) / I(Kα1)
};

// A peak and, with a doublet, its companion.
inline double peakValue(double x, double position, double height, double fwhm, double eta, double asymmetry,
                        const std::optional<Doublet>& doublet) {
  double value = pseudoVoigt(x, position, fwhm, eta, asymmetry);
  if (doublet)
    if (const auto p2 = alpha2Position(position, doublet->lambdaRatio))
      value += doublet->ratio * pseudoVoigt(x, *p2, fwhm, eta, asymmetry);
  return height * value;
}

}  // namespace obrin
