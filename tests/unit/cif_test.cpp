// CIF import and line intensities, on small structures whose answers are known by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "calc/intensity.hpp"
#include "calc/profile.hpp"
#include "io/cif_import.hpp"
#include "symmetry/group_ops.hpp"
#include "tests/support/scratch.hpp"
#include "tests/support/structures.hpp"

using namespace obrin;
using namespace obrin::testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path kDataDir = fs::path(OBRIN_SOURCE_DIR) / "data";

std::optional<PositionFileGroup> matchDelivered(const std::vector<SymmetryOperator>& ops) {
  return matchPositionFileGroup(ops, [](CrystalSystem s) { return kDataDir / positionFileName(s); });
}

CifStructure imported(const char* text, std::string_view block = {}) {
  CifRead r = parseCif(text, "test.cif", block);
  EXPECT_TRUE(r.structure) << r.error;
  return r.structure.value_or(CifStructure{});
}

bool extinct(const std::vector<SymmetryOperator>& ops, int h, int k, int l) {
  return !allowed(*spaceGroupFromOperators("", ops), {h, k, l});
}

struct Line {
  int h, k, l, m;
};

// m·|F|²·LP of each line at Cu Kα1, normalised to 100.
std::vector<double> intensities(const CifStructure& s, const std::vector<Line>& lines) {
  const Metric metric = *computeMetric(s.cell);
  const ScatteringModel model = expandStructure(s.atoms, s.operators, metric);
  std::vector<double> out;
  for (const Line& x : lines) {
    const double d = dSpacing(metric.B, x.h, x.k, x.l);
    out.push_back(lineIntensity(model, x.h, x.k, x.l, d, *braggTheta(1.5406, d), x.m, 0));
  }
  normaliseToHundred(out);
  return out;
}

}  // namespace

TEST(CifImport, NaClStructureFactorsAreSumsAndDifferencesOfTheIons) {
  const CifStructure s = imported(kNaClCif);
  EXPECT_EQ(s.source, SymmetrySource::HermannMauguin);
  EXPECT_EQ(s.operators.size(), 192u);
  EXPECT_DOUBLE_EQ(s.cell.a, 5.6402);  // the standard uncertainty is read past
  ASSERT_EQ(s.atoms.size(), 2u);
  EXPECT_EQ(s.atoms[0].element, "Na");  // "Na1+" scatters as the neutral atom
  EXPECT_EQ(s.atoms[1].element, "Cl");

  const Metric metric = *computeMetric(s.cell);
  const ScatteringModel model = expandStructure(s.atoms, s.operators, metric);
  EXPECT_EQ(model.positions.size(), 8u);  // 4 Na + 4 Cl, none doubled on the special positions
  const auto fNa = *formFactorOf("Na"), fCl = *formFactorOf("Cl");
  for (auto [h, k, l, sign] : {std::array{1, 1, 1, -1}, std::array{2, 0, 0, 1}, std::array{3, 1, 1, -1}}) {
    const double d = dSpacing(metric.B, h, k, l), s2 = 1 / (4 * d * d);
    const auto F = structureFactor(model, h, k, l, s2);
    EXPECT_NEAR(F.real(), 4 * (fNa.at(s2) + sign * fCl.at(s2)), 1e-9) << h << k << l;
    EXPECT_NEAR(F.imag(), 0, 1e-9);
  }
  // F(110) breaks the face centring: zero.
  EXPECT_NEAR(std::abs(structureFactor(model, 1, 1, 0, 0.05)), 0, 1e-9);
}

TEST(CifImport, SiliconTwoTwoTwoIsExtinguishedAndOneOneOneIsStrongest) {
  const CifStructure s = imported(kSiliconCif);
  EXPECT_EQ(s.source, SymmetrySource::Number);
  EXPECT_NEAR(s.atoms[0].uIso, 0.4632 / (8 * M_PI * M_PI), 1e-12);
  const auto match = matchDelivered(s.operators);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->system, CrystalSystem::Cubic);
  EXPECT_EQ(match->name.substr(0, 7), "F D -3 ");
  // 222 is allowed by the group (no condition forbids it) yet the atoms cancel there.
  EXPECT_FALSE(extinct(s.operators, 2, 2, 2));
  const auto I = intensities(s, {{1, 1, 1, 8}, {2, 2, 0, 12}, {3, 1, 1, 24}, {2, 2, 2, 8}, {4, 0, 0, 6}});
  EXPECT_DOUBLE_EQ(I[0], 100);
  EXPECT_EQ(I[3], 0);
  EXPECT_GT(I[1], 40);  // 220 and 311 follow 111 (about 60 and 35 in published patterns)
  EXPECT_GT(I[2], 20);
}

