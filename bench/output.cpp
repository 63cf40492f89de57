// The texts obrin-cli writes for a list of everyday size.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "calc/calculation.hpp"
#include "cli/formats.hpp"

using namespace obrin;

namespace {

// The triclinic powder list of P -1 (20/25/30 Å, 80/100/110°) with CuKα1 to θ = 31°.
const ReflectionList& triclinicList() {
  static const ReflectionList list = [] {
    CalculationState st;
    st.system = CrystalSystem::Triclinic;
    st.cell = {20, 25, 30, 80, 100, 110};
    st.lambda = 1.5406;
    st.thetaMin = 0;
    st.thetaMax = 31;
    std::array<std::string, 6> miller{};
    const auto file = std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / "T.pos";
    calcul(st, std::string("P -1 (2)"), file, CalcMode::Powder, miller);
    return st.list;
  }();
  return list;
}

void BM_ListText(benchmark::State& bm) {
  for (auto _ : bm) benchmark::DoNotOptimize(cli::listText(triclinicList(), AngleMode::Theta).data());
  bm.counters["lines"] = static_cast<double>(triclinicList().size());
}

void BM_TsvText(benchmark::State& bm) {
  for (auto _ : bm) benchmark::DoNotOptimize(cli::tsvText(triclinicList(), AngleMode::Theta, std::nullopt).data());
  bm.counters["lines"] = static_cast<double>(triclinicList().size());
}

void BM_TsvTextDecimals(benchmark::State& bm) {
  for (auto _ : bm) benchmark::DoNotOptimize(cli::tsvText(triclinicList(), AngleMode::TwoTheta, 5).data());
}

}  // namespace

BENCHMARK(BM_ListText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TsvText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TsvTextDecimals)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
