// Peaks read out of patterns made here from known lines (seeded Poisson noise), out of the
// silicon scan of the documentation, and out of real scans whose structures are known.
#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>

#include "analysis/peak_search.hpp"
#include "calc/intensity.hpp"
#include "core/mathhkl.hpp"
#include "io/cif_import.hpp"
#include "io/pattern_file.hpp"
#include "symmetry/space_group.hpp"
#include "tests/support/real_files.hpp"
#include "tests/support/synthetic_pattern.hpp"

using namespace obrin;
using namespace obrin::testing_support;
namespace fs = std::filesystem;

namespace {

constexpr double kCuKa1 = 1.54056, kCuKa2 = 1.54439;

const Peak* nearest(const PeakList& list, double twoTheta) {
  const Peak* best = nullptr;
  for (const Peak& p : list.peaks)
    if (!best || std::abs(p.twoTheta - twoTheta) < std::abs(best->twoTheta - twoTheta)) best = &p;
  return best;
}

bool allFinite(const Peak& p) {
  for (double v : {p.twoTheta, p.twoThetaSu, p.d, p.height, p.heightSu, p.area, p.areaSu, p.fwhm, p.fwhmSu, p.eta,
                   p.etaSu, p.asymmetry, p.significance})
    if (!std::isfinite(v)) return false;
  return true;
}

// How the found peaks meet the lines: each line's nearest peak within half its FWHM, and how
// many lines lie within 3 s.u. of theirs.
struct Match {
  int missed = 0, spurious = 0, within3 = 0, found = 0;
  double worst = 0;  // largest |peak − line| / s.u.
};

Match match(const std::vector<SyntheticLine>& lines, const PeakList& list) {
  Match m;
  for (const SyntheticLine& l : lines) {
    const Peak* p = nearest(list, l.twoTheta);
    if (!p || std::abs(p->twoTheta - l.twoTheta) > 0.5 * l.fwhm) {
      ++m.missed;
      ADD_FAILURE() << "no peak at the line " << l.twoTheta << " of height " << l.height;
      continue;
    }
    ++m.found;
    const double z = std::abs(p->twoTheta - l.twoTheta) / p->twoThetaSu;
    m.worst = std::max(m.worst, z);
    if (z <= 3) ++m.within3;
  }
  for (const Peak& p : list.peaks) {
    const bool explained = std::any_of(lines.begin(), lines.end(), [&](const SyntheticLine& l) {
      return std::abs(p.twoTheta - l.twoTheta) <= 0.5 * l.fwhm;
    });
    if (!explained) {
      ++m.spurious;
      ADD_FAILURE() << "a peak at " << p.twoTheta << " that no line explains (significance " << p.significance << ")";
    }
  }
  return m;
}

PeakSearchOptions withLambda(double lambda) {
  PeakSearchOptions o;
  o.wavelengths.lambda = lambda;
  return o;
}

}  // namespace

// 150 lines from 1 % to 100 % of the strongest, at least a FWHM apart, on a sloping background
// with an amorphous hump; the strongest line has 50 000 counts, so that even its 1 % lines stand
// clear of the counting noise.
TEST(PeakSearch, FindsEveryLineOfADensePatternOnAHump) {
  SyntheticScan scan;
  scan.background = [](double x) { return 200 + 3000 * std::exp(-(x - 25) * (x - 25) / 50) + 2 * x; };
  scan.lines = spreadLines(scan, 150, 50000, 1.0, 7);
  const PeakList list = findPeaks(syntheticPattern(scan, 1), withLambda(kCuKa1));
  const Match m = match(scan.lines, list);
  EXPECT_EQ(m.missed, 0);
  EXPECT_EQ(m.spurious, 0);
  // A normal law leaves 0.27 % beyond 3 s.u.: of 150 lines, one or two.
  EXPECT_GE(m.within3, m.found - 3);
  EXPECT_LT(m.worst, 4.5);
  for (std::size_t i = 0; i < list.peaks.size(); ++i) {
    const Peak& p = list.peaks[i];
    EXPECT_TRUE(allFinite(p));
    if (i > 0) {
      EXPECT_LT(list.peaks[i - 1].twoTheta, p.twoTheta);
    }
    EXPECT_NEAR(p.d, kCuKa1 / (2 * std::sin(p.twoTheta * M_PI / 360)), 1e-12);
    EXPECT_GE(p.significance, kDefaultMinPeakSignificance);
  }
  EXPECT_EQ(list.background, "SNIP");
  EXPECT_EQ(list.wavelength, kCuKa1);
  EXPECT_TRUE(list.notes.empty()) << list.notes.front();
}

