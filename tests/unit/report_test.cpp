// The results report, compared line by line with texts written out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "calc/display.hpp"
#include "io/report.hpp"
#include "tests/support/aluminium.hpp"
#include "tests/support/scratch.hpp"

namespace obrin {
namespace {

using testing_support::cubicAluminium;
using testing_support::refl;

const char* kDate = "08/12/2026 04:40:02";

ReportInputs inputs(CalcMode mode, AngleMode angle, int decimals = 3) {
  ReportInputs in;
  in.dateTime = kDate;
  in.choices.mode = mode;
  in.choices.angle = angle;
  in.decimals = decimals;
  return in;
}

std::string report(const CalculationState& s, const ReportInputs& in) {
  const auto r = resultsReportText(s, in);
  EXPECT_EQ(r.error(), "");
  return r.value_or("");
}

const std::string kCubicHead =
    "08/12/2026 04:40:02\n"
    "\n"
    "                  Miller indices generator\n"
    "                  ------------------------\n"
    "\n"
    "Space Group: Fm-3m\n"
    "a=  4.04960 b=  4.04960 c=  4.04960\n"
    "alpha= 90.000 beta= 90.000 gamma= 90.000\n"
    "lambda=   1.54060\n"
    "\n";

TEST(ResultsReport, CubicPowderTheta) {
  EXPECT_EQ(report(cubicAluminium(), inputs(CalcMode::Powder, AngleMode::Theta)),
            kCubicHead +
                "Theta Min =   5.00\n"
                "Theta Max =  35.00\n"
                "\n"
                "  h  k  l    dhkl    Theta   Mult\n"
                "  1  1  1   2.3380  19.237    8\n"
                "  2  0  0   2.0248  22.371    6\n"
                "  2  2  0   1.4317  32.553   12\n"
                "\n");
}

TEST(ResultsReport, CubicPowderTwoThetaDoublesLimitsAndAngles) {
  EXPECT_EQ(report(cubicAluminium(), inputs(CalcMode::Powder, AngleMode::TwoTheta)),
            kCubicHead +
                "2Theta Min =  10.00\n"
                "2Theta Max =  70.00\n"
                "\n"
                "  h  k  l    dhkl   2Theta   Mult\n"
                "  1  1  1   2.3380  38.474    8\n"
                "  2  0  0   2.0248  44.742    6\n"
                "  2  2  0   1.4317  65.106   12\n"
                "\n");
}

TEST(ResultsReport, HexagonalRGroupAddsRhombohedralCellAndIndices) {
  CalculationState s;
  s.system = CrystalSystem::Hexagonal;
  s.groupName = "R-3c";
  s.lattice = 'R';
  s.cellCopy = {4.7589, 4.7589, 12.991, 90, 90, 120};
  s.lambda = 1.5406;
  s.thetaMin = 5;
  s.thetaMax = 35;
  s.list = {refl(0, 1, 2, 3.4793f, 12.6215f, 6), refl(1, 0, 4, 2.5517f, 20.3812f, 6),
            refl(2, -1, 0, 2.0853f, 24.6671f, 6)};
  EXPECT_EQ(report(s, inputs(CalcMode::Powder, AngleMode::Theta)),
            "08/12/2026 04:40:02\n"
            "\n"
            "                  Miller indices generator\n"
            "                  ------------------------\n"
            "\n"
            "Space Group: R-3c\n"
            "a=  4.75890 b=  4.75890 c= 12.99100\n"
            "alpha= 90.000 beta= 90.000 gamma=120.000\n"
            "\n"
            "Rhomboedral cell:\n"
            "a=  5.12843 alpha= 55.287\n"
            "lambda=   1.54060\n"
            "\n"
            "Theta Min =   5.00\n"
            "Theta Max =  35.00\n"
            "\n"
            "  h  k  l    dhkl    Theta   Mult  Rhomb. indices\n"
            "  0  1  2   3.4793  12.622    6       1   1   0\n"
            "  1  0  4   2.5517  20.381    6       2   1   1\n"
            "  2 -1  0   2.0853  24.667    6       1  -1   0\n"
            "\n");

  // A hexagonal P group gets neither the converted cell nor the index columns.
  s.groupName = "P6/mmm";
  s.lattice = 'P';
  const std::string p = report(s, inputs(CalcMode::Powder, AngleMode::Theta));
  EXPECT_EQ(p.find("Rhomb"), std::string::npos);
  EXPECT_NE(p.find("  h  k  l    dhkl    Theta   Mult\n  0  1  2   3.4793  12.622    6\n"),
            std::string::npos);
}

TEST(ResultsReport, RhombohedralIndicesTruncateTowardZero) {
  // Not allowed by the R lattice, but a listed line must still be converted the same way.
  CalculationState s;
  s.system = CrystalSystem::Hexagonal;
  s.groupName = "R3";
  s.lattice = 'R';
  s.cellCopy = {4.7589, 4.7589, 12.991, 90, 90, 120};
  s.list = {refl(1, 0, 0, 4.1213f, 10.7711f, 6), refl(-1, 0, 0, 4.1213f, 10.7711f, 6)};
  const std::string r = report(s, inputs(CalcMode::Bragg, AngleMode::Theta));
  EXPECT_NE(r.find("  1  0  0   4.1213  10.771    6       0   0   0\n"
                   " -1  0  0   4.1213  10.771    6       0   0   0\n"),
            std::string::npos)
      << r;
}

// Indices wider than their 3-character column must not run into each other ("100-101100").
TEST(ResultsReport, WideIndicesStaySeparatedInEveryList) {
  CalculationState s;
  s.system = CrystalSystem::Hexagonal;
  s.groupName = "R3";
  s.lattice = 'R';
  s.cellCopy = {4.7589, 4.7589, 12.991, 90, 90, 120};
  s.list = {refl(100, -101, 100, 0.1234f, 80.5f, 12), refl(1, 0, 0, 4.1213f, 10.7711f, 6),
            refl(-1000, 1000, 32767, 0.0001f, 89.9f, 2)};
  const std::string r = report(s, inputs(CalcMode::Bragg, AngleMode::Theta));
  EXPECT_NE(r.find("100 -101 100   0.1234  80.500   12      66 -33  67\n"
                   "  1  0  0   4.1213  10.771    6       0   0   0\n"
                   "-1000 1000 32767   0.0001  89.900    2    10589 11589 10589\n"),
            std::string::npos)
      << r;
  EXPECT_EQ(formatResultLine(s.list[0], AngleMode::Theta), "100 -101 100  0.123  80.500 12");
  EXPECT_EQ(formatResultLine(s.list[1], AngleMode::Theta), "  1  0  0  4.121  10.771  6");
}

TEST(ResultsReport, RhombohedralAxesAddHexagonalCellAndIndices) {
  CalculationState s;
  s.system = CrystalSystem::Rhombohedral;
  s.groupName = "R-3C";
  s.lattice = 'R';
  s.cellCopy = {5.1284, 5.1284, 5.1284, 55.28, 55.28, 55.28};
  s.lambda = 1.5406;
  s.thetaMin = 5;
  s.thetaMax = 35;
  s.list = {refl(1, 1, 0, 3.4793f, 12.6215f, 6), refl(2, 1, 1, 2.5517f, 20.3812f, 6),
            refl(1, 0, -1, 2.0853f, 24.6671f, 6)};
  EXPECT_EQ(report(s, inputs(CalcMode::Powder, AngleMode::Theta)),
            "08/12/2026 04:40:02\n"
            "\n"
            "                  Miller indices generator\n"
            "                  ------------------------\n"
            "\n"
            "Space Group: R-3C\n"
            "a=  5.12840 b=  5.12840 c=  5.12840\n"
            "alpha= 55.280 beta= 55.280 gamma= 55.280\n"
            "\n"
            "Hexagonal cell:\n"
            "a=  4.75828 c= 12.99156\n"
            "lambda=   1.54060\n"
            "\n"
            "Theta Min =   5.00\n"
            "Theta Max =  35.00\n"
            "\n"
            "  h  k  l    dhkl    Theta   Mult  Hexag. indices\n"
            "  1  1  0   3.4793  12.622    6       0   1   2\n"
            "  2  1  1   2.5517  20.381    6       1   0   4\n"
            "  1  0 -1   2.0853  24.667    6       1   1   0\n"
            "\n");
}

TEST(ResultsReport, SingleCrystalWritesIndexLimitsNotAngleLimits) {
  CalculationState s = cubicAluminium();
  for (auto& r : s.list) r.multiplicity = 1;
  ReportInputs in = inputs(CalcMode::SingleCrystal, AngleMode::Theta);
  in.choices.millerLimitTexts = {"-1", "  2", "0", "2", " 0", "3"};
  EXPECT_EQ(report(s, in),
            kCubicHead +
                "Hmin = -1  Hmax =  2\n"
                "Kmin =  0  Kmax =  2\n"
                "Lmin =  0  Lmax =  3\n"
                "\n"
                "  h  k  l    dhkl    Theta   Mult\n"
                "  1  1  1   2.3380  19.237    1\n"
                "  2  0  0   2.0248  22.371    1\n"
                "  2  2  0   1.4317  32.553    1\n"
                "\n");

  in.choices.angle = AngleMode::TwoTheta;
  EXPECT_NE(report(s, in).find("Lmin =  0  Lmax =  3\n\n  h  k  l    dhkl   2Theta   Mult\n"
                               "  1  1  1   2.3380  38.474    1\n"),
            std::string::npos);

  in.choices.millerLimitTexts[5] = "3a";
  const auto bad = resultsReportText(s, in);
  EXPECT_FALSE(bad);
  EXPECT_EQ(bad.error(), "Lmax: \"3a\" is not a whole number");
}

TEST(ResultsReport, BraggModeAndNoModeWriteRowsWithoutHeader) {
  CalculationState s = cubicAluminium();
  s.list.resize(1);
  const std::string expected = kCubicHead +
                               "  1  1  1   2.3380  19.237    8\n"
                               "\n";
  EXPECT_EQ(report(s, inputs(CalcMode::Bragg, AngleMode::Theta)), expected);
  EXPECT_EQ(report(s, inputs(CalcMode::None, AngleMode::Theta)), expected);
}

TEST(ResultsReport, AngleColumnWidthAndHeaderSpacingFollowDecimals) {
  CalculationState s = cubicAluminium();
  s.list.resize(1);
  EXPECT_EQ(report(s, inputs(CalcMode::Powder, AngleMode::Theta, 0)),
            kCubicHead +
                "Theta Min =   5.00\n"
                "Theta Max =  35.00\n"
                "\n"
                "  h  k  l    dhkl  Theta  Mult\n"
                "  1  1  1   2.3380   19    8\n"
                "\n");
  EXPECT_EQ(report(s, inputs(CalcMode::Powder, AngleMode::Theta, 1)),
            kCubicHead +
                "Theta Min =   5.00\n"
                "Theta Max =  35.00\n"
                "\n"
                "  h  k  l    dhkl   Theta  Mult\n"
                "  1  1  1   2.3380  19.2    8\n"
                "\n");
  EXPECT_NE(report(s, inputs(CalcMode::Powder, AngleMode::TwoTheta, 6))
                .find("  h  k  l    dhkl    2Theta    Mult\n"
                      "  1  1  1   2.3380  38.474201    8\n"),
            std::string::npos);
}

TEST(ResultsReport, EmptyListStillWritesTheHead) {
  CalculationState s = cubicAluminium();
  s.list.clear();
  EXPECT_EQ(report(s, inputs(CalcMode::Powder, AngleMode::Theta)),
            kCubicHead +
                "Theta Min =   5.00\n"
                "Theta Max =  35.00\n"
                "\n"
                "  h  k  l    dhkl    Theta   Mult\n"
                "\n");
}

TEST(FieldNumbers, DecimalsMustBeAWholeNumberOfZeroOrMore) {
  EXPECT_EQ(readDecimals("  3").value_or(-1), 3);
  EXPECT_EQ(readDecimals("0").value_or(-1), 0);
  EXPECT_EQ(readDecimals("+2 ").value_or(-1), 2);
  EXPECT_EQ(readDecimals("30").value_or(-1), 30);
  for (const char* bad : {"", "   ", "x", "2.5", "3a", "-1", "31", "1e2", "++2", "99999999999999999999"}) {
    const auto read = readDecimals(bad);
    EXPECT_FALSE(read) << bad;
    EXPECT_NE(read.error().find("is not a whole number from 0 to 30"), std::string::npos) << bad;
  }
  EXPECT_EQ(readDecimals(" x ").error(), "Number of decimals: \"x\" is not a whole number from 0 to 30");
}

TEST(FieldNumbers, MillerLimitsNameTheFieldThatDoesNotRead) {
  const auto ok = readReportMillerLimits({"-3", "3", " -2", "+2 ", "0", "4"});
  ASSERT_TRUE(ok);
  EXPECT_EQ(*ok, (std::array<int, 6>{-3, 3, -2, 2, 0, 4}));
  EXPECT_EQ(readReportMillerLimits({"-3", "3", "", "2", "0", "4"}).error(), "Kmin: \"\" is not a whole number");
  EXPECT_EQ(readReportMillerLimits({"-3", "3", "0", "2", "0", "9999999999"}).error(), "Lmax: \"9999999999\" is not a whole number");
}

std::string fileText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ResultsReport, WrittenFileHoldsTheTextOrNothingChanges) {
  const auto dir = testing_support::freshScratchDir("report_test");
  const CalculationState s = cubicAluminium();
  ReportInputs in = inputs(CalcMode::Powder, AngleMode::Theta);

  EXPECT_TRUE(WriteResultsReport(s, in, dir));
  EXPECT_EQ(fileText(dir / "indic.out"), report(s, in));

  // A limit that does not read refuses the report and keeps the previous one.
  ReportInputs bad = in;
  bad.choices.mode = CalcMode::SingleCrystal;
  bad.choices.millerLimitTexts = {"a", "1", "1", "1", "1", "1"};
  EXPECT_EQ(WriteResultsReport(s, bad, dir).error(), "Cannot write indic.out: Hmin: \"a\" is not a whole number");
  EXPECT_EQ(fileText(dir / "indic.out"), report(s, in));

  EXPECT_EQ(WriteResultsReport(s, in, dir / "missing").error(),
            "Cannot write indic.out: No such file or directory");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace obrin
