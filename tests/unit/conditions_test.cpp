#include <gtest/gtest.h>

#include "symmetry/condition_codes.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;

namespace {

using Lines = std::vector<std::string>;

DerivedConditions derive(const Lines& lines, char lattice = 'P',
                         CrystalSystem system = CrystalSystem::Orthorhombic) {
  return deriveReflectionConditions(lattice, system, lines);
}

// The rules of a group whose condition lines must all decode.
SpaceGroupRules rulesOf(char lattice, CrystalSystem system, const Lines& lines) {
  auto d = deriveReflectionConditions(lattice, system, lines);
  EXPECT_EQ(d.status, 0) << d.warning;
  return {lattice, system, d.conditions};
}

struct Hkl {
  int h, k, l;
};

}  // namespace

// ---- Display ----------------------------------------------------------------------------

TEST(ConditionDisplay, EveryCodeShowsItsLabelAloneAndAfterAZone) {
  struct Case {
    const char* code;
    const char* label;
  };
  const Case cases[] = {
      {"HN2", "h=2n"},         {"HN4", "h=4n"},         {"HN3", "h=3n"},
      {"AH>AK", "h>k"},        {"AH>AL", "h>l"},        {"H+KN2", "h+k=2n"},
      {"-HKLN3", "-h+k+l=3n"}, {"KN2", "k=2n"},         {"KN4", "k=4n"},
      {"KN3", "k=3n"},         {"AK>AL", "k>l"},        {"AK>AH", "k>h"},
      {"K+LN2", "k+l=2n"},     {"H-KLN3", "h-k+l=3n"},  {"LN2", "l=2n"},
      {"LN4", "l=4n"},         {"LN3", "l=3n"},         {"AL>AH", "l>h"},
      {"AL>AK", "l>k"},        {"L+HN2", "l+h=2n"},     {"HK-LN3", "h+k-l=3n"},
      {"HKLN2", "h+k+l=2n"},   {"H+KN4", "h+k=4n"},     {"K+LN4", "k+l=4n"},
      {"L+HN4", "l+h=4n"},     {"2H+LN4", "2h+l=4n"},   {"2K+HN4", "2k+h=4n"},
      {"2L+KN4", "2l+k=4n"},   {"LN6", "l=6n"},
  };
  static_assert(std::size(cases) == kConditionKinds.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(formatConditionLine(c.code), c.label);
    EXPECT_EQ(formatConditionLine(std::string("H=0 ") + c.code), std::string("h=0,  ") + c.label);
    EXPECT_EQ(formatConditionLine(std::string("K<0 L>H ") + c.code),
              std::string("k<0,  l>h,  ") + c.label);
  }
}

TEST(ConditionDisplay, ReplacesOnlyWholeCodes) {
  // "HN2" inside "L+HN2" and "LN2" inside "HKLN2" are parts of other codes.
  EXPECT_EQ(formatConditionLine("H=0 L+HN2"), "h=0,  l+h=2n");
  EXPECT_EQ(formatConditionLine("K=0 HKLN2"), "k=0,  h+k+l=2n");
  // Separator characters already in the line take the same form as blanks.
  EXPECT_EQ(formatConditionLine("H=0;LN2"), "h=0,  ln2");
}

TEST(ConditionDisplay, ListsTheLatticeBeforeTheGeneralPosition) {
  struct Case {
    char lattice;
    CrystalSystem system;
    Lines lines;
    Lines display;
  };
  const Case cases[] = {
      {'P', CrystalSystem::Orthorhombic, {}, {}},
      {'P', CrystalSystem::Orthorhombic, {"  H=0 K+LN2 "},
       {"General position:", "h=0,  k+l=2n"}},
      {'A', CrystalSystem::Orthorhombic, {}, {"Bravais lattice:", "k+l=2n", "  "}},
      {'B', CrystalSystem::Orthorhombic, {}, {"Bravais lattice:", "l+h=2n", "  "}},
      {'C', CrystalSystem::Monoclinic, {"K=0 HN2"},
       {"Bravais lattice:", "h+k=2n", "  ", "General position:", "k=0,  h=2n"}},
      {'F', CrystalSystem::Cubic, {},
       {"Bravais lattice:", "h+k=2n", "k+l=2n", "l+h=2n", "  "}},
      {'I', CrystalSystem::Tetragonal, {"HKLN2"},
       {"Bravais lattice:", "h+k+l=2n", "  ", "General position:", "h+k+l=2n"}},
      {'R', CrystalSystem::Hexagonal, {}, {"Bravais lattice:", "-h+k+l=3n", "  "}},
      // Rhombohedral axes: the R cell is primitive, so neither lattice line nor blank line.
      {'R', CrystalSystem::Rhombohedral, {"L=H AH>AK"},
       {"Bravais lattice:", "General position:", "l=h,  h>k"}},
      {'X', CrystalSystem::Orthorhombic, {}, {"Bravais lattice:", "  "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.lattice) + " " + std::string(systemCode(c.system)));
    auto d = deriveReflectionConditions(c.lattice, c.system, c.lines);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.display, c.display);
  }
}

