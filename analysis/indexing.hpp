// Indexing: the cell of an unknown pattern found from its peak positions alone. Each crystal
// system is searched in turn, from cubic down to triclinic; every candidate is refined with its
// zero shift, reduced to its lattice and ranked by its figures of merit; cells that are another
// candidate's lattice again, or a sub- or super-lattice of a better one, are grouped under it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/cell_refinement.hpp"
#include "analysis/figures_of_merit.hpp"
#include "analysis/peak.hpp"
#include "core/crystal_system.hpp"
#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin {

struct IndexingOptions {
  int lines = kDefaultIndexingLines;            // the first lines by 2θ; at least kMinIndexingLines
  double tolerance = kDefaultIndexingTolerance;  // degrees 2θ
  double maxVolume = kDefaultIndexingMaxVolume;  // Å³, of the cell searched
  int impurities = kDefaultIndexingImpurities;   // lines a solution may leave unindexed
  double zeroRange = kDefaultIndexingZeroRange;  // the zero shift searched, ± degrees 2θ
  std::vector<CrystalSystem> systems;            // empty: every system, cubic to triclinic
  // Each chosen system searched to its end, even once a solution of a higher one indexes the
  // lines well (M20 ≥ kConfidentIndexingM20) and the lower ones could only find its lattice
  // again; the answer's notes say what was left and why when this is false.
  bool exhaustive = false;
  // Called with the share of the work done and the system being searched; returning false
  // cancels the search, which then returns what it found so far as incomplete.
  std::function<bool(double, CrystalSystem)> progress;
};

// A cell related to a solution and grouped under it rather than listed as its rival.
struct RelatedCell {
  enum class Relation { SameLattice, SubCell, SuperCell, Derivative } relation = Relation::SameLattice;
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string lattice;  // Bravais lattice symbol: "cP", "tI", "hR", "mC", "aP", ...
  UnitCell cell;
  double volume = 0;
  double m20 = 0;
};

struct IndexingSolution {
  CrystalSystem system = CrystalSystem::Triclinic;  // conventional setting of the lattice
  char centring = 'P';                              // P, A, B, C, I, F or R
  std::string lattice;                              // "cF", "oC", "mP", "aP", ...
  UnitCell cell, cellSu;                            // conventional cell, refined, with s.u.
  double volume = 0, volumeSu = 0;                  // Å³
  double zero = 0, zeroSu = 0;                      // degrees 2θ
  std::optional<FigureOfMerit> m20, fN;
  int lines = 0;     // lines of the list used
  int indexed = 0;   // of those, indexed by the cell
  UnitCell reduced;  // the Niggli-reduced primitive cell of the lattice
  // The metric of the reduced cell has a higher symmetry than the solution's system within the
  // tolerance of the test: the system it has.
  std::optional<CrystalSystem> higherMetric;
  std::vector<RelatedCell> related;
  CellRefinement refinement;  // every line of the list with its indices and residuals
  bool passes = false;        // M20 ≥ kMinIndexingM20 and no more unindexed lines than allowed
};

struct IndexingResult {
  // What was searched.
  std::vector<CrystalSystem> systems;
  int lines = 0;
  double tolerance = 0, maxVolume = 0, zeroRange = 0;
  int impurities = 0;
  double lambda = 0;
  bool complete = false;  // every system searched to its end: not cancelled, no limit reached
  bool indexed = false;   // the best solution passes
  std::vector<IndexingSolution> solutions;  // best first; when nothing passes, the best tries
  std::vector<std::string> notes;           // what stopped a search, what was left out, and why
};

// The impurity lines a search of so many lines may allow: fewer than half of them.
constexpr int maxIndexingImpurities(int lines) { return lines > 1 ? (lines - 1) / 2 : 0; }

// The peaks' cell at λ (Å). Refused, naming the field, for fewer peaks than kMinIndexingLines,
// limits out of range, or no wavelength; a search that finds nothing is not a refusal: the
// result says so.
Result<IndexingResult> indexPattern(const PeakList& peaks, double lambda, const IndexingOptions& options = {});

}  // namespace obrin