// Isolated, weak and overlapping lines measured forty times over: the s.u. each fit gives
// against the scatter of what the fits find.
TEST(PeakSearch, UncertaintiesMatchTheScatterOverRepeatedNoise) {
  SyntheticScan scan;
  scan.from = 20;
  scan.to = 60;
  scan.background = [](double x) { return 300 + 5 * x; };
  auto fwhm = [](double x) { return 0.08 + 0.0005 * x; };
  for (double x : {24.0, 31.0, 33.5, 38.0, 38.11, 45.0, 52.0, 52.12, 57.0})
    scan.lines.push_back({x, 8000, fwhm(x), 0.5});
  scan.lines[1].height = 400;   // weak: it takes the shape of the others
  scan.lines[4].height = 2500;  // overlaps the line before it
  scan.lines[7].height = 8000;  // two equal lines 1.4 FWHM apart
  constexpr int kRepeats = 40;
  const std::size_t n = scan.lines.size();
  std::vector<std::vector<double>> positions(n), sus(n), heights(n), heightSus(n);
  for (int seed = 1; seed <= kRepeats; ++seed) {
    const PeakList list = findPeaks(syntheticPattern(scan, std::uint64_t(seed)), {});
    ASSERT_EQ(list.peaks.size(), n) << "seed " << seed;
    for (std::size_t i = 0; i < n; ++i) {
      positions[i].push_back(list.peaks[i].twoTheta);
      sus[i].push_back(list.peaks[i].twoThetaSu);
      heights[i].push_back(list.peaks[i].height);
      heightSus[i].push_back(list.peaks[i].heightSu);
    }
  }
  auto mean = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size()); };
  auto scatter = [&](const std::vector<double>& v) {
    const double m = mean(v);
    double s = 0;
    for (double x : v) s += (x - m) * (x - m);
    return std::sqrt(s / double(v.size() - 1));
  };
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE("line at " + std::to_string(scan.lines[i].twoTheta));
    const double ratio = mean(sus[i]) / scatter(positions[i]);
    EXPECT_GT(ratio, 1 / 1.5);
    EXPECT_LT(ratio, 1.5);
    const double heightRatio = mean(heightSus[i]) / scatter(heights[i]);
    EXPECT_GT(heightRatio, 1 / 1.5);
    EXPECT_LT(heightRatio, 1.5);
    // No bias beyond what forty repeats can tell.
    EXPECT_LT(std::abs(mean(positions[i]) - scan.lines[i].twoTheta), 3 * scatter(positions[i]) / std::sqrt(kRepeats) + 1e-4);
  }
}

// Cu Kα1/Kα2: one peak a line at the Kα1 position, from 20° where the doublet is one peak to
// 140° where its lines stand apart.
TEST(PeakSearch, DoubletsGiveOnePeakAtKalpha1) {
  SyntheticScan scan;
  scan.from = 15;
  scan.to = 145;
  scan.lambdaRatio = kCuKa2 / kCuKa1;
  scan.alpha2Ratio = 0.5;
  for (double x : {20.0, 35.0, 50.0, 65.0, 80.0, 95.0, 110.0, 125.0, 140.0})
    scan.lines.push_back({x, 5000, 0.07 + 0.001 * x, 0.5});
  const MeasuredPattern pattern = syntheticPattern(scan, 3);
  const auto wavelengths = peakWavelengths(kCuKa1, std::nullopt, std::nullopt);
  ASSERT_TRUE(wavelengths.ok());
  PeakSearchOptions o;
  o.wavelengths = *wavelengths;
  const PeakList list = findPeaks(pattern, o);
  const Match m = match(scan.lines, list);
  EXPECT_EQ(m.found, int(scan.lines.size()));
  EXPECT_EQ(m.within3, m.found);
  EXPECT_EQ(list.alpha2, kCuKa2);
  EXPECT_EQ(list.alpha2Ratio, 0.5);
  for (const Peak& p : list.peaks) EXPECT_NEAR(p.height, 5000, 5 * p.heightSu);

  // Fitted as single peaks, the Kα2 lines that stand apart count as peaks of their own.
  PeakSearchOptions single;
  single.wavelengths.lambda = kCuKa1;
  EXPECT_GT(findPeaks(pattern, single).peaks.size(), scan.lines.size() + 3);
}

