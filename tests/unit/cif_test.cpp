// CIF import and line intensities, on small structures whose answers are known by hand.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "calc/intensity.hpp"
#include "calc/profile.hpp"
#include "calc/site_symmetry.hpp"
#include "core/limits.hpp"
#include "io/cif_import.hpp"
#include "io/cif_symmetry.hpp"
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
  EXPECT_DOUBLE_EQ(model.cellAtoms, 8);  // 4 Na + 4 Cl, none doubled on the special positions
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
  EXPECT_DOUBLE_EQ(model.cellAtoms, 30);  // 12 Al + 18 O
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

// ---- Structures from the wild ---------------------------------------------------------------

namespace {

// One block: a cell line, symmetry lines and atom rows "label type x y z" (the columns named
// by atomColumns when others are needed).
std::string cifOf(const std::string& cell, const std::string& symmetry, const std::string& atoms,
                  const std::string& atomColumns = "_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                                                   "_atom_site_fract_y\n_atom_site_fract_z\n") {
  std::istringstream in(cell);
  double v[6];
  for (double& x : v) in >> x;
  std::ostringstream out;
  out << "data_t\n";
  const char* tags[6] = {"a", "b", "c", "alpha", "beta", "gamma"};
  for (int i = 0; i < 6; ++i) out << (i < 3 ? "_cell_length_" : "_cell_angle_") << tags[i] << " " << v[i] << "\n";
  out << symmetry << "\nloop_\n" << atomColumns << atoms;
  return out.str();
}

CifRead readText(const std::string& text) { return parseCif(text, "w.cif"); }

// The structure of a text that must read (an empty one, after a failure naming the error).
CifStructure readOk(const std::string& text) {
  CifRead r = readText(text);
  EXPECT_TRUE(r.structure) << r.error;
  return r.structure.value_or(CifStructure{});
}

// The position-file group of the operators, or "none".
std::string matchedName(const std::vector<SymmetryOperator>& ops) {
  const auto match = matchDelivered(ops);
  return match ? match->name : "none";
}

bool hasNote(const CifStructure& s, const std::string& part) {
  return std::any_of(s.notes.begin(), s.notes.end(), [&](const std::string& n) { return n.find(part) != std::string::npos; });
}

std::string notesOf(const CifStructure& s) {
  std::string all;
  for (const auto& n : s.notes) all += n + "\n";
  return all;
}

std::complex<double> F(const CifStructure& s, int h, int k, int l) {
  const Metric metric = *computeMetric(s.cell);
  const double d = dSpacing(metric.B, h, k, l);
  return structureFactor(expandStructure(s.atoms, s.operators, metric), h, k, l, 1 / (4 * d * d));
}

// |F| of every reflection h·R of the group's rotations: equal when the model keeps the symmetry
// (to the 1e-6 by which the program's degree factor bends a hexagonal metric).
void expectEquivalentsEqual(const CifStructure& s, int h, int k, int l) {
  const double f = std::abs(F(s, h, k, l));
  for (const SymmetryOperator& op : s.operators) {
    int r[3];
    for (int j = 0; j < 3; ++j) r[j] = int(std::lround(h * op.m[0][j] + k * op.m[1][j] + l * op.m[2][j]));
    EXPECT_NEAR(std::abs(F(s, r[0], r[1], r[2])), f, 1e-5 * f) << r[0] << " " << r[1] << " " << r[2];
  }
}

const char* kFdd3m = "_symmetry_space_group_name_H-M 'F d -3 m'";

}  // namespace

