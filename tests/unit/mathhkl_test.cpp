#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/mathhkl.hpp"
#include "core/textformat.hpp"

using namespace obrin;

TEST(Metric, ReproducesReferenceSpacingsAndAngles) {
  auto cubic = computeMetric({4, 4, 4, 90, 90, 90});
  ASSERT_TRUE(cubic);
  // 90 degrees through 0.0174533167 leaves cos 90 at about -2e-6: the reference values hold
  // to that precision.
  EXPECT_NEAR(dSpacing(cubic->B, 1, 0, 0), 4.0, 1e-5);
  EXPECT_NEAR(dSpacing(cubic->B, 1, 1, 0), 2.828427, 1e-5);
  EXPECT_NEAR(dSpacing(cubic->B, 1, 1, 1), 2.309401, 1e-5);
  EXPECT_NEAR(cubic->reciprocal.a, 0.25, 1e-9);
  EXPECT_NEAR(cubic->volume, 64, 1e-9);

  auto hex = computeMetric({3, 3, 5, 90, 90, 120});
  ASSERT_TRUE(hex);
  EXPECT_NEAR(dSpacing(hex->B, 1, 0, 0), 2.598076, 1e-5);
  EXPECT_NEAR(dSpacing(hex->B, 0, 0, 1), 5.0, 1e-5);
  EXPECT_NEAR(hex->reciprocal.gamma, 60.0, 1e-3);

  auto theta = braggTheta(1.5406, 4.0);
  ASSERT_TRUE(theta);
  // arcsin(0.192575) × 57.2957 = 11.10308: the factor, not π/180, sets the last digits.
  EXPECT_NEAR(*theta, 11.1033, 3e-4);
  EXPECT_NEAR(*theta, 11.103081, 1e-6);
}

TEST(Metric, ConversionFactorsAreTheProgramsOwn) {
  // 57.2957 rather than 180/π: the last digits of every angle depend on it.
  EXPECT_EQ(kDegPerRad, 57.2957);
  EXPECT_EQ(kRadPerDeg, 0.0174533167);
  EXPECT_NE(*braggTheta(1.0, 1.0), 30.0);
  EXPECT_NEAR(*braggTheta(1.0, 1.0), std::asin(0.5) * 57.2957, 1e-12);
}

TEST(Metric, RefusesWhatCannotBeACell) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (UnitCell c : {UnitCell{0, 4, 4, 90, 90, 90}, UnitCell{4, -1, 4, 90, 90, 90},
                     UnitCell{4, 4, 4, 0, 90, 90}, UnitCell{4, 4, 4, 180, 90, 90},
                     UnitCell{4, 4, 4, 120, 120, 120},  // G = 0: a flat cell
                     UnitCell{4, 4, 4, 10, 10, 100}, UnitCell{4, 4, 4, 90, 90, 360}, UnitCell{4, 4, 4, 90, 200, 90},
                     UnitCell{nan, 4, 4, 90, 90, 90}, UnitCell{4, inf, 4, 90, 90, 90}})
    EXPECT_FALSE(computeMetric(c)) << c.a << ' ' << c.b << ' ' << c.alpha << ' ' << c.gamma;
  EXPECT_TRUE(computeMetric({4, 4, 4, 119.9, 119.9, 119.9}));
}

TEST(Metric, BraggAngleOutsideReachIsNone) {
  EXPECT_FALSE(braggTheta(1.5406, 0.7));  // λ / 2d above 1
  EXPECT_FALSE(braggTheta(1.5406, 0));
  EXPECT_TRUE(braggTheta(1.5406, 1.5406 / 2));
  EXPECT_NEAR(*braggTheta(1.5406, 1.5406 / 2), 90.0, 1e-3);
}

TEST(Systems, CodesAndNamesFollowTheSystemList) {
  EXPECT_EQ(systemFromCode("TETR"), CrystalSystem::Tetragonal);
  EXPECT_EQ(systemFromCode("tetr"), std::nullopt);
  EXPECT_EQ(systemFromIndex(4), CrystalSystem::Rhombohedral);
  EXPECT_EQ(systemFromIndex(7), std::nullopt);
  EXPECT_EQ(systemName(CrystalSystem::Orthorhombic), "Othorhombic");
}

TEST(TextFormat, WidthIsAMinimumAndNeverCuts) {
  EXPECT_EQ(fixedText(4.0, 7, 3), "  4.000");
  EXPECT_EQ(fixedText(12345.678, 7, 3), "12345.678");
  EXPECT_EQ(fixedText(1.54056, 8, 5), " 1.54056");
  EXPECT_EQ(fixedText(2.5, 5, 0), "    2");  // round half to even, as printf does
  EXPECT_EQ(intText(-12, 3), "-12");
  EXPECT_EQ(intText(7, 3), "  7");
  EXPECT_EQ(trimmed("  P 21/C (14) \t"), "P 21/C (14)");
  EXPECT_EQ(trimmedRight("  x  "), "  x");
}

// The writers append numbers in place; they must print what printf prints, ties and the sign
// of zero included, and join fields as appendField does.
TEST(TextFormat, AppendedNumbersAreThePrintedOnes) {
  std::uint64_t state = 12345;
  auto next = [&] { return state = state * 6364136223846793005ULL + 1442695040888963407ULL; };
  std::vector<double> xs = {0.0, -0.0, 0.0005, -0.0005, 0.0625, 2.5, -3.5, 1e15, 0x1p52, 1e-300, 1e300};
  for (int k = -2000; k < 2000; ++k) xs.insert(xs.end(), {(k + 0.5) / 1000, k / 8.0, std::nextafter(k / 16.0, 1.0)});
  for (int i = 0; i < 20000; ++i) xs.push_back(std::ldexp(static_cast<double>(next() >> 11), -52 + static_cast<int>(next() % 24) - 12));
  for (double x : xs)
    for (int decimals : {0, 1, 3, 5, 8}) {
      std::string line;
      appendFixed(line, x, 7, decimals);
      ASSERT_EQ(line, fixedText(x, 7, decimals)) << x;
    }
  std::string line;
  appendIntField(line, 12345, 3);
  appendIntField(line, -7, 3);
  appendFixedField(line, 12345.678, 7, 3);
  appendIntField(line, 6, 3);
  std::string expected;
  for (const std::string& field : {intText(12345, 3), intText(-7, 3), fixedText(12345.678, 7, 3), intText(6, 3)})
    appendField(expected, field);
  EXPECT_EQ(line, expected);
  EXPECT_EQ(line, "12345 -7 12345.678  6");

  // One line laid out in one go: a wide field, a text too long for the short copies and one
  // for the general route (1e300 with 30 decimals) among them.
  std::string columns = "x";
  appendColumns(columns, {intColumn(12345, 3), fixedColumn(1e300, 7, 30), intColumn(-7, 40), fixedColumn(1e40, 5, 2),
                          fixedColumn(0.5, 3, 0)});
  std::string fields = "x";
  for (const std::string& field : {intText(12345, 3), fixedText(1e300, 7, 30), intText(-7, 40), fixedText(1e40, 5, 2),
                                   fixedText(0.5, 3, 0)})
    appendField(fields, field);
  EXPECT_EQ(columns, fields);
}
