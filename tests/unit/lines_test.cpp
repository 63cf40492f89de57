// The pure calculations, called as a front end without the window calls them.
#include <gtest/gtest.h>

#include "calc/lines.hpp"

#include <cmath>

using namespace obrin;

namespace {

const std::string kDir = OBRIN_TEST_DATA_DIR "/calc/";

}  // namespace

TEST(Lines, ListsKeepTheSpacingAndAngleAsCalculated) {
  // Stored in full, a line prints the digits of its own d and θ: no rounding to single
  // precision on the way to a report of many decimals.
  const auto group = loadSpaceGroup(kDir + "C.pos", CrystalSystem::Cubic, "P M -3 M");
  ASSERT_TRUE(group) << group.error();
  const auto metric = computeMetric({5.4307, 5.4307, 5.4307, 90, 90, 90});
  const auto list = powderLines(*metric, *group, 1.5406, {40, 70});
  ASSERT_TRUE(list) << list.error();
  ASSERT_GT(list->size(), 10u);
  for (const Reflection& r : *list) {
    EXPECT_EQ(r.d, dSpacing(metric->B, r.h, r.k, r.l));
    EXPECT_EQ(r.theta, *braggTheta(1.5406, r.d));
    EXPECT_EQ(r.intensity, 0);
  }
}

TEST(Lines, RefusalsCarryTheWindowsMessages) {
  const auto group = loadSpaceGroup(kDir + "C.pos", CrystalSystem::Cubic, "F M -3 M");
  ASSERT_TRUE(group);
  const auto metric = computeMetric({4, 4, 4, 90, 90, 90});
  EXPECT_EQ(powderLines(*metric, *group, 0, {5, 40}).error(), "Error. No lambda!");
  EXPECT_EQ(powderLines(*metric, *group, 1.5, {50, 40}).error(), " Error on theta2");
  EXPECT_EQ(powderLines(*metric, *group, 1.5, {5, 91}).error(), "Error on theta2 (>90)");
  EXPECT_EQ(braggLine(*metric, *group, 1.5, {0, 0, 0}).error(), "Not possible reflection");
  EXPECT_EQ(braggLine(*metric, *group, 1.5, {40000, 0, 0}).error(), "Bad Miller indices");
  EXPECT_EQ(computeMetric({4, 4, 4, 90, 90, 190}).error(), "Error on cell parameters");
  // The forbidden mark of a reflection the lattice extinguishes.
  const auto line = braggLine(*metric, *group, 1.5406, {1, 0, 0});
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->forbidden);
  EXPECT_NEAR(line->d, 4, 1e-6);
  // A d window turned over holds nothing; sizing the list for it once wrapped a negative count.
  const auto none = powderLinesInDRange(*metric, *group, 1.5406, {3, 0.5}, 40);
  ASSERT_TRUE(none) << none.error();
  EXPECT_TRUE(none->empty());
}

TEST(Lines, GroupFromOperatorsListsWhatItsTranslationsAllow) {
  // P 21/c from its four operators: h 0 l needs l even, 0 k 0 needs k even.
  std::vector<SymmetryOperator> ops;
  for (const char* t : {"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"}) ops.push_back(*parseTriplet(t));
  const auto group = spaceGroupFromOperators("P 1 21/C 1", ops, CrystalSystem::Monoclinic);
  ASSERT_TRUE(group);
  EXPECT_FALSE(allowed(*group, {1, 0, 1}));
  EXPECT_TRUE(allowed(*group, {1, 0, 2}));
  EXPECT_FALSE(allowed(*group, {0, 3, 0}));
  EXPECT_TRUE(allowed(*group, {0, 3, 1}));
  EXPECT_EQ(multiplicity(*group, {1, 2, 3}), 4);
  EXPECT_EQ(multiplicity(*group, {1, 0, 2}), 2);
  EXPECT_FALSE(spaceGroupFromOperators("P 1", {}));
}