// The sum over the atoms and the group's operators, with the centring and the inversion taken
// out of it, against the sum over every image in the cell written out here.
TEST(Intensity, SumOverTheOperatorsIsTheSumOverEveryImage) {
  struct Case {
    const char* cell;
    const char* symmetry;
    const char* atoms;
    std::size_t general;  // the atom on a general position, made anisotropic
  };
  const Case cases[] = {
      {"5.43 5.43 5.43 90 90 90", "_space_group_IT_number 227\n_space_group_IT_coordinate_system_code 1",
       "Si1 Si 0 0 0\nO1 O 0.11 0.23 0.37\n", 1},  // inversion off the origin, F centring
      {"7.5 9.8 6.2 90 103 90", "_symmetry_space_group_name_H-M 'C 1 2/c 1'", "Fe1 Fe 0.12 0.21 0.38\nO1 O 0 0.31 0.25\n", 0},
      {"4.76 4.76 12.99 90 90 120", "_symmetry_space_group_name_H-M 'R 3 c'", "Al1 Al 0 0 0.352\nO1 O 0.306 0.02 0.25\n", 1},
  };
  for (const Case& c : cases) {
    CifStructure s = readOk(cifOf(c.cell, c.symmetry, c.atoms));
    ASSERT_EQ(s.atoms.size(), 2u);
    s.atoms[c.general].uAniso = std::array<double, 6>{0.011, 0.012, 0.013, 0.001, 0.002, 0.003};
    const Metric metric = *computeMetric(s.cell);
    const Mat3 G = directMetric(s.cell);
    for (auto [h, k, l] : {std::array{1, 1, 1}, std::array{2, 0, 0}, std::array{1, -3, 2}, std::array{4, 2, 6}}) {
      const double d = dSpacing(metric.B, h, k, l), s2 = 1 / (4 * d * d);
      std::complex<double> sum = 0;
      for (const AtomSite& a : s.atoms) {
        std::vector<std::array<double, 3>> seen;
        const FormFactor f = *formFactorOf(a.element);
        for (const SymmetryOperator& op : s.operators) {
          std::array<double, 3> x{};
          for (int i = 0; i < 3; ++i) {
            x[i] = op.m[i][0] * a.xyz[0] + op.m[i][1] * a.xyz[1] + op.m[i][2] * a.xyz[2] + op.m[i][3];
            x[i] -= std::floor(x[i]);
          }
          if (std::any_of(seen.begin(), seen.end(), [&](const auto& y) { return latticeDistance(G, x, y) < 1e-6; }))
            continue;
          seen.push_back(x);
          double dw = std::exp(-8 * M_PI * M_PI * a.uIso * s2);
          if (a.uAniso) {  // exp(−2π² h'ᵀ N U N h') with h' = Rᵀh
            const auto& u = *a.uAniso;
            const double U[3][3] = {{u[0], u[3], u[4]}, {u[3], u[1], u[5]}, {u[4], u[5], u[2]}};
            const double n[3] = {metric.reciprocal.a, metric.reciprocal.b, metric.reciprocal.c};
            double hr[3], q = 0;
            for (int j = 0; j < 3; ++j) hr[j] = h * op.m[0][j] + k * op.m[1][j] + l * op.m[2][j];
            for (int i = 0; i < 3; ++i)
              for (int j = 0; j < 3; ++j) q += hr[i] * n[i] * U[i][j] * n[j] * hr[j];
            dw = std::exp(-2 * M_PI * M_PI * q);
          }
          sum += f.at(s2) * a.occupancy * dw * std::polar(1.0, 2 * M_PI * (h * x[0] + k * x[1] + l * x[2]));
        }
      }
      const auto ours = F(s, h, k, l);
      EXPECT_NEAR(ours.real(), sum.real(), 1e-9 * std::abs(sum) + 1e-9) << c.symmetry << " " << h << k << l;
      EXPECT_NEAR(ours.imag(), sum.imag(), 1e-9 * std::abs(sum) + 1e-9) << c.symmetry << " " << h << k << l;
    }
  }
}

TEST(CifImport, AtomImagesBeyondTheLimitAreRefusedWithTheirCounts) {
  const int sites = int(kMaxAtomImages / 192) + 1;
  std::string atoms;
  for (int i = 0; i < sites; ++i) atoms += "C" + std::to_string(i) + " C 0.0" + std::to_string(i % 9 + 1) + " 0.3 0.4\n";
  const CifRead r = readText(cifOf("50 50 50 90 90 90", kFdd3m, atoms));
  EXPECT_EQ(r.error, "Cannot import w.cif: " + std::to_string(sites) + " atom sites times 192 symmetry operators make " +
                         std::to_string(sites * 192LL) + " atom images, more than " + std::to_string(kMaxAtomImages));
}

