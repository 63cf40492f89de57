// The pattern view's peak fields as the window reads them, and which peaks and lines explain
// each other, on angles set by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/peak_view.hpp"

using namespace obrin;

namespace {

std::vector<bool> bools(std::initializer_list<int> v) { return std::vector<bool>(v.begin(), v.end()); }

}  // namespace

// Each peak and each line is judged against the nearest of the other kind, in the order
// given whatever the order of the angles; a tolerance's edge explains, beyond it does not.
TEST(PeakView, PeaksAndLinesExplainEachOtherWithinTheTolerance) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> peaks{47.30, 28.44, 33.00, nan, 56.12};
  const std::vector<double> lines{28.40, 47.30, 56.20, 69.13, nan};
  const Explanation e = explainEachOther(peaks, lines, 0.05);
  EXPECT_EQ(e.peakExplained, bools({1, 1, 0, 0, 0}));  // 56.12 is 0.08 from 56.20
  EXPECT_EQ(e.lineExplained, bools({1, 1, 0, 0, 0}));

  const Explanation wide = explainEachOther(peaks, lines, 0.1);
  EXPECT_EQ(wide.peakExplained, bools({1, 1, 0, 0, 1}));
  EXPECT_EQ(wide.lineExplained, bools({1, 1, 1, 0, 0}));

  // Exactly at the tolerance (in binary: 10.25 and 10.5 are exact).
  const std::vector<double> edge{10.25}, line{10.5};
  EXPECT_EQ(explainEachOther(edge, line, 0.25).peakExplained, bools({1}));
  EXPECT_EQ(explainEachOther(edge, line, 0.2).lineExplained, bools({0}));

  // Nothing on one side: everything of the other is unexplained.
  const Explanation none = explainEachOther(peaks, {}, 1.0);
  EXPECT_EQ(none.peakExplained, bools({0, 0, 0, 0, 0}));
  EXPECT_TRUE(none.lineExplained.empty());
}

// The fields of the search and of the match: refused with the field's name and its text,
// blank range ends left open.
TEST(PeakView, FieldsAreReadOrRefusedByName) {
  EXPECT_EQ(readMinSignificance(" 3.5").value(), 3.5);
  for (const char* bad : {"0", "-2", "", "abc", "1e999"}) EXPECT_FALSE(readMinSignificance(bad).ok()) << bad;
  EXPECT_EQ(readMinSignificance("x").error(), "Error on minimum significance: \"x\" is not a positive number");

  const auto open = readSearchRange("", " ").value();
  EXPECT_FALSE(open.from || open.to);
  const auto half = readSearchRange("20", "").value();
  EXPECT_EQ(half.from, 20.0);
  EXPECT_FALSE(half.to);
  EXPECT_EQ(readSearchRange("181", "").error(), "Error on 2θ from (°): \"181\" is not an angle between 0 and 180");
  EXPECT_EQ(readSearchRange("10", "-1").error(), "Error on 2θ to (°): \"-1\" is not an angle between 0 and 180");
  EXPECT_EQ(readSearchRange("40", "40").error(),
            "Error on 2θ range: from 40 to 40 is no range; the first angle must be below the second");

  EXPECT_EQ(readPeakMatchTolerance("0.1").value(), 0.1);
  EXPECT_EQ(readPeakMatchTolerance("1").value(), 1.0);
  EXPECT_FALSE(readPeakMatchTolerance("0").ok());
  EXPECT_EQ(readPeakMatchTolerance("1.5").error(),
            "Error on match tolerance (° 2θ): \"1.5\" is not a tolerance above 0 and at most 1");
}
