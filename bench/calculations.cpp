// The calculations of everyday and of very large lists, and the exchange sort they no longer run.
#include <benchmark/benchmark.h>

#include <cmath>
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

CalculationState makeState(CrystalSystem system, UnitCell cell, double thetaMax, double lambda = kCuKa1,
                           double thetaMin = 0) {
  CalculationState st;
  st.system = system;
  st.cell = cell;
  st.lambda = lambda;
  st.thetaMin = thetaMin;
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

void powder(benchmark::State& bm, CrystalSystem system, UnitCell cell, double thetaMax, const char* group,
            double lambda = kCuKa1, double thetaMin = 0) {
  CalculationState st = makeState(system, cell, thetaMax, lambda, thetaMin);
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
// θ of d = dmin at λ, in degrees.
double thetaOf(double lambda, double dmin) { return std::asin(lambda / (2 * dmin)) / kRadPerDeg; }

// MOF-5 over 2θ 2–150°, a protein powder to 1.2 Å, and a large triclinic cell at a synchrotron
// wavelength (some 570,000 lines).
void BM_PowderMof5(benchmark::State& bm) {
  powder(bm, CrystalSystem::Cubic, {25.83, 25.83, 25.83, 90, 90, 90}, 75, "F M -3 M", kCuKa1, 1);
}
void BM_PowderLysozyme(benchmark::State& bm) {
  powder(bm, CrystalSystem::Tetragonal, {79.1, 79.1, 37.9, 90, 90, 90}, thetaOf(1.0, 1.2), "P 43 21 2", 1.0);
}
void BM_PowderLargeTriclinic(benchmark::State& bm) {
  powder(bm, CrystalSystem::Triclinic, {30, 40, 50, 80, 85, 95}, thetaOf(0.4, 0.6), "P -1", 0.4);
}

void BM_SingleCrystalNearLimit(benchmark::State& bm) {
  singleCrystal(bm, kTriclinic, {"-11", "11", "-15", "15", "0", "13"});
}
void BM_SingleCrystalWide(benchmark::State& bm) {
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
BENCHMARK(BM_PowderMof5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowderLysozyme)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PowderLargeTriclinic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleCrystalNearLimit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleCrystalWide)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSortLiteral)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExchangeSortOrder)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
