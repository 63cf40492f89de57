// Lattice reduction against lattices built here: the fourteen Bravais lattices from their
// conventional cells, given back in skewed bases with refinement-sized errors; pseudo-symmetric
// cells at two tolerances; sub- and super-lattices of known index.
#include <gtest/gtest.h>

#include "analysis/lattice_reduction.hpp"

#include <gemmi/cellred.hpp>

#include <Eigen/Dense>
#include <cmath>
#include <numbers>
#include <random>
#include <string>

using namespace obrin;

namespace {

constexpr double kRad = std::numbers::pi / 180;

Eigen::Matrix3d metricOf(const UnitCell& c) {
  const double ca = std::cos(c.alpha * kRad), cb = std::cos(c.beta * kRad), cg = std::cos(c.gamma * kRad);
  Eigen::Matrix3d g;
  g << c.a * c.a, c.a * c.b * cg, c.a * c.c * cb, c.a * c.b * cg, c.b * c.b, c.b * c.c * ca, c.a * c.c * cb,
      c.b * c.c * ca, c.c * c.c;
  return g;
}

UnitCell cellOf(const Eigen::Matrix3d& g) {
  const double a = std::sqrt(g(0, 0)), b = std::sqrt(g(1, 1)), c = std::sqrt(g(2, 2));
  return {a, b, c, std::acos(g(1, 2) / (b * c)) / kRad, std::acos(g(0, 2) / (a * c)) / kRad,
          std::acos(g(0, 1) / (a * b)) / kRad};
}

// A unimodular integer matrix of random column additions and swaps: the same lattice in a basis
// of longer, skewed vectors.
Eigen::Matrix3i skewingMatrix(std::mt19937& random) {
  Eigen::Matrix3i m = Eigen::Matrix3i::Identity();
  std::uniform_int_distribution<int> column(0, 2), sign(0, 1);
  for (int step = 0; step < 7; ++step) {
    const int i = column(random), j = column(random);
    if (i == j) continue;
    if (step % 3 == 2) m.col(i).swap(m.col(j));
    else m.col(j) += (sign(random) ? 1 : -1) * m.col(i);
  }
  return m;
}

UnitCell skewed(const UnitCell& cell, const Eigen::Matrix3i& m) {
  const Eigen::Matrix3d md = m.cast<double>();
  return cellOf(md.transpose() * metricOf(cell) * md);
}

// Every parameter off by a relative error of about this size, as a refinement leaves them.
UnitCell perturbed(UnitCell cell, double relative, std::mt19937& random) {
  std::normal_distribution<double> noise(0, relative);
  auto p = cell.params();
  for (double& v : p) v *= 1 + noise(random);
  return UnitCell::fromParams(p);
}

void expectCell(const UnitCell& actual, const UnitCell& expected, double relative, double degrees) {
  const auto a = actual.params(), e = expected.params();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], e[i], relative * e[i]) << kCellParameterNames[i];
  for (int i = 3; i < 6; ++i) EXPECT_NEAR(a[i], e[i], degrees) << kCellParameterNames[i];
}

// The rhombohedral cell of hexagonal axes a, c (obverse), written out: a_r = (2a + b + c)/3, ...
UnitCell rhombohedralOf(double a, double c) {
  const double ar2 = a * a / 3 + c * c / 9;
  const double alpha = std::acos((c * c / 9 - a * a / 6) / ar2) / kRad;
  return {std::sqrt(ar2), std::sqrt(ar2), std::sqrt(ar2), alpha, alpha, alpha};
}

struct LatticeCase {
  std::string symbol;
  CrystalSystem system;
  char centring;         // of the conventional cell as built
  UnitCell cell;         // conventional, hexagonal axes for hR
  UnitCell conventional;  // as the program reports it
};

void PrintTo(const LatticeCase& c, std::ostream* os) { *os << c.symbol; }

