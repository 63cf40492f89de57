#include "analysis/space_group_ranking.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <tuple>

#include "symmetry/allowed_reflections.hpp"

namespace obrin {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr const char* kRankingCancelled = "The ranking was cancelled";

Result<std::vector<double>> peakPositions(std::span<const Peak> peaks, double lambda) {
  std::vector<double> positions;
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    const Peak& p = peaks[i];
    double x = p.twoTheta;
    // A list of spacings was measured at 2θ = 2 asin(λ/2d), whatever the instrument's faults.
    if (!(x > 0) && p.d > 0) x = lineTwoTheta(p.d, {lambda}).value_or(0);
    if (!(x > 0 && x < 180) || !std::isfinite(x))
      return fail("Peak " + std::to_string(i + 1) + " has no position between 0 and 180 degrees 2theta");
    positions.push_back(x);
  }
  return positions;
}

int firstLineFrom(const LatticeLines& lattice, double twoTheta) {
  return static_cast<int>(std::lower_bound(lattice.lines.begin(), lattice.lines.end(), twoTheta,
                                           [](const LatticeLine& l, double x) { return l.twoTheta < x; }) -
                          lattice.lines.begin());
}

int firstLineAbove(const LatticeLines& lattice, double twoTheta) {
  return static_cast<int>(std::upper_bound(lattice.lines.begin(), lattice.lines.end(), twoTheta,
                                           [](double x, const LatticeLine& l) { return x < l.twoTheta; }) -
                          lattice.lines.begin());
}

// The allowed line (a lattice line's index) each peak is indexed by, −1 where none: the
// matching of the cell refinement, on the lines the class allows.
template <typename Allowed>
std::vector<int> indexPeaks(std::span<const double> positions, const LatticeLines& lattice, const Allowed& allowedLine,
                            const Diffractometer& instrument, double tolerance) {
  ReflectionList lines;
  std::vector<int> latticeIndex;
  for (int i = 0; i < static_cast<int>(lattice.lines.size()); ++i)
    if (allowedLine(i)) {
      Reflection r;
      const Miller& hkl = lattice.members[lattice.lines[i].first];
      r.h = static_cast<std::int16_t>(hkl.h);
      r.k = static_cast<std::int16_t>(hkl.k);
      r.l = static_cast<std::int16_t>(hkl.l);
      r.d = lattice.lines[i].d;
      lines.push_back(r);
      latticeIndex.push_back(i);
    }
  std::vector<int> match;
  for (const LineMatch& m : matchPeaks(positions, lines, instrument, tolerance))
    match.push_back(m.indexed() ? latticeIndex[m.line] : -1);
  return match;
}

// Everything one class is ranked by, from the lines its group allows.
struct Evaluation {
  std::vector<int> unexplained;
  std::vector<MissingLine> missing;
  std::optional<FigureOfMerit> m20;
  double score = 0;
};