namespace {

// Every allowed reflection with d in the powder window of θ ≤ thetaMax, counted over the
// complete index box.
long long bruteForceCount(const Metric& metric, const SpaceGroup& group, double lambda, ThetaWindow window) {
  const double dmin = lambda / (2 * std::sin(window.max * kRadPerDeg));
  const double dmax = lambda / (2 * std::sin(window.min * kRadPerDeg));
  const auto n = completeIndexBound(metric.B, 1 / dmin);
  long long count = 0;
  for (int h = -n[0]; h <= n[0]; ++h)
    for (int k = -n[1]; k <= n[1]; ++k)
      for (int l = -n[2]; l <= n[2]; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const double d = dSpacing(metric.B, h, k, l);
        if (dmin <= d && d <= dmax && allowed(group, {h, k, l})) ++count;
      }
  return count;
}

long long multiplicitySum(const ReflectionList& list) {
  long long sum = 0;
  for (const Reflection& r : list) sum += r.multiplicity;
  return sum;
}

}  // namespace

TEST(Lines, LargeCellsListEveryReflectionOnce) {
  const std::string data = OBRIN_SOURCE_DIR "/data/";
  struct Case {
    const char* file;
    CrystalSystem system;
    const char* group;
    UnitCell cell;
    double lambda;
    ThetaWindow window;
  };
  // MOF-5 with CuKα1 over 2θ 2–150°; lysozyme at 1 Å to d = 1.2 Å: far beyond the old capacity of
  // 9,998 lines in the second case.
  const Case cases[] = {
      {"C.pos", CrystalSystem::Cubic, "F M -3 M (225)", {25.83, 25.83, 25.83, 90, 90, 90}, 1.54056, {1, 75}},
      {"Q.pos", CrystalSystem::Tetragonal, "P 43 21 2 (96)", {79.1, 79.1, 37.9, 90, 90, 90}, 1.0,
       {0.01, std::asin(1.0 / 2.4) / kRadPerDeg}},
      // Dense lists, 20 to 40 lines within the coincidence distance of each: merged by sizes.
      {"H.pos", CrystalSystem::Hexagonal, "P 6/M M M (191)", {40, 40, 60, 90, 90, 120}, 0.1, {4.99, 5}},
      {"C.pos", CrystalSystem::Cubic, "P M -3 M (221)", {50, 50, 50, 90, 90, 90}, 0.1, {4.99, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    const auto group = loadSpaceGroup(data + c.file, c.system, c.group);
    ASSERT_TRUE(group) << group.error();
    const auto metric = computeMetric(c.cell);
    const auto list = powderLines(*metric, *group, c.lambda, c.window);
    ASSERT_TRUE(list) << list.error();
    EXPECT_EQ(multiplicitySum(*list), bruteForceCount(*metric, *group, c.lambda, c.window));
    for (std::size_t i = 1; i < list->size(); ++i) ASSERT_GE((*list)[i - 1].d, (*list)[i].d);
  }
}

TEST(Lines, CapacitiesOfAMillionLines) {
  const auto p1 = loadSpaceGroup(kDir + "T.pos", CrystalSystem::Triclinic, "P 1");
  ASSERT_TRUE(p1);
  const auto metric = computeMetric({20, 25, 30, 80, 100, 110});
  // About 1.3 million lines at 0.4 Å up to θ = 45°: one more than a list holds is refused.
  EXPECT_EQ(powderLines(*metric, *p1, 0.4, {0.01, 45}).error(),
            "Too many reflections (2)! Decrease the Theta range...");
  // About 680,000 below 35°: listed, each pair of Friedel mates once.
  const auto list = powderLines(*metric, *p1, 0.4, {0.01, 35});
  ASSERT_TRUE(list) << list.error();
  EXPECT_GT(list->size(), 600000u);
  EXPECT_EQ(multiplicitySum(*list), 2 * static_cast<long long>(list->size()));
}