std::string caseName(const ::testing::TestParamInfo<LatticeCase>& info) { return info.param.symbol; }

const UnitCell kTriclinic{5.1, 6.2, 7.3, 81, 84, 77};

std::vector<LatticeCase> bravaisCases() {
  using S = CrystalSystem;
  auto same = [](S s, const char* symbol, char centring, UnitCell c) { return LatticeCase{symbol, s, centring, c, c}; };
  return {
      same(S::Cubic, "cP", 'P', {5.43, 5.43, 5.43, 90, 90, 90}),
      same(S::Cubic, "cI", 'I', {3.30, 3.30, 3.30, 90, 90, 90}),
      same(S::Cubic, "cF", 'F', {4.05, 4.05, 4.05, 90, 90, 90}),
      same(S::Tetragonal, "tP", 'P', {4.59, 4.59, 2.96, 90, 90, 90}),
      same(S::Tetragonal, "tI", 'I', {5.2, 5.2, 11.3, 90, 90, 90}),
      same(S::Hexagonal, "hP", 'P', {3.2, 3.2, 5.2, 90, 90, 120}),
      {"hR", S::Rhombohedral, 'R', {4.99, 4.99, 17.06, 90, 90, 120}, rhombohedralOf(4.99, 17.06)},
      same(S::Orthorhombic, "oP", 'P', {4.1, 5.3, 7.7, 90, 90, 90}),
      same(S::Orthorhombic, "oC", 'C', {3.9, 8.1, 5.1, 90, 90, 90}),
      same(S::Orthorhombic, "oI", 'I', {3.6, 4.9, 8.8, 90, 90, 90}),
      same(S::Orthorhombic, "oF", 'F', {4.4, 6.1, 9.0, 90, 90, 90}),
      same(S::Monoclinic, "mP", 'P', {5.1, 7.3, 8.2, 90, 104, 90}),
      same(S::Monoclinic, "mC", 'C', {6.0, 8.0, 10.0, 90, 105, 90}),
      same(S::Triclinic, "aP", 'P', kTriclinic),
  };
}

class BravaisLatticeTest : public ::testing::TestWithParam<LatticeCase> {};

// The conventional cell's primitive cell, perturbed by 1e-4 and skewed by a seeded unimodular
// matrix, is reduced and its lattice recognised with the conventional cell it came from.
TEST_P(BravaisLatticeTest, FoundFromSkewedPerturbedPrimitiveCell) {
  const LatticeCase& c = GetParam();
  const auto primitive = primitiveCell(c.cell, c.centring);
  ASSERT_TRUE(primitive) << primitive.error();
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const UnitCell bad = skewed(perturbed(*primitive, 1e-4, random), skewingMatrix(random));
    const auto reduced = niggliCell(bad);
    ASSERT_TRUE(reduced) << reduced.error();
    const auto lattice = bravaisLattice(*reduced);
    ASSERT_TRUE(lattice) << lattice.error();
    EXPECT_EQ(lattice->symbol, c.symbol);
    EXPECT_EQ(lattice->system, c.system);
    EXPECT_EQ(lattice->centring, c.symbol[1]);
    EXPECT_GE(lattice->deviation, 0);
    EXPECT_LT(lattice->deviation, 0.05);
    if (c.system == CrystalSystem::Triclinic) {
      // The reduced cell is the conventional one; gemmi reduces the exact cell alike.
      gemmi::GruberVector g(gemmi::UnitCell(kTriclinic.a, kTriclinic.b, kTriclinic.c, kTriclinic.alpha,
                                            kTriclinic.beta, kTriclinic.gamma), 'P');
      g.niggli_reduce();
      const auto p = g.cell_parameters();
      expectCell(lattice->conventional, {p[0], p[1], p[2], p[3], p[4], p[5]}, 1e-3, 0.05);
    } else {
      expectCell(lattice->conventional, c.conventional, 1e-3, 0.05);
    }
    // Whatever the setting, the lattice found is the one built.
    const auto back = primitiveCell(lattice->conventional, lattice->centring == 'R' ? 'P' : lattice->centring);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(latticeRelation(*back, *primitive).kind, LatticeRelation::Kind::Same);
  }
}