// ---- Decoding ---------------------------------------------------------------------------

TEST(ConditionDecoding, ReadsZonesAndCodeOfEachLine) {
  struct Case {
    const char* line;
    std::vector<int> zones;
    int kind;
  };
  const Case cases[] = {
      {"HKLN2", {}, 22},
      {"AH>AK", {}, 4},             // a code holding ">" alone on its line
      {"H=0 AK>AL", {1}, 11},
      {"H=K L<0 LN4", {13, 10}, 16},
      {"  L=-H   HN2  ", {18}, 1},
      {"H=0 K=0 L=0 H=K K=L LN2", {1, 5, 9, 13, 14}, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto d = derive({c.line});
    ASSERT_EQ(d.status, 0) << d.warning;
    ASSERT_EQ(d.conditions.size(), 1u);
    const auto& row = d.conditions[0];
    EXPECT_EQ(std::vector<int>(row.zones.begin(), row.zones.begin() + row.zoneCount), c.zones);
    EXPECT_EQ(row.kind, c.kind);
  }
}

TEST(ConditionDecoding, StopsAtAnUndecodedTokenKeepingWhatCameBefore) {
  struct Case {
    Lines lines;
    std::string warning;
  };
  const Case cases[] = {
      {{"L=0 HN2", "h=0 K+LN2", "LN2"}, "Condition d'extinction h=0 non décodée"},
      {{"L=0 HN2", "hkln2", "LN2"}, "Condition d'extinction hkln2 non décodée"},
      {{"L=0 HN2", "H=0 K+LN6", "LN2"}, "Condition d'extinction K+LN6 non décodée"},
      {{"L=0 HN2", "H>0 KN2", "LN2"}, "Condition d'extinction H>0 non décodée"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[1]);
    auto d = derive(c.lines);
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.warning, c.warning);
    ASSERT_EQ(d.conditions.size(), 1u);
    EXPECT_EQ(d.conditions[0].kind, 1);
    // The faulty line is shown, nothing after it.
    ASSERT_EQ(d.display.size(), 3u);
    EXPECT_EQ(d.display.back(), formatConditionLine(c.lines[1]));
  }
}

TEST(ConditionDecoding, HoldsTwelveLinesAndFiveZonesAndRefusesMore) {
  // Cubic groups such as I a -3 d need nine lines with every equivalent zone written out.
  Lines twelve(12, "H=0 KN2");
  auto ok = derive(twelve);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.conditions.size(), 12u);

  Lines thirteen(13, "H=0 KN2");
  auto over = derive(thirteen);
  EXPECT_EQ(over.status, 1);
  EXPECT_EQ(over.conditions.size(), 12u);
  EXPECT_NE(over.warning.find("12"), std::string::npos) << over.warning;

  auto sixZones = derive({"H=0 K=0 L=0 H=K K=L L=H LN2"});
  EXPECT_EQ(sixZones.status, 1);
  EXPECT_TRUE(sixZones.conditions.empty());
  EXPECT_NE(sixZones.warning.find("more than 5 zones"), std::string::npos) << sixZones.warning;
}

// ---- The reflection test ----------------------------------------------------------------