// Pairs of lines 1 to 1.5 FWHM apart, of equal heights and of heights 4 : 1.
TEST(PeakSearch, OverlappingLinesAreEachFound) {
  SyntheticScan scan;
  scan.from = 20;
  scan.to = 80;
  scan.background = [](double) { return 200.0; };
  const double w = 0.1;
  double x = 23;
  for (double apart : {1.0, 1.2, 1.5})
    for (double second : {20000.0, 5000.0}) {
      scan.lines.push_back({x, 20000, w, 0.5});
      scan.lines.push_back({x + apart * w, second, w, 0.5});
      x += 8;
    }
  const PeakList list = findPeaks(syntheticPattern(scan, 5), {});
  const Match m = match(scan.lines, list);
  EXPECT_EQ(m.missed, 0);
  EXPECT_EQ(m.spurious, 0);
  EXPECT_GE(m.within3, m.found - 1);
}

// The background under a hump and two peaks: it follows the hump, stays under the peaks, and
// their heights come out above the background that was put in.
TEST(PeakSearch, BackgroundFollowsAHumpAndLeavesThePeaks) {
  SyntheticScan scan;
  scan.from = 10;
  scan.to = 50;
  scan.background = [](double x) { return 150 + 2500 * std::exp(-(x - 22) * (x - 22) / 18); };
  scan.lines = {{20.0, 3000, 0.1, 0.5}, {22.3, 800, 0.1, 0.5}, {40.0, 3000, 0.12, 0.5}};
  const MeasuredPattern pattern = syntheticPattern(scan, 1);
  const std::vector<double> background = patternBackground(pattern, {}).y;
  ASSERT_EQ(background.size(), pattern.x.size());
  for (std::size_t i = 0; i < pattern.x.size(); ++i) {
    const double x = pattern.x[i], truth = scan.background(x);
    const bool underPeak = std::any_of(scan.lines.begin(), scan.lines.end(),
                                       [&](const SyntheticLine& l) { return std::abs(x - l.twoTheta) < 3 * l.fwhm; });
    // Clipped noise lies a little below the mean; a peak left in would lie far above it.
    if (underPeak) {
      EXPECT_LT(background[i], truth + 3 * std::sqrt(truth)) << x;
    } else {
      EXPECT_NEAR(background[i], truth, 4 * std::sqrt(truth)) << x;
    }
  }
  const PeakList list = findPeaks(pattern, {});
  const Match m = match(scan.lines, list);
  EXPECT_EQ(m.missed, 0);
  EXPECT_EQ(m.spurious, 0);
  for (const SyntheticLine& l : scan.lines) {
    const Peak* p = nearest(list, l.twoTheta);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->height, l.height, 4 * p->heightSu) << l.twoTheta;
  }
}

// 10 000 points of counting noise alone, on flat and on curved backgrounds.
TEST(PeakSearch, PureNoiseGivesAtMostOnePeak) {
  const std::function<double(double)> backgrounds[] = {
      [](double) { return 100.0; },
      [](double) { return 5000.0; },
      [](double x) { return 400 + 0.2 * (x - 60) * (x - 60) + 900 * std::exp(-(x - 30) * (x - 30) / 40); },
  };
  for (std::size_t b = 0; b < std::size(backgrounds); ++b)
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
      SyntheticScan scan;
      scan.background = backgrounds[b];
      const MeasuredPattern pattern = syntheticPattern(scan, seed);
      ASSERT_EQ(pattern.x.size(), 10001u);
      const PeakList list = findPeaks(pattern, {});
      EXPECT_LE(list.peaks.size(), 1u) << "background " << b << ", seed " << seed;
      if (list.peaks.empty()) {
        EXPECT_FALSE(list.notes.empty());
      }
    }
}

