// The peaks of a measured pattern: background, candidates on the smoothed second derivative,
// least-squares fits of each peak and of each group of overlapping peaks.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "analysis/measured_pattern.hpp"
#include "analysis/peak.hpp"
#include "core/limits.hpp"
#include "core/result.hpp"

namespace obrin {

// The Kα2 line every peak is fitted with as a doublet.
struct Alpha2Line {
  double lambda2 = 0;  // Å
  double ratio = 0;    // I(Kα2) / I(Kα1)
};

// The wavelengths of a search: λ1 gives d, the Kα2 line makes each peak a doublet.
struct PeakWavelengths {
  std::optional<double> lambda;
  std::optional<Alpha2Line> alpha2;
};

// What the user asked for (λ in Å, none when not given; ratio none when not given) against
// what the pattern's file stores. λ1 is the given one, else the file's Kα1. Peaks are doublets
// when λ1 is a Kα1 line of the wavelength table (its Kα2 from the table) or the file's Kα1
// with a Kα2 beside it; the ratio is the given one, else the file's, else
// kDefaultAlpha2Ratio. A ratio of 0 asks for single peaks. Refused when a ratio is given for a
// wavelength whose Kα2 nobody knows.
Result<PeakWavelengths> peakWavelengths(std::optional<double> lambda, const std::optional<PatternWavelength>& stored,
                                        std::optional<double> ratio);

struct PeakSearchOptions {
  double minSignificance = kDefaultMinPeakSignificance;
  std::optional<double> from, to;  // the 2θ range searched, degrees; none: the whole pattern
  PeakWavelengths wavelengths;
  // Called with the share of the work done; returning false cancels the search, which then
  // returns no peaks and says so.
  std::function<bool(double)> progress;
};

// The peaks of the pattern with their s.u., sorted by 2θ, d from λ1. A pattern too short or too
// flat to hold a peak gives an empty list and a note saying why; a fit that does not converge
// drops its peaks with a note. Peaks below the minimum significance are left out.
PeakList findPeaks(const MeasuredPattern& pattern, const PeakSearchOptions& options);

// The background the search sees under the points of the range (SNIP, its window three FWHM of
// the pattern's peaks), to draw under them; empty where they cannot hold a peak.
struct BackgroundCurve {
  std::vector<double> x, y;
};
BackgroundCurve patternBackground(const MeasuredPattern& pattern, const PeakSearchOptions& options);

// One peak fitted near twoTheta, the peaks of others that reach it held as they are (the peak
// a user adds by hand): kept whatever its significance, refused when no peak with a height
// above the background fits there.
Result<Peak> fitPeakAt(const MeasuredPattern& pattern, double twoTheta, const std::vector<Peak>& others,
                       const PeakSearchOptions& options);

}  // namespace obrin
