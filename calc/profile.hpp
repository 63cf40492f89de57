// A simulated powder profile from a line list: a pseudo-Voigt peak on every line, to hold
// against a measured pattern.
#pragma once

#include <vector>

namespace obrin {

// FWHM² = U·tan²θ + V·tanθ + W in (degrees 2θ)² (Caglioti, Paoletti & Ricci 1958, Nucl.
// Instrum. 3, 223). The default is a constant FWHM of 0.1° 2θ.
struct ProfileShape {
  double u = 0, v = 0, w = 0.01;
  double eta = 0.5;    // Lorentzian fraction of the pseudo-Voigt, 0..1
  double step = 0.01;  // degrees 2θ between points
};

struct ProfileLine {
  double twoTheta = 0;   // degrees
  double intensity = 0;  // integrated intensity of the peak
};

struct ProfilePoint {
  double twoTheta = 0;
  double intensity = 0;
};

// FWHM in degrees 2θ at a Bragg angle θ; none (0) where the formula goes negative.
double cagliotiFwhm(const ProfileShape& shape, double theta);

// Points from 2θ = from to to, every shape.step degrees; each peak has the area of its line.
// Empty for an empty or reversed range or a step that is not positive; the number of points is
// capped at kMaxProfilePoints.
std::vector<ProfilePoint> simulatedProfile(const std::vector<ProfileLine>& lines, double from, double to,
                                           const ProfileShape& shape = {});

}  // namespace obrin