TEST(PeakSearch, PatternsThatHoldNoPeakSayWhy) {
  auto notesOf = [](const MeasuredPattern& p, PeakSearchOptions o = {}) {
    const PeakList list = findPeaks(p, o);
    EXPECT_TRUE(list.peaks.empty());
    std::string all;
    for (const std::string& n : list.notes) all += n + "\n";
    return all;
  };
  MeasuredPattern p;
  EXPECT_NE(notesOf(p).find("too few to hold a peak"), std::string::npos);
  for (int i = 0; i < 8; ++i) {
    p.x.push_back(10 + 0.02 * i);
    p.y.push_back(i == 4 ? 1000 : 10);
  }
  EXPECT_NE(notesOf(p).find("holds 8 points, too few"), std::string::npos);
  p = {};
  for (int i = 0; i < 500; ++i) {
    p.x.push_back(10 + 0.02 * i);
    p.y.push_back(250);
  }
  EXPECT_NE(notesOf(p).find("flat"), std::string::npos);
  std::fill(p.y.begin(), p.y.end(), 0.0);
  EXPECT_NE(notesOf(p).find("flat"), std::string::npos);
  std::fill(p.x.begin(), p.x.end(), 20.0);
  p.y[3] = 10;
  EXPECT_NE(notesOf(p).find("flat"), std::string::npos);

  SyntheticScan scan;
  scan.lines = {{40, 5000, 0.1, 0.5}};
  MeasuredPattern one = syntheticPattern(scan, 2);
  PeakSearchOptions reversed;
  reversed.from = 50;
  reversed.to = 30;
  EXPECT_NE(notesOf(one, reversed).find("holds no angle"), std::string::npos);
  PeakSearchOptions beyond;
  beyond.from = 130;
  beyond.to = 140;
  EXPECT_NE(notesOf(one, beyond).find("in the range searched"), std::string::npos);
  MeasuredPattern uneven = one;
  uneven.y.pop_back();
  EXPECT_NE(notesOf(uneven).find("differ in number"), std::string::npos);

  // Points that are not numbers are left out and said so; the peak is found all the same.
  MeasuredPattern holes = one;
  holes.y[100] = NAN;
  holes.x[200] = INFINITY;
  const PeakList list = findPeaks(holes, {});
  ASSERT_EQ(list.peaks.size(), 1u);
  EXPECT_NEAR(list.peaks[0].twoTheta, 40, 0.01);
  ASSERT_FALSE(list.notes.empty());
  EXPECT_EQ(list.notes[0], "2 points that are not numbers were left out");
}

// The range searched bounds the peaks; a pattern in descending 2θ gives the same peaks.
TEST(PeakSearch, RangeAndPointOrder) {
  SyntheticScan scan;
  scan.lines = {{30, 4000, 0.1, 0.5}, {50, 4000, 0.1, 0.5}, {70, 4000, 0.1, 0.5}};
  MeasuredPattern p = syntheticPattern(scan, 4);
  PeakSearchOptions o;
  o.from = 40;
  o.to = 60;
  const PeakList ranged = findPeaks(p, o);
  ASSERT_EQ(ranged.peaks.size(), 1u);
  EXPECT_NEAR(ranged.peaks[0].twoTheta, 50, 0.01);
  const PeakList forward = findPeaks(p, {});
  std::reverse(p.x.begin(), p.x.end());
  std::reverse(p.y.begin(), p.y.end());
  const PeakList backward = findPeaks(p, {});
  ASSERT_EQ(forward.peaks.size(), 3u);
  ASSERT_EQ(backward.peaks.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(forward.peaks[i].twoTheta, backward.peaks[i].twoTheta);
}

// What counts as the noise: √counts, the file's σ where it gives one, and for intensities that
// are no counts (scaled, averaged) their own measured scatter.
TEST(PeakSearch, SignificanceFollowsTheNoiseOfTheIntensities) {
  SyntheticScan scan;
  scan.lines = {{30, 600, 0.1, 0.5}, {60, 3000, 0.1, 0.5}};
  const MeasuredPattern counts = syntheticPattern(scan, 6);
  const PeakList plain = findPeaks(counts, {});
  ASSERT_EQ(plain.peaks.size(), 2u);
  EXPECT_TRUE(plain.notes.empty());

  MeasuredPattern sigma = counts;
  for (double y : counts.y) sigma.sigma.push_back(2 * std::sqrt(std::max(y, 1.0)));
  const PeakList doubled = findPeaks(sigma, {});
  ASSERT_EQ(doubled.peaks.size(), 2u);
  for (int i = 0; i < 2; ++i)
    EXPECT_NEAR(doubled.peaks[i].significance, plain.peaks[i].significance / 2, 0.1 * plain.peaks[i].significance);

  // The same counts divided by 7 and given with decimals: no longer counts, yet the same peaks
  // at about the same significance.
  MeasuredPattern scaled = counts;
  for (double& y : scaled.y) y /= 7;
  const PeakList rescaled = findPeaks(scaled, {});
  ASSERT_EQ(rescaled.peaks.size(), 2u);
  ASSERT_EQ(rescaled.notes.size(), 1u);
  EXPECT_NE(rescaled.notes[0].find("rather than as counts"), std::string::npos);
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(rescaled.peaks[i].twoTheta, plain.peaks[i].twoTheta, 1e-3);
    EXPECT_NEAR(rescaled.peaks[i].significance, plain.peaks[i].significance, 0.25 * plain.peaks[i].significance);
  }
}

