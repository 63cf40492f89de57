// Powder lists of many groups with random cells of their system against gemmi: per distinct
// d, the multiplicities of the list add up to gemmi's count of reflections that are not
// systematically absent, and every listed h k l is allowed. gemmi judges absences from the
// general position of the file alone (its translations), not from the coded conditions.
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "calc/calculation.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

UnitCell randomCell(CrystalSystem s, std::mt19937& rng) {
  std::uniform_real_distribution<double> len(3.0, 13.0), ang(45.0, 135.0), rh(35.0, 105.0), mono(91.0, 160.0);
  const double a = len(rng), b = len(rng), c = len(rng);
  switch (s) {
    case CrystalSystem::Cubic: return {a, a, a, 90, 90, 90};
    case CrystalSystem::Tetragonal: return {a, a, c, 90, 90, 90};
    case CrystalSystem::Orthorhombic: return {a, b, c, 90, 90, 90};
    case CrystalSystem::Hexagonal: return {a, a, c, 90, 90, 120};
    case CrystalSystem::Rhombohedral: {
      const double al = rh(rng);
      return {a, a, a, al, al, al};
    }
    case CrystalSystem::Monoclinic: return {a, b, c, 90, mono(rng), 90};
    case CrystalSystem::Triclinic:
      for (;;) {  // many strongly oblique
        UnitCell t{a, b, c, ang(rng), ang(rng), ang(rng)};
        if (computeMetric(t)) return t;
      }
  }
  return {};
}

gemmi::GroupOps gemmiGroup(const CalculationState& st) {
  gemmi::GroupOps g;
  for (const SymmetryOperator& op : st.group.operators) {
    gemmi::Op o;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) o.rot[r][c] = static_cast<int>(std::lround(op.m[r][c] * gemmi::Op::DEN));
      o.tran[r] = static_cast<int>(std::lround(op.m[r][3] * gemmi::Op::DEN)) % gemmi::Op::DEN;
    }
    g.sym_ops.push_back(o);
  }
  const char lattice = *st.system == CrystalSystem::Rhombohedral ? 'P' : st.lattice;
  g.cen_ops = gemmi::centring_vectors(lattice);
  return g;
}

struct Reference {
  std::vector<double> d;  // distinct spacings, ascending (gemmi)
  std::vector<long> count;
};

// Reflections of gemmi's cell inside [dmin, dmax]; none when one lies too close to a limit to
// tell (our conversion factor differs from π/180 in the sixth digit).
std::optional<Reference> gemmiReference(const gemmi::UnitCell& cell, const gemmi::GroupOps& ops, double dmin,
                                        double dmax) {
  const int nh = static_cast<int>(cell.a / dmin) + 1, nk = static_cast<int>(cell.b / dmin) + 1,
            nl = static_cast<int>(cell.c / dmin) + 1;
  std::vector<double> all;
  for (int h = -nh; h <= nh; ++h)
    for (int k = -nk; k <= nk; ++k)
      for (int l = -nl; l <= nl; ++l) {
        if (!h && !k && !l) continue;
        const double d = cell.calculate_d({h, k, l});
        if (std::fabs(d / dmin - 1) < 2e-4 || std::fabs(d / dmax - 1) < 2e-4) return std::nullopt;
        if (d < dmin || d > dmax || ops.is_systematically_absent({h, k, l})) continue;
        all.push_back(d);
      }
  std::sort(all.begin(), all.end());
  Reference ref;
  for (double d : all) {
    if (!ref.d.empty() && d - ref.d.back() < 1e-9 * d) {
      ++ref.count.back();
    } else {
      ref.d.push_back(d);
      ref.count.push_back(1);
    }
  }
  return ref;
}

struct Group {
  CrystalSystem system;
  fs::path file;
  std::string name;
};

std::vector<Group> groupsIn(const fs::path& dir) {
  std::vector<Group> groups;
  for (int i = 0; i < kSystemCount; ++i) {
    const auto system = static_cast<CrystalSystem>(i);
    const fs::path file = dir / positionFileName(system);
    if (!fs::exists(file)) continue;
    for (const std::string& name : loadSpaceGroupList(file).names)
      if (!name.empty()) groups.push_back({system, file, name});
  }
  return groups;
}

void compareWithGemmi(const std::vector<Group>& groups, int trialsPerGroup, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> theta2(18.0, 40.0), theta1(0.0, 12.0);
  int compared = 0;
  for (const Group& g : groups) {
    for (int trial = 0; trial < trialsPerGroup; ++trial) {
      CalculationState st;
      st.system = g.system;
      st.cell = randomCell(g.system, rng);
      st.lambda = 1.5406;
      std::optional<Reference> ref;
      gemmi::GroupOps ops;
      const gemmi::UnitCell cell(st.cell.a, st.cell.b, st.cell.c, st.cell.alpha, st.cell.beta, st.cell.gamma);
      std::array<std::string, 6> miller{};
      for (int attempt = 0; attempt < 20 && !ref; ++attempt) {
        st.thetaMin = theta1(rng);
        st.thetaMax = theta2(rng);
        const auto out = calcul(st, g.name, g.file, CalcMode::Powder, miller);
        ASSERT_TRUE(out.ok()) << g.name << ": " << out.warning;
        ops = gemmiGroup(st);
        const double dmin = st.lambda / (2 * std::sin(st.thetaMax * kRadPerDeg));
        const double dmax = st.lambda / (2 * std::sin(st.thetaMin * kRadPerDeg));
        ref = gemmiReference(cell, ops, dmin, dmax);
      }
      ASSERT_TRUE(ref) << g.name;

      std::vector<long> ours(ref->d.size(), 0);
      for (const Reflection& r : st.list) {
        ASSERT_FALSE(ops.is_systematically_absent({r.h, r.k, r.l}))
            << g.name << ": " << r.h << ' ' << r.k << ' ' << r.l << " is absent";
        const double d = cell.calculate_d({r.h, r.k, r.l});
        ASSERT_NEAR(r.d / d, 1.0, 1e-4) << g.name;
        const auto it = std::lower_bound(ref->d.begin(), ref->d.end(), d * (1 - 1e-9));
        ASSERT_TRUE(it != ref->d.end() && std::fabs(*it - d) < 1e-9 * d)
            << g.name << ": " << r.h << ' ' << r.k << ' ' << r.l << " outside gemmi's window";
        ours[it - ref->d.begin()] += r.multiplicity;
      }
      for (std::size_t i = 0; i < ref->d.size(); ++i)
        ASSERT_EQ(ours[i], ref->count[i]) << g.name << " d = " << ref->d[i] << " cell " << st.cell.a << ' '
                                          << st.cell.b << ' ' << st.cell.c << ' ' << st.cell.alpha << ' '
                                          << st.cell.beta << ' ' << st.cell.gamma;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace

TEST(PowderAgainstGemmi, GroupsOfTheTestFiles) {
  compareWithGemmi(groupsIn(OBRIN_TEST_DATA_DIR "/calc"), 12, 20261208);
}

TEST(PowderAgainstGemmi, EveryGroupOfThePositionFiles) {
  const auto groups = groupsIn(OBRIN_SOURCE_DIR "/data");
  if (groups.empty()) GTEST_SKIP() << "no position files in data/";
  compareWithGemmi(groups, 3, 7);
}