TEST(CifImport, OnlyRegularFilesOfBoundedSizeAreReadAndOnce) {
  const auto dir = freshScratchDir("cifread");
  const std::string fifo = (dir / "pipe.cif").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readCif(fifo).error, "Cannot import " + fifo + ": not a regular file");  // no wait for a writer
  EXPECT_EQ(readCifBlockNames("/dev/zero").error, "Cannot import /dev/zero: not a regular file");
  EXPECT_EQ(readCif(dir).error, "Cannot import " + dir.string() + ": not a regular file");
  std::ofstream(dir / "big.cif") << kNaClCif;
  fs::resize_file(dir / "big.cif", std::uintmax_t(kMaxCifFileBytes) + 1);  // sparse: nothing is written
  EXPECT_EQ(readCif(dir / "big.cif").error, "Cannot import " + (dir / "big.cif").string() + ": larger than 64 MB");

  // The chosen block comes from the parse that listed the blocks: the file may be gone by then.
  std::ofstream(dir / "two.cif") << kNaClCif << kSiliconCif;
  const CifBlockList list = readCifBlockNames(dir / "two.cif");
  fs::remove(dir / "two.cif");
  const CifRead si = importCifBlock(list, 1);
  ASSERT_TRUE(si.structure) << si.error;
  EXPECT_EQ(si.structure->blockName, "Si");
  fs::remove_all(dir);
}

// Rounded special positions: NiAs with As at 0.333 0.667 ¼ has 2 As, not 6; its lines are those
// of the exact structure, and equivalent reflections of a rounded R -3 m structure (alunite)
// are equal.
TEST(CifImport, RoundedSpecialPositionsAreOneAtom) {
  const std::string hm = "_symmetry_space_group_name_H-M 'P 63/m m c'";
  const CifStructure rounded = readOk(cifOf("3.619 3.619 5.034 90 90 120", hm, "Ni1 Ni 0 0 0\nAs1 As 0.333 0.667 0.25\n"));
  EXPECT_DOUBLE_EQ(expandStructure(rounded.atoms, rounded.operators, *computeMetric(rounded.cell)).cellAtoms, 4);
  const std::vector<Line> lines{{1, 0, 0, 6}, {1, 0, 1, 12}, {1, 0, 2, 12}, {1, 1, 0, 6}, {2, 0, 1, 12}};
  const auto a = intensities(rounded, lines);
  CifStructure third = rounded;
  third.atoms[1].xyz = {1.0 / 3, 2.0 / 3, 0.25};
  const auto b = intensities(third, lines);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_NEAR(a[i], b[i], 0.2) << i;

  // The images do not depend on the order the operators come in.
  CifStructure reversed = rounded;
  std::reverse(reversed.operators.begin(), reversed.operators.end());
  EXPECT_NEAR(std::abs(F(reversed, 1, 1, 0)), std::abs(F(rounded, 1, 1, 0)), 1e-9);

  const CifStructure alunite = readOk(cifOf("6.98 6.98 17.18 90 90 120", "_symmetry_space_group_name_H-M 'R -3 m'",
                                               "K1 K 0 0 0\nS1 S 0 0 0.3057\nFe1 Fe 0.5 0 0\nO1 O 0 0 0.3926\n"
                                               "O2 O 0.2208 0.7792 0.0566\nO3 O 0.1277 0.8723 0.1400\n"));
  const double f1 = std::abs(F(alunite, 1, -1, -1)), f2 = std::abs(F(alunite, 0, 1, -1)), f3 = std::abs(F(alunite, 1, 0, 1));
  EXPECT_NEAR(f1, f2, 1e-5 * f1);
  EXPECT_NEAR(f1, f3, 1e-5 * f1);
}

