// The space-group ranking: every orthorhombic entry of the position file (all six settings)
// against 50 peaks, with the file read once beforehand (a window ranking again) and read each
// time (the command line).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "analysis/space_group_ranking.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

constexpr double kCuKa1 = 1.54056;

fs::path orthorhombicFile() { return fs::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(CrystalSystem::Orthorhombic); }

// The first 50 lines of P n m a in the cell, as peaks.
std::vector<Peak> peaksOf(const UnitCell& cell) {
  const auto metric = computeMetric(cell);
  const auto group = loadSpaceGroup(orthorhombicFile(), CrystalSystem::Orthorhombic, "P N M A (62)");
  const auto list = powderLines(*metric, *group, kCuKa1, {2.5, 60});
  std::vector<Peak> peaks;
  for (const Reflection& r : *list) {
    if (peaks.size() == 50) break;
    Peak p;
    p.twoTheta = 2 * r.theta;
    p.height = r.multiplicity;
    p.fwhm = 0.08;
    peaks.push_back(p);
  }
  return peaks;
}

void report(benchmark::State& bm, const SpaceGroupRanking& r, std::size_t groups) {
  bm.counters["groups"] = static_cast<double>(groups);
  bm.counters["classes"] = static_cast<double>(r.classes.size());
  bm.counters["to_2theta"] = r.rangeMax;
}

void rankLoaded(benchmark::State& bm, const UnitCell& cell) {
  const auto catalogue = loadGroupCatalogue({{CrystalSystem::Orthorhombic, orthorhombicFile()}});
  const auto metric = computeMetric(cell);
  const auto peaks = peaksOf(cell);
  Result<SpaceGroupRanking> r = fail("not run");
  for (auto _ : bm) {
    r = rankSpaceGroups(*catalogue, *metric, {kCuKa1}, peaks);
    benchmark::DoNotOptimize(r);
  }
  if (!r) bm.SkipWithError(r.error().c_str());
  else report(bm, *r, catalogue->groups.size());
}

void rankWithFile(benchmark::State& bm, const UnitCell& cell) {
  const auto metric = computeMetric(cell);
  const auto peaks = peaksOf(cell);
  Result<SpaceGroupRanking> r = fail("not run");
  std::size_t groups = 0;
  for (auto _ : bm) {
    const auto catalogue = loadGroupCatalogue({{CrystalSystem::Orthorhombic, orthorhombicFile()}});
    r = rankSpaceGroups(*catalogue, *metric, {kCuKa1}, peaks);
    groups = catalogue->groups.size();
    benchmark::DoNotOptimize(r);
  }
  if (!r) bm.SkipWithError(r.error().c_str());
  else report(bm, *r, groups);
}

const UnitCell kEveryday{5.75, 7.95, 5.45, 90, 90, 90};
const UnitCell kLarge{10.21, 12.73, 15.32, 90, 90, 90};

void BM_RankOrthorhombic(benchmark::State& bm) { rankLoaded(bm, kEveryday); }
void BM_RankOrthorhombicLargeCell(benchmark::State& bm) { rankLoaded(bm, kLarge); }
void BM_RankOrthorhombicReadingTheFile(benchmark::State& bm) { rankWithFile(bm, kEveryday); }
void BM_RankOrthorhombicLargeCellReadingTheFile(benchmark::State& bm) { rankWithFile(bm, kLarge); }

}  // namespace

BENCHMARK(BM_RankOrthorhombic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankOrthorhombicLargeCell)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankOrthorhombicReadingTheFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankOrthorhombicLargeCellReadingTheFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
