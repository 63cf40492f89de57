// Group numbers read in one pass agree with reading each entry on its own, in every shipped
// position file and around a damaged entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "symmetry/group_names.hpp"
#include "symmetry/pot.hpp"

namespace {

TEST(GroupNumbers, OnePassAgreesWithEachEntryRead) {
  for (const char* name : {"C.pos", "Q.pos", "O.pos", "H.pos", "R.pos", "M.pos", "T.pos"}) {
    const std::filesystem::path file = std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / name;
    const auto list = obrin::loadSpaceGroupList(file);
    ASSERT_TRUE(list.error.empty()) << list.error;
    const auto numbers = obrin::readGroupNumbers(file, list.names);
    ASSERT_EQ(numbers.size(), list.names.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      const auto entry = obrin::readSpaceGroupEntry(file, list.names[i]);
      ASSERT_TRUE(entry && numbers[i] == entry->number) << name << ' ' << list.names[i];
    }
  }
}

// A damaged entry keeps the number its number line gives (whoever asks for that number must
// learn that the entry is damaged) and shifts no other entry's.
TEST(GroupNumbers, DamagedEntryShiftsNoOtherNumber) {
  const auto file = std::filesystem::temp_directory_path() / "obrin_group_numbers_test.pos";
  std::ofstream(file) << "\nP A\n3\n1\nx,y,z\n0\n\nP B\n4\n1\nq,y,z\n0\n\nP C\n5\n1\nx,y,z\n0\n";
  const auto numbers = obrin::readGroupNumbers(file, {"P A", "P B", "P C"});
  std::filesystem::remove(file);
  ASSERT_EQ(numbers.size(), 3u);
  EXPECT_EQ(numbers[0], 3);
  EXPECT_EQ(numbers[1], 4);
  EXPECT_EQ(numbers[2], 5);
}

}  // namespace