// A tensor that breaks its site's symmetry (U11 ≠ U22 on a threefold axis) is averaged over the
// site's images like the position: equivalent reflections stay equal.
TEST(CifImport, TensorsAreAveragedOverTheirSitesImages) {
  const std::string text = cifOf("4.76 4.76 12.99 90 90 120", "_symmetry_space_group_name_H-M 'R -3 c'",
                                 "Al1 Al 0 0 0.35216\nO1 O 0.30624 0 0.25\n") +
                           "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
                           "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23\n"
                           "Al1 0.010 0.030 0.005 0.002 0.001 0.003\nO1 0.012 0.008 0.011 0.004 0.002 0.001\n";
  const CifStructure s = readOk(text);
  for (auto [h, k, l] : {std::array{1, 0, 4}, std::array{1, 1, 3}, std::array{2, 1, 4}}) expectEquivalentsEqual(s, h, k, l);
}

// The merged content against _chemical_formula_sum × Z: a note names both when they differ.
TEST(CifImport, CellContentIsCheckedAgainstTheFormula) {
  const std::string nias = cifOf("3.619 3.619 5.034 90 90 120", "_symmetry_space_group_name_H-M 'P 63/m m c'",
                                 "Ni1 Ni 0 0 0\nAs1 As 0.333 0.667 0.25\n");
  const CifStructure agrees = readOk(nias + "_chemical_formula_sum 'As Ni'\n_cell_formula_units_Z 2\n");
  EXPECT_FALSE(hasNote(agrees, "_chemical_formula_sum")) << notesOf(agrees);
  const CifStructure differs = readOk(nias + "_chemical_formula_sum 'As Ni2'\n_cell_formula_units_Z 2\n");
  EXPECT_TRUE(hasNote(differs, "The cell holds As2 Ni2 where _chemical_formula_sum × _cell_formula_units_Z gives As2 Ni4."))
      << notesOf(differs);
}

// Silicon written the usual way (Si at ⅛ ⅛ ⅛, F d -3 m without operators) is in origin choice 2:
// 8 atoms, 220 strong, 222 extinguished. The coordinate-system code and ICSD's suffixes decide
// before the atoms do, and the note says which origin was taken and why.
TEST(CifImport, OriginChoiceOfASymbolWithTwo) {
  const std::string si = "Si1 Si 0.125 0.125 0.125\n";
  const std::string columns =
      "_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
  auto origin = [&](const std::string& symmetry, const std::string& atoms, const std::string& more = "") {
    return readOk(cifOf("5.431 5.431 5.431 90 90 90", symmetry, atoms, columns + more));
  };
  auto cellAtoms = [](const CifStructure& s) {
    return expandStructure(s.atoms, s.operators, *computeMetric(s.cell)).cellAtoms;
  };
  const CifStructure usual = origin(kFdd3m, si);
  EXPECT_DOUBLE_EQ(cellAtoms(usual), 8);
  EXPECT_GT(std::abs(F(usual, 2, 2, 0)), 10);
  EXPECT_LT(std::abs(F(usual, 2, 2, 2)), 1e-9);
  EXPECT_TRUE(hasNote(usual, "F d -3 m has two origin choices: origin choice 2 is taken, as it puts the atoms on sites of "
                             "higher symmetry (8 atoms in the cell, not 16)."))
      << notesOf(usual);
  EXPECT_DOUBLE_EQ(cellAtoms(origin("_space_group_IT_number 227", si)), 8);

  const CifStructure coded = origin(std::string(kFdd3m) + "\n_space_group_IT_coordinate_system_code 1", si);
  EXPECT_DOUBLE_EQ(cellAtoms(coded), 16);
  EXPECT_TRUE(hasNote(coded, "origin choice 1 is taken, as _space_group_IT_coordinate_system_code says")) << notesOf(coded);
  for (const char* suffix : {"Z", "S"}) {
    const CifStructure icsd = origin("_symmetry_space_group_name_H-M 'F d -3 m " + std::string(suffix) + "'", "Si1 Si 0 0 0\n");
    EXPECT_DOUBLE_EQ(cellAtoms(icsd), 16) << suffix;  // 0 0 0 is 16c in origin choice 2
    EXPECT_TRUE(hasNote(icsd, std::string("suffix '") + suffix + "' says")) << notesOf(icsd);
  }
  // The formula and the listed multiplicities come before the site symmetry: here they want
  // the 16 atoms of Si at 0 0 0 in origin choice 2.
  const CifStructure formula = origin(kFdd3m, "Si1 Si 0 0 0\n_chemical_formula_sum Si\n_cell_formula_units_Z 16\n");
  EXPECT_DOUBLE_EQ(cellAtoms(formula), 16);
  EXPECT_TRUE(hasNote(formula, "origin choice 2 is taken, as its cell content agrees with _chemical_formula_sum")) << notesOf(formula);
  const CifStructure listed =
      origin(kFdd3m, "Si1 Si 0 0 0 16\n", "_atom_site_symmetry_multiplicity\n");
  EXPECT_DOUBLE_EQ(cellAtoms(listed), 16);
  EXPECT_TRUE(hasNote(listed, "_atom_site_symmetry_multiplicity")) << notesOf(listed);
}