TEST(CifImport, CorundumInHexagonalAxesExpandsOverItsSpecialPositions) {
  const CifStructure s = imported(kCorundumCif);
  const auto model = expandStructure(s.atoms, s.operators, *computeMetric(s.cell));
  EXPECT_EQ(model.positions.size(), 30u);  // 12 Al + 18 O
  const auto match = matchDelivered(s.operators);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->system, CrystalSystem::Hexagonal);
  EXPECT_EQ(match->name, "R -3 C (167)");
  // Calculated patterns of corundum: 113 strongest, 104 close behind, 110 near 40; 003 is
  // forbidden by the rhombohedral centring and the c glide.
  EXPECT_TRUE(extinct(s.operators, 0, 0, 3));
  const auto I = intensities(s, {{0, 1, 2, 6}, {1, 0, 4, 6}, {1, 1, 0, 6}, {1, 1, 3, 12}});
  EXPECT_DOUBLE_EQ(I[3], 100);
  EXPECT_GT(I[1], 85);
  EXPECT_NEAR(I[2], 45, 10);
}

TEST(CifImport, SettingsAreMatchedWithTheirAbsences) {
  const CifStructure p21n = imported(kMonoclinicCif);
  EXPECT_EQ(p21n.source, SymmetrySource::Operators);
  ASSERT_TRUE(p21n.atoms[0].uAniso);
  EXPECT_DOUBLE_EQ((*p21n.atoms[1].uAniso)[3], -0.004);
  EXPECT_FALSE(p21n.atoms[2].uAniso);
  const auto match = matchDelivered(p21n.operators);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->system, CrystalSystem::Monoclinic);
  EXPECT_EQ(match->name, "P 21/N (14)");  // the same rotations as P 21/c, other absences

  // The same group with its origin on a 2₁ axis instead of a centre: still P 21/n.
  std::vector<SymmetryOperator> shifted;
  for (const char* t : {"x,y,z", "-x,y+1/2,-z", "-x+1/2,-y,-z+1/2", "x+1/2,-y+1/2,z+1/2"})
    shifted.push_back(*parseTriplet(t));
  ASSERT_EQ(groupClosureFault(shifted), "");
  EXPECT_EQ(matchDelivered(shifted)->name, "P 21/N (14)");

  // Unique axis c is not in the files: the list runs on the file's own operators.
  const CifStructure c = imported(kUniqueAxisCCif);
  EXPECT_FALSE(matchDelivered(c.operators));
  const auto own = spaceGroupFromOperators("P 1 1 21/b", c.operators);
  const auto lines = *powderLines(*computeMetric(c.cell), *own, 1.5406, {5, 30});
  auto listed = [&](int h, int k, int l) {
    return std::any_of(lines.begin(), lines.end(), [&](const Reflection& r) {
      return r.hkl() == Miller{h, k, l} || r.hkl() == Miller{-h, -k, -l};
    });
  };
  EXPECT_FALSE(listed(0, 0, 1));
  EXPECT_TRUE(listed(0, 0, 2));
  EXPECT_FALSE(listed(1, 1, 0));  // b glide perpendicular to c: hk0 with k odd
  EXPECT_TRUE(listed(1, 2, 0) || listed(-1, 2, 0));
  EXPECT_TRUE(extinct(c.operators, 0, 0, 1));
  EXPECT_TRUE(extinct(c.operators, 1, 1, 0));
  EXPECT_FALSE(extinct(c.operators, 1, 2, 0));
}

TEST(CifImport, OlderSymbolsAndSeveralBlocks) {
  std::string oldCubic = kNaClCif;
  oldCubic.replace(oldCubic.find("'F m -3 m'"), 10, "'F m 3 m'");
  EXPECT_EQ(imported(oldCubic.c_str()).operators.size(), 192u);

  const std::string multi = std::string("data_notes\n_journal_year 1999\n") + kNaClCif + kSiliconCif;
  const auto dir = freshScratchDir("cif");
  std::ofstream(dir / "two.cif") << multi;
  EXPECT_EQ(readCifBlockNames(dir / "two.cif").names, (std::vector<std::string>{"NaCl", "Si"}));
  EXPECT_EQ(readCif(dir / "two.cif").structure->blockName, "NaCl");  // the first block with a cell
  EXPECT_EQ(readCif(dir / "two.cif", "Si").structure->blockName, "Si");
  EXPECT_EQ(readCif(dir / "two.cif", "Ge").error, "Cannot import " + (dir / "two.cif").string() + ": no data block 'Ge'");
  fs::remove_all(dir);
}

