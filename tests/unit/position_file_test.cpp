#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "symmetry/pot.hpp"
#include "symmetry/space_group.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

const fs::path kEdge = fs::path(OBRIN_TEST_DATA_DIR) / "edge";

// A scratch directory of its own for each test, removed afterwards.
class ScratchDir : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("obrin_pos_") + info->name() + "_" +
                                        std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path write(const fs::path& relative, const std::string& text) {
    const fs::path p = dir_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  fs::path dir_;
};

}  // namespace

TEST(PositionFileName, OneFilePerSystem) {
  const std::pair<CrystalSystem, const char*> cases[] = {
      {CrystalSystem::Cubic, "C.pos"},        {CrystalSystem::Tetragonal, "Q.pos"},
      {CrystalSystem::Orthorhombic, "O.pos"}, {CrystalSystem::Hexagonal, "H.pos"},
      {CrystalSystem::Rhombohedral, "R.pos"}, {CrystalSystem::Monoclinic, "M.pos"},
      {CrystalSystem::Triclinic, "T.pos"},
  };
  for (const auto& [system, name] : cases) EXPECT_EQ(positionFileName(system), name);
}

// ---- The group list -----------------------------------------------------------------------

TEST(GroupList, NamesFollowBlankLines) {
  auto list = loadSpaceGroupList(kEdge / "blanks.pos");
  EXPECT_EQ(list.error, "");
  // Names trimmed on both sides; the second of two blank lines is an empty name and hides the
  // line after it; a blank last line adds an empty name at the end.
  const std::vector<std::string> expected = {"P 1", "P -1", "", ""};
  EXPECT_EQ(list.names, expected);
}

TEST(GroupList, SelectsTheFirstEqualNameCaseSensitively) {
  const std::vector<std::string> names = {"P 1", "P 2  ", "P 2", "p 3", ""};
  EXPECT_EQ(findGroupIndex(names, "P 2"), 1u);
  EXPECT_EQ(findGroupIndex(names, "P 1"), 0u);
  EXPECT_EQ(findGroupIndex(names, "P 3"), std::nullopt);
  EXPECT_EQ(findGroupIndex(names, ""), std::nullopt);
}

TEST(GroupList, AMissingFileOrADirectoryIsAnError) {
  for (const fs::path& p : {kEdge / "absent.pos", kEdge}) {
    SCOPED_TRACE(p.string());
    auto list = loadSpaceGroupList(p);
    EXPECT_TRUE(list.names.empty());
    EXPECT_NE(list.error.find(p.filename().string()), std::string::npos) << list.error;
  }
}

// Files that hold no usable list say so instead of listing nothing or the wrong group.
TEST(GroupList, EmptyJunkAndRepeatedNamesAreNamed) {
  for (const std::string& text : {std::string(), std::string(500, '\r'), std::string("\x7f" "ELF\x02\x01\0\0", 8)}) {
    std::istringstream in(text);
    EXPECT_EQ(parseSpaceGroupList(in, "M.pos").error, "M.pos: no space group found; this is not a position file");
  }
  std::istringstream twice("\nP 21/C\n14\n\nP 21/N\n14\n\nP 21/C\n14\n");
  const GroupList list = parseSpaceGroupList(twice, "M.pos");
  EXPECT_EQ(list.error, "M.pos, line 8: the group \"P 21/C\" is already listed at line 2");
  EXPECT_EQ(list.names, (std::vector<std::string>{"P 21/C", "P 21/N"}));
}

// ---- Group entries ------------------------------------------------------------------------

TEST(GroupEntry, ReadsCountsLikeNumbersAndCutsConditionLines) {
  auto read = readSpaceGroupEntry(kEdge / "conditions.pos", "P 4/N B M");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read.error(), "");
  EXPECT_EQ(read->number, 125);
  ASSERT_EQ(read->operators.size(), 4u);
  EXPECT_DOUBLE_EQ(read->operators[1].m[0][0], -1);
  EXPECT_DOUBLE_EQ(read->operators[1].m[0][3], 0.5);
  EXPECT_DOUBLE_EQ(read->operators[2].m[0][1], -1);
  EXPECT_DOUBLE_EQ(read->operators[2].m[0][3], 0.5);
  EXPECT_TRUE(read->conditionLines.empty());

  read = readSpaceGroupEntry(kEdge / "conditions.pos", "I 4 1/A");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->operators.size(), 2u);
  const std::vector<std::string> lines = {"L=0 HN2", "AH>AK", "H=K L<0 LN4" + std::string(29, ' ')};
  EXPECT_EQ(read->conditionLines, lines);

  auto d = deriveReflectionConditions('I', CrystalSystem::Tetragonal, read->conditionLines);
  EXPECT_EQ(d.status, 0) << d.warning;
  const std::vector<std::string> display = {"Bravais lattice:", "h+k+l=2n", "  ", "General position:",
                                            "l=0,  h=2n", "h>k", "h=k,  l<0,  l=4n"};
  EXPECT_EQ(d.display, display);
}

