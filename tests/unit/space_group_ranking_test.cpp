// The space-group ranking on peak lists the tests make from a cell, a group and a detection
// limit (seeded intensities): the true class comes first in every system, an impurity is borne
// when allowed, a short list says that the top classes tie; and the extinction classes and
// symbols of the position files against International Tables A.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/absence_weight.hpp"
#include "analysis/space_group_ranking.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;

namespace {

constexpr double kCuKa1 = 1.5406;

std::filesystem::path positionFile(CrystalSystem system) {
  return std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(system);
}

const GroupCatalogue& catalogueOf(CrystalSystem system) {
  static std::map<CrystalSystem, GroupCatalogue> loaded;
  auto at = loaded.find(system);
  if (at == loaded.end()) {
    auto read = loadGroupCatalogue({{system, positionFile(system)}});
    EXPECT_TRUE(read) << read.error();
    at = loaded.emplace(system, read ? std::move(*read) : GroupCatalogue{}).first;
  }
  return at->second;
}

struct Case {
  CrystalSystem system;
  const char* group;
  UnitCell cell;
};

// The lines of the group up to 2θ = 100°, with intensities m · (0.15 … 1, seeded) · a falling
// form factor; those below the detection limit (percent of the strongest) are not seen, lines
// closer than 0.04° make one peak. The first `count` peaks.
std::vector<Peak> simulatedPeaks(const Case& c, double detectionLimit = 1.0, std::size_t count = 50,
                                 unsigned seed = 7, double zero = 0) {
  const auto metric = computeMetric(c.cell);
  const auto group = loadSpaceGroup(positionFile(c.system), c.system, c.group);
  EXPECT_TRUE(metric && group) << c.group << ": " << group.error();
  if (!metric || !group) return {};
  const auto list = powderLines(*metric, *group, kCuKa1, {2.5, 50});
  EXPECT_TRUE(list) << list.error();
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> strength(0.15, 1.0);
  std::vector<Peak> lines;
  double strongest = 0;
  for (const Reflection& r : *list) {
    Peak p;
    p.twoTheta = 2 * r.theta + zero;
    const double stol = 1 / (2 * r.d);
    p.height = r.multiplicity * strength(random) * std::exp(-8 * stol * stol);
    p.fwhm = 0.08;
    strongest = std::max(strongest, p.height);
    lines.push_back(p);
  }
  std::sort(lines.begin(), lines.end(), [](const Peak& a, const Peak& b) { return a.twoTheta < b.twoTheta; });
  std::vector<Peak> peaks;
  for (Peak p : lines) {
    p.height *= 100 / strongest;
    if (!peaks.empty() && p.twoTheta - peaks.back().twoTheta < 0.04) {
      Peak& q = peaks.back();
      q.twoTheta = (q.twoTheta * q.height + p.twoTheta * p.height) / (q.height + p.height);
      q.height += p.height;
    } else {
      peaks.push_back(p);
    }
  }
  std::erase_if(peaks, [&](const Peak& p) { return p.height < detectionLimit; });
  if (peaks.size() > count) peaks.resize(count);
  return peaks;
}

bool holds(const RankedClass& c, const std::string& group) {
  return std::any_of(c.groups.begin(), c.groups.end(), [&](const GroupName& g) { return g.name == group; });
}

std::string describe(const SpaceGroupRanking& r, std::size_t n = 4) {
  std::string s;
  for (std::size_t i = 0; i < std::min(n, r.classes.size()); ++i) {
    const RankedClass& c = r.classes[i];
    s += "\n  " + c.groups.front().name + " [" + c.symbol + "] score " + std::to_string(c.score) + ", " +
         std::to_string(c.unexplained.size()) + " unexplained" + (c.ruledOut ? " (out)" : "");
  }
  return s;
}

Result<SpaceGroupRanking> rank(const Case& c, const std::vector<Peak>& peaks, const RankSettings& settings = {},
                               double zero = 0) {
  const auto metric = computeMetric(c.cell);
  Diffractometer instrument;
  instrument.lambda = kCuKa1;
  instrument.zero = zero;
  return rankSpaceGroups(catalogueOf(c.system), *metric, instrument, peaks, settings);
}

const UnitCell kMonoclinic{5.12, 6.31, 7.43, 90, 103.5, 90};

// A primitive, a body-centred, a face-centred (or the system's other centring) and a
// glide-plane case of each system.
const Case kCases[] = {
    {CrystalSystem::Cubic, "P M -3 M (221)", {4.02, 4.02, 4.02, 90, 90, 90}},
    {CrystalSystem::Cubic, "I M -3 M (229)", {6.23, 6.23, 6.23, 90, 90, 90}},
    {CrystalSystem::Cubic, "F M -3 M (225)", {8.41, 8.41, 8.41, 90, 90, 90}},
    {CrystalSystem::Cubic, "P A -3 (205)", {5.42, 5.42, 5.42, 90, 90, 90}},
    {CrystalSystem::Tetragonal, "P 4/M M M (123)", {3.95, 3.95, 5.21, 90, 90, 90}},
    {CrystalSystem::Tetragonal, "I 4/M M M (139)", {3.86, 3.86, 9.71, 90, 90, 90}},
    {CrystalSystem::Tetragonal, "I 41/A M D (141)", {3.78, 3.78, 9.51, 90, 90, 90}},
    {CrystalSystem::Tetragonal, "P 42/M N M (136)", {4.59, 4.59, 2.96, 90, 90, 90}},
    {CrystalSystem::Orthorhombic, "P M M M (47)", {3.91, 4.62, 5.33, 90, 90, 90}},
    {CrystalSystem::Orthorhombic, "I M M M (71)", {3.62, 4.81, 6.93, 90, 90, 90}},
    {CrystalSystem::Orthorhombic, "F M M M (69)", {5.21, 6.62, 8.13, 90, 90, 90}},
    {CrystalSystem::Orthorhombic, "P N M A (62)", {5.75, 7.95, 5.45, 90, 90, 90}},
    {CrystalSystem::Hexagonal, "P 6/M M M (191)", {3.05, 3.05, 3.35, 90, 90, 120}},
    {CrystalSystem::Hexagonal, "R -3 M (166)", {2.82, 2.82, 14.05, 90, 90, 120}},
    {CrystalSystem::Hexagonal, "R -3 C (167)", {4.76, 4.76, 12.99, 90, 90, 120}},
    {CrystalSystem::Hexagonal, "P 63/M M C (194)", {3.21, 3.21, 5.21, 90, 90, 120}},
    {CrystalSystem::Monoclinic, "P 2/M (10)", kMonoclinic},
    {CrystalSystem::Monoclinic, "I 2/M (12)", kMonoclinic},
    {CrystalSystem::Monoclinic, "C 2/M (12)", kMonoclinic},
    {CrystalSystem::Monoclinic, "P 21/C (14)", kMonoclinic},
};

}  // namespace

