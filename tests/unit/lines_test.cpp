// The pure calculations, called as a front end without the window calls them.
#include <gtest/gtest.h>

#include "calc/lines.hpp"

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
