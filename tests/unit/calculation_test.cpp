// The powder, single-crystal and Bragg-equation calculations on small position files.
#include <gtest/gtest.h>

#include <cmath>

#include "calc/calculation.hpp"
#include "calc/display.hpp"
#include "calc/reflection_set.hpp"

using namespace obrin;

namespace {

const std::string kDir = OBRIN_TEST_DATA_DIR "/calc/";

CalculationState makeState(CrystalSystem system, UnitCell cell, double thetaMin = 5, double thetaMax = 40) {
  CalculationState st;
  st.system = system;
  st.cell = cell;
  st.cellCopy = cell;
  st.lambda = 1.5406;
  st.thetaMin = thetaMin;
  st.thetaMax = thetaMax;
  return st;
}

CalcOutcome powder(CalculationState& st, const std::string& group, const std::string& file,
                   CalcMode mode = CalcMode::Powder) {
  std::array<std::string, 6> miller{};
  return calcul(st, group, kDir + file, mode, miller);
}

// Allowed h k l (000 excluded) with d inside the powder window, counted over a box far wider
// than any bound the calculation uses.
long countAllowedInWindow(const CalculationState& st, int box) {
  const double dmin = st.lambda / (2 * std::sin(st.thetaMax * kRadPerDeg));
  const double dmax = st.lambda / (2 * std::sin(st.thetaMin * kRadPerDeg));
  long n = 0;
  for (int h = -box; h <= box; ++h)
    for (int k = -box; k <= box; ++k)
      for (int l = -box; l <= box; ++l) {
        const double d = dSpacing(st.B, h, k, l);
        if ((h || k || l) && d >= dmin && d <= dmax && allowed(st.group, {h, k, l})) ++n;
      }
  return n;
}

long multiplicitySum(const ReflectionList& list) {
  long n = 0;
  for (const auto& r : list) n += r.multiplicity;
  return n;
}

}  // namespace

// ---- Powder ---------------------------------------------------------------------------------

TEST(Powder, CubicPrimitiveListsOneHundredFirstWithItsClass) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  const auto out = powder(st, "P M -3 M", "C.pos");
  ASSERT_TRUE(out.ok()) << out.warning;
  ASSERT_FALSE(st.list.empty());
  EXPECT_EQ(formatResultLine(st.list[0], AngleMode::Theta), "  1  0  0  4.000  11.103  6");
  for (std::size_t i = 1; i < st.list.size(); ++i) EXPECT_GE(st.list[i - 1].d, st.list[i].d);
  EXPECT_EQ(multiplicitySum(st.list), countAllowedInWindow(st, 12));
  EXPECT_TRUE(out.conditionsRead);
}

TEST(Powder, LowerLimitZeroStandsForOneHundredthOfADegree) {
  auto zero = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90}, 0, 40);
  auto hundredth = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90}, 0.01, 40);
  ASSERT_TRUE(powder(zero, "P M -3 M", "C.pos").ok());
  ASSERT_TRUE(powder(hundredth, "P M -3 M", "C.pos").ok());
  EXPECT_EQ(zero.thetaMin, 0.01);
  EXPECT_EQ(resultLines(zero.list, AngleMode::Theta), resultLines(hundredth.list, AngleMode::Theta));
  // With "Bragg equation" or no item current in the mode list, the powder limits still apply.
  for (CalcMode mode : {CalcMode::Bragg, CalcMode::None}) {
    auto other = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90}, 0.01, 40);
    ASSERT_TRUE(powder(other, "P M -3 M", "C.pos", mode).ok());
    EXPECT_EQ(resultLines(other.list, AngleMode::Theta), resultLines(hundredth.list, AngleMode::Theta));
  }
}