TEST(PeakSearch, APeakAddedByHandIsFittedWhereTheUserPoints) {
  SyntheticScan scan;
  scan.lines = {{40, 8000, 0.1, 0.5}, {40.25, 300, 0.1, 0.5}, {70, 5000, 0.1, 0.5}};
  const MeasuredPattern p = syntheticPattern(scan, 8);
  PeakSearchOptions strict = withLambda(kCuKa1);
  strict.minSignificance = 60;
  const PeakList found = findPeaks(p, strict);
  ASSERT_EQ(found.peaks.size(), 2u);
  // A click a little off the weak line, beside the strong one that stays as it is.
  const auto added = fitPeakAt(p, 40.22, found.peaks, strict);
  ASSERT_TRUE(added.ok()) << added.error();
  EXPECT_NEAR(added->twoTheta, 40.25, 3 * added->twoThetaSu);
  EXPECT_NEAR(added->height, 300, 4 * added->heightSu);
  EXPECT_GT(added->d, 0);
  EXPECT_TRUE(allFinite(*added));

  const auto nothing = fitPeakAt(p, 55, found.peaks, strict);
  if (nothing.ok()) {
    EXPECT_LT(nothing->significance, 5);  // the noise, and no more
  }
  const auto outside = fitPeakAt(p, 130, found.peaks, strict);
  ASSERT_FALSE(outside.ok());
  EXPECT_EQ(outside.error(), "No peak fits at 2θ = 130.000°: the pattern does not reach it");
}

TEST(PeakWavelengths, DoubletsForKalpha1LinesOfTheTableOrOfTheFile) {
  auto of = [](std::optional<double> lambda, std::optional<PatternWavelength> stored, std::optional<double> ratio) {
    const auto w = peakWavelengths(lambda, stored, ratio);
    EXPECT_TRUE(w.ok()) << w.error();
    return w.value_or(PeakWavelengths{});
  };
  PeakWavelengths w = of(kCuKa1, std::nullopt, std::nullopt);
  ASSERT_TRUE(w.alpha2);
  EXPECT_EQ(w.alpha2->lambda2, kCuKa2);
  EXPECT_EQ(w.alpha2->ratio, kDefaultAlpha2Ratio);
  w = of(0.7093, std::nullopt, 0.52);  // MoKa1
  ASSERT_TRUE(w.alpha2);
  EXPECT_EQ(w.alpha2->lambda2, 0.71359);
  EXPECT_EQ(w.alpha2->ratio, 0.52);
  EXPECT_FALSE(of(1.5418, std::nullopt, std::nullopt).alpha2);  // CuKmean: one unresolved line
  EXPECT_FALSE(of(0.4, std::nullopt, std::nullopt).alpha2);     // a synchrotron
  EXPECT_FALSE(of(kCuKa1, std::nullopt, 0.0).alpha2);           // single peaks asked for

  // The file's own lines: λ1 and Kα2 with its ratio, unless the user says otherwise.
  const PatternWavelength uxd{1.5406, 1.54443, 0.514};
  w = of(std::nullopt, uxd, std::nullopt);
  EXPECT_EQ(w.lambda, 1.5406);
  ASSERT_TRUE(w.alpha2);
  EXPECT_EQ(w.alpha2->lambda2, 1.54443);
  EXPECT_EQ(w.alpha2->ratio, 0.514);
  w = of(std::nullopt, PatternWavelength{0.72, 0.725, 0.5}, std::nullopt);
  ASSERT_TRUE(w.alpha2);
  EXPECT_EQ(w.alpha2->lambda2, 0.725);
  w = of(1.9, uxd, std::nullopt);  // another wavelength than the file's
  EXPECT_EQ(w.lambda, 1.9);
  EXPECT_FALSE(w.alpha2);
  w = of(std::nullopt, std::nullopt, std::nullopt);
  EXPECT_FALSE(w.lambda);
  EXPECT_FALSE(w.alpha2);

  EXPECT_EQ(peakWavelengths(1.39222, std::nullopt, 0.5).error(),
            "No K-alpha-2 line is known for the wavelength 1.39222");  // CukBet
  EXPECT_FALSE(peakWavelengths(std::nullopt, std::nullopt, 0.5).ok());
  EXPECT_FALSE(peakWavelengths(kCuKa1, std::nullopt, 1.5).ok());
  EXPECT_FALSE(peakWavelengths(-1.0, std::nullopt, std::nullopt).ok());
}