// Displacements and occupancies no atom can have are refused with the atom and the value.
TEST(CifImport, ImpossibleDisplacementsAndOccupanciesAreRefused) {
  const std::string columns =
      "_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
  auto errorWith = [&](const std::string& column, const std::string& value) {
    return readText(cifOf("5 5 5 90 90 90", "_symmetry_space_group_name_H-M 'P 1'", "C1 C 0.1 0.2 0.3 " + value + "\n",
                          columns + column + "\n"))
        .error;
  };
  EXPECT_EQ(errorWith("_atom_site_U_iso_or_equiv", "-0.02"), "Cannot import w.cif: atom C1: Uiso -0.02 is negative");
  EXPECT_EQ(errorWith("_atom_site_B_iso_or_equiv", "1e5"), "Cannot import w.cif: atom C1: Biso 100000 Å² is beyond 78.9568 Å²");
  EXPECT_EQ(errorWith("_atom_site_occupancy", "1.5"), "Cannot import w.cif: atom C1: occupancy 1.5 is outside 0 to 1");
  EXPECT_EQ(errorWith("_atom_site_occupancy", "-0.1"), "Cannot import w.cif: atom C1: occupancy -0.1 is outside 0 to 1");
  const std::string aniso = cifOf("5 5 5 90 90 90", "_symmetry_space_group_name_H-M 'P 1'", "C1 C 0.1 0.2 0.3\n") +
                            "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
                            "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23\n";
  EXPECT_EQ(readText(aniso + "C1 0.01 0.01 0.01 0.02 0 0\n").error,
            "Cannot import w.cif: atom C1: the anisotropic Uij (0.01 0.01 0.01 0.02 0 0) are not positive definite");
  EXPECT_EQ(readText(aniso + "C1 0.01 -0.01 0.01 0 0 0\n").error,
            "Cannot import w.cif: atom C1: the anisotropic Uij (0.01 -0.01 0.01 0 0 0) are not positive definite");
  EXPECT_EQ(readText(aniso + "C1 5 5 5 0 0 0\n").error, "Cannot import w.cif: atom C1: the anisotropic Uij (5 5 5 0 0 0) are beyond 1 Å²");
}

// Anisotropic B are 8π² times the U (Trueblood et al. 1996): a file in B gives the U file's |F|.
TEST(CifImport, AnisotropicBAreReadAsEightPiSquaredU) {
  const std::string base = cifOf("5 6 7 90 100 90", "_symmetry_space_group_name_H-M 'P 1 21/c 1'", "Fe1 Fe 0.1 0.2 0.3\n");
  auto withTensor = [&](const char* kind, double scale) {
    std::ostringstream t;
    t.precision(17);
    t << base << "loop_\n_atom_site_aniso_label\n";
    for (const char* ij : {"11", "22", "33", "12", "13", "23"}) t << "_atom_site_aniso_" << kind << "_" << ij << "\n";
    t << "Fe1";
    for (double u : {0.02, 0.03, 0.025, 0.004, 0.006, -0.002}) t << " " << u * scale;
    return readOk(t.str() + "\n");
  };
  const CifStructure u = withTensor("U", 1), b = withTensor("B", 8 * M_PI * M_PI);
  EXPECT_NEAR((*b.atoms[0].uAniso)[0], 0.02, 1e-12);
  EXPECT_NEAR(std::abs(F(b, 3, 2, 5)), std::abs(F(u, 3, 2, 5)), 1e-9);
  EXPECT_LT(std::abs(F(u, 3, 2, 5)), 0.9 * std::abs(F(withTensor("U", 0.001), 3, 2, 5)));  // the tensor matters
}