INSTANTIATE_TEST_SUITE_P(FourteenLattices, BravaisLatticeTest, ::testing::ValuesIn(bravaisCases()), caseName);

// The exact cell, skewed: the conventional cell to one part in a million, every tie exact. The
// triclinic cell built is a Niggli cell already (a ≤ b ≤ c, acute, |2b·c| ≤ b·b, ...).
TEST_P(BravaisLatticeTest, ExactCellComesBackInItsSetting) {
  const LatticeCase& c = GetParam();
  const auto primitive = primitiveCell(c.cell, c.centring);
  ASSERT_TRUE(primitive) << primitive.error();
  for (unsigned seed = 11; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto lattice = bravaisLattice(skewed(*primitive, skewingMatrix(random)));
    ASSERT_TRUE(lattice) << lattice.error();
    EXPECT_EQ(lattice->symbol, c.symbol);
    EXPECT_LT(lattice->deviation, 1e-6);
    const auto a = lattice->conventional.params(), e = c.conventional.params();
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(a[i], e[i], 1e-6 * e[i]) << kCellParameterNames[i];
  }
}

// Each angle of the conventional cell 0.1° off, either way: within the default tolerance the
// lattice is still found, its deviation says by how much it was missed.
TEST_P(BravaisLatticeTest, FoundWhenAnglesAreATenthOfADegreeOff) {
  const LatticeCase& c = GetParam();
  for (unsigned seed = 21; seed <= 26; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::bernoulli_distribution up;
    UnitCell distorted = c.cell;
    for (double* angle : {&distorted.alpha, &distorted.beta, &distorted.gamma}) *angle += up(random) ? 0.1 : -0.1;
    const auto primitive = primitiveCell(distorted, c.centring);
    ASSERT_TRUE(primitive) << primitive.error();
    const auto lattice = bravaisLattice(skewed(*primitive, skewingMatrix(random)));
    ASSERT_TRUE(lattice) << lattice.error();
    EXPECT_EQ(lattice->symbol, c.symbol);
    EXPECT_LT(lattice->deviation, kLatticeAngleTolerance);
    if (c.system != CrystalSystem::Triclinic) EXPECT_GT(lattice->deviation, 0.01);
    expectCell(lattice->conventional, c.conventional, 2e-3, 0.2);
  }
}


// The exact cells: the Niggli cell agrees with gemmi's reduction of the same skewed basis, and
// the conventional cell keeps the system's ties and angles exactly.
TEST(NiggliCell, AgreesWithGemmiOnSkewedBases) {
  for (const LatticeCase& c : bravaisCases()) {
    SCOPED_TRACE(c.symbol);
    const auto primitive = primitiveCell(c.cell, c.centring);
    ASSERT_TRUE(primitive);
    std::mt19937 random(99);
    const UnitCell bad = skewed(*primitive, skewingMatrix(random));
    gemmi::GruberVector g(gemmi::UnitCell(bad.a, bad.b, bad.c, bad.alpha, bad.beta, bad.gamma), 'P');
    g.niggli_reduce(1e-9, 10000);
    const auto p = g.cell_parameters();
    const auto ours = niggliCell(bad);
    ASSERT_TRUE(ours);
    EXPECT_NEAR(ours->a, p[0], 1e-6 * p[0]);
    EXPECT_NEAR(ours->b, p[1], 1e-6 * p[1]);
    EXPECT_NEAR(ours->c, p[2], 1e-6 * p[2]);
    // Angles of 90° may come out on either side of it: compare their cosines' sizes.
    for (int i = 3; i < 6; ++i)
      EXPECT_NEAR(std::abs(std::cos(ours->params()[i] * kRad)), std::abs(std::cos(p[i] * kRad)), 1e-6);
    const auto lattice = bravaisLattice(*ours);
    ASSERT_TRUE(lattice);
    const UnitCell& cc = lattice->conventional;
    EXPECT_EQ(lattice->symbol, c.symbol);
    EXPECT_LT(lattice->deviation, 1e-5);
    if (c.system != CrystalSystem::Triclinic && c.system != CrystalSystem::Monoclinic) {
      EXPECT_EQ(cc.alpha, c.system == CrystalSystem::Rhombohedral ? cc.beta : 90.0);
      EXPECT_EQ(cc.gamma, c.system == CrystalSystem::Hexagonal ? 120.0 : cc.beta);
    }
    if (c.system == CrystalSystem::Monoclinic) {
      EXPECT_EQ(cc.alpha, 90.0);
      EXPECT_EQ(cc.gamma, 90.0);
      EXPECT_GE(cc.beta, 90.0);
    }
  }
}

