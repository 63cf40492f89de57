#include "analysis/indexing.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "analysis/indexing_groups.hpp"
#include "analysis/indexing_search.hpp"
#include "analysis/lattice_reduction.hpp"
#include "analysis/reciprocal_metric.hpp"
#include "core/shortest.hpp"

namespace obrin {

namespace {

using indexing_search::Family;
using indexing_search::SearchLines;
using indexing_search::Trial;

constexpr double kRad = 3.14159265358979323846 / 180;
// A higher-symmetry description of the same lattice is preferred while its M20 is at least
// this share of the lower one's: the lower one fits the same lines with more parameters.
constexpr double kSameLatticeShare = 0.7;
// Trials of one search refined, the best by their indexing first.
constexpr int kMaxRefinedTrials = 400;

constexpr std::array<CrystalSystem, kSystemCount> kAllSystems = {
    CrystalSystem::Cubic,        CrystalSystem::Tetragonal, CrystalSystem::Hexagonal, CrystalSystem::Rhombohedral,
    CrystalSystem::Orthorhombic, CrystalSystem::Monoclinic, CrystalSystem::Triclinic};

std::string formatLimit(double x) {
  char text[kShortestRoom];
  return std::string(text, writeShortest(text, x));
}

// The order of the lattice's point group: how much symmetry a lattice of the system has.
int holohedryOrder(CrystalSystem s) {
  switch (s) {
    case CrystalSystem::Cubic: return 48;
    case CrystalSystem::Hexagonal: return 24;
    case CrystalSystem::Tetragonal: return 16;
    case CrystalSystem::Rhombohedral: return 12;
    case CrystalSystem::Orthorhombic: return 8;
    case CrystalSystem::Monoclinic: return 4;
    case CrystalSystem::Triclinic: return 2;
  }
  return 0;
}

char systemLetter(CrystalSystem s) {
  switch (s) {
    case CrystalSystem::Cubic: return 'c';
    case CrystalSystem::Tetragonal: return 't';
    case CrystalSystem::Orthorhombic: return 'o';
    case CrystalSystem::Hexagonal:
    case CrystalSystem::Rhombohedral: return 'h';
    case CrystalSystem::Monoclinic: return 'm';
    case CrystalSystem::Triclinic: return 'a';
  }
  return 'a';
}

// "cF", "oC" (A, B and C centrings alike), "mC" (A, C and I alike), "hR", ...
std::string latticeSymbol(CrystalSystem s, char centring) {
  char c = centring;
  if ((s == CrystalSystem::Orthorhombic && (c == 'A' || c == 'B')) || (s == CrystalSystem::Monoclinic && c != 'P'))
    c = 'C';
  return std::string{systemLetter(s), c};
}

Family familyOf(CrystalSystem s) {
  switch (s) {
    case CrystalSystem::Cubic: return Family::Cubic;
    case CrystalSystem::Tetragonal: return Family::Tetragonal;
    case CrystalSystem::Hexagonal:
    case CrystalSystem::Rhombohedral: return Family::Hexagonal;
    case CrystalSystem::Orthorhombic: return Family::Orthorhombic;
    case CrystalSystem::Monoclinic: return Family::Monoclinic;
    case CrystalSystem::Triclinic: return Family::Triclinic;
  }
  return Family::Triclinic;
}

// Share of the whole work each family's search takes, roughly.
double familyWeight(Family f) {
  switch (f) {
    case Family::Cubic: return 0.01;
    case Family::Tetragonal:
    case Family::Hexagonal: return 0.03;
    case Family::Orthorhombic: return 0.08;
    case Family::Monoclinic: return 0.35;
    case Family::Triclinic: return 0.5;
  }
  return 0;
}

Result<void> checkOptions(const PeakList& peaks, double lambda, const IndexingOptions& o) {
  if (!(lambda > 0) || !std::isfinite(lambda)) return fail("Indexing needs a wavelength: lambda must be a positive number");
  if (o.lines < kMinIndexingLines || o.lines > kMaxIndexingLines)
    return fail("lines must be between " + std::to_string(kMinIndexingLines) + " and " +
                std::to_string(kMaxIndexingLines));
  if (!(o.tolerance > 0 && o.tolerance <= kMaxIndexingTolerance))
    return fail("tolerance must be above 0 and at most " + formatLimit(kMaxIndexingTolerance) + " degrees 2theta");
  if (!(o.maxVolume > 0 && o.maxVolume <= kMaxIndexingVolume))
    return fail("max-volume must be above 0 and at most " + formatLimit(kMaxIndexingVolume) + " A^3");
  if (o.impurities < 0 || o.impurities > maxIndexingImpurities(o.lines))
    return fail("impurities must be between 0 and " + std::to_string(maxIndexingImpurities(o.lines)) +
                " (fewer than half the lines used)");
  if (!(o.zeroRange >= 0 && o.zeroRange <= kMaxIndexingZeroRange))
    return fail("zero-range must be between 0 and " + formatLimit(kMaxIndexingZeroRange) + " degrees 2theta");
  if (static_cast<int>(peaks.peaks.size()) < kMinIndexingLines)
    return fail("Indexing needs at least " + std::to_string(kMinIndexingLines) + " peaks; the list has " +
                std::to_string(peaks.peaks.size()));
  return {};
}

// The first lines of the list by 2θ (from d where only d is given), as the search and the
// refinement take them.
Result<PeakList> firstLines(const PeakList& peaks, double lambda, int count) {
  PeakList used = peaks;
  used.notes.clear();
  for (std::size_t i = 0; i < used.peaks.size(); ++i) {
    Peak& p = used.peaks[i];
    if (!(p.twoTheta > 0) && p.d > 0) {
      const double s = lambda / (2 * p.d);
      p.twoTheta = s < 1 ? 2 * std::asin(s) / kRad : 0;
    }
    if (!(p.twoTheta > 0 && p.twoTheta < 180) || !std::isfinite(p.twoTheta))
      return fail("Peak " + std::to_string(i + 1) + " has no position between 0 and 180 degrees 2theta");
  }
  std::sort(used.peaks.begin(), used.peaks.end(), [](const Peak& a, const Peak& b) { return a.twoTheta < b.twoTheta; });
  if (static_cast<int>(used.peaks.size()) > count) used.peaks.resize(count);
  used.wavelength = lambda;
  return used;
}

// a, c on hexagonal axes (obverse) as the rhombohedral cell a, α.
UnitCell rhombohedralAxes(const UnitCell& hex) {
  const double r = std::sqrt(3 * hex.a * hex.a + hex.c * hex.c);
  const double alpha = 2 * std::asin(std::min(1.0, 1.5 * hex.a / r)) / kRad;
  return {r / 3, r / 3, r / 3, alpha, alpha, alpha};
}

class Indexer {
 public:
  Indexer(const PeakList& used, double lambda, const IndexingOptions& options, std::vector<CrystalSystem> systems)
      : used_(used), lambda_(lambda), options_(options), systems_(std::move(systems)) {
    lines_.lambda = lambda;
    lines_.tolerance = options.tolerance;
    lines_.zeroRange = options.zeroRange;
    lines_.impurities = options.impurities;
    lines_.maxVolume = options.maxVolume;
    lines_.maxEdge = kMaxIndexingEdge;
    for (const Peak& p : used.peaks) lines_.twoTheta.push_back(p.twoTheta);
  }