// Patterns of every odd kind (run under the sanitizers in CI): whatever comes out is numbers.
TEST(PeakSearch, RandomPatternsGiveNumbersOnly) {
  std::mt19937_64 random(20240611);
  std::uniform_int_distribution<int> length(0, 3000), kind(0, 5);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 120; ++round) {
    MeasuredPattern p;
    const int n = length(random), k = kind(random);
    double x = 5 + 20 * unit(random);
    for (int i = 0; i < n; ++i) {
      x += k == 0 ? 0.02 * unit(random) : 0.02;  // uneven steps, some of them 0
      const double r = unit(random);
      double y = 0;
      switch (k) {
        case 0: y = std::floor(1000 * r); break;
        case 1: y = r < 0.01 ? 1e7 : 10 * r; break;  // spikes
        case 2: y = (r - 0.5) * 1e-3; break;         // tiny, of both signs
        case 3: y = std::floor(50 + 5000 * std::exp(-std::pow(std::fmod(x, 7.0) - 3.5, 2) * 80) + 20 * r); break;
        case 4: y = 1e12 * r; break;
        default: y = i % 2 ? 0 : 1; break;
      }
      p.x.push_back(k == 5 && i % 3 == 0 ? x - 1 : x);  // some patterns out of order
      p.y.push_back(y);
      if (round % 4 == 0) p.sigma.push_back(r < 0.05 ? 0.0 : std::sqrt(std::abs(y)) + r);
    }
    PeakSearchOptions o = withLambda(kCuKa1);
    if (round % 3 == 0) o.wavelengths = *peakWavelengths(kCuKa1, std::nullopt, std::nullopt);
    if (round % 5 == 0) o.minSignificance = 1;
    const PeakList list = findPeaks(p, o);
    for (const Peak& peak : list.peaks) ASSERT_TRUE(allFinite(peak)) << "round " << round;
    if (list.peaks.empty()) {
      EXPECT_FALSE(list.notes.empty()) << "round " << round;
    }
    if (!p.x.empty()) {
      const auto one = fitPeakAt(p, p.x[p.x.size() / 2], list.peaks, o);
      EXPECT_TRUE(one.ok() ? allFinite(*one) : !one.error().empty());
    }
  }
}

// The scan of the documentation was made from silicon's lines (a = 5.4309 Å, Cu Kα1/Kα2).
TEST(PeakSearch, SiliconScanGivesItsLines) {
  const PatternRead read = readPattern(fs::path(OBRIN_SOURCE_DIR) / "doc" / "silicon-scan.xy");
  ASSERT_TRUE(read.ok()) << read.error();
  PeakSearchOptions o;
  o.wavelengths = *peakWavelengths(kCuKa1, std::nullopt, std::nullopt);
  const PeakList list = findPeaks(*read, o);
  const double a = 5.4309;
  const int lines[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}};
  for (const auto& hkl : lines) {
    const double d = a / std::sqrt(hkl[0] * hkl[0] + hkl[1] * hkl[1] + hkl[2] * hkl[2]);
    const double twoTheta = 360 / M_PI * std::asin(kCuKa1 / (2 * d));
    const Peak* p = nearest(list, twoTheta);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->twoTheta, twoTheta, 0.01) << hkl[0] << hkl[1] << hkl[2];
    EXPECT_NEAR(p->d, d, 0.001);
  }
}