TEST(SpaceGroupRanking, TheTrueClassComesFirstInEverySystem) {
  for (const Case& c : kCases) {
    const auto peaks = simulatedPeaks(c);
    ASSERT_GE(peaks.size(), 10u) << c.group;
    const auto r = rank(c, peaks);
    ASSERT_TRUE(r) << c.group << ": " << r.error();
    const RankedClass& best = r->classes.front();
    EXPECT_TRUE(holds(best, c.group)) << c.group << " is not first:" << describe(*r);
    EXPECT_EQ(r->tied, 1) << c.group << describe(*r);
    EXPECT_FALSE(best.ruledOut);
    EXPECT_TRUE(best.unexplained.empty());
    // Exact positions: nothing measures the agreement but the count of possible lines.
    ASSERT_TRUE(best.m20) << c.group;
    EXPECT_TRUE(std::isinf(best.m20->value) || best.m20->value > 100) << c.group << " M20 " << best.m20->value;
  }
}

TEST(SpaceGroupRanking, AZeroShiftGivenWithThePeaksKeepsTheRanking) {
  const Case& c = kCases[11];  // P n m a
  const auto peaks = simulatedPeaks(c, 1.0, 50, 7, 0.3);
  const auto shifted = rank(c, peaks, {}, 0.3);
  ASSERT_TRUE(shifted) << shifted.error();
  EXPECT_TRUE(holds(shifted->classes.front(), c.group)) << describe(*shifted);
  // Unaccounted for, the shift leaves peaks unexplained by every class.
  const auto unshifted = rank(c, peaks);
  ASSERT_TRUE(unshifted);
  EXPECT_TRUE(unshifted->classes.front().ruledOut) << describe(*unshifted);
  EXPECT_EQ(unshifted->tied, 0);
}

