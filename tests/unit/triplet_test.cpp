#include <gtest/gtest.h>

#include "symmetry/pot.hpp"

using namespace obrin;

using Row = std::array<double, 4>;

TEST(Triplet, ReadsRotationRowsAndTranslations) {
  struct Case {
    const char* line;
    Row x, y, z;
  };
  const Case cases[] = {
      {"-x+1/2,y,z+1/4", {-1, 0, 0, 0.5}, {0, 1, 0, 0}, {0, 0, 1, 0.25}},
      // The translation may stand before the letter.
      {"+1/2-x,y,z+1/4", {-1, 0, 0, 0.5}, {0, 1, 0, 0}, {0, 0, 1, 0.25}},
      {"X-Y,Y-X,-Z", {1, -1, 0, 0}, {-1, 1, 0, 0}, {0, 0, -1, 0}},
      {"-y+1/3,x-y+2/3,z+1/6", {0, -1, 0, 1.0 / 3}, {1, -1, 0, 2.0 / 3}, {0, 0, 1, 1.0 / 6}},
      {"y-x+3/4,-x,z+5/6", {-1, 1, 0, 0.75}, {-1, 0, 0, 0}, {0, 0, 1, 5.0 / 6}},
      {"  x , -y ,  z  ", {1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto op = parseTriplet(c.line);
    ASSERT_TRUE(op);
    for (int j = 0; j < 4; ++j) {
      EXPECT_DOUBLE_EQ(op->m[0][j], c.x[j]);
      EXPECT_DOUBLE_EQ(op->m[1][j], c.y[j]);
      EXPECT_DOUBLE_EQ(op->m[2][j], c.z[j]);
    }
  }
}

TEST(Triplet, BothWritingsOfATranslationGiveTheSameOperator) {
  auto a = parseTriplet("-x+1/2,-y,z");
  auto b = parseTriplet("+1/2-X,-Y,Z");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->m, b->m);
}

TEST(Triplet, RefusesWhatIsNoneOfTheEightFormsAndNamesIt) {
  struct Case {
    const char* line;
    const char* bad;
  };
  const Case cases[] = {
      {"x,y,w", "w"},
      {"x,+y,z", "+y"},         // plus sign before a letter
      {"x,y,+1/4+z", "+1/4+z"}, // ... also once the translation is out
      {"-x+y,y,z", "-x+y"},     // the form -X+Y is not among the eight
      {"x-1/2,y,z", "x-1/2"},   // a fraction with a minus sign
      {"1/2+x,y,z", "1/2+x"},   // a fraction without its plus sign
      {"x +1/2,y,z", "x +1/2"}, // a blank inside
      {"x,y,z+1/2+1/2", "z+1/2+1/2"},
      {"x,y,z,x", "z,x"},       // the third expression runs to the end of the line
      {"x,y", "x,y"},           // too few expressions
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string bad = "unchanged";
    EXPECT_FALSE(parseTriplet(c.line, &bad));
    EXPECT_EQ(bad, c.bad);
  }
}
