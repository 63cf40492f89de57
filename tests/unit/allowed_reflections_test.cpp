// The reflection test set up for a calculation answers as allowed(group, hkl) does, and the
// images found from half the rotations are those of all, for every group the program delivers
// and for a group built from operators alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "symmetry/allowed_reflections.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;

namespace {

// Counts the indices of the box |h|, |k|, |l| <= 6 on which the two tests disagree, or on
// which the images from the rotations up to sign differ from those of every rotation.
int disagreements(const SpaceGroup& group) {
  const AllowedReflections test(group);
  const auto upToSign = rotationsUpToSign(group.rotations);
  Miller all[2 * kMaxOperators], half[2 * kMaxOperators];
  int count = 0;
  for (int h = -6; h <= 6; ++h)
    for (int k = -6; k <= 6; ++k)
      for (int l = -6; l <= 6; ++l) {
        const Miller hkl{h, k, l};
        if (test(hkl) != allowed(group, hkl)) ++count;
        const int n = equivalentReflections(group, hkl, all);
        if (n != equivalentImagesWith(upToSign, hkl, half, test) || !std::equal(all, all + n, half)) ++count;
      }
  return count;
}

}  // namespace

TEST(AllowedReflections, AgreesWithTheGroupTestForEveryDeliveredGroup) {
  int groups = 0;
  for (int s = 0; s < kSystemCount; ++s) {
    const auto system = static_cast<CrystalSystem>(s);
    const std::filesystem::path file = std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(system);
    for (const std::string& name : loadSpaceGroupList(file).names) {
      const GroupSelection selection = selectSpaceGroup(file, system, name);
      if (!selection.group) continue;
      ++groups;
      EXPECT_EQ(disagreements(*selection.group), 0) << name;
    }
  }
  EXPECT_GT(groups, 200);
}

TEST(AllowedReflections, AgreesForAGroupBuiltFromOperators) {
  std::vector<SymmetryOperator> ops;
  for (const char* t : {"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"}) ops.push_back(*parseTriplet(t));
  const auto group = spaceGroupFromOperators("P 21/c", ops, CrystalSystem::Monoclinic);
  ASSERT_TRUE(group);
  EXPECT_EQ(disagreements(*group), 0);
}