TEST(SpaceGroupRanking, OneImpurityPeakIsBorneWhenAllowed) {
  for (const Case& c : {kCases[11], kCases[3], kCases[15], kCases[19]}) {
    auto peaks = simulatedPeaks(c);
    // Halfway between two lines of the primitive lattice, so that no group explains it.
    const auto metric = computeMetric(c.cell);
    Diffractometer g{kCuKa1};
    const auto lattice = latticeLines(*metric, g, 60);
    ASSERT_TRUE(lattice);
    double impurity = 0;
    for (std::size_t i = 1; i < lattice->lines.size() && impurity == 0; ++i)
      if (lattice->lines[i].twoTheta > 30 && lattice->lines[i].twoTheta - lattice->lines[i - 1].twoTheta > 0.8)
        impurity = (lattice->lines[i].twoTheta + lattice->lines[i - 1].twoTheta) / 2;
    ASSERT_GT(impurity, 0) << c.group;
    Peak p;
    p.twoTheta = impurity;
    p.height = 5;
    p.fwhm = 0.08;
    peaks.push_back(p);

    const auto strict = rank(c, peaks);
    ASSERT_TRUE(strict);
    EXPECT_TRUE(strict->classes.front().ruledOut) << c.group;

    RankSettings settings;
    settings.impurities = 1;
    const auto borne = rank(c, peaks, settings);
    ASSERT_TRUE(borne);
    const RankedClass& best = borne->classes.front();
    EXPECT_TRUE(holds(best, c.group)) << c.group << describe(*borne);
    EXPECT_EQ(best.unexplained, std::vector<int>{static_cast<int>(peaks.size()) - 1});
    EXPECT_EQ(borne->tied, 1) << c.group << describe(*borne);
  }
}

TEST(SpaceGroupRanking, AShortListSaysTheTopClassesTie) {
  const Case& c = kCases[11];  // P n m a
  const auto peaks = simulatedPeaks(c, 1.0, 3);
  const auto r = rank(c, peaks);
  ASSERT_TRUE(r) << r.error();
  EXPECT_GE(r->tied, 2) << describe(*r);
  const auto first = std::find_if(r->classes.begin(), r->classes.end(),
                                  [&](const RankedClass& k) { return holds(k, c.group); });
  ASSERT_NE(first, r->classes.end());
  EXPECT_LT(first - r->classes.begin(), r->tied) << "the true class is not among the tied ones" << describe(*r, 8);
}

TEST(SpaceGroupRanking, MissingLinesAreWeighedByWhatThePatternShowsThere) {
  // The primitive orthorhombic lattice, ranked with peaks of P n m a: the lines P n m a forbids
  // are missing for the classes that allow them. Where the pattern nearly shows a peak at each
  // spot, they weigh little, and the score falls with them.
  const Case& c = kCases[11];
  const auto peaks = simulatedPeaks(c);
  const auto plain = rank(c, peaks);
  RankSettings settings;
  settings.absenceWeight = [](double) { return 0.25; };
  const auto weighed = rank(c, peaks, settings);
  ASSERT_TRUE(plain && weighed);
  const auto primitive = [](const SpaceGroupRanking& r) {
    return *std::find_if(r.classes.begin(), r.classes.end(),
                         [](const RankedClass& k) { return holds(k, "P M M M (47)"); });
  };
  const RankedClass p = primitive(*plain), q = primitive(*weighed);
  ASSERT_FALSE(p.missing.empty());
  EXPECT_EQ(p.missing.size(), q.missing.size());
  EXPECT_DOUBLE_EQ(p.score, static_cast<double>(p.missing.size()));
  EXPECT_DOUBLE_EQ(q.score, 0.25 * static_cast<double>(q.missing.size()));
  // Every missing line is one P n m a forbids and stands clear of the peaks.
  const auto pnma = loadSpaceGroup(positionFile(c.system), c.system, c.group);
  for (const MissingLine& m : p.missing) {
    EXPECT_FALSE(allowed(*pnma, m.hkl)) << m.hkl.h << " " << m.hkl.k << " " << m.hkl.l;
    for (const Peak& k : peaks) EXPECT_GT(std::abs(k.twoTheta - m.twoTheta), kDefaultMatchTolerance);
  }
}

