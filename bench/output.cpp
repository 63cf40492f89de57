// The texts obrin-cli writes for a list of everyday size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <ostream>
#include <streambuf>

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

// The text is made in full and dropped, so that only its making is measured.
struct Discard : std::streambuf {
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int overflow(int c) override { return c; }
};

void BM_ListText(benchmark::State& bm) {
  Discard sink;
  std::ostream out(&sink);
  for (auto _ : bm) cli::writeList(out, triclinicList(), AngleMode::Theta);
  bm.counters["lines"] = static_cast<double>(triclinicList().size());
}

void BM_TsvText(benchmark::State& bm) {
  Discard sink;
  std::ostream out(&sink);
  for (auto _ : bm) cli::writeTsv(out, triclinicList(), AngleMode::Theta, std::nullopt);
  bm.counters["lines"] = static_cast<double>(triclinicList().size());
}

void BM_TsvTextDecimals(benchmark::State& bm) {
  Discard sink;
  std::ostream out(&sink);
  for (auto _ : bm) cli::writeTsv(out, triclinicList(), AngleMode::TwoTheta, 5);
}

}  // namespace

BENCHMARK(BM_ListText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TsvText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TsvTextDecimals)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
