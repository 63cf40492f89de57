// A list of triplets is only a space group when its rotations close: every shipped entry does,
// and the damaged lists that once slipped through are named.
#include <gtest/gtest.h>

#include "symmetry/operator_group.hpp"

namespace obrin {
namespace {

std::vector<SymmetryOperator> parse(std::initializer_list<const char*> triplets) {
  std::vector<SymmetryOperator> ops;
  for (const char* t : triplets) ops.push_back(*parseTriplet(t));
  return ops;
}

TEST(OperatorGroup, EveryShippedEntryIsAGroup) {
  int entries = 0;
  for (int s = 0; s < kSystemCount; ++s) {
    const auto file = std::filesystem::path(OBRIN_BIN_DIR) / "data" / positionFileName(*systemFromIndex(s));
    for (const std::string& name : loadSpaceGroupList(file).names) {
      const auto read = readSpaceGroupEntry(file, name);
      ASSERT_TRUE(read) << read.error();
      const auto fault = findRotationGroupFault(read->operators);
      EXPECT_FALSE(fault) << name << ": operator " << fault->index + 1 << " " << fault->reason;
      ++entries;
    }
  }
  EXPECT_EQ(entries, 421);
}

TEST(OperatorGroup, SingularAndStrayRotationsAreNamed) {
  auto fault = findRotationGroupFault(parse({"x,y,z", "x,x,z"}));
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->index, 1u);
  EXPECT_EQ(fault->reason, "its rotation has determinant 0, not 1 or -1");

  // P 21/c with a three-fold axis slipped in.
  fault = findRotationGroupFault(parse({"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2", "z,x,y"}));
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->index, 4u);
  EXPECT_EQ(fault->reason, "combined with operator 2 it gives a rotation that is not in the list");
  EXPECT_EQ(findRotationGroupFault(parse({"x,y,z", "z,x,y"}))->reason,
            "applied twice it gives a rotation that is not in the list");

  fault = findRotationGroupFault(parse({"x,y,z", "-x,-y,z", "-x,y,z"}));
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->reason, "combined with operator 2 it gives a rotation that is not in the list");

  SymmetryOperator half = *parseTriplet("x,y,z");
  half.m[0][1] = 0.5;
  EXPECT_EQ(findRotationGroupFault({half})->reason, "its rotation is not made of whole numbers");
}

}  // namespace
}  // namespace obrin