TEST(SpaceGroupRanking, BadInputIsRefusedByName) {
  const Case& c = kCases[0];
  EXPECT_EQ(rank(c, {}).error(), "No peaks to rank the space groups against");
  RankSettings zeroTolerance;
  zeroTolerance.tolerance = 0;
  const auto peaks = simulatedPeaks(c);
  EXPECT_FALSE(rank(c, peaks, zeroTolerance));
  std::vector<Peak> nowhere(1);
  EXPECT_EQ(rank(c, nowhere).error(), "Peak 1 has no position between 0 and 180 degrees 2theta");
  // A cell far too large for its range is refused before it fills the memory.
  const auto huge = rankSpaceGroups(catalogueOf(c.system), *computeMetric({300, 300, 300, 90, 90, 90}), {kCuKa1}, peaks);
  EXPECT_NE(huge.error().find("reflections to rank"), std::string::npos) << huge.error();
  // A window's Cancel stops it.
  std::atomic<bool> cancel{true};
  RankSettings cancelled;
  cancelled.cancel = &cancel;
  EXPECT_EQ(rank(c, peaks, cancelled).error(), "The ranking was cancelled");
  // A list of d alone takes its positions from the wavelength.
  std::vector<Peak> spacings = peaks;
  for (Peak& p : spacings) {
    p.d = kCuKa1 / (2 * std::sin(p.twoTheta / 2 * kRadPerDeg));
    p.twoTheta = 0;
  }
  const auto fromD = rank(c, spacings);
  ASSERT_TRUE(fromD) << fromD.error();
  EXPECT_TRUE(holds(fromD->classes.front(), c.group));
}

TEST(SpaceGroupRanking, AStructureCheckForgivesLinesTooWeakToSee) {
  // Peaks of P n m a whose weak lines were not seen: checked against intensities that are the
  // simulation's own, every missing line of the class is too weak to count.
  const Case& c = kCases[11];
  const auto peaks = simulatedPeaks(c, 5.0);
  RankSettings settings;
  settings.structure = StructureCheckRequest{c.system, c.group, [](const Reflection&) { return 1.0; }};
  const auto flat = rank(c, peaks, settings);
  ASSERT_TRUE(flat && flat->structure) << flat.error();
  // Equal calculated intensities: every missing line would be strong.
  EXPECT_EQ(flat->structure->rankedClass, 0);
  EXPECT_EQ(flat->structure->weakMissing, 0);
  EXPECT_EQ(flat->structure->strongMissing.size(), flat->classes.front().missing.size());
  EXPECT_EQ(flat->structure->consistent, flat->classes.front().missing.empty());
  // Intensities that vanish where no peak was kept: none is.
  std::vector<double> seen;
  for (const Peak& p : peaks) seen.push_back(p.twoTheta);
  settings.structure->intensity = [seen](const Reflection& r) {
    const double x = 2 * r.theta;
    return std::any_of(seen.begin(), seen.end(), [x](double s) { return std::abs(s - x) < 0.05; }) ? 1.0 : 1e-6;
  };
  const auto checked = rank(c, peaks, settings);
  ASSERT_TRUE(checked && checked->structure);
  EXPECT_TRUE(checked->structure->strongMissing.empty());
  EXPECT_EQ(checked->structure->weakMissing, static_cast<int>(checked->classes.front().missing.size()));
  EXPECT_TRUE(checked->structure->consistent);
}