  IndexingResult run() {
    IndexingResult result;
    result.systems = systems_;
    result.lines = lines_.size();
    result.tolerance = options_.tolerance;
    result.maxVolume = options_.maxVolume;
    result.zeroRange = options_.zeroRange;
    result.impurities = options_.impurities;
    result.lambda = lambda_;
    result.complete = true;
    for (CrystalSystem s : systems_)
      if (std::find(families_.begin(), families_.end(), familyOf(s)) == families_.end()) families_.push_back(familyOf(s));
    for (Family f : families_) totalWeight_ += familyWeight(f);
    const bool triclinicToo = std::find(families_.begin(), families_.end(), Family::Triclinic) != families_.end();
    for (Family f : families_) {
      if (const IndexingSolution* found = confidentSolution(holohedryOrder(systemOf(f))); found && stopsEarly()) {
        result.notes.push_back(std::string(systemName(reportedSystem(f))) + " and lower systems not searched: the " +
                               std::string(systemName(found->system)) + " cell already indexes the lines with M20 = " +
                               figureText(*found));
        break;
      }
      if (f == Family::Triclinic && searched(Family::Triclinic)) continue;
      // The triclinic trials take a moment where the orthorhombic dichotomy may take many, and
      // tell which systems are worth it.
      if (f == Family::Orthorhombic && triclinicToo && !search(Family::Triclinic, result)) break;
      if (auto why = notWorthSearching(f)) {
        result.notes.push_back(*why);
        continue;
      }
      const double fullVolume = lines_.maxVolume;
      if (auto limit = monoclinicVolumeLimit(f)) {
        lines_.maxVolume = limit->first;
        result.notes.push_back(limit->second);
      }
      const bool going = search(f, result);
      lines_.maxVolume = fullVolume;
      if (!going) break;
    }
    std::erase_if(result.systems, [&](CrystalSystem s) { return !searched(familyOf(s)); });
    result.solutions = groupSolutions(std::move(solutions_));
    if (static_cast<int>(result.solutions.size()) > kMaxIndexingSolutions) {
      result.notes.push_back(std::to_string(result.solutions.size() - kMaxIndexingSolutions) +
                             " further cells are not listed");
      result.solutions.resize(kMaxIndexingSolutions);
    }
    result.indexed = !result.solutions.empty() && result.solutions.front().passes;
    if (!result.indexed)
      result.notes.push_back("Not indexed: no cell has M20 of at least " + formatLimit(kMinIndexingM20) +
                             " with at most " + std::to_string(options_.impurities) + " unindexed lines" +
                             (result.solutions.empty() ? "; no cell came near" : "; the best tries are listed"));
    return result;
  }