// Lattices built in other settings come back in the program's: I-centred monoclinic as C with a
// the shortest row of the centred coset, A-centred orthorhombic as C, F-centred tetragonal as I,
// and a rhombohedral lattice with α above 90° on its rhombohedral axes.
TEST(BravaisLattice, OtherSettingsComeBackInTheProgramsOwn) {
  // I2/m with a = 5, c = 7, β = 95°: a_C = a_I + c_I, c_C = −a_I (the shortest completing row).
  const double cb = std::cos(95 * kRad);
  const double aC = std::sqrt(25 + 49 + 70 * cb);
  const double betaC = std::acos(-(25 + 35 * cb) / (aC * 5)) / kRad;
  struct Setting {
    const char* symbol;
    UnitCell cell;
    char centring;
    UnitCell conventional;
  };
  const Setting settings[] = {
      {"mC", {5, 9, 7, 90, 95, 90}, 'I', {aC, 9, 5, 90, betaC, 90}},
      {"oC", {4, 5, 6, 90, 90, 90}, 'A', {5, 6, 4, 90, 90, 90}},
      {"tI", {6, 6, 8, 90, 90, 90}, 'F', {6 / std::numbers::sqrt2, 6 / std::numbers::sqrt2, 8, 90, 90, 90}},
      {"hR", {5, 5, 3, 90, 90, 120}, 'R', rhombohedralOf(5, 3)},
  };
  for (const Setting& s : settings) {
    SCOPED_TRACE(s.symbol);
    const auto primitive = primitiveCell(s.cell, s.centring);
    ASSERT_TRUE(primitive);
    std::mt19937 random(3);
    const auto lattice = bravaisLattice(skewed(*primitive, skewingMatrix(random)));
    ASSERT_TRUE(lattice) << lattice.error();
    EXPECT_EQ(lattice->symbol, s.symbol);
    expectCell(lattice->conventional, s.conventional, 1e-9, 1e-7);
  }
  EXPECT_GT(rhombohedralOf(5, 3).alpha, 90);
}

// Cells far from any usual shape still give finite cells and a lattice, never a NaN.
TEST(BravaisLattice, ExtremeCellsGiveFiniteAnswers) {
  const UnitCell cells[] = {{1e-3, 1e3, 1e3, 90, 90, 90},      {1e50, 1e50, 1e50, 90, 90, 90},
                            {4, 4, 4, 119.99, 119.99, 119.99}, {4, 5, 6, 90, 90, 179.9},
                            {3, 300, 301, 0.5, 1, 1.2},        {1, 1, 100, 89, 91, 60}};
  for (const UnitCell& cell : cells) {
    const auto reduced = niggliCell(cell);
    const auto lattice = bravaisLattice(cell);
    ASSERT_TRUE(reduced && lattice);
    for (double v : reduced->params()) EXPECT_TRUE(std::isfinite(v) && v > 0);
    for (double v : lattice->conventional.params()) EXPECT_TRUE(std::isfinite(v) && v > 0);
    EXPECT_TRUE(std::isfinite(lattice->deviation));
    EXPECT_EQ(latticeRelation(cell, *reduced).kind, LatticeRelation::Kind::Same);
  }
}

