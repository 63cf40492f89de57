// Cell refinement: a hundred peaks of a triclinic cell with zero shift and displacement, the
// largest everyday problem, and a cubic one of a few lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "analysis/cell_refinement.hpp"
#include "analysis/reciprocal_metric.hpp"
#include "calc/lines.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

constexpr double kLambda = 1.54056;
constexpr double kDeg = 180 / std::numbers::pi;

SpaceGroup group(CrystalSystem system, const char* name) {
  const fs::path file = fs::path(OBRIN_SOURCE_DIR) / "data" / (std::string(1, systemInfo(system).fileLetter) + ".pos");
  return *loadSpaceGroup(file, system, name);
}

// Peaks at the cell's lines, shifted by the zero and the displacement, each at least 0.06° from
// the others; at most `most` of them.
PeakList peaksOf(const UnitCell& cell, const SpaceGroup& g, double zero, double s, int most) {
  const auto lines = allowedLines(cell, g, kLambda, 150);
  const Diffractometer in{kLambda, zero, s, kDefaultGoniometerRadius};
  std::vector<double> pos;
  for (const Reflection& r : *lines) pos.push_back(*lineTwoTheta(r.d, in));
  PeakList peaks;
  for (std::size_t i = 0; i < pos.size() && static_cast<int>(peaks.peaks.size()) < most; ++i) {
    bool alone = pos[i] > 8;
    for (std::size_t j = 0; j < pos.size(); ++j) alone &= j == i || std::fabs(pos[j] - pos[i]) > 0.06;
    if (alone) peaks.peaks.push_back({pos[i], 0.01});
  }
  orderPeaks(peaks.peaks, kLambda);
  return peaks;
}

void refine(benchmark::State& bm, CrystalSystem system, const char* name, UnitCell cell, int most, bool shifts) {
  const SpaceGroup g = group(system, name);
  const PeakList peaks = peaksOf(cell, g, shifts ? 0.03 : 0, shifts ? 0.1 : 0, most);
  const UnitCell start{cell.a * 1.0002, cell.b * 1.0002, cell.c * 1.0002, cell.alpha, cell.beta, cell.gamma};
  RefinementOptions o;
  o.refineZero = o.refineDisplacement = shifts;
  int used = 0;
  for (auto _ : bm) {
    const auto r = refineCell(peaks, system, start, g, kLambda, o);
    if (!r) {
      bm.SkipWithError(r.error().c_str());
      return;
    }
    used = r->used;
    benchmark::DoNotOptimize(r->cell);
  }
  bm.counters["peaks"] = static_cast<double>(peaks.peaks.size());
  bm.counters["used"] = used;
}

}  // namespace

BENCHMARK_CAPTURE(refine, triclinic_100_zero_displacement, CrystalSystem::Triclinic, "P -1 (2)",
                  UnitCell{7.1013, 8.3022, 9.4031, 95.21, 102.13, 87.42}, 100, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refine, cubic_silicon, CrystalSystem::Cubic, "F D -3 M (227)",
                  UnitCell{5.4309, 5.4309, 5.4309, 90, 90, 90}, 100, false)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