TEST(CifImport, BrokenFilesNameTheFileAndTheFault) {
  const std::string base = kNaClCif;
  auto errorOf = [](const std::string& text) {
    const CifRead r = parseCif(text, "bad.cif");
    EXPECT_FALSE(r.structure);
    return r.error;
  };
  auto replaced = [&](std::string from, std::string to) {
    std::string t = base;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  EXPECT_EQ(errorOf("data_x\n_cell_length_a 5\nloop_\n_a\n'unclosed\n").rfind("Cannot import bad.cif: syntax error: bad.cif:5", 0), 0u)
      << errorOf("data_x\n_cell_length_a 5\nloop_\n_a\n'unclosed\n");
  EXPECT_EQ(errorOf("data_x\n_symmetry_space_group_name_H-M 'P 1'\n"),
            "Cannot import bad.cif: no data block with a cell (_cell_length_a)");
  EXPECT_EQ(errorOf(replaced("_cell_length_c 5.6402(3)\n", "")), "Cannot import bad.cif: no _cell_length_c");
  EXPECT_EQ(errorOf(replaced("Cl1-", "Xx")), "Cannot import bad.cif: unknown atom type 'Xx' (atom Cl1)");
  EXPECT_EQ(errorOf(replaced("'F m -3 m'", "'Q 9'")), "Cannot import bad.cif: unknown space-group symbol 'Q 9'");
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'", "")),
            "Cannot import bad.cif: no symmetry (operators, Hall or Hermann-Mauguin symbol, or group number)");
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'",
                             "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,-y,z\nx,-y,-z\n")),
            "Cannot import bad.cif: the symmetry operators do not form a group: a product of two operators is not among them");
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'", "loop_\n_symmetry_equiv_pos_as_xyz\nx,y\n")),
            "Cannot import bad.cif: symmetry operator 'x,y' does not read");
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'", "_space_group_IT_number 2" + std::string(60, '3'))),
            "Cannot import bad.cif: unknown space-group number '2" + std::string(60, '3') + "'");
  // A screw subscript on a Hall symbol without an axis once made gemmi write out of bounds.
  for (const char* hall : {"-F 1zyzy 21", "P 31*"})
    EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'", std::string("_space_group_name_Hall '") + hall + "'")),
              std::string("Cannot import bad.cif: unknown Hall symbol '") + hall + "'");
  // gemmi's Hall parser stopped at a NUL, after the screw check had read past it, and wrote
  // out of bounds again.
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'",
                             "_space_group_name_Hall '-P11 11" + std::string(3, '\0') + "11ybc'")),
            "Cannot import bad.cif: syntax error: bad.cif:8: a NUL character");
  // A number too long for an operator once overflowed inside the triplet parser.
  EXPECT_EQ(errorOf(replaced("_symmetry_space_group_name_H-M 'F m -3 m'",
                             "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-" + std::string(80, '1') + "x,-y,-z\n")),
            "Cannot import bad.cif: symmetry operator '-" + std::string(80, '1') + "x,-y,-z' does not read");
  EXPECT_EQ(errorOf(replaced("0.5 0.5 0.5", "0.5 abc 0.5")),
            "Cannot import bad.cif: coordinate of Cl1 is not a number: 'abc'");

  // A structure without atoms still gives its cell and group.
  const CifRead bare = parseCif(base.substr(0, base.find("loop_")), "bare.cif");
  ASSERT_TRUE(bare.structure) << bare.error;
  EXPECT_TRUE(bare.structure->atoms.empty());
}

