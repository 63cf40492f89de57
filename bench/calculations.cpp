// The calculations near the list limits, and the exchange sort they no longer run.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "calc/calculation.hpp"
#include "calc/exchange_order.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

constexpr double kCuKa1 = 1.54056;

// The delivered position files, or the test files when the data are not there.
fs::path positionFile(CrystalSystem system) {
  const fs::path delivered = fs::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(system);
  if (fs::exists(delivered)) return delivered;
  return fs::path(OBRIN_SOURCE_DIR) / "tests" / "data" / "calc" / positionFileName(system);
}

// The list name of a group: the symbol itself, or the symbol followed by its number.
std::string groupName(CrystalSystem system, const std::string& symbol) {
  for (const std::string& name : loadSpaceGroupList(positionFile(system)).names)
    if (name == symbol || name.rfind(symbol + " (", 0) == 0) return name;
  return symbol;
}

CalculationState makeState(CrystalSystem system, UnitCell cell, double thetaMax) {
  CalculationState st;
  st.system = system;
  st.cell = cell;
  st.lambda = kCuKa1;
  st.thetaMin = 0;
  st.thetaMax = thetaMax;
  return st;
}

void report(benchmark::State& bm, const CalculationState& st, const std::string& warning) {
  long equivalents = 0;
  for (const auto& r : st.list) equivalents += r.multiplicity;
  bm.counters["lines"] = static_cast<double>(st.list.size());
  bm.counters["equivalents"] = static_cast<double>(equivalents);
  if (!warning.empty()) bm.SetLabel(warning);
}

void powder(benchmark::State& bm, CrystalSystem system, UnitCell cell, double thetaMax, const char* group) {
  CalculationState st = makeState(system, cell, thetaMax);
  std::array<std::string, 6> miller{};
  std::string warning;
  const std::string name = groupName(system, group);
  for (auto _ : bm) {
    warning = calcul(st, name, positionFile(system), CalcMode::Powder, miller).warning;
    benchmark::DoNotOptimize(st.list.data());
  }
  report(bm, st, warning);
}

void singleCrystal(benchmark::State& bm, UnitCell cell, std::array<std::string, 6> limits) {
  CalculationState st = makeState(CrystalSystem::Triclinic, cell, 40);
  std::string warning;
  const std::string name = groupName(CrystalSystem::Triclinic, "P -1");
  for (auto _ : bm) {
    auto texts = limits;
    warning = calcul_monocristaux(st, name, positionFile(CrystalSystem::Triclinic), texts).warning;
    benchmark::DoNotOptimize(st.list.data());
  }
  report(bm, st, warning);
}

const UnitCell kTriclinic{20, 25, 30, 80, 100, 110};
const UnitCell kMonoclinic{20, 25, 30, 90, 110, 90};

void BM_PowderTriclinic(benchmark::State& bm) { powder(bm, CrystalSystem::Triclinic, kTriclinic, 31, "P -1"); }
void BM_PowderMonoclinic(benchmark::State& bm) { powder(bm, CrystalSystem::Monoclinic, kMonoclinic, 40, "P 21/C"); }
void BM_SingleCrystalNearLimit(benchmark::State& bm) {
  singleCrystal(bm, kTriclinic, {"-11", "11", "-15", "15", "0", "13"});
}
void BM_SingleCrystalRefused(benchmark::State& bm) {
  singleCrystal(bm, kTriclinic, {"-18", "18", "-17", "17", "-17", "17"});
}

// The d values of the triclinic powder list in loop order, sorted by both procedures.
std::vector<double> triclinicSpacings() {
  CalculationState st = makeState(CrystalSystem::Triclinic, kTriclinic, 31);
  std::array<std::string, 6> miller{};
  calcul(st, groupName(CrystalSystem::Triclinic, "P -1"), positionFile(CrystalSystem::Triclinic), CalcMode::Powder, miller);
  std::vector<double> d;
  for (const auto& r : st.list) d.push_back(r.d);
  // Loop order runs roughly from small to large d and back; a fixed shuffle stands for it.
  for (std::size_t i = 0; i < d.size(); ++i) std::swap(d[i], d[(i * 7919) % d.size()]);
  return d;
}

void BM_ExchangeSortLiteral(benchmark::State& bm) {
  const auto d = triclinicSpacings();
  for (auto _ : bm) {
    std::vector<std::size_t> idx(d.size());
    for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    for (std::size_t i = 0; i + 1 < idx.size(); ++i)
      for (std::size_t j = i + 1; j < idx.size(); ++j)
        if (d[idx[j]] > d[idx[i]]) std::swap(idx[i], idx[j]);
    benchmark::DoNotOptimize(idx.data());
  }
  bm.counters["records"] = static_cast<double>(d.size());
}

void BM_ExchangeSortOrder(benchmark::State& bm) {
  const auto d = triclinicSpacings();
  for (auto _ : bm) benchmark::DoNotOptimize(exchangeSortOrder(d).data());
  bm.counters["records"] = static_cast<double>(d.size());
}

}  // namespace

BENCHMARK(BM_PowderTriclinic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowderMonoclinic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleCrystalNearLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleCrystalRefused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSortLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSortOrder)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
