// Indexing on peak lists the tests make from a known cell and group (noise of 0.01° 2θ, weak
// lines left out, an impurity line, a zero shift): the true lattice comes first in every
// system, compared after reduction, with no sub- or super-cell above it; random positions
// are not indexed; bad limits are refused by name; cancelling stops the search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/indexing.hpp"
#include "analysis/indexing_groups.hpp"
#include "analysis/lattice_reduction.hpp"
#include "tests/support/simulated_peaks.hpp"

using namespace obrin;
using namespace obrin::testing;

namespace {

struct IndexingCase {
  SimulatedCase truth;
  char centring;        // of the group's lattice, for its primitive cell
  const char* lattice;  // the Bravais lattice the top solution must have
  Simulation simulation;
  std::vector<CrystalSystem> systems;  // empty: all
};

std::string describe(const IndexingResult& r, std::size_t n = 5) {
  std::string s = r.complete ? " (complete)" : " (incomplete)";
  for (const auto& note : r.notes) s += "\n  note: " + note;
  for (std::size_t i = 0; i < std::min(n, r.solutions.size()); ++i) {
    const IndexingSolution& x = r.solutions[i];
    s += "\n  " + x.lattice + " " + std::to_string(x.cell.a) + " " + std::to_string(x.cell.b) + " " +
         std::to_string(x.cell.c) + " " + std::to_string(x.cell.alpha) + " " + std::to_string(x.cell.beta) + " " +
         std::to_string(x.cell.gamma) + " V " + std::to_string(x.volume) + " M20 " +
         std::to_string(x.m20 ? x.m20->value : 0) + " " + std::to_string(x.indexed) + "/" + std::to_string(x.lines) +
         " zero " + std::to_string(x.zero) + (x.passes ? "" : " (fails)") + " related " +
         std::to_string(x.related.size());
  }
  return s;
}

UnitCell reducedTruth(const IndexingCase& c) {
  const auto primitive = primitiveCell(c.truth.cell, c.centring);
  EXPECT_TRUE(primitive) << primitive.error();
  const auto reduced = niggliCell(*primitive);
  EXPECT_TRUE(reduced) << reduced.error();
  return *reduced;
}

void expectFound(const IndexingCase& c) {
  IndexingOptions options;
  options.systems = c.systems;
  const PeakList peaks = simulatedPeaks(c.truth, c.simulation);
  const auto result = indexPattern(peaks, kSimulatedLambda, options);
  ASSERT_TRUE(result) << result.error();
  SCOPED_TRACE(std::string(c.truth.group) + describe(*result));
  EXPECT_TRUE(result->complete);
  ASSERT_TRUE(result->indexed);
  const IndexingSolution& top = result->solutions.front();
  EXPECT_EQ(top.lattice, c.lattice);
  EXPECT_EQ(latticeRelation(reducedTruth(c), top.reduced).kind, LatticeRelation::Kind::Same);
  EXPECT_NEAR(top.zero, c.simulation.zero, std::max(0.02, 3 * top.zeroSu));
  // No other listed solution is the same lattice or one related to it.
  for (std::size_t i = 1; i < result->solutions.size(); ++i)
    EXPECT_EQ(latticeRelation(top.reduced, result->solutions[i].reduced).kind, LatticeRelation::Kind::None)
        << "solution " << i + 1 << " is related to the first";
}

// The orthorhombic and monoclinic searches take seconds in a release build, minutes under the
// sanitizers.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WHEN_SLOW() GTEST_SKIP() << "the axial searches of low symmetry are too slow under the sanitizers"
#else
#define SKIP_WHEN_SLOW() (void)0
#endif

Simulation realistic(unsigned seed, double zero = 0.05) {
  Simulation s;
  s.seed = seed;
  s.zero = zero;
  s.dropped = 2;
  s.impurities = 1;
  return s;
}

}  // namespace