TEST(Intensity, MergedLinesCarryTheSumOfTheirIntensities) {
  // P m -3: h k l and k h l share d but not |F|; the cubic list shows them as one line.
  const std::string text = std::string(kNaClCif).replace(std::string(kNaClCif).find("'F m -3 m'"), 10, "'P m -3'");
  CifStructure s = imported(text.c_str());
  s.atoms = {AtomSite{"C1", "C", "C", {0.11, 0.23, 0.31}, 1, 0.01, std::nullopt}};
  const Metric metric = *computeMetric(s.cell);
  auto model = std::make_shared<const ScatteringModel>(expandStructure(s.atoms, s.operators, metric));
  const auto group = loadSpaceGroup(kDataDir / "C.pos", CrystalSystem::Cubic, "P M -3 (200)");
  ASSERT_TRUE(group) << group.error();
  const auto lines = *powderLines(metric, *group, 1.5406, {5, 60}, structureIntensity(model, 0));
  int merged = 0;
  for (const Reflection& r : lines) {
    const int m = multiplicity(*group, r.hkl());
    const double single = lineIntensity(*model, r.h, r.k, r.l, r.d, r.theta, m, 0);
    if (r.multiplicity == m) {
      EXPECT_NEAR(r.intensity, single, 1e-9 * single);
      continue;
    }
    ++merged;  // with its partner k h l, of the same multiplicity
    ASSERT_EQ(r.multiplicity, 2 * m);
    const double partner = lineIntensity(*model, r.k, r.h, r.l, r.d, r.theta, m, 0);
    EXPECT_NEAR(r.intensity, single + partner, 1e-9 * (single + partner));
    EXPECT_GT(std::fabs(single - partner), 0.01 * single);  // the halves differ: the sum is tested
  }
  EXPECT_GT(merged, 3);
}

TEST(Intensity, LorentzPolarisationAndAnisotropicDisplacement) {
  // Without a monochromator (1 + cos²2θ)/(sin²θ cosθ) up to a constant; at 2θm = 90° the
  // polarisation is gone.
  auto plain = [](double deg) {
    const double t = deg * kRadPerDeg;
    return (1 + std::pow(std::cos(2 * t), 2)) / (std::pow(std::sin(t), 2) * std::cos(t));
  };
  EXPECT_NEAR(lorentzPolarisation(20, 0) / lorentzPolarisation(35, 0), plain(20) / plain(35), 1e-12);
  const double t = 20 * kRadPerDeg;
  EXPECT_NEAR(lorentzPolarisation(20, 90), 1 / (std::pow(std::sin(t), 2) * std::cos(t)), 1e-9);

  // On an orthogonal cell, Uij = U·δij is the isotropic U (to the program's degree factor).
  const Metric metric = *computeMetric({4, 5, 6, 90, 90, 90});
  AtomSite iso{"C1", "C", "C", {0.1, 0.2, 0.3}, 1, 0.02, std::nullopt};
  AtomSite aniso = iso;
  aniso.uAniso = std::array<double, 6>{0.02, 0.02, 0.02, 0, 0, 0};
  SymmetryOperator identity;
  identity.m = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  const auto a = expandStructure({iso}, {identity}, metric), b = expandStructure({aniso}, {identity}, metric);
  const double d = dSpacing(metric.B, 2, 1, 3), s2 = 1 / (4 * d * d);
  EXPECT_NEAR(std::abs(structureFactor(a, 2, 1, 3, s2)), std::abs(structureFactor(b, 2, 1, 3, s2)), 1e-5);
}

TEST(Profile, PeaksKeepTheirAreaAndCagliotiWidth) {
  // Two lines, one 0.1° wide by default, one widened through U: the areas stay the lines'.
  ProfileShape shape;
  shape.step = 0.002;
  const auto points = simulatedProfile({{30, 100}, {60, 50}}, 20, 70, shape);
  ASSERT_EQ(points.size(), 25001u);
  auto areaNear = [&](double centre) {
    double a = 0;
    for (const auto& p : points)
      if (std::fabs(p.twoTheta - centre) < 3) a += p.intensity * shape.step;
    return a;
  };
  EXPECT_NEAR(areaNear(30), 100, 1.5);  // the Lorentzian tails beyond ±3° hold the rest
  EXPECT_NEAR(areaNear(60), 50, 0.8);
  const auto peak = std::max_element(points.begin(), points.end(),
                                     [](const auto& a, const auto& b) { return a.intensity < b.intensity; });
  EXPECT_NEAR(peak->twoTheta, 30, 1e-9);
  EXPECT_NEAR(cagliotiFwhm(shape, 15), 0.1, 1e-12);
  EXPECT_NEAR(cagliotiFwhm({0.04, 0, 0.01}, 45), std::sqrt(0.05), 1e-5);
  EXPECT_TRUE(simulatedProfile({{30, 1}}, 40, 20).empty());
}
