// Every group of the delivered position files, read as the program reads it, against gemmi:
// the reflections it forbids, the multiplicities it counts and the rotations it applies.
#include <gemmi/symmetry.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "symmetry/pot.hpp"
#include "symmetry/space_group.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

constexpr int kBound = 12;  // |h|, |k|, |l| checked; every condition code repeats within it

const fs::path kDataDir = fs::path(OBRIN_SOURCE_DIR) / "data";

using Hkl = std::array<int, 3>;

// The Hall symbol written after each entry ("Hall: -P 2ybc"), by group name.
std::string hallSymbolAfter(const fs::path& file, const std::string& name) {
  std::ifstream in(file);
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!inEntry) {
      inEntry = line == name;
    } else if (line.rfind("Hall: ", 0) == 0) {
      return line.substr(6);
    } else if (line.empty()) {
      break;  // the next entry began
    }
  }
  return {};
}

Rotation rotationOf(const SymmetryOperator& op) {
  Rotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<int>(std::lround(op.m[i][j]));
  return r;
}

Rotation rotationOf(const gemmi::Op& op) {
  Rotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = op.rot[i][j] / gemmi::Op::DEN;
  return r;
}

// The reflection's orbit under the Laue group: gemmi's rotations and their negatives.
int laueOrbitSize(const gemmi::GroupOps& gops, const Hkl& hkl) {
  std::set<Hkl> orbit;
  for (const auto& op : gops.sym_ops) {
    const Hkl e = op.apply_to_hkl(hkl);
    orbit.insert(e);
    orbit.insert({-e[0], -e[1], -e[2]});
  }
  return static_cast<int>(orbit.size());
}

struct FileCase {
  CrystalSystem system;
  int entries;  // how many groups the file must offer
};

class PositionFile : public testing::TestWithParam<FileCase> {};