TEST(Powder, RepresentativeIsTheFirstOperatorsImageOfTheFirstMemberMet) {
  // Loop order meets 1 1 1 before -1 -1 -1, and the identity comes first in the file.
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  ASSERT_TRUE(powder(st, "F M -3 M", "C.pos").ok());
  ASSERT_FALSE(st.list.empty());
  EXPECT_EQ(formatResultLine(st.list[0], AngleMode::Theta).substr(0, 9), "  1  1  1");
  EXPECT_EQ(st.list[0].multiplicity, 8);
  for (const auto& r : st.list) EXPECT_TRUE(allowed(st.group, r.hkl()));
}

TEST(Powder, MergedLinesCarryTheMultiplicitiesTheyAbsorb) {
  // 4/m: h k l and k h l are different classes of equal d; 6/m likewise, by the adjacent-pair
  // rule. P 21/c with a large beta: the classic index range misses reflections.
  struct Case {
    CrystalSystem system;
    UnitCell cell;
    const char* group;
    const char* file;
  };
  const Case cases[] = {
      {CrystalSystem::Tetragonal, {5.1, 5.1, 7.3, 90, 90, 90}, "P 4/M", "Q.pos"},
      {CrystalSystem::Hexagonal, {5.3, 5.3, 6.1, 90, 90, 120}, "P 6/M", "H.pos"},
      {CrystalSystem::Hexagonal, {4.2, 4.2, 9.7, 90, 90, 120}, "P 63/M M C", "H.pos"},
      {CrystalSystem::Cubic, {7.1, 7.1, 7.1, 90, 90, 90}, "P A -3", "C.pos"},
      {CrystalSystem::Monoclinic, {4.0, 5.0, 6.0, 90, 155, 90}, "P 21/C", "M.pos"},
      {CrystalSystem::Triclinic, {4.5, 5.5, 6.5, 50, 130, 115}, "P -1", "T.pos"},
  };
  for (const Case& c : cases) {
    auto st = makeState(c.system, c.cell, 3, 35);
    const auto out = powder(st, c.group, c.file);
    ASSERT_TRUE(out.ok()) << c.group << ": " << out.warning;
    EXPECT_EQ(multiplicitySum(st.list), countAllowedInWindow(st, 40)) << c.group;
  }
}

TEST(Powder, RightAngledCellsKeepTheClassicRange) {
  for (const UnitCell& cell : {UnitCell{4, 5, 6, 90, 90, 90}, UnitCell{3.3, 7.9, 12.4, 90, 90, 90}})
    for (double sMax : {0.3, 0.83, 1.29}) {
      auto m = computeMetric(cell);
      ASSERT_TRUE(m);
      const auto classic = classicIndexBound(m->B, sMax), complete = completeIndexBound(m->B, sMax);
      for (int i = 0; i < 3; ++i) EXPECT_LE(complete[i], classic[i]);
    }
  // A strongly oblique cell needs more than the classic range along a.
  auto m = computeMetric({4, 5, 6, 90, 155, 90});
  ASSERT_TRUE(m);
  EXPECT_GT(completeIndexBound(m->B, 1.0)[0], classicIndexBound(m->B, 1.0)[0]);
}

TEST(Powder, ChecksComeInOrderAndLeaveTheListAlone) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  ASSERT_TRUE(powder(st, "P M -3 M", "C.pos").ok());
  const auto before = resultLines(st.list, AngleMode::Theta);
  std::array<std::string, 6> miller{};

  auto bad = st;
  bad.cell.b = 0;
  bad.lambda = 0;
  EXPECT_EQ(calcul(bad, std::nullopt, kDir + "C.pos", CalcMode::Powder, miller).warning, "Error on cell parameters");
  bad = st;
  bad.lambda = 0;
  EXPECT_EQ(calcul(bad, std::nullopt, kDir + "C.pos", CalcMode::Powder, miller).warning, "Error on space group");
  EXPECT_EQ(powder(bad, "P M -3 M", "C.pos").warning, "Error. No lambda!");
  bad = st;
  bad.cell = {4, 4, 4, 60, 60, 150};  // no cell: G < 0
  EXPECT_EQ(powder(bad, "P M -3 M", "C.pos").warning, "Error on cell parameters");
  EXPECT_EQ(resultLines(bad.list, AngleMode::Theta), before);
  bad = st;
  EXPECT_FALSE(powder(bad, "P 99", "C.pos").warning.empty());  // not in the file
  EXPECT_EQ(resultLines(bad.list, AngleMode::Theta), before);

  // The single-crystal window checks the Miller limits first.
  bad = st;
  EXPECT_EQ(calcul(bad, std::string("P M -3 M"), kDir + "C.pos", CalcMode::SingleCrystal, miller).warning,
            "Miller indices error");
  EXPECT_EQ(miller[0], "0");
  EXPECT_EQ(resultLines(bad.list, AngleMode::Theta), before);
}

