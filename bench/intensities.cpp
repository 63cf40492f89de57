// Line intensities of a structure of 200 atoms in the cell, for 5,000 powder lines; and of a
// structure at the import's limit of atom images, for the window's default powder list.
#include <benchmark/benchmark.h>

#include <random>

#include "calc/intensity.hpp"
#include "calc/lines.hpp"
#include "core/limits.hpp"
#include "io/cif_import.hpp"
#include "symmetry/pot.hpp"

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
  bm.counters["atoms"] = model.cellAtoms;
  bm.counters["lines"] = double(lines.size());
}
BENCHMARK(BM_Intensities200Atoms5000Lines)->Unit(benchmark::kMillisecond);

// F d -3 m, the group with the most operators (192), with as many sites on general positions
// as the limit allows, in a 25 Å cell: the placing of the sites and the intensities of every
// line of Cu Kα1 from θ = 5° to 20°, as the window computes them after an import.
void BM_StructureAtTheImageLimitDefaultList(benchmark::State& bm) {
  const auto group = loadSpaceGroup(std::string(OBRIN_SOURCE_DIR) + "/data/C.pos", CrystalSystem::Cubic, "F D -3 M (227)");
  if (!group) {
    bm.SkipWithError(group.error().c_str());
    return;
  }
  // The whole group, centring included, as an import gives it.
  const CifRead read = parseCif("data_x\n_cell_length_a 25\n_cell_length_b 25\n_cell_length_c 25\n"
                                "_symmetry_space_group_name_H-M 'F d -3 m'\n_space_group_IT_coordinate_system_code 2\n",
                                "bench.cif");
  const std::vector<SymmetryOperator> ops = read.structure->operators;
  const Metric metric = *computeMetric({25, 25, 25, 90, 90, 90});
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0, 1);
  const char* elements[] = {"C", "O", "N", "Si", "Al"};
  std::vector<AtomSite> atoms;
  for (long long i = 0; (i + 1) * static_cast<long long>(ops.size()) <= kMaxAtomImages; ++i) {
    const std::string el = elements[i % 5];
    atoms.push_back({"A" + std::to_string(i), el, el, {unit(rng), unit(rng), unit(rng)}, 1, 0.01, {}});
  }
  std::size_t lines = 0;
  for (auto _ : bm) {
    auto model = std::make_shared<const ScatteringModel>(expandStructure(atoms, ops, metric));
    const auto list = powderLines(metric, *group, kCuKa1, {kDefaultThetaMin, kDefaultThetaMax}, structureIntensity(model, 0));
    lines = list ? list->size() : 0;
    benchmark::DoNotOptimize(list);
  }
  bm.counters["sites"] = double(atoms.size());
  bm.counters["operators"] = double(ops.size());
  bm.counters["lines"] = double(lines);
}
BENCHMARK(BM_StructureAtTheImageLimitDefaultList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