TEST(ReflectionTest, ZonesIncludeTheirBoundariesAsTheFilesExpect) {
  // With HKLN2 every reflection of odd h+k+l inside the zone is forbidden: the flag shows
  // whether h k l lies inside.
  struct Case {
    const char* zone;
    Hkl in, out;
  };
  const Case cases[] = {
      {"H=0", {0, 2, 1}, {1, 0, 0}},   {"H<0", {0, 0, 1}, {1, 0, 0}},
      {"H>K", {1, 1, 1}, {0, 1, 0}},   {"H>L", {2, 0, 1}, {0, 0, 1}},
      {"K=0", {1, 0, 0}, {0, 1, 0}},   {"K<0", {1, 0, 0}, {0, 1, 0}},
      {"K>L", {0, 1, 0}, {1, 0, 2}},   {"K>H", {1, 1, 1}, {1, 0, 0}},
      {"L=0", {1, 0, 0}, {0, 0, 1}},   {"L<0", {0, 0, -1}, {1, 0, 0}},
      {"L>H", {0, 0, 1}, {1, 1, 1}},   {"L>K", {0, 0, 1}, {1, 1, 1}},
      {"H=K", {1, 1, 1}, {1, 0, 0}},   {"K=L", {1, 1, 1}, {0, 1, 0}},
      {"L=H", {1, 1, 1}, {1, 0, 0}},   {"H=-K", {-1, 1, 1}, {1, 1, 1}},
      {"K=-L", {1, 1, -1}, {1, 1, 1}}, {"L=-H", {-1, 1, 1}, {1, 1, 1}},
  };
  static_assert(std::size(cases) == kConditionZones.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    auto d = derive({std::string(c.zone) + " HKLN2"});
    ASSERT_EQ(d.status, 0) << d.warning;
    EXPECT_EQ(evaluateConditions(d.conditions, c.in.h, c.in.k, c.in.l), 1);
    EXPECT_EQ(evaluateConditions(d.conditions, c.out.h, c.out.k, c.out.l), 0);
  }
}

TEST(ReflectionTest, EveryCodeTestsItsOwnSumWithSignedRemainders) {
  struct Case {
    const char* code;
    Hkl allowed, forbidden;
  };
  const Case cases[] = {
      {"HN2", {-2, 1, 1}, {-1, 0, 0}},       {"HN4", {-4, 1, 1}, {-2, 0, 0}},
      {"HN3", {-3, 1, 1}, {-2, 0, 0}},       {"AH>AK", {-1, 1, 0}, {-2, 1, 5}},
      {"AH>AL", {-1, 0, -1}, {-2, 5, 1}},    {"H+KN2", {-3, 1, 0}, {-2, 1, 0}},
      {"-HKLN3", {1, 2, 2}, {1, 1, 1}},     {"KN2", {1, -2, 1}, {0, -1, 0}},
      {"KN4", {1, -4, 1}, {0, -2, 0}},       {"KN3", {1, -3, 1}, {0, -2, 0}},
      {"AK>AL", {5, -1, 1}, {0, -2, 1}},     {"AK>AH", {-1, 1, 5}, {1, -2, 0}},
      {"K+LN2", {0, -1, 3}, {0, -1, 2}},     {"H-KLN3", {1, 1, 3}, {1, 1, 1}},
      {"LN2", {1, 1, -2}, {0, 0, -1}},       {"LN4", {1, 1, -4}, {0, 0, -2}},
      {"LN3", {1, 1, -3}, {0, 0, -2}},       {"AL>AH", {-2, 5, 1}, {1, 0, -2}},
      {"AL>AK", {5, -2, 1}, {0, 1, -2}},     {"L+HN2", {-1, 0, 3}, {-1, 0, 2}},
      {"HK-LN3", {1, 1, -1}, {1, 1, 1}},     {"HKLN2", {-1, -1, 0}, {-1, 0, 0}},
      {"H+KN4", {-3, -1, 0}, {-3, 1, 0}},    {"K+LN4", {0, -3, -1}, {0, -3, 1}},
      {"L+HN4", {-5, 0, 1}, {-3, 0, 1}},     {"2H+LN4", {-1, 0, -2}, {-1, 0, 0}},
      {"2K+HN4", {2, -1, 0}, {0, -1, 0}},   {"2L+KN4", {0, -2, -1}, {0, 0, -1}},
      {"LN6", {0, 0, -6}, {0, 0, -3}},
  };
  static_assert(std::size(cases) == kConditionKinds.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    auto d = derive({c.code});
    ASSERT_EQ(d.status, 0) << d.warning;
    EXPECT_EQ(evaluateConditions(d.conditions, c.allowed.h, c.allowed.k, c.allowed.l), 0);
    EXPECT_EQ(evaluateConditions(d.conditions, c.forbidden.h, c.forbidden.k, c.forbidden.l), 1);
  }
}

TEST(ReflectionTest, ALineAppliesOnlyInsideAllItsZones) {
  auto d = derive({"H=0 K=0 LN2", "H=K HN2"});
  ASSERT_EQ(d.status, 0);
  EXPECT_EQ(evaluateConditions(d.conditions, 0, 0, 1), 1);
  EXPECT_EQ(evaluateConditions(d.conditions, 0, 1, 1), 0);  // outside K=0
  EXPECT_EQ(evaluateConditions(d.conditions, 1, 1, 0), 1);  // the second line
  EXPECT_EQ(evaluateConditions(d.conditions, 2, 2, 1), 0);
}