TEST(Powder, TooManyReflectionsLeavesTheListAsItWas) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  ASSERT_TRUE(powder(st, "P M -3 M", "C.pos").ok());
  const auto before = resultLines(st.list, AngleMode::Theta);

  auto seen = st;  // m-3m, 48 per class: the 10 million equivalents run out first
  seen.cell = {400, 400, 400, 90, 90, 90};
  seen.thetaMin = 55;  // a thin shell of some 60 million still holds too many
  seen.thetaMax = 60;
  EXPECT_EQ(powder(seen, "P M -3 M", "C.pos").warning, "Too many reflections (1)! Decrease the Theta range...");
  EXPECT_EQ(resultLines(seen.list, AngleMode::Theta), before);

  auto listed = st;  // P 1, 2 per class: the million lines run out first (1.3 million)
  listed.system = CrystalSystem::Triclinic;
  listed.cell = {20, 25, 30, 80, 100, 110};
  listed.lambda = 0.4;
  listed.thetaMax = 45;
  EXPECT_EQ(powder(listed, "P 1", "T.pos").warning, "Too many reflections (2)! Decrease the Theta range...");
  EXPECT_EQ(resultLines(listed.list, AngleMode::Theta), before);
}

TEST(Powder, ConditionThatDoesNotDecodeRefusesTheCalculation) {
  auto st = makeState(CrystalSystem::Orthorhombic, {4, 5, 6, 90, 90, 90});
  ASSERT_TRUE(powder(st, "P N M A", "O.pos").ok());
  const auto out = powder(st, "P BAD", "bad.pos");
  EXPECT_NE(out.warning.find("non décodée"), std::string::npos) << out.warning;
  EXPECT_TRUE(out.conditionsRead);
  EXPECT_FALSE(st.list.empty());
}

// ---- Single crystal -------------------------------------------------------------------------

TEST(SingleCrystal, LimitsAlongOneAxisListTheAllowedReflectionsByDecreasingD) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  std::array<std::string, 6> m{"0", "0", "", "0", "1", "2"};
  const auto out = calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m);
  ASSERT_TRUE(out.ok()) << out.warning;
  EXPECT_EQ(m[2], "0");
  EXPECT_EQ(resultLines(st.list, AngleMode::Theta),
            (std::vector<std::string>{"  0  0  1  4.000  11.103  1", "  0  0  2  2.000  22.653  1"}));

  // d below 1.01 λ / 2 (0.778 Å) is not listed: 0 0 5 (0.8) is, 0 0 6 (0.667) is not.
  m = {"0", "0", "0", "0", "-9", "9"};
  ASSERT_TRUE(calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m).ok());
  ASSERT_EQ(st.list.size(), 10u);
  EXPECT_EQ(std::abs(st.list.back().l), 5);

  m = {"", "", "", "", "", ""};
  EXPECT_EQ(calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m).warning, "Miller indices error");
  m = {"1", "0", "0", "0", "0", "1"};
  EXPECT_EQ(calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m).warning, "Miller indices error");
  m = {"0", "1", "0", "x", "0", "1"};
  EXPECT_EQ(calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m).warning, "Miller indices error");
}