TEST(ExtinctionClasses, OneClassForEachExtinctionSymbolOfInternationalTables) {
  // A cell without coincidences and a long range tell every class apart: the orthorhombic
  // entries (all six settings) fall into the 111 classes of International Tables A (gemmi's
  // table of settings has as many distinct sets of absences), the monoclinic ones (unique axis
  // b, three cell choices) into 14, and the classes agree with the symbols read from the
  // conditions.
  const struct {
    CrystalSystem system;
    UnitCell cell;
    std::size_t classes;
  } systems[] = {{CrystalSystem::Orthorhombic, {5.123, 6.789, 8.642, 90, 90, 90}, 111},
                 {CrystalSystem::Monoclinic, kMonoclinic, 14}};
  for (const auto& s : systems) {
    const GroupCatalogue& catalogue = catalogueOf(s.system);
    const auto lattice = latticeLines(*computeMetric(s.cell), {1.0}, 120);
    ASSERT_TRUE(lattice);
    const auto classes = extinctionClasses(catalogue, allowedLineTable(catalogue, *lattice), 0,
                                           static_cast<int>(lattice->lines.size()));
    EXPECT_EQ(classes.size(), s.classes);
    for (const ExtinctionClass& c : classes) {
      EXPECT_FALSE(c.symbol.empty()) << catalogue.groups[c.groups.front()].name;
      for (int g : c.groups) EXPECT_TRUE(sameAbsences(catalogue.signatures[g], catalogue.signatures[c.groups[0]]));
    }
  }
}

TEST(ExtinctionClasses, SymbolsOfInternationalTables) {
  const struct {
    CrystalSystem system;
    const char* group;
    const char* symbol;
  } expected[] = {
      {CrystalSystem::Orthorhombic, "P N M A (62)", "P n - a"},
      {CrystalSystem::Orthorhombic, "P 21 21 21 (19)", "P 21 21 21"},
      {CrystalSystem::Orthorhombic, "P M C 21 (26)", "P - c -"},  // the screw follows from the glide
      {CrystalSystem::Orthorhombic, "C 2 2 21 (20)", "C - - 21"},
      {CrystalSystem::Orthorhombic, "I 21 21 21 (24)", "I - - -"},
      {CrystalSystem::Orthorhombic, "I M M A (74)", "I - - (ab)"},  // Imma and Immb are one class
      {CrystalSystem::Orthorhombic, "I B A 2 (45)", "I b a -"},
      {CrystalSystem::Orthorhombic, "F D D D (70)", "F d d d"},
      {CrystalSystem::Monoclinic, "P 21/C (14)", "P 1 21/c 1"},
      {CrystalSystem::Monoclinic, "C 2/C (15)", "C 1 c 1"},
      {CrystalSystem::Tetragonal, "I 41/A (88)", "I 41/a - -"},
      {CrystalSystem::Tetragonal, "P 42/N B C (133)", "P n b c"},
      {CrystalSystem::Tetragonal, "I 41/A M D (141)", "I a - d"},
      {CrystalSystem::Hexagonal, "P 63/M M C (194)", "P - - c"},
      {CrystalSystem::Hexagonal, "P 62 2 2 (180)", "P 31 - -"},
      {CrystalSystem::Hexagonal, "R -3 C (167)", "R - c"},
      {CrystalSystem::Cubic, "P A -3 (205)", "P a - -"},
      {CrystalSystem::Cubic, "F D -3 C (228)", "F d - c"},
      {CrystalSystem::Cubic, "I A -3 D (230)", "I a - d"},
  };
  for (const auto& e : expected) {
    const GroupCatalogue& catalogue = catalogueOf(e.system);
    std::vector<const ExtinctionSignature*> same;
    const auto at = std::find_if(catalogue.groups.begin(), catalogue.groups.end(),
                                 [&](const SpaceGroup& g) { return g.name == e.group; });
    ASSERT_NE(at, catalogue.groups.end()) << e.group;
    const ExtinctionSignature& own = catalogue.signatures[at - catalogue.groups.begin()];
    for (const ExtinctionSignature& s : catalogue.signatures)
      if (sameAbsences(s, own)) same.push_back(&s);
    EXPECT_EQ(extinctionSymbol(same), e.symbol) << e.group;
  }
}

