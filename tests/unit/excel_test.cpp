// The spreadsheet text, compared with texts written out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/excel.hpp"
#include "tests/support/aluminium.hpp"
#include "tests/support/scratch.hpp"

namespace obrin {
namespace {

// The third line with a negative index, to show the column widths.
CalculationState cubicAluminium() {
  CalculationState s = testing_support::cubicAluminium();
  s.list[2].h = -2;
  return s;
}

ReportInputs inputs(CalcMode mode, AngleMode angle, int decimals = 3) {
  ReportInputs in;
  in.dateTime = "08/12/2026 04:40:02";
  in.choices.mode = mode;
  in.choices.angle = angle;
  in.decimals = decimals;
  return in;
}

std::string text(const CalculationState& s, const ReportInputs& in) {
  const auto r = spreadsheetText(s, in);
  EXPECT_EQ(r.error(), "");
  return r.value_or("");
}

const std::string kHead =
    "Miller indices generator\n"
    "\n"
    "08/12/2026 04:40:02\n"
    "\n"
    "Space Group: Fm-3m\n"
    "\n"
    "  a\t  b\t  c\t alpha\t beta\t gamma\t lambda\t\n"
    "  4.04960\t  4.04960\t  4.04960\t 90.00\t 90.00\t 90.00\t   1.54060\n"
    "\n";
const std::string kTitles = "  h\t  k\t  l\t   dhkl\tTheta\tMult\n";

TEST(Spreadsheet, PowderTheta) {
  EXPECT_EQ(text(cubicAluminium(), inputs(CalcMode::Powder, AngleMode::Theta)),
            kHead +
                "Theta Min =   5.00\n"
                "Theta Max =  35.00\n"
                "\n" +
                kTitles +
                "  1\t  1\t  1\t   2.338\t 19.237\t    8\n"
                "  2\t  0\t  0\t   2.025\t 22.371\t    6\n"
                " -2\t  2\t  0\t   1.432\t 32.553\t   12\n"
                "\n");
}

TEST(Spreadsheet, PowderTwoThetaDoublesValuesButKeepsTheTitle) {
  EXPECT_EQ(text(cubicAluminium(), inputs(CalcMode::Powder, AngleMode::TwoTheta, 1)),
            kHead +
                "2Theta Min =  10.00\n"
                "2Theta Max =  70.00\n"
                "\n" +
                kTitles +
                "  1\t  1\t  1\t   2.338\t 38.5\t    8\n"
                "  2\t  0\t  0\t   2.025\t 44.7\t    6\n"
                " -2\t  2\t  0\t   1.432\t 65.1\t   12\n"
                "\n");
}

TEST(Spreadsheet, SingleCrystalWritesIndexLimits) {
  CalculationState s = cubicAluminium();
  s.list.resize(1);
  s.list[0].multiplicity = 1;
  ReportInputs in = inputs(CalcMode::SingleCrystal, AngleMode::Theta, 0);
  in.choices.millerLimitTexts = {"-2", "2", "-1", "1", "0", "12"};
  EXPECT_EQ(text(s, in), kHead +
                             "Hmin = -2  Hmax =  2\n"
                             "Kmin = -1  Kmax =  1\n"
                             "Lmin =  0  Lmax = 12\n"
                             "\n" +
                             kTitles +
                             "  1\t  1\t  1\t   2.338\t  19\t    1\n"
                             "\n");

  in.choices.millerLimitTexts[0] = "";
  const auto bad = spreadsheetText(s, in);
  EXPECT_FALSE(bad);
  EXPECT_EQ(bad.error(), "Hmin: \"\" is not a whole number");
}

TEST(Spreadsheet, EmptyListAndBraggModeKeepTheHeadings) {
  CalculationState s = cubicAluminium();
  s.list.clear();
  EXPECT_EQ(text(s, inputs(CalcMode::Powder, AngleMode::Theta)),
            kHead + "Theta Min =   5.00\nTheta Max =  35.00\n\n" + kTitles + "\n");
  EXPECT_EQ(text(s, inputs(CalcMode::Bragg, AngleMode::Theta)), kHead + kTitles + "\n");
}

TEST(Spreadsheet, WriteReturnsTheTextItWrote) {
  const auto dir = testing_support::freshScratchDir("excel_test");
  const auto in = inputs(CalcMode::Powder, AngleMode::Theta);
  const auto written = writeSpreadsheet(cubicAluminium(), in, dir);
  ASSERT_TRUE(written) << written.error();
  EXPECT_EQ(*written, text(cubicAluminium(), in));
  std::ifstream f(dir / "excel.txt", std::ios::binary);
  std::ostringstream onDisk;
  onDisk << f.rdbuf();
  EXPECT_EQ(onDisk.str(), *written);

  const auto failed = writeSpreadsheet(cubicAluminium(), in, dir / "missing");
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.error(), "Cannot write excel.txt: No such file or directory");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace obrin