TEST(SingleCrystal, WideLimitsGiveTheSameListAtOnce) {
  auto st = makeState(CrystalSystem::Monoclinic, {5, 6, 7, 90, 140, 90});
  std::array<std::string, 6> wide{"-2000000000", "2000000000", "-2000000000", "2000000000", "-2000000000", "2000000000"};
  ASSERT_TRUE(calcul_monocristaux(st, std::string("P 21/C"), kDir + "M.pos", wide).ok());
  const auto wideLines = resultLines(st.list, AngleMode::Theta);
  std::array<std::string, 6> box{"-30", "30", "-30", "30", "-30", "30"};
  ASSERT_TRUE(calcul_monocristaux(st, std::string("P 21/C"), kDir + "M.pos", box).ok());
  EXPECT_EQ(resultLines(st.list, AngleMode::Theta), wideLines);
  for (const auto& r : st.list) EXPECT_EQ(r.multiplicity, 1);
}

TEST(SingleCrystal, TooManyReflectionsLeavesTheListAsItWas) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  std::array<std::string, 6> m{"0", "0", "0", "0", "1", "2"};
  ASSERT_TRUE(calcul_monocristaux(st, std::string("P M -3 M"), kDir + "C.pos", m).ok());
  const auto before = resultLines(st.list, AngleMode::Theta);
  auto big = st;
  big.cell = {60, 60, 60, 90, 90, 90};  // about 1.9 million reflections in the sphere
  std::array<std::string, 6> all{"-100", "100", "-100", "100", "-100", "100"};
  EXPECT_EQ(calcul_monocristaux(big, std::string("P M -3 M"), kDir + "C.pos", all).warning,
            "Too many reflections! Decrease the range...");
  EXPECT_EQ(resultLines(big.list, AngleMode::Theta), before);
  big.cell = {200, 200, 200, 90, 90, 90};  // the whole box of 8 million
  EXPECT_EQ(calcul_monocristaux(big, std::string("P M -3 M"), kDir + "C.pos", all).warning,
            "Too many reflections! Decrease the range...");
  EXPECT_EQ(resultLines(big.list, AngleMode::Theta), before);
}

// ---- Bragg equation -------------------------------------------------------------------------

TEST(Bragg, IndicesThatGiveNothingOrAMessage) {
  std::array<std::string, 3> t{"", "", ""};
  EXPECT_EQ(readBraggIndices(t).status, BraggIndices::Status::Nothing);
  t = {"0", "", "0"};
  EXPECT_EQ(readBraggIndices(t).status, BraggIndices::Status::Nothing);
  EXPECT_EQ(t[1], "0");
  t = {"1", "a", "0"};
  const auto bad = readBraggIndices(t);
  EXPECT_EQ(bad.status, BraggIndices::Status::Bad);
  EXPECT_EQ(bad.warning, "Bad Miller indices");
  t = {" -2", "+1", "3"};
  const auto ok = readBraggIndices(t);
  ASSERT_EQ(ok.status, BraggIndices::Status::Ok);
  EXPECT_EQ(ok.h, -2);
  EXPECT_EQ(ok.k, 1);
  EXPECT_EQ(ok.l, 3);
}

TEST(Bragg, SpacingAngleAndForbiddenMark) {
  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  auto out = calcul_bragg(st, std::string("F M -3 M"), kDir + "C.pos", AngleMode::Theta, 1, 1, 1);
  ASSERT_TRUE(out.shown) << out.warning;
  EXPECT_EQ(out.dText, "  2.3094");
  EXPECT_FALSE(out.forbidden);
  out = calcul_bragg(st, std::string("F M -3 M"), kDir + "C.pos", AngleMode::TwoTheta, 1, 0, 0);
  ASSERT_TRUE(out.shown);
  EXPECT_TRUE(out.forbidden);
  EXPECT_EQ(out.dText, "  4.0000");
  EXPECT_EQ(out.angleText, "  22.206 F");

  st.cell = {0.7, 0.7, 0.7, 90, 90, 90};  // d 0.7 at 1.5406
  out = calcul_bragg(st, std::string("P M -3 M"), kDir + "C.pos", AngleMode::Theta, 1, 0, 0);
  EXPECT_EQ(out.warning, "Not possible reflection");
  EXPECT_FALSE(out.shown);
}