TEST(ReflectionTest, LatticeCentringAndTheOrigin) {
  struct Case {
    char lattice;
    CrystalSystem system;
    Hkl allowed, forbidden;
  };
  using CS = CrystalSystem;
  const Case cases[] = {
      {'P', CS::Orthorhombic, {1, 0, 0}, {0, 0, 0}},
      {'A', CS::Orthorhombic, {1, 1, -1}, {1, 1, 0}},
      {'B', CS::Orthorhombic, {1, 1, -1}, {1, 0, 0}},
      {'C', CS::Monoclinic, {-1, 1, 1}, {1, 0, 1}},
      {'F', CS::Cubic, {1, -1, 1}, {1, 1, 0}},
      {'F', CS::Cubic, {2, 0, 0}, {2, 1, 0}},
      {'I', CS::Tetragonal, {1, 0, -1}, {1, 1, 1}},
      {'R', CS::Hexagonal, {1, 0, 1}, {1, 0, 0}},
      {'R', CS::Hexagonal, {0, 1, -1}, {0, 0, 1}},
      // Rhombohedral axes: no lattice condition at all.
      {'R', CS::Rhombohedral, {1, 0, 0}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.lattice) + " " + std::string(systemCode(c.system)));
    const SpaceGroupRules rules{c.lattice, c.system, {}};
    EXPECT_EQ(isReflectionForbidden(rules, c.allowed.h, c.allowed.k, c.allowed.l), 0);
    EXPECT_EQ(isReflectionForbidden(rules, c.forbidden.h, c.forbidden.k, c.forbidden.l), 1);
    EXPECT_EQ(isReflectionForbidden(rules, 0, 0, 0), 1);
  }
}

TEST(ReflectionTest, AnUnknownLatticeLetterForbidsEverything) {
  using CS = CrystalSystem;
  const std::pair<char, CS> groups[] = {
      {'X', CS::Orthorhombic}, {'p', CS::Cubic}, {'R', CS::Cubic}, {' ', CS::Triclinic}};
  for (const auto& [lattice, system] : groups) {
    SCOPED_TRACE(std::string(1, lattice));
    const SpaceGroupRules rules{lattice, system, {}};
    int allowed = 0;
    for (int h = -3; h <= 3; ++h)
      for (int k = -3; k <= 3; ++k)
        for (int l = -3; l <= 3; ++l) allowed += 1 - isReflectionForbidden(rules, h, k, l);
    EXPECT_EQ(allowed, 0);
  }
}

TEST(ReflectionTest, HexagonalConditionsCoverEveryAxisPair) {
  // P 63/m m c: h h -2h l with l odd is absent, written once for the zone H=K.
  const auto hexagonal = rulesOf('P', CrystalSystem::Hexagonal, {"H=K LN2"});
  const Hkl equivalents[] = {{1, 1, 1}, {1, -2, 1}, {-2, 1, 1}, {-1, -1, 3}, {2, -1, -1}, {-1, 2, 1}};
  for (const auto& r : equivalents) {
    SCOPED_TRACE(testing::Message() << r.h << " " << r.k << " " << r.l);
    EXPECT_EQ(isReflectionForbidden(hexagonal, r.h, r.k, r.l), 1);
  }
  EXPECT_EQ(isReflectionForbidden(hexagonal, 1, 1, 2), 0);
  EXPECT_EQ(isReflectionForbidden(hexagonal, 1, -2, 2), 0);
  EXPECT_EQ(isReflectionForbidden(hexagonal, 1, 0, 1), 0);

  // The same line in another system applies to its own axes only.
  const auto orthorhombic = rulesOf('P', CrystalSystem::Orthorhombic, {"H=K LN2"});
  EXPECT_EQ(isReflectionForbidden(orthorhombic, 1, 1, 1), 1);
  EXPECT_EQ(isReflectionForbidden(orthorhombic, 1, -2, 1), 0);
}

TEST(ReflectionTest, ConditionsAddToTheLattice) {
  const auto rules = rulesOf('I', CrystalSystem::Tetragonal, {"L=0 HN2", "H=0 K=0 LN4"});
  EXPECT_EQ(isReflectionForbidden(rules, 1, 1, 0), 1);  // h odd in hk0
  EXPECT_EQ(isReflectionForbidden(rules, 2, 0, 0), 0);
  EXPECT_EQ(isReflectionForbidden(rules, 0, 0, 2), 1);  // 00l needs l = 4n
  EXPECT_EQ(isReflectionForbidden(rules, 0, 0, 4), 0);
  EXPECT_EQ(isReflectionForbidden(rules, 1, 0, 0), 1);  // the centring
}
