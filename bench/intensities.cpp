// Line intensities of a structure of 200 atoms in the cell, for 5,000 powder lines.
#include <benchmark/benchmark.h>

#include <random>

#include "calc/intensity.hpp"

using namespace obrin;

namespace {

constexpr double kCuKa1 = 1.54056;

void BM_Intensities200Atoms5000Lines(benchmark::State& bm) {
  const UnitCell cell{21.3, 17.9, 15.2, 90, 101.5, 90};
  const Metric metric = *computeMetric(cell);
  // P 21/n: 50 atoms on general positions give 200 in the cell.
  std::vector<SymmetryOperator> ops;
  for (const char* t : {"x,y,z", "-x+1/2,y+1/2,-z+1/2", "-x,-y,-z", "x+1/2,-y+1/2,z+1/2"}) ops.push_back(*parseTriplet(t));
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0, 1);
  const char* elements[] = {"C", "O", "N", "Fe", "S"};
  std::vector<AtomSite> atoms;
  for (int i = 0; i < 50; ++i) {
    AtomSite a{"A" + std::to_string(i), elements[i % 5], elements[i % 5], {unit(rng), unit(rng), unit(rng)}, 1, 0.01, {}};
    if (i % 2) a.uAniso = std::array<double, 6>{0.01, 0.012, 0.011, 0.001, 0.002, -0.001};
    atoms.push_back(a);
  }
  const ScatteringModel model = expandStructure(atoms, ops, metric);
  struct Line { int h, k, l; double d, theta; };
  std::vector<Line> lines;
  for (int h = 0; lines.size() < 5000; ++h)
    for (int k = 0; k <= 12 && lines.size() < 5000; ++k)
      for (int l = -12; l <= 12 && lines.size() < 5000; ++l) {
        const double d = dSpacing(metric.B, h, k, l);
        if (const auto theta = braggTheta(kCuKa1, d)) lines.push_back({h, k, l, d, *theta});
      }
  std::vector<double> intensities(lines.size());
  for (auto _ : bm) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      intensities[i] = lineIntensity(model, lines[i].h, lines[i].k, lines[i].l, lines[i].d, lines[i].theta, 4, 0);
    normaliseToHundred(intensities);
    benchmark::DoNotOptimize(intensities.data());
  }
  bm.counters["atoms"] = double(model.positions.size());
  bm.counters["lines"] = double(lines.size());
}
BENCHMARK(BM_Intensities200Atoms5000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