// λ / 2d = 1 is the boundary: at θ = 90° nothing diffracts any more. d(1 0 0) of a = 2 Å comes
// out a little below 2, so λ is twice the d the metric gives, not 4.
TEST(Bragg, TwiceTheSpacingIsNotPossibleAndJustBelowItIsNinetyDegrees) {
  auto st = makeState(CrystalSystem::Cubic, {2, 2, 2, 90, 90, 90});
  const auto metric = computeMetric(st.cell);
  ASSERT_TRUE(metric);
  const double d = dSpacing(metric->B, 1, 0, 0);
  st.lambda = 2 * d;
  auto out = calcul_bragg(st, std::string("P M -3 M"), kDir + "C.pos", AngleMode::Theta, 1, 0, 0);
  EXPECT_EQ(out.warning, "Not possible reflection");
  EXPECT_FALSE(out.shown);

  st.lambda = 2 * d * (1 - 1e-12);
  out = calcul_bragg(st, std::string("P M -3 M"), kDir + "C.pos", AngleMode::Theta, 1, 0, 0);
  ASSERT_TRUE(out.shown) << out.warning;
  EXPECT_NEAR(out.theta, 90, 1e-3);
}

// ---- Display --------------------------------------------------------------------------------

TEST(Display, HeadingsLimitsAndTheAngleSwitch) {
  EXPECT_EQ(resultHeading(AngleMode::Theta), "h  k  l    d    theta  Mult");
  EXPECT_EQ(resultHeading(AngleMode::TwoTheta), "h  k  l    d   2theta  Mult");
  EXPECT_EQ(limitText(5, AngleMode::Theta), "   5.00");
  EXPECT_EQ(limitText(5, AngleMode::TwoTheta), "  10.00");
  EXPECT_EQ(countText(11), "Nb of calculated reflections: 11");

  auto st = makeState(CrystalSystem::Cubic, {4, 4, 4, 90, 90, 90});
  ASSERT_TRUE(powder(st, "P M -3 M", "C.pos").ok());
  const auto theta = resultLines(st.list, AngleMode::Theta);
  EXPECT_EQ(resultLines(st.list, AngleMode::TwoTheta)[0], "  1  0  0  4.000  22.206  6");
  EXPECT_EQ(resultLines(st.list, AngleMode::Theta), theta);
  Reflection wide{-120, 5, 300, 12345.678f, 1.5f, 1234};
  EXPECT_EQ(formatResultLine(wide, AngleMode::Theta), "-120  5 300 12345.678   1.500 1234");
}

// ---- Seen list ------------------------------------------------------------------------------

TEST(SeenList, TriplesInsideAndOutsideTheBoxAreKeptApart) {
  SeenReflections seen(2, 3, 4);
  std::vector<std::array<int, 3>> in;
  for (int h = -40; h <= 40; h += 3)
    for (int k = -30; k <= 30; k += 7)
      for (int l = -9; l <= 9; l += 2) in.push_back({h, k, l});  // outside the box mostly, > 1024
  for (const auto& t : in) seen.insert(t[0], t[1], t[2]);
  for (const auto& t : in) EXPECT_TRUE(seen.contains(t[0], t[1], t[2]));
  EXPECT_FALSE(seen.contains(-39, -30, -9));
  EXPECT_FALSE(seen.contains(0, 0, 0));
  EXPECT_FALSE(seen.contains(2, 3, 4));
  seen.insert(2, 3, 4);
  EXPECT_TRUE(seen.contains(2, 3, 4));
  EXPECT_FALSE(seen.contains(-2, -3, -4));
}
