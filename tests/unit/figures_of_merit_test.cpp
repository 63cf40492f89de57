// The figures of merit against values worked out by hand from de Wolff's and Smith & Snyder's
// definitions, on a ten-line case.
#include <gtest/gtest.h>

#include "analysis/figures_of_merit.hpp"

#include <cmath>
#include <vector>

using namespace obrin;

TEST(FiguresOfMerit, SmithSnyderOfTenLines) {
  // Possible lines every 5° from 10° to 70°, 20° twice (two reflections of one spacing); 35°
  // and everything above 60° not observed. The observed lines come unsorted.
  const std::vector<double> possible{10, 15, 20, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70};
  const std::vector<IndexedValue> lines{
      {45.01, 45}, {10.01, 10}, {14.98, 15}, {20.03, 20}, {24.99, 25},
      {30.02, 30}, {39.97, 40}, {49.98, 50}, {55.03, 55}, {60.00, 60}};
  // |Δ| = .01 .02 .03 .01 .02 .03 .01 .02 .03 0, sum 0.18, mean 0.018; up to 60°: 10, 15, 20,
  // 25, 30, 35, 40, 45, 50, 55, 60 are 11 distinct lines. F10 = 10 / (0.018 · 11).
  const auto f = smithSnyderFigure(lines, possible);
  ASSERT_TRUE(f) << f.error();
  EXPECT_EQ(f->lines, 10);
  EXPECT_EQ(f->possible, 11);
  EXPECT_NEAR(f->meanDelta, 0.018, 1e-12);
  EXPECT_DOUBLE_EQ(f->limit, 60.0);
  EXPECT_NEAR(f->value, 50.50505050, 1e-6);
  // The first five by 2θ end at 30.02°: the line at 30° counts, 35° does not.
  // |Δ| = .01 .02 .03 .01 .02, mean 0.018; F5 = 5 / (0.018 · 5).
  const auto f5 = smithSnyderFigure(lines, possible, 5);
  ASSERT_TRUE(f5);
  EXPECT_EQ(f5->possible, 5);
  EXPECT_NEAR(f5->value, 55.5555556, 1e-6);
  // The sixth line observed at 39.97° stands for the line at 40°, which is possible up to it:
  // up to 40°, 10 15 20 25 30 35 40 are 7 lines. |Δ| mean (0.09 + 0.03) / 6 = 0.02;
  // F6 = 6 / (0.02 · 7).
  const auto f6 = smithSnyderFigure(lines, possible, 6);
  ASSERT_TRUE(f6);
  EXPECT_EQ(f6->possible, 7);
  EXPECT_DOUBLE_EQ(f6->limit, 40.0);
  EXPECT_NEAR(f6->value, 42.8571429, 1e-6);
}

TEST(FiguresOfMerit, DeWolffOfTenLines) {
  // Cubic P, a = 4 Å: Q = (h² + k² + l²) / 16 Å⁻². Possible sums 1 2 3 4 5 6 8 9 9 10 11 12
  // 13 (9 twice: 3 0 0 and 2 2 1); observed all but 5, up to 12.
  std::vector<double> possible;
  for (int n : {1, 2, 3, 4, 5, 6, 8, 9, 9, 10, 11, 12, 13}) possible.push_back(n / 16.0);
  const std::vector<int> sums{1, 2, 3, 4, 6, 8, 9, 10, 11, 12};
  const std::vector<double> dq{1e-4, -2e-4, 1e-4, 3e-4, -1e-4, 2e-4, -1e-4, 2e-4, -2e-4, 0};
  std::vector<IndexedValue> lines;
  for (std::size_t i = 0; i < sums.size(); ++i) lines.push_back({sums[i] / 16.0 + dq[i], sums[i] / 16.0});
  // Σ|ΔQ| = 1.5e-3, mean 1.5e-4; Q10 = 0.75; up to it 11 distinct Q (1–6, 8–12).
  // M10 = 0.75 / (2 · 1.5e-4 · 11) = 227.2727...
  const auto m = deWolffFigure(lines, possible);
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(m->lines, 10);  // M20 asked, ten lines there: M10
  EXPECT_EQ(m->possible, 11);
  EXPECT_NEAR(m->meanDelta, 1.5e-4, 1e-15);
  EXPECT_NEAR(m->value, 227.272727, 1e-5);
  // A spacing's Q.
  EXPECT_DOUBLE_EQ(qOfSpacing(4), 1 / 16.0);
  EXPECT_EQ(qOfSpacing(0), 0);
}

TEST(FiguresOfMerit, PerfectAgreementAndRefusals) {
  const std::vector<double> possible{10, 20, 30};
  const std::vector<IndexedValue> exact{{10, 10}, {20, 20}};
  const auto f = smithSnyderFigure(exact, possible);
  ASSERT_TRUE(f);
  EXPECT_TRUE(std::isinf(f->value) && f->value > 0);
  EXPECT_FALSE(smithSnyderFigure({}, possible));
  // Lines the possible list does not reach, and values that are no numbers.
  const std::vector<double> above{50, 60};
  EXPECT_FALSE(deWolffFigure(exact, above));
  const std::vector<IndexedValue> junk{{NAN, 10}, {20, INFINITY}};
  EXPECT_FALSE(smithSnyderFigure(junk, possible));
}
