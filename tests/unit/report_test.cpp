// The results report, compared line by line with texts written out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "calc/display.hpp"
#include "io/excel.hpp"
#include "io/refinement_text.hpp"
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

namespace obrin {
namespace {

// A refinement of aluminium as the dialog would hand it to the report: two peaks indexed, one
// not, the zero shift refined.
CellRefinement aluminiumRefinement() {
  CellRefinement r;
  r.system = CrystalSystem::Cubic;
  r.cell = {4.049612, 4.049612, 4.049612, 90, 90, 90};
  r.cellSu = {0.000123, 0.000123, 0.000123, 0, 0, 0};
  r.volume = 66.4118;
  r.volumeSu = 0.0061;
  r.zero = 0.01234;
  r.zeroSu = 0.00081;
  r.zeroRefined = true;
  r.lambda = 1.5406;
  r.weighted = true;
  r.reducedChiSquare = 1.2345;
  RefinedLine l111;
  l111.peak = 0;
  l111.hkl = {1, 1, 1};
  l111.indexed = true;
  l111.twoThetaObs = 38.4871;
  l111.twoThetaCalc = 38.4850;
  l111.delta = 0.0021;
  l111.dObs = 2.33763;
  l111.dCalc = 2.33804;
  l111.weight = 40000;
  l111.leverage = 0.512;
  RefinedLine l200 = l111;
  l200.peak = 1;
  l200.hkl = {2, 0, 0};
  l200.twoThetaObs = 44.7420;
  l200.twoThetaCalc = 44.7204;
  l200.delta = 0.0216;
  l200.dObs = 2.02384;
  l200.dCalc = 2.02480;
  l200.outlier = true;
  RefinedLine stray;
  stray.peak = 2;
  stray.twoThetaObs = 50.1;
  stray.dObs = 1.81925;
  r.lines = {l111, l200, stray};
  r.used = 2;
  r.unindexed = 1;
  r.outliers = 1;
  r.m20 = FigureOfMerit{2, 0.2441, 0.00025, 3, 162.7};
  r.fN = FigureOfMerit{2, 44.742, 0.01185, 3, 56.25};
  r.warnings = {"Zero shift and displacement are correlated (0.950): their values trade off"};
  return r;
}

TEST(ResultsReport, UncertaintiesInTheCrystallographersNotation) {
  EXPECT_EQ(valueWithUncertainty(5.431021, 0.000012, 5), "5.431021(12)");
  EXPECT_EQ(valueWithUncertainty(5.431021, 0.00004, 5), "5.43102(4)");
  EXPECT_EQ(valueWithUncertainty(160.19324, 0.0011, 3), "160.1932(11)");
  EXPECT_EQ(valueWithUncertainty(-0.01234, 0.0041, 4), "-0.012(4)");
  EXPECT_EQ(valueWithUncertainty(12.3456, 0.0096, 4), "12.346(10)");   // 9.6 rounds up to two digits
  EXPECT_EQ(valueWithUncertainty(1234.5, 25, 1), "1230(30)");        // s.u. beyond the unit digit
  EXPECT_EQ(valueWithUncertainty(5, 0, 5), "5.00000");                // no s.u.: the value alone
  EXPECT_EQ(valueWithUncertainty(5, NAN, 3), "5.000");
}

TEST(ResultsReport, RefinementFollowsTheReflections) {
  ReportInputs in = inputs(CalcMode::Powder, AngleMode::Theta);
  const std::string plain = report(cubicAluminium(), in);
  in.choices.refinement = aluminiumRefinement();
  const std::string withRefinement = report(cubicAluminium(), in);
  ASSERT_EQ(withRefinement.substr(0, plain.size()), plain);  // the report as before, then the block
  EXPECT_EQ(withRefinement.substr(plain.size()),
            "Cell refinement\n"
            "  system CUBI, lambda 1.54060 A, tolerance 0.100 deg 2Theta\n"
            "  peaks 3: used 2, unindexed 1, ambiguous 0, excluded 0, outliers 1\n"
            "  weights 1/sigma^2 (sigma of 2Theta floored at 0.005 deg); chi2/nu = 1.234\n"
            "a = 4.04961(12)  b = a  c = a  (A)\n"
            "alpha = 90  beta = 90  gamma = 90  (deg)\n"
            "V = 66.412(6) A^3\n"
            "zero = 0.0123(8) deg 2Theta\n"
            "displacement = 0 mm (not refined), R = 240 mm\n"
            "Warning: Zero shift and displacement are correlated (0.950): their values trade off\n"
            "M2 = 162.7 (<|dQ|> = 0.00025 A^-2, Nposs = 3)\n"
            "F2 = 56.2 (<|d2Theta|> = 0.0118 deg, Nposs = 3)\n"
            "\n"
            "    h    k    l 2Theta obs 2Theta calc    delta    d obs   d calc      weight leverage  flags\n"
            "    1    1    1    38.4871     38.4850   0.0021  2.33763  2.33804     40000.0    0.512\n"
            "    2    0    0    44.7420     44.7204   0.0216  2.02384  2.02480     40000.0    0.512  outlier\n"
            "                   50.1000                       1.81925                                unindexed\n"
            "\n");
  // The spreadsheet text: the same after its reflections, as tab-separated rows.
  const auto sheet = spreadsheetText(cubicAluminium(), in);
  ASSERT_TRUE(sheet);
  const std::string tail = sheet->substr(sheet->find("Cell refinement"));
  EXPECT_EQ(tail.substr(0, tail.find("\nh\t")),
            "Cell refinement\n\n"
            "parameter\tvalue\ts.u.\n"
            "a\t4.049612\t0.000123\n"
            "b\t4.049612\t= a\n"
            "c\t4.049612\t= a\n"
            "alpha\t90\tfixed\n"
            "beta\t90\tfixed\n"
            "gamma\t90\tfixed\n"
            "V\t66.4118\t0.0061\n"
            "zero\t0.01234\t0.00081\n"
            "displacement\t0\tnot refined\n"
            "M2\t162.7\t0.00025\t3\n"
            "F2\t56.25\t0.01185\t3\n"
            "unindexed\t1\n"
            "Warning\tZero shift and displacement are correlated (0.950): their values trade off\n");
  EXPECT_NE(tail.find("\n2\t0\t0\t44.7420\t44.7204\t0.0216\t2.02384\t2.02480\t40000\t0.5120\toutlier\n"),
            std::string::npos)
      << tail;
  EXPECT_NE(tail.find("\n\t\t\t50.1000\t\t\t1.81925\t\t\t\tunindexed\n"), std::string::npos) << tail;
}

}  // namespace
}  // namespace obrin