 private:
  // One system's search, its trials refined into the solutions; false when it was cancelled.
  bool search(Family f, IndexingResult& result) {
    searched_.push_back(f);
    const double weight = familyWeight(f) / totalWeight_;
    const CrystalSystem shown = reportedSystem(f);
    indexing_search::SearchControl control;
    control.maxNodes = kMaxIndexingNodes;
    control.maxWork = kMaxIndexingWork;
    control.progress = [&](double share) {
      return !options_.progress || options_.progress(done_ + weight * share, shown);
    };
    auto outcome = f == Family::Triclinic ? indexing_search::trialSearch(lines_, control)
                                          : indexing_search::dichotomySearch(f, lines_, control);
    done_ += weight;
    refineTrials(outcome.trials);
    if (outcome.searchedVolume)
      result.notes.push_back(std::string(systemName(shown)) + " cells searched up to " +
                             formatLimit(*outcome.searchedVolume) + " A^3: " + outcome.volumeReason);
    if (!outcome.complete) {
      result.complete = false;
      result.notes.push_back(std::string(systemName(shown)) + " search " + outcome.note);
    }
    return !outcome.cancelled;
  }

  bool searched(Family f) const { return std::find(searched_.begin(), searched_.end(), f) != searched_.end(); }
  bool stopsEarly() const { return !options_.exhaustive; }

  // The triclinic cell that indexes the lines well, once the triclinic trials have run.
  const IndexingSolution* confidentTriclinic() const {
    const IndexingSolution* found = confidentSolution(0);
    return found && searched(Family::Triclinic) && found->system == CrystalSystem::Triclinic ? found : nullptr;
  }

  // Once a triclinic cell indexes the lines well and its lattice is monoclinic or triclinic,
  // the orthorhombic system is not searched. (The monoclinic one still is: the triclinic
  // trials may have found a super-cell where a base line is missing.)
  std::optional<std::string> notWorthSearching(Family f) const {
    const IndexingSolution* found = confidentTriclinic();
    if (f != Family::Orthorhombic || !found || !stopsEarly()) return std::nullopt;
    const CrystalSystem metric = found->higherMetric.value_or(CrystalSystem::Triclinic);
    if (holohedryOrder(metric) >= holohedryOrder(CrystalSystem::Orthorhombic)) return std::nullopt;
    return std::string(systemName(CrystalSystem::Orthorhombic)) + " not searched: a triclinic cell indexes the lines with M20 = " +
           figureText(*found) + " and its lattice is " + std::string(systemName(metric));
  }