TEST_P(PositionFile, EveryGroupAgreesWithGemmi) {
  const auto [system, entries] = GetParam();
  const fs::path file = kDataDir / positionFileName(system);
  const auto list = loadSpaceGroupList(file);
  ASSERT_EQ(list.error, "");
  ASSERT_EQ(static_cast<int>(list.names.size()), entries) << file;
  EXPECT_EQ(std::set<std::string>(list.names.begin(), list.names.end()).size(), list.names.size())
      << "two groups of " << file << " share a name";

  // A display line that still holds a code (ln2, k+ln2, ...) was not made readable.
  const std::regex rawCode("[hkl]n[2346]");
  int previousNumber = 0;
  for (const auto& name : list.names) {
    SCOPED_TRACE(name);
    const auto read = readSpaceGroupEntry(file, name);
    ASSERT_EQ(read.error(), "");
    ASSERT_TRUE(read);
    const SpaceGroupEntry& entry = *read;
    EXPECT_GE(entry.number, previousNumber) << "groups out of number order";
    previousNumber = entry.number;

    const auto derived = deriveReflectionConditions(name.front(), system, entry.conditionLines);
    ASSERT_EQ(derived.status, 0) << derived.warning;
    ASSERT_EQ(derived.warning, "");
    ASSERT_EQ(derived.conditions.size(), entry.conditionLines.size());
    for (const auto& text : derived.display)
      EXPECT_FALSE(std::regex_search(text, rawCode)) << "shown as a code: " << text;
    if (!entry.conditionLines.empty() &&
        (system == CrystalSystem::Cubic || system == CrystalSystem::Hexagonal ||
         system == CrystalSystem::Rhombohedral)) {
      std::cout << "  " << name << ":";
      for (const auto& text : derived.display) std::cout << " [" << text << "]";
      std::cout << "\n";
    }

    const auto group = loadSpaceGroup(file, system, name);
    ASSERT_TRUE(group) << group.error();

    const std::string hall = hallSymbolAfter(file, name);
    ASSERT_FALSE(hall.empty()) << "no Hall symbol after the entry";
    const gemmi::GroupOps gops = gemmi::symops_from_hall(hall.c_str());
    const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_ops(gops);
    ASSERT_NE(sg, nullptr) << hall;
    EXPECT_EQ(entry.number, sg->number);
    EXPECT_EQ(std::string(1, name.front()), std::string(1, sg->hm[0]));

    // The operators are coset representatives: one per rotation, the identity first.
    std::set<Rotation> fileRotations, gemmiRotations;
    for (const auto& op : entry.operators) fileRotations.insert(rotationOf(op));
    for (const auto& op : gops.sym_ops) gemmiRotations.insert(rotationOf(op));
    EXPECT_EQ(fileRotations.size(), entry.operators.size()) << "a rotation occurs twice";
    EXPECT_EQ(fileRotations, gemmiRotations);
    ASSERT_FALSE(entry.operators.empty());
    EXPECT_EQ(rotationOf(entry.operators.front()), (Rotation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}));

    // The same group built from its operators with the centring translations: absences from
    // the translations alone must agree with the coded conditions, multiplicities too.
    std::vector<SymmetryOperator> withCentring;
    for (const auto& c : gops.cen_ops)
      for (SymmetryOperator op : entry.operators) {
        for (int r = 0; r < 3; ++r) op.m[r][3] += static_cast<double>(c[r]) / gemmi::Op::DEN;
        withCentring.push_back(op);
      }
    const auto fromOperators = spaceGroupFromOperators(name, withCentring, system);
    ASSERT_TRUE(fromOperators) << fromOperators.error();

    int mismatches = 0;
    for (int h = -kBound; h <= kBound && mismatches < 5; ++h)
      for (int k = -kBound; k <= kBound && mismatches < 5; ++k)
        for (int l = -kBound; l <= kBound && mismatches < 5; ++l) {
          const Hkl hkl{h, k, l};
          const bool absent = hkl == Hkl{0, 0, 0} || gops.is_systematically_absent(hkl);
          const bool forbidden = !allowed(*group, {h, k, l});
          if (allowed(*fromOperators, {h, k, l}) == forbidden ||
              (!forbidden && multiplicity(*fromOperators, {h, k, l}) != multiplicity(*group, {h, k, l}))) {
            ADD_FAILURE() << h << " " << k << " " << l << ": the group from its operators differs";
            ++mismatches;
          }
          if (forbidden != absent) {
            ADD_FAILURE() << h << " " << k << " " << l << (forbidden ? " forbidden" : " allowed")
                          << ", gemmi: " << (absent ? "absent" : "present");
            ++mismatches;
            continue;
          }
          if (forbidden) continue;
          const int program = multiplicity(*group, {h, k, l});
          const int laue = laueOrbitSize(gops, hkl);
          if (program != laue) {
            ADD_FAILURE() << h << " " << k << " " << l << ": multiplicity " << program
                          << ", Laue orbit " << laue;
            ++mismatches;
          }
        }
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllSystems, PositionFile,
    testing::Values(FileCase{CrystalSystem::Cubic, 36}, FileCase{CrystalSystem::Tetragonal, 68},
                    FileCase{CrystalSystem::Orthorhombic, 227},
                    FileCase{CrystalSystem::Hexagonal, 52},
                    FileCase{CrystalSystem::Rhombohedral, 7},
                    FileCase{CrystalSystem::Monoclinic, 29},
                    FileCase{CrystalSystem::Triclinic, 2}),
    [](const testing::TestParamInfo<FileCase>& info) {
      return std::string(systemCode(info.param.system));
    });

// Every space-group type is offered somewhere, the rhombohedral ones in both axis systems.
TEST(PositionFiles, CoverAll230Types) {
  std::set<int> numbers;
  std::set<int> rhombohedralAxes, hexagonalAxesR;
  for (int s = 0; s < kSystemCount; ++s) {
    const auto system = static_cast<CrystalSystem>(s);
    const fs::path file = kDataDir / positionFileName(system);
    for (const auto& name : loadSpaceGroupList(file).names) {
      const auto read = readSpaceGroupEntry(file, name);
      ASSERT_TRUE(read) << read.error();
      numbers.insert(read->number);
      if (system == CrystalSystem::Rhombohedral) rhombohedralAxes.insert(read->number);
      if (system == CrystalSystem::Hexagonal && name.front() == 'R')
        hexagonalAxesR.insert(read->number);
    }
  }
  EXPECT_EQ(numbers.size(), 230u);
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), 230);
  const std::set<int> rTypes = {146, 148, 155, 160, 161, 166, 167};
  EXPECT_EQ(rhombohedralAxes, rTypes);
  EXPECT_EQ(hexagonalAxesR, rTypes);
}

}  // namespace
