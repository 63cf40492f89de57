// Peak lists the tests make from a cell and a group, as a peak search would report them from a
// measured pattern: the group's lines at Cu Kα1 by increasing 2θ, lines closer than the
// resolution merged into one peak, Gaussian noise on every position, a zero shift, a few
// weak lines left out and impurity lines added; all of it seeded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "analysis/peak.hpp"
#include "calc/lines.hpp"
#include "symmetry/pot.hpp"

namespace obrin::testing {

inline constexpr double kSimulatedLambda = 1.540598;  // Cu Kα1, Å

struct SimulatedCase {
  CrystalSystem system;  // of the position file; rhombohedral groups on hexagonal axes
  const char* group;     // as the position file names it, "F M -3 M (225)"
  UnitCell cell;
};

struct Simulation {
  int count = 20;           // peaks in the list
  double noise = 0.01;      // σ of the positions, degrees 2θ
  double zero = 0;          // added to every position, degrees 2θ
  int dropped = 0;          // lines left out among the list's, never the first three
  int impurities = 0;       // positions added that no line of the cell explains
  double resolution = 0.02; // lines closer than this (degrees 2θ) are one peak
  unsigned seed = 1;
};

inline std::filesystem::path simulatedPositionFile(CrystalSystem system) {
  return std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(system);
}

inline PeakList simulatedPeaks(const SimulatedCase& c, const Simulation& s = {}) {
  PeakList list;
  list.wavelength = kSimulatedLambda;
  const auto metric = computeMetric(c.cell);
  const auto group = loadSpaceGroup(simulatedPositionFile(c.system), c.system, c.group);
  EXPECT_TRUE(metric && group) << c.group << ": " << group.error();
  if (!metric || !group) return list;
  const auto lines = powderLines(*metric, *group, kSimulatedLambda, {2.5, 60});
  EXPECT_TRUE(lines) << lines.error();
  if (!lines) return list;
  std::vector<double> positions;
  for (const Reflection& r : *lines) positions.push_back(2 * r.theta);
  std::sort(positions.begin(), positions.end());
  std::vector<double> peaks;
  for (double x : positions)
    if (peaks.empty() || x - peaks.back() > s.resolution) peaks.push_back(x);
  std::mt19937 random(s.seed);
  const int wanted = s.count - s.impurities + s.dropped;
  if (static_cast<int>(peaks.size()) > wanted) peaks.resize(wanted);
  for (int i = 0; i < s.dropped && peaks.size() > 3; ++i)
    peaks.erase(peaks.begin() + std::uniform_int_distribution<int>(3, static_cast<int>(peaks.size()) - 1)(random));
  // An impurity stands at least 0.3° from every line of the cell.
  std::uniform_real_distribution<double> anywhere(peaks.front(), peaks.back());
  for (int i = 0; i < s.impurities; ++i) {
    for (int tries = 0; tries < 1000; ++tries) {
      const double x = anywhere(random);
      if (std::all_of(positions.begin(), positions.end(), [&](double p) { return std::abs(p - x) > 0.3; })) {
        peaks.push_back(x);
        break;
      }
    }
  }
  std::sort(peaks.begin(), peaks.end());
  std::normal_distribution<double> noise(0, s.noise);
  for (double x : peaks) {
    Peak p;
    p.twoTheta = x + s.zero + (s.noise > 0 ? noise(random) : 0);
    p.height = 100;
    list.peaks.push_back(p);
  }
  return list;
}

// Positions anywhere in 10–70° 2θ: a list no cell explains.
inline PeakList randomPeaks(int count, unsigned seed) {
  PeakList list;
  list.wavelength = kSimulatedLambda;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> anywhere(10, 70);
  for (int i = 0; i < count; ++i) {
    Peak p;
    p.twoTheta = anywhere(random);
    p.height = 100;
    list.peaks.push_back(p);
  }
  std::sort(list.peaks.begin(), list.peaks.end(), [](const Peak& a, const Peak& b) { return a.twoTheta < b.twoTheta; });
  return list;
}

}  // namespace obrin::testing