// Reduced cells known by hand: the F cube's rhombohedron of 60°, the I cube's of 109.47°
// (cos α = −1/3), a cell reduced already.
TEST(NiggliCell, KnownReducedCells) {
  const UnitCell cube{4.0, 4.0, 4.0, 90, 90, 90};
  const auto f = niggliCell(skewed(*primitiveCell(cube, 'F'), Eigen::Matrix3i{{1, 2, 0}, {0, 1, 0}, {1, 1, 1}}));
  const auto i = niggliCell(skewed(*primitiveCell(cube, 'I'), Eigen::Matrix3i{{1, 0, 0}, {3, 1, 0}, {-1, 1, 1}}));
  const auto p = niggliCell(skewed(kTriclinic, Eigen::Matrix3i{{1, 1, 0}, {0, 1, 1}, {0, 0, 1}}));
  ASSERT_TRUE(f && i && p);
  const double s = 4 / std::numbers::sqrt2, t = 2 * std::numbers::sqrt3, w = std::acos(-1.0 / 3) / kRad;
  expectCell(*f, {s, s, s, 60, 60, 60}, 1e-12, 1e-9);
  expectCell(*i, {t, t, t, w, w, w}, 1e-12, 1e-9);
  expectCell(*p, kTriclinic, 1e-12, 1e-9);
}

TEST(PrimitiveCell, VolumesShrinkByTheCentringsMultiplicity) {
  const UnitCell cell{4.0, 5.0, 6.0, 90, 90, 90};
  const UnitCell hex{4.0, 4.0, 6.0, 90, 90, 120};
  auto volume = [](const UnitCell& c) { return std::sqrt(metricOf(c).determinant()); };
  const double v = volume(cell);
  for (auto [centring, n] : {std::pair{'P', 1}, {'A', 2}, {'B', 2}, {'C', 2}, {'I', 2}, {'F', 4}}) {
    const auto p = primitiveCell(cell, centring);
    ASSERT_TRUE(p) << centring;
    EXPECT_NEAR(volume(*p), v / n, 1e-9 * v) << centring;
  }
  const auto r = primitiveCell(hex, 'R');
  ASSERT_TRUE(r);
  EXPECT_NEAR(volume(*r), volume(hex) / 3, 1e-9 * volume(hex));
  expectCell(*r, rhombohedralOf(4.0, 6.0), 1e-12, 1e-9);
}

TEST(LatticeReduction, RefusesWhatIsNoCellOrNoCentring) {
  EXPECT_FALSE(primitiveCell({4, 4, 4, 90, 90, 90}, 'X'));
  EXPECT_FALSE(primitiveCell({4, 4, 4, 90, 90, 90}, '\0'));
  EXPECT_NE(primitiveCell({4, 4, 4, 90, 90, 90}, 'Q').error().find("P, A, B, C, I, F and R"), std::string::npos);
  EXPECT_EQ(primitiveCell({0, 4, 4, 90, 90, 90}, 'P').error(), "Error on cell parameters");
  EXPECT_FALSE(niggliCell({4, 4, 4, 120, 120, 120}));  // flat: no volume
  EXPECT_FALSE(niggliCell({4, 4, NAN, 90, 90, 90}));
  EXPECT_FALSE(bravaisLattice({4, 4, 4, 90, 90, 90}, 0));
  EXPECT_FALSE(bravaisLattice({4, 4, 4, 90, 90, 90}, kMaxLatticeAngleTolerance + 1));
  EXPECT_FALSE(bravaisLattice({4, 4, 4, 90, 90, 90}, NAN));
  EXPECT_EQ(latticeRelation({4, 4, 4, 90, 90, 90}, {-1, 4, 4, 90, 90, 90}).kind, LatticeRelation::Kind::None);
}