  // Past a triclinic cell whose lattice has no twofold axis, a monoclinic cell could only do
  // better as that lattice or one of its sub-lattices: its cell, C-centred at most, is no
  // larger than twice the triclinic one. The volume searched, and the note that says so.
  std::optional<std::pair<double, std::string>> monoclinicVolumeLimit(Family f) const {
    const IndexingSolution* found = confidentTriclinic();
    if (f != Family::Monoclinic || !found || !stopsEarly() || found->higherMetric || 2 * found->volume >= lines_.maxVolume)
      return std::nullopt;
    const double limit = 2 * found->volume;
    return std::pair{limit, "Monoclinic cells searched up to " + formatLimit(std::round(limit)) +
                                " A^3, twice the volume of the triclinic cell that indexes the lines with M20 = " +
                                figureText(*found)};
  }

  static std::string figureText(const IndexingSolution& s) { return formatLimit(std::round(s.m20->value * 10) / 10); }

  // A passing solution, of a system whose lattice has more symmetry than the order given, good enough that the lower
  // systems, which would find its lattice again, need not be searched unless the user asked for
  // them.
  const IndexingSolution* confidentSolution(int aboveOrder) const {
    const IndexingSolution* best = nullptr;
    for (const IndexingSolution& s : solutions_)
      if (holohedryOrder(s.system) > aboveOrder && s.passes && s.m20->value >= kConfidentIndexingM20 && (!best || s.m20->value > best->m20->value)) best = &s;
    return best;
  }

  bool wanted(CrystalSystem s) const { return std::find(systems_.begin(), systems_.end(), s) != systems_.end(); }

  CrystalSystem reportedSystem(Family f) const {
    for (CrystalSystem s : systems_)
      if (familyOf(s) == f) return s;
    return CrystalSystem::Triclinic;
  }

  void refineTrials(std::vector<Trial> trials) {
    std::sort(trials.begin(), trials.end(), [](const Trial& a, const Trial& b) {
      return std::tie(a.unindexed, a.meanDelta) < std::tie(b.unindexed, b.meanDelta);
    });
    if (static_cast<int>(trials.size()) > kMaxRefinedTrials) trials.resize(kMaxRefinedTrials);
    for (const Trial& t : trials) {
      auto cell = cellFromReciprocalMetric(t.metric);
      if (!cell) continue;
      if (t.family == Family::Hexagonal) {
        if (wanted(CrystalSystem::Hexagonal)) keep(solve(CrystalSystem::Hexagonal, *cell, t.zero));
        if (wanted(CrystalSystem::Rhombohedral)) keep(rhombohedral(*cell, t.zero));
      } else {
        keep(solve(systemOf(t.family), *cell, t.zero));
      }
    }
  }

  static CrystalSystem systemOf(Family f) {
    switch (f) {
      case Family::Cubic: return CrystalSystem::Cubic;
      case Family::Tetragonal: return CrystalSystem::Tetragonal;
      case Family::Hexagonal: return CrystalSystem::Hexagonal;
      case Family::Orthorhombic: return CrystalSystem::Orthorhombic;
      case Family::Monoclinic: return CrystalSystem::Monoclinic;
      case Family::Triclinic: return CrystalSystem::Triclinic;
    }
    return CrystalSystem::Triclinic;
  }

  void keep(std::optional<IndexingSolution> s) {
    if (s) solutions_.push_back(std::move(*s));
  }

  std::optional<CellRefinement> refine(CrystalSystem system, char centring, const UnitCell& start, double zero) const {
    auto group = holohedryGroup(system, centring);
    if (!group) return std::nullopt;
    RefinementOptions ro;
    ro.tolerance = options_.tolerance;
    ro.refineZero = options_.zeroRange > 0;
    ro.zero = zero;
    auto r = refineCell(used_, system, applySystemRules(system, start), **group, lambda_, ro);
    if (!r || std::abs(r->zero) > options_.zeroRange + options_.tolerance || !r->m20) return std::nullopt;
    if (r->unindexed > options_.impurities + 2 || cellVolume(r->cell) > options_.maxVolume * 1.01) return std::nullopt;
    return std::move(*r);
  }