TEST(Indexing, CubicTetragonalHexagonalAndRhombohedralLatticesAreFound) {
  using S = CrystalSystem;
  const IndexingCase cases[] = {
      {{S::Cubic, "F M -3 M (225)", {5.4309, 5.4309, 5.4309, 90, 90, 90}}, 'F', "cF", realistic(1)},
      {{S::Cubic, "I M -3 M (229)", {6.23, 6.23, 6.23, 90, 90, 90}}, 'I', "cI", realistic(2, -0.04)},
      {{S::Cubic, "P M -3 M (221)", {4.02, 4.02, 4.02, 90, 90, 90}}, 'P', "cP", realistic(3)},
      {{S::Tetragonal, "I 41/A M D (141)", {3.785, 3.785, 9.514, 90, 90, 90}}, 'I', "tI", realistic(4)},
      {{S::Tetragonal, "P 4/M M M (123)", {3.95, 3.95, 5.21, 90, 90, 90}}, 'P', "tP", realistic(5, -0.08)},
      {{S::Hexagonal, "P 63/M M C (194)", {3.21, 3.21, 5.21, 90, 90, 120}}, 'P', "hP", realistic(6)},
      {{S::Hexagonal, "R -3 C (167)", {4.759, 4.759, 12.993, 90, 90, 120}}, 'R', "hR", realistic(7)},
  };
  for (const IndexingCase& c : cases) expectFound(c);
}

TEST(Indexing, OrthorhombicLatticesIncludingAPseudoTetragonalCellAreFound) {
  SKIP_WHEN_SLOW();
  using S = CrystalSystem;
  const IndexingCase cases[] = {
      {{S::Orthorhombic, "P N M A (62)", {5.75, 7.95, 5.45, 90, 90, 90}}, 'P', "oP", realistic(8)},
      {{S::Orthorhombic, "F D D D (70)", {5.21, 6.62, 8.13, 90, 90, 90}}, 'F', "oF", realistic(11, -0.03)},
      {{S::Orthorhombic, "C M C M (63)", {3.92, 9.87, 7.31, 90, 90, 90}}, 'C', "oC", realistic(12)},
      // a and b 1 % apart: the lines that a tetragonal cell would have as one are split.
      {{S::Orthorhombic, "P M M M (47)", {6.00, 6.06, 4.10, 90, 90, 90}}, 'P', "oP", realistic(13)},
  };
  for (const IndexingCase& c : cases) expectFound(c);
}

TEST(Indexing, MonoclinicLatticesWithBetaNearNinetyAndCentredAreFound) {
  SKIP_WHEN_SLOW();
  using S = CrystalSystem;
  const IndexingCase cases[] = {
      {{S::Monoclinic, "P 21/C (14)", {5.12, 6.31, 7.43, 90, 103.5, 90}}, 'P', "mP", realistic(9)},
      {{S::Monoclinic, "P 21/C (14)", {5.12, 6.31, 7.43, 90, 90.3, 90}}, 'P', "mP", realistic(14)},
      {{S::Monoclinic, "C 2/C (15)", {9.81, 5.62, 7.24, 90, 110.4, 90}}, 'C', "mC", realistic(15)},
  };
  for (const IndexingCase& c : cases) expectFound(c);
}

TEST(Indexing, TriclinicLatticeIsFound) {
  const IndexingCase c{{CrystalSystem::Triclinic, "P -1 (2)", {5.31, 6.12, 7.45, 82.3, 95.7, 103.2}}, 'P', "aP",
                       realistic(10)};
  expectFound(c);
}



TEST(Indexing, RandomPositionsAreNotIndexedAndTheAnswerSaysWhatWasSearched) {
  SKIP_WHEN_SLOW();
  IndexingOptions options;
  options.maxVolume = 1000;
  const auto result = indexPattern(randomPeaks(20, 5), kSimulatedLambda, options);
  ASSERT_TRUE(result) << result.error();
  SCOPED_TRACE(describe(*result));
  EXPECT_FALSE(result->indexed);
  for (const IndexingSolution& s : result->solutions) EXPECT_FALSE(s.passes);
  EXPECT_EQ(result->systems.size(), std::size_t{kSystemCount});
  EXPECT_EQ(result->lines, 20);
  EXPECT_DOUBLE_EQ(result->maxVolume, 1000);
  EXPECT_TRUE(std::any_of(result->notes.begin(), result->notes.end(),
                          [](const std::string& n) { return n.rfind("Not indexed", 0) == 0; }));
}