TEST(GroupEntry, LowerCaseTokensAreNotDecoded) {
  auto read = readSpaceGroupEntry(kEdge / "conditions.pos", "P LOWER");
  ASSERT_TRUE(read) << read.error();
  auto d = deriveReflectionConditions('P', CrystalSystem::Orthorhombic, read->conditionLines);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.warning, "Condition d'extinction h=0 non décodée");
  EXPECT_TRUE(d.conditions.empty());
}

TEST(GroupEntry, ANameMetBeforeItsEntryIsMatchedThere) {
  auto read = readSpaceGroupEntry(kEdge / "name_first.pos", "P 4");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->number, 7);
  EXPECT_EQ(read->operators.size(), 1u);
  // The list shows only the name that follows a blank line.
  EXPECT_EQ(loadSpaceGroupList(kEdge / "name_first.pos").names, std::vector<std::string>{"P 4"});
}

TEST(GroupEntry, NamesMatchExactlyWithTrailingBlanksIgnored) {
  // "  P -1   " begins with blanks: the list shows it, but the entry cannot be found.
  EXPECT_FALSE(readSpaceGroupEntry(kEdge / "blanks.pos", "P -1"));
  EXPECT_FALSE(readSpaceGroupEntry(kEdge / "conditions.pos", "p 4/n b m"));
  EXPECT_TRUE(readSpaceGroupEntry(kEdge / "conditions.pos", "P 2 1 3"));
}

TEST(GroupEntry, FaultsAreRefusedWithFileGroupAndLine) {
  struct Case {
    const char* group;
    std::vector<std::string> mentions;
  };
  const fs::path file = kEdge / "faults.pos";
  const Case cases[] = {
      {"NOT A COUNT", {"line 5:", "\"x4\"", "not an integer"}},
      {"TOO MANY TRIPLETS", {"line 11:", "97", "96"}},
      {"NO TRIPLET", {"line 16:", "0 coordinate triplets"}},
      {"TOO MANY LINES", {"line 23:", "13", "12"}},
      {"BAD TRIPLET", {"line 30:", "\"x,y,w\" is not a coordinate triplet", "\"w\""}},
      {"SINGULAR", {"line 37:", "\"x,x,z\"", "determinant 0"}},
      {"STRAY ROTATION", {"line 47:", "\"z,x,y\"", "not in the list"}},
      {"LONG CONDITION", {"line 55:", "longer than 40 characters"}},
      {"SHORT", {"the file ends after 2 of 3 coordinate triplets"}},
      {"ABSENT", {"not in the position file"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.group);
    auto read = readSpaceGroupEntry(file, c.group);
    EXPECT_FALSE(read);
    EXPECT_EQ(read.error().rfind("faults.pos, group \"" + std::string(c.group) + "\"", 0), 0u)
        << read.error();
    for (const auto& m : c.mentions) EXPECT_NE(read.error().find(m), std::string::npos) << read.error();
  }
}

TEST(GroupEntry, AMissingFileOrNoGroupIsAnError) {
  auto read = readSpaceGroupEntry(kEdge / "absent.pos", "P 1");
  EXPECT_FALSE(read);
  EXPECT_NE(read.error().find("absent.pos"), std::string::npos);
  read = readSpaceGroupEntry(kEdge / "blanks.pos", "");
  EXPECT_FALSE(read);
  EXPECT_NE(read.error(), "");
}

TEST_F(ScratchDir, ReadsFilesWrittenOnWindows) {
  const auto file = write("C.pos", "\r\nP 2 3\r\n195\r\n1\r\nx,y,z\r\n1\r\nH=0 KN2\r\n\r\nF 2 3\r\n");
  auto list = loadSpaceGroupList(file);
  EXPECT_EQ(list.names, (std::vector<std::string>{"P 2 3", "F 2 3"}));
  auto read = readSpaceGroupEntry(file, "P 2 3");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->conditionLines, std::vector<std::string>{"H=0 KN2"});
}

TEST_F(ScratchDir, TwelveConditionLinesAndNinetySixTripletsFit) {
  std::string text = "\nF D -3 C\n228\n96\n";
  for (int i = 0; i < 96; ++i) text += "x,y,z\n";
  text += "12\n";
  for (int i = 0; i < 12; ++i) text += "H=0 KN2\n";
  auto read = readSpaceGroupEntry(write("C.pos", text), "F D -3 C");
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->operators.size(), 96u);
  EXPECT_EQ(read->conditionLines.size(), 12u);
}

// ---- Look-up ------------------------------------------------------------------------------