// Element from the type symbol by the CIF rules; from the label only without one, with a note.
TEST(CifImport, TypeSymbolsAndLabelsNameTheElement) {
  const char* p1 = "_symmetry_space_group_name_H-M 'P 1'";
  auto elementsOf = [&](const std::string& atoms) { return readText(cifOf("5 5 5 90 90 90", p1, atoms)); };
  const CifRead ions = elementsOf("A1 FE3+ 0 0 0\nA2 O-2 0.5 0 0\nA3 NB 0 0.5 0\nA4 D 0 0 0.5\nA5 C0 0.5 0.5 0\n");
  ASSERT_TRUE(ions.structure) << ions.error;
  std::vector<std::string> elements;
  for (const auto& a : ions.structure->atoms) elements.push_back(a.element);
  EXPECT_EQ(elements, (std::vector<std::string>{"Fe", "O", "Nb", "H", "C"}));
  EXPECT_TRUE(hasNote(*ions.structure, "Deuterium (D) scatters as hydrogen."));
  EXPECT_EQ(elementsOf("O1 Wat 0 0 0\n").error, "Cannot import w.cif: unknown atom type 'Wat' (atom O1)");

  const std::string labelsOnly = "_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
  const CifRead labels = readText(cifOf("5 5 5 90 90 90", p1, "HO1 0 0 0\nSi11 0.5 0 0\nNaI 0 0.5 0\n", labelsOnly));
  ASSERT_TRUE(labels.structure) << labels.error;
  EXPECT_EQ(labels.structure->atoms[0].element, "H");  // not holmium
  EXPECT_EQ(labels.structure->atoms[1].element, "Si");
  EXPECT_EQ(labels.structure->atoms[2].element, "Na");
  EXPECT_TRUE(hasNote(*labels.structure, "the elements are read from the labels (HO1 as H, Si11 as Si, NaI as Na)"));
  EXPECT_EQ(readText(cifOf("5 5 5 90 90 90", p1, "WatII 0 0 0\n", labelsOnly)).error,
            "Cannot import w.cif: atom WatII: no _atom_site_type_symbol, and its label names no element");
}

// Tags that disagree: the preferred one is used and the note names the others. The group
// number does not override the symbol (P 1 21/n 1 with 14 is not P 1 21/c 1).
TEST(CifImport, DisagreeingSymmetryTagsAreNamed) {
  const std::string atoms = "Fe1 Fe 0.1 0.2 0.3\n";
  auto read = [&](const std::string& symmetry) { return readOk(cifOf("5 6 7 90 100 90", symmetry, atoms)); };
  const CifStructure p21n = read("_symmetry_space_group_name_H-M 'P 1 21/n 1'\n_space_group_IT_number 14");
  EXPECT_EQ(matchedName(p21n.operators), "P 21/N (14)");
  EXPECT_TRUE(p21n.notes.empty()) << notesOf(p21n);

  const CifStructure ops = read("_symmetry_space_group_name_H-M 'P 1 21/n 1'\n_space_group_IT_number 15\nloop_\n"
                                "_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,y+1/2,-z+1/2\n-x,-y,-z\nx,-y+1/2,z+1/2\n");
  EXPECT_EQ(ops.source, SymmetrySource::Operators);
  EXPECT_EQ(matchedName(ops.operators), "P 21/C (14)");
  EXPECT_TRUE(hasNote(ops, "The Hermann-Mauguin symbol 'P 1 21/n 1' and the group number 15 disagree with the symmetry "
                           "operators (P 1 21/c 1, number 14), which are used."))
      << notesOf(ops);

  const CifStructure hall = read("_space_group_name_Hall '-P*2yn'\n_symmetry_space_group_name_H-M 'P 1 21/n 1'");
  EXPECT_EQ(hall.source, SymmetrySource::HermannMauguin);
  EXPECT_TRUE(hasNote(hall, "Unknown Hall symbol '-P*2yn': the Hermann-Mauguin symbol 'P 1 21/n 1' is used.")) << notesOf(hall);
}