TEST(Indexing, BadLimitsAreRefusedByName) {
  const PeakList peaks = simulatedPeaks({CrystalSystem::Cubic, "P M -3 M (221)", {4.02, 4.02, 4.02, 90, 90, 90}});
  auto refused = [&](IndexingOptions o, double lambda, const std::string& field) {
    const auto r = indexPattern(peaks, lambda, o);
    ASSERT_FALSE(r) << field;
    EXPECT_NE(r.error().find(field), std::string::npos) << r.error();
  };
  IndexingOptions o;
  refused(o, 0, "wavelength");
  o.lines = kMinIndexingLines - 1;
  refused(o, kSimulatedLambda, "lines");
  o = {};
  o.tolerance = 0;
  refused(o, kSimulatedLambda, "tolerance");
  o = {};
  o.maxVolume = kMaxIndexingVolume * 2;
  refused(o, kSimulatedLambda, "max-volume");
  o = {};
  o.impurities = -1;
  refused(o, kSimulatedLambda, "impurities");
  o.impurities = maxIndexingImpurities(o.lines) + 1;
  refused(o, kSimulatedLambda, "impurities");
  o = {};
  o.zeroRange = std::nan("");
  refused(o, kSimulatedLambda, "zero-range");
  PeakList few = peaks;
  few.peaks.resize(kMinIndexingLines - 1);
  EXPECT_FALSE(indexPattern(few, kSimulatedLambda));
  PeakList outside = peaks;
  outside.peaks[3].twoTheta = 190;
  const auto r = indexPattern(outside, kSimulatedLambda);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("Peak 4"), std::string::npos) << r.error();
}

TEST(Indexing, CancellingStopsTheSearchAndSaysItIsIncomplete) {
  const PeakList peaks = simulatedPeaks({CrystalSystem::Triclinic, "P -1 (2)", {5.31, 6.12, 7.45, 82.3, 95.7, 103.2}},
                                        realistic(10));
  IndexingOptions options;
  int calls = 0;
  double last = 0;
  bool rising = true;
  options.progress = [&](double share, CrystalSystem) {
    rising = rising && share >= last && share <= 1;
    last = share;
    return ++calls < 3;
  };
  const auto result = indexPattern(peaks, kSimulatedLambda, options);
  ASSERT_TRUE(result) << result.error();
  EXPECT_FALSE(result->complete);
  EXPECT_TRUE(rising);
  EXPECT_EQ(calls, 3);
}

TEST(Indexing, HolohedriesHaveTheirOrdersAndCentrings) {
  using S = CrystalSystem;
  const struct {
    S system;
    char centring;
    std::size_t operators;
  } cases[] = {{S::Cubic, 'P', 48},        {S::Cubic, 'F', 192},       {S::Cubic, 'I', 96},
               {S::Tetragonal, 'I', 32},   {S::Hexagonal, 'P', 24},    {S::Hexagonal, 'R', 36},
               {S::Rhombohedral, 'P', 12}, {S::Orthorhombic, 'C', 16}, {S::Monoclinic, 'P', 4},
               {S::Triclinic, 'P', 2}};
  for (const auto& c : cases) {
    const auto g = holohedryGroup(c.system, c.centring);
    ASSERT_TRUE(g) << g.error();
    EXPECT_EQ((*g)->operators.size(), c.operators) << systemName(c.system) << " " << c.centring;
  }
  EXPECT_FALSE(holohedryGroup(S::Cubic, 'C'));
  EXPECT_TRUE(centringAllows('R', {1, 0, 1}));
  EXPECT_FALSE(centringAllows('R', {1, 0, 0}));
}
