// Indexing 20 simulated lines (noise 0.01° 2θ, a zero shift of 0.05°, two weak lines left out,
// one impurity) of a cell of about 1,000 Å³ in each crystal system: the search of the system
// alone, and the whole search from cubic down as the window and the command line run it.
#include <benchmark/benchmark.h>

#include "analysis/indexing.hpp"
#include "tests/support/simulated_peaks.hpp"

using namespace obrin;
using namespace obrin::testing;

namespace {

struct BenchCase {
  SimulatedCase truth;
  CrystalSystem searched;
};

const BenchCase kCases[] = {
    {{CrystalSystem::Cubic, "F M -3 M (225)", {10.0, 10.0, 10.0, 90, 90, 90}}, CrystalSystem::Cubic},
    {{CrystalSystem::Tetragonal, "I 41/A M D (141)", {7.07, 7.07, 20.0, 90, 90, 90}}, CrystalSystem::Tetragonal},
    {{CrystalSystem::Hexagonal, "P 63/M M C (194)", {8.9, 8.9, 14.6, 90, 90, 120}}, CrystalSystem::Hexagonal},
    {{CrystalSystem::Orthorhombic, "P N M A (62)", {8.1, 10.3, 12.0, 90, 90, 90}}, CrystalSystem::Orthorhombic},
    {{CrystalSystem::Monoclinic, "P 21/C (14)", {9.1, 10.2, 11.3, 90, 105.0, 90}}, CrystalSystem::Monoclinic},
    {{CrystalSystem::Triclinic, "P -1 (2)", {9.3, 10.1, 11.2, 85.0, 95.0, 100.0}}, CrystalSystem::Triclinic},
};

void index(benchmark::State& bm, int which, bool allSystems) {
  const BenchCase& c = kCases[which];
  Simulation s;
  s.zero = 0.05;
  s.dropped = 2;
  s.impurities = 1;
  s.seed = 3;
  const PeakList peaks = simulatedPeaks(c.truth, s);
  IndexingOptions options;
  if (!allSystems) options.systems = {c.searched};
  Result<IndexingResult> r = fail("not run");
  for (auto _ : bm) {
    r = indexPattern(peaks, kSimulatedLambda, options);
    benchmark::DoNotOptimize(r);
  }
  if (!r) {
    bm.SkipWithError(r.error().c_str());
    return;
  }
  bm.counters["indexed"] = r->indexed;
  bm.counters["complete"] = r->complete;
  bm.counters["M20"] = r->solutions.empty() || !r->solutions.front().m20 ? 0 : r->solutions.front().m20->value;
  bm.counters["volume"] = r->solutions.empty() ? 0 : r->solutions.front().volume;
}

}  // namespace

BENCHMARK_CAPTURE(index, cubic, 0, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(index, tetragonal, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(index, hexagonal, 2, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(index, orthorhombic, 3, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, monoclinic, 4, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, triclinic, 5, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, cubic_all_systems, 0, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, orthorhombic_all_systems, 3, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, monoclinic_all_systems, 4, true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(index, triclinic_all_systems, 5, true)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