TEST(ExtinctionClasses, TheSystemsOfACellsMetric) {
  using S = CrystalSystem;
  EXPECT_EQ(systemsOfMetric({4, 4, 4, 90, 90, 90}),
            (std::vector<S>{S::Cubic, S::Tetragonal, S::Orthorhombic, S::Rhombohedral, S::Monoclinic, S::Triclinic}));
  // Monoclinic cells here have the unique axis b: a hexagonal metric is none of them.
  EXPECT_EQ(systemsOfMetric({3, 3, 5, 90, 90, 120}), (std::vector<S>{S::Hexagonal, S::Triclinic}));
  EXPECT_EQ(systemsOfMetric({5, 6, 7, 90, 100, 90}), (std::vector<S>{S::Monoclinic, S::Triclinic}));
  // A cubic metric ranks the lower systems' groups beside the cubic ones: P m -3 m shares its
  // class with P m m m, and the symbol is the cubic one.
  const UnitCell cubic{4.02, 4.02, 4.02, 90, 90, 90};
  std::vector<std::pair<S, std::filesystem::path>> files;
  for (S s : systemsOfMetric(cubic)) files.emplace_back(s, positionFile(s));
  const auto catalogue = loadGroupCatalogue(files);
  ASSERT_TRUE(catalogue);
  const auto peaks = simulatedPeaks(kCases[0]);
  const auto r = rankSpaceGroups(*catalogue, *computeMetric(cubic), {kCuKa1}, peaks);
  ASSERT_TRUE(r);
  const RankedClass& best = r->classes.front();
  EXPECT_TRUE(holds(best, "P M -3 M (221)") && holds(best, "P M M M (47)") && holds(best, "P -1 (2)"));
  EXPECT_EQ(best.symbol, "P - - -");
}

TEST(AbsenceWeight, FollowsWhatThePatternShowsAtTheSpot) {
  // 0.01° steps over a sloping background of some 400 counts, with one strong peak at 30° and a
  // faint one at 40° (a third of the height a search would keep at significance 3), both of
  // FWHM 0.1°; exact counts first, then seeded Poisson noise.
  const double fwhm = 0.1, c = 4 * std::log(2.0) / (fwhm * fwhm);
  const auto make = [&](double faint, unsigned seed) {
    auto p = std::make_shared<MeasuredPattern>();
    std::mt19937 random(seed);
    for (double x = 20; x <= 50; x += 0.01) {
      double y = 300 + 6 * x + 5000 * std::exp(-c * (x - 30) * (x - 30)) + faint * std::exp(-c * (x - 40) * (x - 40));
      if (seed != 0) y = std::poisson_distribution<int>(y)(random);
      p->x.push_back(x);
      p->y.push_back(y);
    }
    return p;
  };
  // σ of the height at 40°: √y / √Σg², with Σg² over ±FWHM at 0.01° steps.
  double sgg = 0;
  for (double x = -fwhm; x < fwhm; x += 0.01) sgg += std::exp(-2 * c * x * x);
  const double sigmaHeight = std::sqrt(300 + 6 * 40.0) / std::sqrt(sgg);
  const auto exact = absenceWeightFromPattern(make(sigmaHeight, 0), fwhm, 3);
  EXPECT_EQ(exact(30), 0.0);
  EXPECT_NEAR(exact(40), 2.0 / 3, 0.1);
  EXPECT_NEAR(exact(35), 1.0, 0.1);   // the slope is met halfway
  EXPECT_NEAR(exact(30.4), 1.0, 0.1);  // the strong peak beside the spot is clipped off
  EXPECT_EQ(exact(10), 0.0);         // no data there
  EXPECT_EQ(exact(49.98), 0.0);      // nor background beside it
  // The peak search's background curve, where given, is taken as it is: here the exact one.
  auto curve = std::make_shared<BackgroundCurve>();
  for (double x = 25; x <= 45; x += 0.01) {
    curve->x.push_back(x);
    curve->y.push_back(300 + 6 * x);
  }
  const auto onCurve = absenceWeightFromPattern(make(sigmaHeight, 0), fwhm, 3, curve);
  EXPECT_DOUBLE_EQ(onCurve(35), 1.0);
  EXPECT_NEAR(onCurve(40), 2.0 / 3, 0.02);
  EXPECT_NEAR(onCurve(47), exact(47), 1e-12);  // beyond the curve, the counts beside the spot
  // On a noisy flat stretch a spot is mostly taken as empty, never as a peak.
  const auto noisy = absenceWeightFromPattern(make(0, 11), fwhm, 3);
  double sum = 0;
  int n = 0;
  for (double x = 33; x < 38; x += 0.25, ++n) sum += noisy(x);
  EXPECT_GT(sum / n, 0.75) << sum / n;
}
