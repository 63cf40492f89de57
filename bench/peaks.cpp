// The peak search on patterns made from known lines with Poisson noise, on a background with an
// amorphous hump: laboratory scans of 10 000 points with 150 lines, and a fine scan of 100 000
// points with 1 000 lines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

#include "analysis/peak_search.hpp"
#include "tests/support/synthetic_pattern.hpp"

using namespace obrin;
using namespace obrin::testing_support;

namespace {

// 10 001 points at 0.01° (widthScale 1: FWHM 0.06° to 0.12°) or 100 001 at 0.001° (widthScale
// 0.1), from 10° to 110°.
const MeasuredPattern& scan(double step, int lines, double widthScale, std::uint64_t seed) {
  static std::map<std::pair<double, std::uint64_t>, MeasuredPattern> made;
  auto& pattern = made[{step, seed}];
  if (pattern.x.empty()) {
    SyntheticScan s;
    s.from = 10;
    s.to = 110;
    s.step = step;
    s.background = [](double x) { return 200 + 3000 * std::exp(-(x - 25) * (x - 25) / 50) + 2 * x; };
    s.lines = spreadLines(s, lines, 50000, 1.0, seed, widthScale);
    pattern = syntheticPattern(s, seed);
  }
  return pattern;
}

void search(benchmark::State& state, const MeasuredPattern& pattern) {
  PeakSearchOptions options;
  options.wavelengths.lambda = 1.54056;
  std::size_t found = 0;
  for (auto _ : state) {
    const PeakList list = findPeaks(pattern, options);
    found = list.peaks.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["peaks"] = double(found);
  state.counters["points"] = double(pattern.x.size());
}

void BM_LaboratoryScan(benchmark::State& state) { search(state, scan(0.01, 150, 1, std::uint64_t(state.range(0)))); }
BENCHMARK(BM_LaboratoryScan)->DenseRange(1, 4)->Unit(benchmark::kMillisecond);

void BM_FineScan(benchmark::State& state) { search(state, scan(0.001, 1000, 0.1, std::uint64_t(state.range(0)))); }
BENCHMARK(BM_FineScan)->DenseRange(1, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