class Evaluator {
 public:
  Evaluator(const LatticeLines& lattice, const std::vector<double>& positions, const Diffractometer& instrument,
            const RankSettings& settings, double rangeMin, double rangeMax, double width)
      : lattice_(lattice), positions_(positions), instrument_(instrument), settings_(settings), rangeMin_(rangeMin),
        rangeMax_(rangeMax), width_(width), weights_(lattice.lines.size(), -1) {
    nearestPeak_.assign(lattice.lines.size(), kInfinity);
    std::vector<double> sorted = positions;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < lattice.lines.size(); ++i) {
      const double x = lattice.lines[i].twoTheta;
      const auto above = std::lower_bound(sorted.begin(), sorted.end(), x);
      if (above != sorted.end()) nearestPeak_[i] = *above - x;
      if (above != sorted.begin()) nearestPeak_[i] = std::min(nearestPeak_[i], x - *(above - 1));
    }
  }

  template <typename Allowed>
  Evaluation evaluate(const SpaceGroup& group, const Allowed& allowedLine) {
    Evaluation e;
    const std::vector<int> match = indexPeaks(positions_, lattice_, allowedLine, instrument_, settings_.tolerance);
    for (std::size_t p = 0; p < match.size(); ++p)
      if (match[p] < 0) e.unexplained.push_back(static_cast<int>(p));
    e.missing = missingLines(group, allowedLine);
    for (const MissingLine& m : e.missing) e.score += m.weight;
    e.score += static_cast<double>(e.unexplained.size());
    e.m20 = figure(match, allowedLine);
    return e;
  }

 private:
  // Allowed lines in the range that stand clear of the other allowed lines and of every peak
  // by more than a width, with no peak within the tolerance.
  template <typename Allowed>
  std::vector<MissingLine> missingLines(const SpaceGroup& group, const Allowed& allowedLine) {
    std::vector<MissingLine> missing;
    std::optional<AllowedReflections> test;
    const int count = static_cast<int>(lattice_.lines.size());
    double previous = -kInfinity;
    for (int i = 0; i < count; ++i) {
      if (!allowedLine(i)) continue;
      const LatticeLine& line = lattice_.lines[i];
      const double before = line.twoTheta - previous;
      previous = line.twoTheta;
      if (line.twoTheta < rangeMin_ || line.twoTheta > rangeMax_) continue;
      if (nearestPeak_[i] <= std::max(settings_.tolerance, width_) || before <= width_) continue;
      int next = i + 1;
      while (next < count && !allowedLine(next)) ++next;
      if (next < count && lattice_.lines[next].twoTheta - line.twoTheta <= width_) continue;
      if (!test) test.emplace(group);
      MissingLine m;
      m.hkl = lattice_.members[line.first];
      for (int k = line.first; k < line.first + line.count; ++k)
        if ((*test)(lattice_.members[k])) {
          m.hkl = lattice_.members[k];
          break;
        }
      m.twoTheta = line.twoTheta;
      m.d = line.d;
      m.weight = weight(i);
      missing.push_back(m);
    }
    return missing;
  }

  // What the pattern says about a line's spot, asked once a line for all classes.
  double weight(int line) {
    if (weights_[line] < 0) {
      const double w = settings_.absenceWeight ? settings_.absenceWeight(lattice_.lines[line].twoTheta) : 1.0;
      weights_[line] = std::isfinite(w) ? std::clamp(w, 0.0, 1.0) : 1.0;
    }
    return weights_[line];
  }

  template <typename Allowed>
  std::optional<FigureOfMerit> figure(const std::vector<int>& match, const Allowed& allowedLine) const {
    std::vector<IndexedValue> indexed;
    for (std::size_t p = 0; p < match.size(); ++p)
      if (match[p] >= 0)
        indexed.push_back({qOfSpacing(spacingAt(positions_[p], instrument_).value_or(0)),
                           qOfSpacing(lattice_.lines[match[p]].d)});
    std::vector<double> possible;
    for (int i = 0; i < static_cast<int>(lattice_.lines.size()); ++i)
      if (allowedLine(i)) possible.push_back(qOfSpacing(lattice_.lines[i].d));
    auto f = deWolffFigure(indexed, possible, kDeWolffLines);
    if (!f) return std::nullopt;
    return *f;
  }

  const LatticeLines& lattice_;
  const std::vector<double>& positions_;  // degrees 2θ, in the list's order
  const Diffractometer& instrument_;
  const RankSettings& settings_;
  double rangeMin_, rangeMax_, width_;
  std::vector<double> nearestPeak_;  // distance from each line to the nearest peak
  std::vector<double> weights_;      // −1 until asked
};

std::optional<int> catalogueIndex(const GroupCatalogue& catalogue, CrystalSystem system, const std::string& name) {
  for (std::size_t g = 0; g < catalogue.groups.size(); ++g)
    if (catalogue.groups[g].system == system && catalogue.groups[g].name == name) return static_cast<int>(g);
  return std::nullopt;
}

// A peak's strength for comparing it with calculated intensities: its area, else its height.
double peakStrength(const Peak& p, bool useArea) { return useArea ? p.area : p.height; }