// Cells a little off a higher symmetry: the tolerance decides, and the deviation says by how much.
struct PseudoCase {
  const char* name;
  UnitCell cell;
  double tight, loose;              // tolerances, degrees
  const char* atTight, * atLoose;   // lattices found at them
  double deviationFrom, deviationTo;  // at the loose one
};

void PrintTo(const PseudoCase& c, std::ostream* os) { *os << c.name; }

class PseudoSymmetryTest : public ::testing::TestWithParam<PseudoCase> {};

TEST_P(PseudoSymmetryTest, TheToleranceDecides) {
  const PseudoCase& c = GetParam();
  const auto tight = bravaisLattice(c.cell, c.tight), loose = bravaisLattice(c.cell, c.loose);
  ASSERT_TRUE(tight && loose);
  EXPECT_EQ(tight->symbol, c.atTight);
  EXPECT_EQ(loose->symbol, c.atLoose);
  EXPECT_GT(loose->deviation, c.deviationFrom);
  EXPECT_LT(loose->deviation, c.deviationTo);
  EXPECT_LT(tight->deviation, c.tight);
}

INSTANTIATE_TEST_SUITE_P(
    NearHigherSymmetry, PseudoSymmetryTest,
    ::testing::Values(
        // β 0.3° off 90: the twofold axes along a and c are missed by about that.
        PseudoCase{"MonoclinicBeta90_3", {5.1, 7.3, 8.2, 90, 90.3, 90}, 0.1, 0.5, "mP", "oP", 0.2, 0.35},
        // a and b 0.08 % apart: the axes along [110] and [1-10] are missed by about 0.05°.
        PseudoCase{"OrthorhombicAEqualB", {5.000, 5.004, 7.0, 90, 90, 90}, 0.01, 0.5, "oP", "tP", 0.02, 0.06},
        // A rhombohedral cell with α 0.2° off 90 is nearly cubic.
        PseudoCase{"RhombohedralNear90", {4.2, 4.2, 4.2, 90.2, 90.2, 90.2}, 0.1, 0.5, "hR", "cP", 0.1, 0.3},
        // A hexagonal cell with γ 0.2° off 120: its orthohexagonal C cell, or hexagonal.
        PseudoCase{"HexagonalGamma120_2", {3.2, 3.2, 5.2, 90, 90, 120.2}, 0.05, 0.5, "oC", "hP", 0.05, 0.3}),
    [](const auto& info) { return std::string(info.param.name); });