// SHELX, plain-text and full spellings of Hermann-Mauguin symbols; a centred setting the tables
// lack; an unknown symbol with a number falls back to the number's setting, and says so.
TEST(CifImport, SpellingsOfHermannMauguinSymbols) {
  const std::pair<const char*, const char*> spellings[] = {
      {"P2(1)/c", "P 21/C (14)"},          {"P2(1)2(1)2(1)", "P 21 21 21 (19)"}, {"Pmn2(1)", "P M N 21 (31)"},
      {"P2_1/c", "P 21/C (14)"},           {"Fm3m", "F M -3 M (225)"},          {"P 4/m 2/m 2/m", "P 4/M M M (123)"},
      {"R -3 2/m", "R -3 M (166)"},        {"F 4/m -3 2/m", "F M -3 M (225)"},  {"P 21/b 21/c 21/a", "P B C A (61)"},
      {"P 1 21/c 1", "P 21/C (14)"},
  };
  for (auto [symbol, group] : spellings) {
    const CifRead r = readText(cifOf("5.1 6.2 7.3 90 90 90", "_symmetry_space_group_name_H-M '" + std::string(symbol) + "'",
                                     "C1 C 0.1 0.2 0.3\n"));
    ASSERT_TRUE(r.structure) << symbol << ": " << r.error;
    EXPECT_EQ(matchedName(r.structure->operators), group) << symbol;
  }
  const CifStructure b = readOk(cifOf("5 6 7 90 100 90", "_symmetry_space_group_name_H-M 'B 1 21 1'\n_space_group_IT_number 4",
                                         "C1 C 0.1 0.2 0.3\n"));
  EXPECT_EQ(b.operators.size(), 4u);  // P 1 21 1 with the B centring ½ 0 ½
  EXPECT_TRUE(extinct(b.operators, 1, 0, 0));
  EXPECT_TRUE(b.notes.empty()) << notesOf(b);
  const CifStructure unknown = readOk(cifOf("5 6 7 90 100 90", "_symmetry_space_group_name_H-M 'Q 1 21 1'\n"
                                                                  "_space_group_IT_number 4",
                                               "C1 C 0.1 0.2 0.3\n"));
  EXPECT_TRUE(hasNote(unknown, "Unknown space-group symbol 'Q 1 21 1': the group number 4 is used, in the setting P 1 21 1."))
      << notesOf(unknown);
}