TEST_F(ScratchDir, LooksInTheCurrentDirectoryThenBesideTheProgram) {
  const fs::path exeDir = dir_ / "bin";
  const auto dirs = defaultDataDirectories(exeDir);
  ASSERT_EQ(dirs.size(), 3u);
  EXPECT_EQ(dirs[0], fs::current_path());
  EXPECT_EQ(dirs[1], exeDir / "data");
  EXPECT_EQ(dirs[2], dir_ / "share" / "obrin" / "data");

  EXPECT_EQ(findPositionFile(CrystalSystem::Cubic, {dir_ / "a", dir_ / "b"}), std::nullopt);
  write("b/C.pos", "\nP 2 3\n");
  write("c/C.pos", "\nP 2 3\n");
  fs::create_directories(dir_ / "a" / "C.pos");  // not a file
  EXPECT_EQ(findPositionFile(CrystalSystem::Cubic, {dir_ / "a", dir_ / "b", dir_ / "c"}),
            dir_ / "b" / "C.pos");
  EXPECT_EQ(findPositionFile(CrystalSystem::Tetragonal, {dir_ / "b"}), std::nullopt);
}

TEST(ProgramDirectory, IsWhereTheRunningProgramLies) {
  EXPECT_EQ(programDirectory(), fs::canonical(OBRIN_BIN_DIR));
  EXPECT_EQ(defaultDataDirectories({}).size(), 1u);
}

// ---- One group for a calculation ----------------------------------------------------------

TEST(SpaceGroup, RefusesWhatIsNotFullyRead) {
  auto g = loadSpaceGroup(kEdge / "conditions.pos", CrystalSystem::Tetragonal, "I 4 1/A");
  ASSERT_TRUE(g) << g.error();
  EXPECT_EQ(g->lattice, 'I');
  EXPECT_EQ(g->conditions.size(), 3u);
  EXPECT_FALSE(allowed(*g, {1, 1, -2}));  // h h l with l < 0: l = 4n
  EXPECT_TRUE(allowed(*g, {1, 1, -4}));
  EXPECT_FALSE(allowed(*g, {2, 1, -1}));  // |h| > |k|

  // A condition that does not decode: shown up to the fault, but no group to calculate with.
  auto s = selectSpaceGroup(kEdge / "conditions.pos", CrystalSystem::Orthorhombic, "P LOWER");
  EXPECT_FALSE(s.group);
  EXPECT_EQ(s.group.error(), "conditions.pos, group \"P LOWER\", line 28: Condition d'extinction h=0 non décodée");
  EXPECT_EQ(s.conditionsText, (std::vector<std::string>{"General position:", "h=0,  k+l=2n"}));

  EXPECT_EQ(loadSpaceGroup(kEdge / "faults.pos", CrystalSystem::Triclinic, "Q LATTICE").error(),
            "faults.pos, group \"Q LATTICE\", line 57: \"Q\" is not a lattice letter (PABCIFR)");

  s = selectSpaceGroup(kEdge / "faults.pos", CrystalSystem::Orthorhombic, "BAD TRIPLET");
  EXPECT_FALSE(s.group);
  EXPECT_FALSE(s.conditionsText);
  EXPECT_NE(s.group.error().find("line 30"), std::string::npos);
}

TEST(SpaceGroup, EveryGroupOfAFileInOnePassAsEachAlone) {
  const auto same = [](const fs::path& file, CrystalSystem system) {
    const SpaceGroupFileRead all = loadAllSpaceGroups(file, system);
    std::size_t kept = 0, refused = 0;
    for (const std::string& name : loadSpaceGroupList(file).names) {
      if (name.empty()) continue;
      const auto one = loadSpaceGroup(file, system, name);
      if (!one) {
        ASSERT_LT(refused, all.refused.size()) << name;
        EXPECT_EQ(all.refused[refused++], one.error());
        continue;
      }
      ASSERT_LT(kept, all.groups.size()) << name;
      const SpaceGroup& g = all.groups[kept++];
      EXPECT_EQ(g.name, one->name);
      EXPECT_EQ(g.number, one->number) << name;
      EXPECT_EQ(g.operators.size(), one->operators.size()) << name;
      EXPECT_EQ(g.rotations, one->rotations) << name;
      EXPECT_EQ(g.conditionsText, one->conditionsText) << name;
    }
    EXPECT_EQ(kept, all.groups.size());
    EXPECT_EQ(refused, all.refused.size());
  };
  for (int s = 0; s < kSystemCount; ++s) {
    const auto system = static_cast<CrystalSystem>(s);
    same(fs::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(system), system);
  }
  // Faulty entries are named and the others kept; a name met in free text first is taken there.
  same(kEdge / "faults.pos", CrystalSystem::Orthorhombic);
  same(kEdge / "conditions.pos", CrystalSystem::Tetragonal);
  same(kEdge / "name_first.pos", CrystalSystem::Tetragonal);
  EXPECT_EQ(loadAllSpaceGroups(kEdge / "name_first.pos", CrystalSystem::Tetragonal).groups.front().number, 7);
  EXPECT_FALSE(loadAllSpaceGroups(kEdge / "missing.pos", CrystalSystem::Cubic).error.empty());
}
