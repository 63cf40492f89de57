// The table of crystal systems against what each system has always meant to the user.
#include <gtest/gtest.h>

#include "calc/inputs.hpp"
#include "core/crystal_system.hpp"
#include "io/cellfile.hpp"

using namespace obrin;

namespace {

struct Expected {
  CrystalSystem system;
  std::vector<int> free;
  const char* ties;
};

const Expected kExpected[] = {
    {CrystalSystem::Cubic, {kA}, "b = c = a, alpha = beta = gamma = 90"},
    {CrystalSystem::Tetragonal, {kA, kC}, "b = a, alpha = beta = gamma = 90"},
    {CrystalSystem::Orthorhombic, {kA, kB, kC}, "alpha = beta = gamma = 90"},
    {CrystalSystem::Hexagonal, {kA, kC}, "b = a, alpha = beta = 90, gamma = 120"},
    {CrystalSystem::Rhombohedral, {kA, kAlpha}, "b = c = a, beta = gamma = alpha"},
    {CrystalSystem::Monoclinic, {kA, kB, kC, kBeta}, "alpha = gamma = 90"},
    {CrystalSystem::Triclinic, {kA, kB, kC, kAlpha, kBeta, kGamma}, "none"},
};

}  // namespace

TEST(CrystalSystems, FreeParametersTiesAndLockingAgreeEverywhere) {
  for (const auto& e : kExpected) {
    SCOPED_TRACE(std::string(systemCode(e.system)));
    EXPECT_EQ(freeCellParameters(e.system), e.free);
    EXPECT_EQ(cellTiesText(e.system), e.ties);
    // Locked when the system is chosen, greyed after a cell import: the same fields, and
    // exactly those the user does not type.
    const auto locked = cellFieldLayout(e.system, {}, "").locked;
    EXPECT_EQ(greyedCellFields(e.system), locked);
    for (int p = 0; p < 6; ++p)
      EXPECT_EQ(locked[p], std::find(e.free.begin(), e.free.end(), p) == e.free.end()) << p;
  }
}

TEST(CrystalSystems, TiedParametersKeepToTheToleranceAlongTheirChain) {
  // b = a, c = b within 0.001 Å; fixed angles exactly.
  EXPECT_TRUE(cellFitsSystem({4, 4.0005, 4.0009, 90, 90, 90}, CrystalSystem::Cubic));
  EXPECT_FALSE(cellFitsSystem({4, 4, 4.002, 90, 90, 90}, CrystalSystem::Cubic));
  EXPECT_FALSE(cellFitsSystem({3, 3, 5, 90, 90, 119.99}, CrystalSystem::Hexagonal));
  EXPECT_TRUE(cellFitsSystem({5, 5, 5, 60, 60.005, 60.009}, CrystalSystem::Rhombohedral));
  // A locked field left after an edit fills nothing.
  CalculationState st;
  st.system = CrystalSystem::Cubic;
  EXPECT_TRUE(checkFieldExit(InputField::B, "4", st).copies.empty());
}