// What programs and databases write every day is read, each with a note.
TEST(CifImport, TolerantReadingWithANoteEach) {
  const std::string p1 = "_symmetry_space_group_name_H-M 'P 1'";
  // PyXtal's second, empty _chemical_formula_sum; AMCSD's repeated block names.
  const CifRead twice = parseCif(std::string("\xEF\xBB\xBF") + "data_global\n_chemical_formula_sum 'C'\n_chemical_formula_sum ''\n" +
                                     cifOf("5 5 5 90 90 90", p1, "C1 C 0 0 0\n").substr(7) + "data_global\n_cell_length_a 3\n",
                                 "w.cif");
  ASSERT_TRUE(twice.structure) << twice.error;
  EXPECT_TRUE(hasNote(*twice.structure, "A UTF-8 byte-order mark at the start of the file is skipped."));
  EXPECT_TRUE(hasNote(*twice.structure, "The tag _chemical_formula_sum is given twice in block global: the first value is read."));
  EXPECT_TRUE(hasNote(*twice.structure, "The block name global is given twice"));

  // Anisotropic rows of no atom, or of '?' only: the atom keeps its isotropic value.
  const std::string aniso = "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
                            "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23\n"
                            "C9 0.01 0.01 0.01 0 0 0\nC1 ? ? ? ? ? ?\n";
  const CifStructure rows = readOk(cifOf("5 5 5 90 90 90", p1, "C1 C 0 0 0\n") + aniso);
  ASSERT_EQ(rows.atoms.size(), 1u);
  EXPECT_FALSE(rows.atoms[0].uAniso);
  EXPECT_TRUE(hasNote(rows, "atoms not in the atom list are left out: C9")) << notesOf(rows);
  EXPECT_TRUE(hasNote(rows, "C1 keeps its isotropic value")) << notesOf(rows);

  // Decimal translations, as fractions.
  const CifStructure decimals = readOk(cifOf("5 6 7 90 100 90", "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-X,.5+Y,-Z",
                                                "C1 C 0.1 0.2 0.3\n"));
  EXPECT_EQ(matchedName(decimals.operators), "P 21 (4)");
  EXPECT_TRUE(hasNote(decimals, "decimal translations are read as fractions"));
  EXPECT_EQ(withFractions("0.6667+x,y,z"), "16/24+x,y,z");
  EXPECT_EQ(withFractions("x+0.3,y,z"), std::nullopt);  // no translation of a group

  // A monoclinic α of 90.03° is read as 90°; a hexagonal cell without angles gets γ = 120°.
  const CifStructure off = readOk(cifOf("5 6 7 90.03 100 90", "_symmetry_space_group_name_H-M 'P 1 21/a 1'", "C1 C 0.1 0.2 0.3\n"));
  EXPECT_EQ(off.cell.alpha, 90);
  EXPECT_TRUE(hasNote(off, "alpha 90.03 as 90")) << notesOf(off);
  const CifStructure far = readOk(cifOf("5 6 7 90.5 100 90", "_symmetry_space_group_name_H-M 'P 1 21/a 1'", "C1 C 0.1 0.2 0.3\n"));
  EXPECT_EQ(far.cell.alpha, 90.5);  // left for the check of the system's ties
  std::string hexagonal = cifOf("4.43 4.43 10.66 90 90 90", "_symmetry_space_group_name_H-M 'P 3 c 1'", "B1 B 0 0 0.25\n");
  for (const char* tag : {"_cell_angle_alpha 90\n", "_cell_angle_beta 90\n", "_cell_angle_gamma 90\n"})
    hexagonal.erase(hexagonal.find(tag), std::string(tag).size());
  const CifStructure hex = readOk(hexagonal);
  EXPECT_EQ(hex.cell.gamma, 120);
  EXPECT_TRUE(hasNote(hex, "No _cell_angle_gamma: 120°")) << notesOf(hex);

  // Only _space_group_name_H-M_ref.
  const CifStructure ref = readOk(cifOf("3.56 3.56 3.56 90 90 90", "_space_group_name_H-M_ref 'F m -3 m'", "Ni1 Ni 0 0 0\n"));
  EXPECT_EQ(ref.operators.size(), 192u);

  // A magnetic CIF: the operations times the centrings, without their time reversal.
  const CifStructure magnetic = readOk(cifOf("5 5 5 90 90 90",
                                                "loop_\n_space_group_symop_magn_operation.xyz\nx,y,z,+1\n-x,-y,-z,+1\n"
                                                "loop_\n_space_group_symop_magn_centering.xyz\nx,y,z,+1\nx+1/2,y+1/2,z+1/2,-1",
                                                "Mn1 Mn 0 0 0\n"));
  EXPECT_EQ(magnetic.operators.size(), 4u);
  EXPECT_TRUE(extinct(magnetic.operators, 1, 0, 0));  // the anti-translation ½ ½ ½ is a nuclear centring
  EXPECT_TRUE(hasNote(magnetic, "A magnetic CIF: the nuclear structure is read"));
}

// The choice of a block shows what tells blocks apart; names match without regard to case.
TEST(CifImport, BlocksAreDescribedAndNamedWithoutCase) {
  const CifBlockList list = parseCifBlockNames(std::string(kNaClCif) + kSiliconCif, "two.cif");
  ASSERT_EQ(list.blocks.size(), 2u);
  EXPECT_EQ(list.blocks[0].description(), "NaCl  |  ?  |  F m -3 m  |  5.6402 5.6402 5.6402 90 90 90");
  EXPECT_EQ(list.blocks[1].description(), "Si  |  ?  |  number 227  |  5.43088 5.43088 5.43088 90 90 90");
  EXPECT_EQ(parseCif(std::string(kNaClCif) + kSiliconCif, "two.cif", "sI").structure->blockName, "Si");
}
