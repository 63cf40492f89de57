// Measured patterns made from known lines: pseudo-Voigt peaks (with their Kα2 companions when
// asked) on a background, with seeded Poisson noise. The peak search's tests and benchmarks
// check it against these.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/measured_pattern.hpp"

namespace obrin::testing_support {

struct SyntheticLine {
  double twoTheta = 0;  // Kα1, degrees
  double height = 0;    // counts at the top of the Kα1 peak
  double fwhm = 0.1;    // degrees 2θ
  double eta = 0.5;
};

struct SyntheticScan {
  double from = 10, to = 110, step = 0.01;  // degrees 2θ
  std::vector<SyntheticLine> lines;
  std::function<double(double)> background = [](double) { return 100.0; };
  double lambdaRatio = 0;  // λ₂/λ₁ of the Kα2 companions; 0 for none
  double alpha2Ratio = 0.5;
};

// The expected counts at 2θ, written out here rather than taken from the program.
inline double syntheticCounts(const SyntheticScan& scan, double x) {
  auto peak = [](double x, double centre, const SyntheticLine& l) {
    const double q = (x - centre) / l.fwhm;
    return l.height * (l.eta / (1 + 4 * q * q) + (1 - l.eta) * std::exp(-4 * std::log(2.0) * q * q));
  };
  double y = scan.background(x);
  for (const SyntheticLine& l : scan.lines) {
    y += peak(x, l.twoTheta, l);
    if (scan.lambdaRatio > 0) {
      const double s = scan.lambdaRatio * std::sin(l.twoTheta * std::numbers::pi / 360);
      if (s < 1) y += scan.alpha2Ratio * peak(x, 360 / std::numbers::pi * std::asin(s), l);
    }
  }
  return y;
}

// The scan's points with Poisson counts drawn from the seed (no noise for seed 0).
inline MeasuredPattern syntheticPattern(const SyntheticScan& scan, std::uint64_t seed) {
  MeasuredPattern p;
  p.format = "columns";
  std::mt19937_64 random(seed);
  const auto n = static_cast<std::size_t>(std::llround((scan.to - scan.from) / scan.step)) + 1;
  p.x.reserve(n);
  p.y.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = scan.from + double(i) * scan.step;
    const double mean = syntheticCounts(scan, x);
    p.x.push_back(x);
    p.y.push_back(seed == 0 ? mean : double(std::poisson_distribution<long long>(mean)(random)));
  }
  return p;
}

// count lines spread over the scan at random (seeded) but at least minSeparation FWHM apart,
// heights from 1 % to 100 % of top, FWHM growing with 2θ as on a diffractometer (0.06° to 0.12°
// over 100°, times widthScale).
inline std::vector<SyntheticLine> spreadLines(const SyntheticScan& scan, int count, double top, double minSeparation,
                                              std::uint64_t seed, double widthScale = 1) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> where(scan.from + 1, scan.to - 1), share(0, 1), eta(0.2, 0.8);
  std::vector<SyntheticLine> lines;
  auto fwhmAt = [&](double x) { return widthScale * (0.06 + 0.06 * x / 100); };
  for (int tries = 0; int(lines.size()) < count && tries < 1000 * count; ++tries) {
    const double x = where(random);
    bool clear = true;
    for (const SyntheticLine& l : lines)
      if (std::abs(l.twoTheta - x) < minSeparation * std::max(l.fwhm, fwhmAt(x))) clear = false;
    const double h = top * std::pow(10.0, -2 * share(random));  // 1 % to 100 %, evenly in log
    const double e = eta(random);
    if (clear) lines.push_back({x, h, fwhmAt(x), e});
  }
  lines.front().height = top;
  return lines;
}

}  // namespace obrin::testing_support
