// d-spacings of random cells of every system against gemmi's unit cell.
#include <gemmi/unitcell.hpp>
#include <gtest/gtest.h>

#include <random>

#include "core/mathhkl.hpp"

using namespace obrin;

namespace {

UnitCell randomCell(CrystalSystem s, std::mt19937& rng) {
  std::uniform_real_distribution<double> len(2.0, 30.0), ang(60.0, 120.0), rh(20.0, 110.0);
  const double a = len(rng), b = len(rng), c = len(rng);
  switch (s) {
    case CrystalSystem::Cubic: return {a, a, a, 90, 90, 90};
    case CrystalSystem::Tetragonal: return {a, a, c, 90, 90, 90};
    case CrystalSystem::Orthorhombic: return {a, b, c, 90, 90, 90};
    case CrystalSystem::Hexagonal: return {a, a, c, 90, 90, 120};
    case CrystalSystem::Rhombohedral: { double al = rh(rng); return {a, a, a, al, al, al}; }
    case CrystalSystem::Monoclinic: return {a, b, c, 90, std::uniform_real_distribution<double>(90, 150)(rng), 90};
    case CrystalSystem::Triclinic:
      for (;;) {
        UnitCell t{a, b, c, ang(rng), ang(rng), ang(rng)};
        if (computeMetric(t)) return t;
      }
  }
  return {};
}

}  // namespace

TEST(CellAgainstGemmi, SpacingsOfRandomCellsOfEverySystem) {
  std::mt19937 rng(20260308);
  for (int si = 0; si < kSystemCount; ++si) {
    const auto sys = static_cast<CrystalSystem>(si);
    for (int trial = 0; trial < 40; ++trial) {
      const UnitCell c = randomCell(sys, rng);
      auto m = computeMetric(c);
      ASSERT_TRUE(m) << systemCode(sys);
      gemmi::UnitCell g(c.a, c.b, c.c, c.alpha, c.beta, c.gamma);
      for (int h = -4; h <= 4; ++h)
        for (int k = -4; k <= 4; ++k)
          for (int l = -4; l <= 4; ++l) {
            if (!h && !k && !l) continue;
            const double ours = dSpacing(m->B, h, k, l);
            const double ref = g.calculate_d({h, k, l});
            ASSERT_NEAR(ours / ref, 1.0, 1e-5) << systemCode(sys) << ' ' << h << ' ' << k << ' ' << l;
          }
      EXPECT_NEAR(m->volume / g.volume, 1.0, 1e-5);
    }
  }
}