StructureCheck checkStructure(const StructureCheckRequest& request, const GroupCatalogue& catalogue, int group,
                              const AllowedLineTable& allowed, const LatticeLines& lattice, Evaluator& evaluator,
                              std::span<const Peak> peaks, const Diffractometer& instrument, int impurities,
                              double rangeMin, double rangeMax) {
  StructureCheck check;
  const SpaceGroup& g = catalogue.groups[group];
  const AllowedReflections test(g);
  // A line's intensity is that of its allowed reflections, each standing for its Friedel pair.
  std::vector<double> intensity(lattice.lines.size(), 0);
  double strongest = 0;
  for (std::size_t i = 0; i < lattice.lines.size(); ++i) {
    const LatticeLine& line = lattice.lines[i];
    const auto theta = braggTheta(instrument.lambda, line.d);
    if (!theta || line.twoTheta < rangeMin || line.twoTheta > rangeMax) continue;
    for (int m = line.first; m < line.first + line.count; ++m) {
      const Miller& hkl = lattice.members[m];
      if (!test(hkl)) continue;
      Reflection r;
      r.h = static_cast<std::int16_t>(hkl.h);
      r.k = static_cast<std::int16_t>(hkl.k);
      r.l = static_cast<std::int16_t>(hkl.l);
      r.d = line.d;
      r.theta = *theta;
      r.multiplicity = 2;
      intensity[i] += request.intensity(r);
    }
    strongest = std::max(strongest, intensity[i]);
  }
  // The strongest peak stands for the strongest line; the weakest peak is the detection limit.
  const bool useArea = std::all_of(peaks.begin(), peaks.end(), [](const Peak& p) { return p.area > 0; });
  double strongestPeak = 0, weakestPeak = kInfinity;
  for (const Peak& p : peaks) {
    strongestPeak = std::max(strongestPeak, peakStrength(p, useArea));
    weakestPeak = std::min(weakestPeak, peakStrength(p, useArea));
  }
  check.detectionLimit = strongestPeak > 0 && weakestPeak > 0 ? 100 * weakestPeak / strongestPeak : 0;
  const Evaluation e = evaluator.evaluate(g, [&](int i) { return allowed.allowed(group, i); });
  for (const MissingLine& m : e.missing) {
    const int line = firstLineFrom(lattice, m.twoTheta);
    const double relative = strongest > 0 ? 100 * intensity[line] / strongest : 0;
    if (relative >= check.detectionLimit) check.strongMissing.push_back(m);
    else ++check.weakMissing;
  }
  check.consistent = static_cast<int>(e.unexplained.size()) <= impurities && check.strongMissing.empty();
  return check;
}

}  // namespace

double rankingWidth(std::span<const Peak> peaks, double fallback) {
  std::vector<double> widths;
  for (const Peak& p : peaks)
    if (p.fwhm > 0 && std::isfinite(p.fwhm)) widths.push_back(p.fwhm);
  if (widths.empty()) return fallback;
  std::nth_element(widths.begin(), widths.begin() + static_cast<long>(widths.size() / 2), widths.end());
  return widths[widths.size() / 2];
}