namespace {

// The lines of a structure from its CIF: every reflection its group allows, at 2θ for λ, with
// m|F|²LP summed over the reflections at one angle, the strongest 100.
struct CalculatedLine {
  double twoTheta = 0, intensity = 0;
};

std::vector<CalculatedLine> linesOf(const fs::path& cif, double lambda, double maxTwoTheta) {
  const CifRead read = readCif(cif);
  EXPECT_TRUE(read.structure) << read.error;
  if (!read.structure) return {};
  const CifStructure& s = *read.structure;
  const Metric metric = *computeMetric(s.cell);
  const auto group = spaceGroupFromOperators("", s.operators);
  EXPECT_TRUE(group.ok());
  const ScatteringModel model = expandStructure(s.atoms, s.operators, metric);
  const double dMin = lambda / (2 * std::sin(maxTwoTheta * M_PI / 360));
  std::vector<CalculatedLine> all;
  const int hMax = int(std::max({s.cell.a, s.cell.b, s.cell.c}) / dMin) + 1;
  for (int h = -hMax; h <= hMax; ++h)
    for (int k = -hMax; k <= hMax; ++k)
      for (int l = -hMax; l <= hMax; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const double d = dSpacing(metric.B, h, k, l);
        if (d < dMin || !allowed(*group, {h, k, l})) continue;
        const double theta = *braggTheta(lambda, d);
        all.push_back({2 * theta, lineIntensity(model, h, k, l, d, theta, 1, 0)});
      }
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.twoTheta < b.twoTheta; });
  std::vector<CalculatedLine> merged;
  for (const CalculatedLine& l : all) {
    if (!merged.empty() && l.twoTheta - merged.back().twoTheta < 1e-4) merged.back().intensity += l.intensity;
    else merged.push_back(l);
  }
  double top = 0;
  for (const CalculatedLine& l : merged) top = std::max(top, l.intensity);
  for (CalculatedLine& l : merged) l.intensity *= 100 / top;
  return merged;
}

// The offset of a measured peak from the line of the structure's cell: the scan's zero and
// the difference of the sample's cell from the CIF's (Δ2θ ∝ tan θ), fitted to the strong peaks
// by least squares, leaving out those that no line is near.
struct Calibration {
  double zero = 0, strain = 0;
  double operator()(double twoTheta) const { return zero + strain * std::tan(twoTheta * M_PI / 360); }
};

