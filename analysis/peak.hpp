// A peak read out of a measured pattern, or typed by hand: what cell refinement, space-group
// ranking and indexing start from.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace obrin {

// Angles and widths in degrees 2θ. A standard uncertainty of 0 means unknown (a list typed by
// hand or read from a program that gives none).
struct Peak {
  double twoTheta = 0;  // Kα1 position when the peak is a doublet
  double twoThetaSu = 0;
  double d = 0;  // Å, from λ1; 0 when no wavelength is known
  double height = 0, heightSu = 0;  // counts above the background
  double area = 0, areaSu = 0;      // counts · degrees 2θ
  double fwhm = 0, fwhmSu = 0;
  double eta = 0, etaSu = 0;  // pseudo-Voigt mixing: 0 Gaussian, 1 Lorentzian
  // Split pseudo-Voigt: the low-angle half is fwhm (1 + asymmetry) wide, the high-angle half
  // fwhm (1 − asymmetry); 0 for a symmetric peak.
  double asymmetry = 0;
  double significance = 0;    // height over its counting uncertainty; 0 when not measured
};

// Peaks sorted by 2θ, and what the user is told about how they were found.
struct PeakList {
  std::vector<Peak> peaks;
  std::optional<double> wavelength;  // λ1, Å
  std::string background;            // the method, as the outputs name it
  // The Kα2 line the peaks were fitted with as Kα1/Kα2 doublets (Å, and its intensity ratio);
  // 0 when they were fitted as single peaks or not fitted at all.
  double alpha2 = 0, alpha2Ratio = 0;
  std::vector<std::string> notes;    // peaks dropped and why, or why the list is empty
};

// Sorts by 2θ and fills d from λ (Å) where λ is positive; d stays 0 where 2θ gives none.
void orderPeaks(std::vector<Peak>& peaks, std::optional<double> lambda);

}  // namespace obrin