Result<SpaceGroupRanking> rankSpaceGroups(const GroupCatalogue& catalogue, const Metric& metric,
                                          const Diffractometer& instrument, std::span<const Peak> peaks,
                                          const RankSettings& settings) {
  if (peaks.empty()) return fail("No peaks to rank the space groups against");
  if (!(settings.tolerance > 0) || !std::isfinite(settings.tolerance))
    return fail("The matching tolerance must be above 0 degrees 2theta");
  if (settings.impurities < 0) return fail("The number of impurity peaks cannot be negative");
  if (catalogue.groups.empty()) return fail("No space group to rank");
  auto positions = peakPositions(peaks, instrument.lambda);
  if (!positions) return positions.failure();

  SpaceGroupRanking ranking;
  ranking.notes = catalogue.notes;
  const auto [lowest, highest] = std::minmax_element(positions->begin(), positions->end());
  ranking.rangeMin = settings.rangeMin.value_or(*lowest);
  ranking.rangeMax = settings.rangeMax.value_or(*highest);
  if (!(ranking.rangeMin <= ranking.rangeMax)) return fail("The 2theta range of the ranking is empty");
  ranking.width = settings.width > 0 ? settings.width : rankingWidth(peaks, settings.tolerance);

  // Lines a little beyond the range still explain its last peaks and crowd its last lines.
  const double reach = std::max(settings.tolerance, ranking.width);
  const auto cancelled = [&] { return settings.cancel && *settings.cancel; };
  auto lattice = latticeLines(metric, instrument, std::min(180.0, std::max(ranking.rangeMax, *highest) + 2 * reach),
                              settings.cancel);
  if (!lattice) return lattice.failure();
  const AllowedLineTable allowed = allowedLineTable(catalogue, *lattice, settings.cancel);
  if (cancelled()) return fail(kRankingCancelled);
  // Groups are told apart by every line up to the range's end; those below the range the data
  // do not test, and classes that differ only there tie.
  const int end = firstLineAbove(*lattice, ranking.rangeMax + settings.tolerance);
  const std::vector<ExtinctionClass> classes = extinctionClasses(catalogue, allowed, 0, end);

  Evaluator evaluator(*lattice, *positions, instrument, settings, ranking.rangeMin, ranking.rangeMax, ranking.width);

  std::vector<int> firstGroup;
  for (const ExtinctionClass& c : classes) {
    if (cancelled()) return fail(kRankingCancelled);
    const int g = c.groups.front();
    Evaluation e = evaluator.evaluate(catalogue.groups[g], [&](int i) { return allowed.allowed(g, i); });
    RankedClass r;
    for (int member : c.groups) r.groups.push_back({catalogue.groups[member].system, catalogue.groups[member].name});
    r.symbol = c.symbol;
    r.allowedLines = c.allowedInRange;
    r.ruledOut = static_cast<int>(e.unexplained.size()) > settings.impurities;
    r.score = e.score;
    r.unexplained = std::move(e.unexplained);
    r.missing = std::move(e.missing);
    r.m20 = e.m20;
    ranking.classes.push_back(std::move(r));
    firstGroup.push_back(g);
  }

  std::vector<std::size_t> order(ranking.classes.size());
  std::iota(order.begin(), order.end(), 0);
  const auto key = [&](std::size_t i) {
    const RankedClass& c = ranking.classes[i];
    const std::size_t over = c.ruledOut ? c.unexplained.size() : 0;
    return std::make_tuple(c.ruledOut, over, c.score, c.allowedLines, firstGroup[i]);
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return key(x) < key(y); });
  std::vector<RankedClass> sorted;
  for (std::size_t i : order) sorted.push_back(std::move(ranking.classes[i]));
  ranking.classes = std::move(sorted);
  if (!ranking.classes.front().ruledOut) {
    const double best = ranking.classes.front().score;
    for (const RankedClass& c : ranking.classes)
      if (!c.ruledOut && c.score <= best + kRankTieMargin) ++ranking.tied;
  }

  if (settings.structure) {
    const auto group = catalogueIndex(catalogue, settings.structure->system, settings.structure->group);
    if (!group) {
      ranking.notes.push_back("The structure's group " + settings.structure->group + " is not among the ranked groups");
    } else if (settings.structure->intensity) {
      StructureCheck check = checkStructure(*settings.structure, catalogue, *group, allowed, *lattice, evaluator, peaks,
                                            instrument, settings.impurities, ranking.rangeMin, ranking.rangeMax);
      for (std::size_t i = 0; i < ranking.classes.size(); ++i)
        for (const GroupName& n : ranking.classes[i].groups)
          if (n.system == settings.structure->system && n.name == settings.structure->group)
            check.rankedClass = static_cast<int>(i);
      ranking.structure = std::move(check);
    }
  }
  return ranking;
}

}  // namespace obrin