  // The trial refined with the lattice's P cell and each centring of the system; a centring
  // is taken when it indexes as many lines and raises M20.
  std::optional<IndexingSolution> solve(CrystalSystem system, const UnitCell& start, double zero) const {
    auto best = refine(system, 'P', start, zero);
    if (!best) return std::nullopt;
    char centring = 'P';
    const int unindexed = best->unindexed;
    for (char c : latticeCentrings(system)) {
      if (system == CrystalSystem::Hexagonal) break;  // R is a lattice of its own
      auto r = refine(system, c, best->cell, best->zero);
      if (r && r->unindexed <= unindexed && r->m20->value > best->m20->value) {
        best = std::move(r);
        centring = c;
      }
    }
    toConventional(system, centring, best);
    return solution(system, centring, std::move(*best));
  }

  // The cell in the conventional setting of its Bravais lattice (mC for an I- or A-centred
  // monoclinic cell, oC for an A-centred one, a ≤ b ≤ c), refined again there.
  void toConventional(CrystalSystem system, char& centring, std::optional<CellRefinement>& r) const {
    const auto primitive = primitiveCell(r->cell, centring);
    const auto reduced = primitive ? niggliCell(*primitive) : Result<UnitCell>(fail("no primitive cell"));
    const auto lattice = reduced ? bravaisLattice(*reduced) : Result<BravaisLattice>(fail("no lattice"));
    if (!lattice || lattice->system != system) return;
    auto again = refine(system, lattice->centring, lattice->conventional, r->zero);
    if (again && again->unindexed <= r->unindexed) {
      r = std::move(again);
      centring = lattice->centring;
    }
  }

  std::optional<IndexingSolution> rhombohedral(const UnitCell& hex, double zero) const {
    auto p = refine(CrystalSystem::Hexagonal, 'P', hex, zero);
    if (!p) return std::nullopt;
    auto r = refine(CrystalSystem::Hexagonal, 'R', p->cell, p->zero);
    if (!r || r->unindexed > p->unindexed) return std::nullopt;
    auto rh = refine(CrystalSystem::Rhombohedral, 'P', rhombohedralAxes(r->cell), r->zero);
    if (!rh) return std::nullopt;
    return solution(CrystalSystem::Rhombohedral, 'R', std::move(*rh));
  }

  IndexingSolution solution(CrystalSystem system, char centring, CellRefinement r) const {
    IndexingSolution s;
    s.system = system;
    s.centring = centring;
    s.lattice = latticeSymbol(system, centring);
    s.cell = r.cell;
    s.cellSu = r.cellSu;
    s.volume = r.volume;
    s.volumeSu = r.volumeSu;
    s.zero = r.zero;
    s.zeroSu = r.zeroSu;
    s.m20 = r.m20;
    s.fN = r.fN;
    s.lines = static_cast<int>(r.lines.size());
    s.indexed = s.lines - r.unindexed;
    const auto primitive = primitiveCell(r.cell, system == CrystalSystem::Rhombohedral ? 'P' : centring);
    const auto reduced = primitive ? niggliCell(*primitive) : Result<UnitCell>(fail("no primitive cell"));
    if (reduced) {
      s.reduced = *reduced;
      if (auto bl = bravaisLattice(*reduced); bl && holohedryOrder(bl->system) > holohedryOrder(system))
        s.higherMetric = bl->system;
    } else {
      s.reduced = r.cell;
    }
    // A cell with many times more lines than peaks explains any list, random ones too, with
    // an M20 above the threshold: it does not pass however high its figure.
    s.passes = s.m20 && s.m20->value >= kMinIndexingM20 && r.unindexed <= options_.impurities &&
               s.m20->possible <= kMaxIndexingLinesPerPeak * s.m20->lines;
    s.refinement = std::move(r);
    return s;
  }

  static bool better(const IndexingSolution& a, const IndexingSolution& b) {
    if (a.passes != b.passes) return a.passes;
    return a.m20->value > b.m20->value;
  }

