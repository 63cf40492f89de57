// The searches behind indexing and what they share: the observed lines as windows of
// Q = 1/d², the families of reciprocal metrics the searches span, the fit of a metric and a
// zero shift to the lines, and the trial metrics a search hands on for refinement.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/reciprocal_metric.hpp"
#include "core/miller.hpp"

namespace obrin::indexing_search {

// The lines a search indexes, by increasing 2θ, and the limits it keeps to.
struct SearchLines {
  std::vector<double> twoTheta;  // degrees, as measured
  double lambda = 0;             // Å
  double tolerance = 0;          // degrees 2θ
  double zeroRange = 0;          // ± degrees 2θ
  int impurities = 0;
  double maxVolume = 0;  // Å³, of the cell searched
  double maxEdge = 0;    // Å, of the cell searched

  int size() const { return static_cast<int>(twoTheta.size()); }
  // Q = 4 sin²θ / λ² of a true 2θ (degrees); 0 outside 0–180.
  double q(double twoTheta) const;
  // dQ/d(2θ) per degree at a true 2θ.
  double slope(double twoTheta) const;
  // The highest Q any line may stand for.
  double top() const;
};

// The metrics a search spans, each linear in its parameters p: Q = Σ p_j t_j(h k l).
enum class Family {
  Cubic,         // A (h² + k² + l²)
  Tetragonal,    // A (h² + k²) + C l²
  Hexagonal,     // A (h² + hk + k²) + C l²
  Orthorhombic,  // A h² + B k² + C l²
  Monoclinic,    // A h² + B k² + C l² + E hl, b unique
  Triclinic      // all six coefficients
};
int parameterCount(Family family);
std::array<double, 6> familyTerms(Family family, const Miller& hkl);
ReciprocalMetric familyMetric(Family family, const std::array<double, 6>& p);
// The family's parameters of a metric of the family (the inverse of familyMetric).
std::array<double, 6> familyParameters(Family family, const ReciprocalMetric& metric);

// Every h k l of one of each Friedel pair whose Q can be up to qTop in a cell (its lengths
// bound the indices): f(h k l) for each.
template <class F>
void forEachIndexUpTo(const UnitCell& cell, double qTop, F&& f) {
  const double r = std::sqrt(qTop);
  const int hMax = static_cast<int>(cell.a * r) + 1, kMax = static_cast<int>(cell.b * r) + 1,
            lMax = static_cast<int>(cell.c * r) + 1;
  for (int h = 0; h <= hMax; ++h)
    for (int k = h == 0 ? 0 : -kMax; k <= kMax; ++k)
      for (int l = (h == 0 && k == 0) ? 1 : -lMax; l <= lMax; ++l) f(Miller{h, k, l});
}

// What a search hands on: a metric of the family and the zero shift it comes with.
struct Trial {
  Family family = Family::Triclinic;
  ReciprocalMetric metric{};
  double zero = 0;    // degrees 2θ
  int unindexed = 0;  // lines left unindexed within the tolerance
  double meanDelta = 0;  // ⟨|Δ2θ|⟩ of the indexed lines
};

// The metric and zero refitted to the lines from a guess: each line given its nearest line of
// the metric within the tolerance, the family's parameters and the zero (when the range is not
// 0, kept within it) fitted by linear least squares in 2θ, repeated while the indexing changes.
// None when the metric is not positive, leaves more lines unindexed than allowed, or the cell
// it becomes is larger than the limits.
std::optional<Trial> fitTrial(Family family, const SearchLines& lines, const ReciprocalMetric& guess, double zero,
                              double windowTolerance);

// How a search reports and stops: progress(share done) returning false cancels it.
struct SearchControl {
  std::function<bool(double)> progress;
  long long maxNodes = 0;
  long long maxWork = 0;  // candidate lines a dichotomy examines in all its boxes
};

struct SearchOutcome {
  std::vector<Trial> trials;
  bool complete = true;
  bool cancelled = false;
  long long nodes = 0;  // boxes of the dichotomy, trial metrics of the trial indexing
  std::optional<double> searchedVolume;  // Å³: where the search stopped below the volume limit
  std::string volumeReason;              // and why
  std::string note;     // why it did not finish
};

// Successive dichotomy (Louër & Louër 1972; Boultif & Louër 1991, 2004) over boxes of the
// family's parameters and the zero shift: every metric of the family within the volume and
// edge limits that indexes all but the allowed impurities of the lines. Not for Triclinic.
SearchOutcome dichotomySearch(Family family, const SearchLines& lines, SearchControl& control);

// Triclinic trial indexing on a reduced reciprocal basis (Ito 1949; Visser 1969; Werner,
// Eriksson & Westdahl 1985): A, B, C from Q of three of the low lines taken as 100, 010, 001,
// then D, E, F from the lines each zone's 011, 101 and 110 may be; every trial refitted.
SearchOutcome trialSearch(const SearchLines& lines, SearchControl& control);

}  // namespace obrin::indexing_search