Calibration calibrate(const PeakList& list, const std::function<double(double)>& nearestLine) {
  Calibration c;
  for (double tolerance : {0.2, 0.05, 0.03}) {
    std::vector<std::array<double, 3>> rows;
    for (const Peak& p : list.peaks) {
      const double offset = p.twoTheta - nearestLine(p.twoTheta - c(p.twoTheta));
      if (p.significance >= 20 && std::abs(offset - c(p.twoTheta)) < tolerance)
        rows.push_back({1, std::tan(p.twoTheta * M_PI / 360), offset});
    }
    Eigen::MatrixX2d design(Eigen::Index(rows.size()), 2);
    Eigen::VectorXd offsets(Eigen::Index(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
      design.row(Eigen::Index(i)) << rows[i][0], rows[i][1];
      offsets[Eigen::Index(i)] = rows[i][2];
    }
    const Eigen::Vector2d solution = design.colPivHouseholderQr().solve(offsets);
    c = {solution[0], solution[1]};
  }
  return c;
}

// A peak and a line explain each other when, the calibration taken off, the line lies within
// the tolerance of the peak's top, or, for a peak not clearly strong or broader than the peaks
// about it, within half its FWHM: such a peak is a group of lines too close to be told apart. Every peak of
// significance 10 and more, and 95 % of the weaker ones, is explained; so is every line of 5 %
// and more.
void expectExplained(const PeakList& list, const std::vector<CalculatedLine>& lines, double tolerance) {
  ASSERT_FALSE(lines.empty());
  ASSERT_FALSE(list.peaks.empty());
  auto nearestLine = [&](double twoTheta) {
    return std::min_element(lines.begin(), lines.end(), [&](auto& a, auto& b) {
             return std::abs(a.twoTheta - twoTheta) < std::abs(b.twoTheta - twoTheta);
           })->twoTheta;
  };
  const Calibration c = calibrate(list, nearestLine);
  EXPECT_LT(std::abs(c.zero), 0.2);
  // The width of the peaks about a peak: the median of the nine nearest.
  auto typicalWidth = [&](const Peak& p) {
    std::vector<double> widths;
    std::vector<const Peak*> near;
    for (const Peak& q : list.peaks) near.push_back(&q);
    std::sort(near.begin(), near.end(),
              [&](auto a, auto b) { return std::abs(a->twoTheta - p.twoTheta) < std::abs(b->twoTheta - p.twoTheta); });
    for (std::size_t i = 0; i < std::min<std::size_t>(near.size(), 9); ++i) widths.push_back(near[i]->fwhm);
    std::nth_element(widths.begin(), widths.begin() + long(widths.size() / 2), widths.end());
    return widths[widths.size() / 2];
  };
  auto explains = [&](const Peak& p, double line) {
    const double off = std::abs(p.twoTheta - c(p.twoTheta) - line);
    return off < tolerance || ((p.significance < 50 || p.fwhm > 1.3 * typicalWidth(p)) && off < 0.5 * p.fwhm);
  };
  int weak = 0, weakExplained = 0;
  for (const Peak& p : list.peaks) {
    const bool explained = std::any_of(lines.begin(), lines.end(), [&](const CalculatedLine& l) { return explains(p, l.twoTheta); });
    if (p.significance >= 10) {
      EXPECT_TRUE(explained) << "the peak at " << p.twoTheta << " (height " << p.height << ", FWHM " << p.fwhm
                             << ", significance " << p.significance << ")";
    } else {
      ++weak;
      weakExplained += explained;
    }
  }
  EXPECT_GE(weakExplained, 0.95 * weak);
  const double from = list.peaks.front().twoTheta - 1, to = list.peaks.back().twoTheta + 1;
  for (const CalculatedLine& l : lines) {
    if (l.intensity < 5 || l.twoTheta < from || l.twoTheta > to) continue;
    EXPECT_TRUE(std::any_of(list.peaks.begin(), list.peaks.end(), [&](const Peak& p) { return explains(p, l.twoTheta); }))
        << "the line at " << l.twoTheta << " of " << l.intensity;
  }
}

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// Lab Cu Kα data of PbSO4 from GSAS-II's tutorials, a GSAS file of counts.
TEST(RealPatterns, LeadSulphatePeaksAreItsLines) {
  const auto dir = realFilesDir();
  if (!dir) GTEST_SKIP() << "no ../shared/real beside the checkout";
  const PatternRead read = readPatternText(contentsOf(*dir / "patterns" / "gsas2__PBSO4.XRA"), "gsas2__PBSO4.XRA");
  ASSERT_TRUE(read.ok()) << read.error();
  PeakSearchOptions o;
  o.wavelengths = *peakWavelengths(kCuKa1, std::nullopt, std::nullopt);
  const PeakList list = findPeaks(*read, o);
  EXPECT_GT(list.peaks.size(), 80u);
  expectExplained(list, linesOf(*dir / "patterns" / "PbSO4-Wyckoff.cif", kCuKa1, 160), 0.04);
}

// A Bruker UXD scan of LiCoO2 that gives its own Kα1, Kα2 and their ratio.
TEST(RealPatterns, LithiumCobaltOxidePeaksAreItsLines) {
  const auto dir = realFilesDir();
  if (!dir) GTEST_SKIP() << "no ../shared/real beside the checkout";
  const PatternRead read = readPattern(*dir / "patterns" / "LiCoO2" / "LiCoO2.UXD");
  ASSERT_TRUE(read.ok()) << read.error();
  ASSERT_TRUE(read->wavelength);
  PeakSearchOptions o;
  o.wavelengths = *peakWavelengths(std::nullopt, read->wavelength, std::nullopt);
  ASSERT_TRUE(o.wavelengths.alpha2);
  EXPECT_EQ(o.wavelengths.alpha2->ratio, 0.514);
  const PeakList list = findPeaks(*read, o);
  EXPECT_GT(list.peaks.size(), 20u);
  expectExplained(list, linesOf(*dir / "patterns" / "LiCoO2" / "1550397.cif", *o.wavelengths.lambda, 140), 0.04);
}