  static RelatedCell relatedOf(const IndexingSolution& s, RelatedCell::Relation relation) {
    RelatedCell r;
    r.relation = relation;
    r.system = s.system;
    r.lattice = s.lattice;
    r.cell = s.cell;
    r.volume = s.volume;
    r.m20 = s.m20->value;
    return r;
  }

  // Descriptions of one lattice folded into the one of highest symmetry that fits nearly as
  // well, then sub- and super-lattices of a better solution grouped under it.
  static std::vector<IndexingSolution> groupSolutions(std::vector<IndexingSolution> all) {
    std::sort(all.begin(), all.end(), better);
    std::vector<IndexingSolution> kept;
    for (IndexingSolution& s : all) {
      auto same = std::find_if(kept.begin(), kept.end(), [&](const IndexingSolution& k) {
        return latticeRelation(k.reduced, s.reduced).kind == LatticeRelation::Kind::Same;
      });
      if (same == kept.end()) {
        kept.push_back(std::move(s));
        continue;
      }
      if (holohedryOrder(s.system) > holohedryOrder(same->system) && s.passes == same->passes &&
          s.m20->value >= kSameLatticeShare * same->m20->value) {
        std::vector<RelatedCell> related = std::move(same->related);
        related.push_back(relatedOf(*same, RelatedCell::Relation::SameLattice));
        *same = std::move(s);
        same->related.insert(same->related.begin(), related.begin(), related.end());
      } else if (same->related.size() < kMaxIndexingSolutions) {
        same->related.push_back(relatedOf(s, RelatedCell::Relation::SameLattice));
      }
    }
    std::sort(kept.begin(), kept.end(), better);
    std::vector<IndexingSolution> out;
    for (IndexingSolution& s : kept) {
      std::optional<RelatedCell::Relation> relation;
      IndexingSolution* parent = nullptr;
      for (IndexingSolution& k : out) {
        relation = relationTo(k, s);
        if (relation) {
          parent = &k;
          break;
        }
      }
      if (!parent) {
        out.push_back(std::move(s));
      } else if (parent->related.size() < kMaxIndexingSolutions) {
        parent->related.push_back(relatedOf(s, *relation));
      }
    }
    return out;
  }

  // How a worse solution stands to a better one: a sub- or super-lattice of it, or a larger
  // cell that indexes every line it indexes (a derivative lattice, whose lines include the
  // better one's, as the cubic cells a√2 and a√3 do those of a face-centred cube).
  static std::optional<RelatedCell::Relation> relationTo(const IndexingSolution& better, const IndexingSolution& s) {
    const auto rel = latticeRelation(better.reduced, s.reduced);
    if (rel.kind == LatticeRelation::Kind::BInA) return RelatedCell::Relation::SuperCell;
    if (rel.kind == LatticeRelation::Kind::AInB) return RelatedCell::Relation::SubCell;
    if (cellVolume(s.reduced) > cellVolume(better.reduced) && indexesAllOf(s, better))
      return RelatedCell::Relation::Derivative;
    return std::nullopt;
  }

  static bool indexesAllOf(const IndexingSolution& s, const IndexingSolution& other) {
    const auto& a = s.refinement.lines;
    const auto& b = other.refinement.lines;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (b[i].indexed && !a[i].indexed) return false;
    return true;
  }

  const PeakList& used_;
  double lambda_;
  const IndexingOptions& options_;
  std::vector<CrystalSystem> systems_;
  SearchLines lines_;
  std::vector<Family> families_, searched_;
  double totalWeight_ = 0, done_ = 0;  // of the progress
  std::vector<IndexingSolution> solutions_;
};

}  // namespace

Result<IndexingResult> indexPattern(const PeakList& peaks, double lambda, const IndexingOptions& options) {
  if (auto ok = checkOptions(peaks, lambda, options); !ok) return ok.failure();
  auto used = firstLines(peaks, lambda, options.lines);
  if (!used) return used.failure();
  std::vector<CrystalSystem> systems;
  for (CrystalSystem s : kAllSystems)
    if (options.systems.empty() || std::find(options.systems.begin(), options.systems.end(), s) != options.systems.end())
      systems.push_back(s);
  return Indexer(*used, lambda, options, systems).run();
}

}  // namespace obrin
