#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/numfield.hpp"

using namespace obrin;

TEST(NumberSyntax, AcceptsAndRejects) {
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const Case cases[] = {
      {"4.2", 4.2},     {"  4.2", 4.2},   {"+3", 3},        {"-3", -3},         {"1e2", 100},
      {"1.5E-1", 0.15}, {"2.5e+1", 25},   {".", 0},         {"-.", 0},          {"2.", 2},
      {".5", 0.5},      {"  -.5", -0.5},  {"", std::nullopt}, {"   ", std::nullopt},
      {"4.2 ", std::nullopt},  {"1,5", std::nullopt}, {"1 5", std::nullopt}, {"+", std::nullopt},
      {"-", std::nullopt},     {"1e", std::nullopt},  {"1e+", std::nullopt}, {"e5", std::nullopt},
      {"abc", std::nullopt},   {"1.2.3", std::nullopt}, {"--1", std::nullopt}, {"\t1", std::nullopt},
      {"1e400", std::nullopt},  // would be infinite
  };
  for (const auto& c : cases) {
    auto v = parseNumber(c.text);
    ASSERT_EQ(v.has_value(), c.value.has_value()) << '"' << c.text << '"';
    if (v) {
      EXPECT_DOUBLE_EQ(*v, *c.value) << '"' << c.text << '"';
    }
  }
}

TEST(NumberRepair, EachRuleOnceAtItsFirstMatch) {
  struct Case {
    const char* typed;
    const char* repaired;
  };
  const Case cases[] = {
      {"", "0"},
      {"2.", "2.0"},
      {"-.5", "-0.5"},
      {" .5", "0.5"},
      {"1. 5", "1.05"},      // a blank after the point is a zero decimal
      {"1 .5", "10.5"},      // a blank before the point is a zero digit
      {"1 5", "1 5"},        // no point: nothing to repair, and the text stays unreadable
      {" . ", "0.0"},
      {"-.", "-0.0"},
      {" .5 .5", "0.5 .5"},  // only the first match is repaired
      {"4.2", "4.2"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalizeNumberText(c.typed), c.repaired) << '"' << c.typed << '"';
}

TEST(NumberRepair, RepairedTextsReadAsTheUserMeant) {
  EXPECT_EQ(parseNumber(normalizeNumberText("2.")), 2.0);
  EXPECT_EQ(parseNumber(normalizeNumberText("-.5")), -0.5);
  EXPECT_EQ(parseNumber(normalizeNumberText(" .5")), 0.5);
  EXPECT_EQ(parseNumber(normalizeNumberText("")), 0.0);
  EXPECT_FALSE(parseNumber(normalizeNumberText("1,5")));
  EXPECT_FALSE(parseNumber(normalizeNumberText("1 5")));
}