// Lattice relations by construction: sub-lattices of index 2, 3 and 4 in both orders, cells near
// a Niggli boundary on either side of it, and cells that are not related.
TEST(LatticeRelation, SameAndSubLatticesOfKnownIndex) {
  using K = LatticeRelation::Kind;
  std::mt19937 random(7);
  const UnitCell bad = skewed(kTriclinic, skewingMatrix(random));
  const auto reduced = niggliCell(bad);
  ASSERT_TRUE(reduced);
  EXPECT_EQ(latticeRelation(bad, *reduced).kind, K::Same);

  const UnitCell doubledA{2 * kTriclinic.a, kTriclinic.b, kTriclinic.c, kTriclinic.alpha, kTriclinic.beta,
                          kTriclinic.gamma};
  const auto d = latticeRelation(kTriclinic, doubledA);
  EXPECT_EQ(d.kind, K::BInA);
  EXPECT_EQ(d.index, 2);
  const auto dr = latticeRelation(doubledA, kTriclinic);
  EXPECT_EQ(dr.kind, K::AInB);
  EXPECT_EQ(dr.index, 2);

  // The tripled cell in a skewed basis of its own.
  const UnitCell tripledC{kTriclinic.a, kTriclinic.b, 3 * kTriclinic.c, kTriclinic.alpha, kTriclinic.beta,
                          kTriclinic.gamma};
  const auto t = latticeRelation(kTriclinic, skewed(tripledC, skewingMatrix(random)));
  EXPECT_EQ(t.kind, K::BInA);
  EXPECT_EQ(t.index, 3);

  const auto tr = latticeRelation(skewed(tripledC, skewingMatrix(random)), kTriclinic);
  EXPECT_EQ(tr.kind, K::AInB);
  EXPECT_EQ(tr.index, 3);
  // Beyond the largest index looked for, no relation.
  const UnitCell fivefold{kTriclinic.a, 5 * kTriclinic.b, kTriclinic.c, kTriclinic.alpha, kTriclinic.beta,
                          kTriclinic.gamma};
  EXPECT_EQ(latticeRelation(kTriclinic, fivefold).kind, K::None);

  const UnitCell cubic{4.05, 4.05, 4.05, 90, 90, 90};
  const auto fPrimitive = primitiveCell(cubic, 'F');
  ASSERT_TRUE(fPrimitive);
  const auto f = latticeRelation(*fPrimitive, cubic);
  EXPECT_EQ(f.kind, K::BInA);
  EXPECT_EQ(f.index, 4);
  const auto iPrimitive = primitiveCell(cubic, 'I');
  ASSERT_TRUE(iPrimitive);
  EXPECT_EQ(latticeRelation(*iPrimitive, *fPrimitive).kind, K::None);  // half the volume, but no sub-lattice
  // The F lattice in two skewed bases of its primitive cell; a C-centred monoclinic lattice and
  // its doubled c axis (doubling b would move the centring off the lattice).
  const UnitCell fOne = skewed(*fPrimitive, skewingMatrix(random));
  EXPECT_EQ(latticeRelation(fOne, skewed(*fPrimitive, skewingMatrix(random))).kind, K::Same);
  const auto mC = primitiveCell({6.0, 8.0, 10.0, 90, 105, 90}, 'C');
  const auto mC2 = primitiveCell({6.0, 8.0, 20.0, 90, 105, 90}, 'C');
  ASSERT_TRUE(mC && mC2);
  const auto m = latticeRelation(skewed(*mC, skewingMatrix(random)), *mC2);
  EXPECT_EQ(m.kind, K::BInA);
  EXPECT_EQ(m.index, 2);
}

TEST(LatticeRelation, ToleranceAndNiggliBoundaries) {
  using K = LatticeRelation::Kind;
  // The F cell's reduced form sits on Niggli boundaries (60° angles, equal lengths): perturbed to
  // either side, the two reduced forms differ but the lattice is one.
  const auto f = primitiveCell({4.05, 4.05, 4.05, 90, 90, 90}, 'F');
  ASSERT_TRUE(f);
  UnitCell above = *f, below = *f;
  above.alpha += 0.05, above.a *= 1.0005;
  below.alpha -= 0.05, below.b *= 1.0005;
  EXPECT_EQ(latticeRelation(above, below).kind, K::Same);
  // A monoclinic β just either side of 90°.
  EXPECT_EQ(latticeRelation({5.1, 7.3, 8.2, 90, 89.9, 90}, {5.1, 7.3, 8.2, 90, 90.1, 90}).kind, K::Same);
  // Beyond the tolerances: 1 % in a length, or 1° in an angle.
  EXPECT_EQ(latticeRelation(kTriclinic, {5.151, 6.2, 7.3, 81, 84, 77}).kind, K::None);
  EXPECT_EQ(latticeRelation(kTriclinic, {5.1, 6.2, 7.3, 82, 84, 77}).kind, K::None);
  // Twice the volume, no sub-lattice.
  EXPECT_EQ(latticeRelation({5, 6, 7, 90, 90, 90}, {5.5, 6.6, 11.57, 90, 90, 90}).kind, K::None);
}

}  // namespace
