// Successive dichotomy (Louër & Louër 1972, J. Appl. Cryst. 5, 271; Boultif & Louër 1991,
// J. Appl. Cryst. 24, 987, and 2004, 37, 724), on the reciprocal coefficients rather than the
// direct lengths: Q is linear in them, so the range of Q a line's indices can take over a box
// of coefficients is exact, and a box whose ranges miss more lines than the impurities allowed
// holds no solution. Boxes are halved until every range is narrower than the tolerance, and
// the metric at the centre of each box left is refitted to the lines.
#include <algorithm>
#include <cmath>

#include "analysis/indexing_search.hpp"
#include "core/limits.hpp"

namespace obrin::indexing_search {

namespace {

constexpr int kMaxParameters = 4;
constexpr int kMaxDepth = 200;
constexpr long long kProgressEvery = 1 << 14;

using Terms = std::array<double, kMaxParameters>;

struct Box {
  std::array<double, kMaxParameters> lo{}, hi{};
  double zlo = 0, zhi = 0;
};

class Dichotomy {
 public:
  Dichotomy(Family family, const SearchLines& lines, SearchControl& control)
      : family_(family), n_(parameterCount(family)), lines_(lines), control_(control) {
    for (int i = 0; i < lines.size(); ++i) {
      const double tt = lines.twoTheta[i];
      window_.push_back(lines.q(tt + lines.tolerance) - lines.q(tt - lines.tolerance));
    }
  }

  // Volume shells one after the other (Boultif & Louër 2004): the search stops after the first
  // shell holding solutions, so that the super-cells of a solution, which index every line it
  // does, are not searched for.
  SearchOutcome run() {
    Box root = rootBox();
    enumerateTerms(root);
    std::vector<int> offsets(lines_.size() + 1, 0), candidates;
    for (int i = 0; i < lines_.size(); ++i) {
      const auto [wlo, whi] = windowOf(i, root);
      for (int t = 0; t < static_cast<int>(terms_.size()); ++t)
        if (overlaps(terms_[t], root, wlo, whi)) candidates.push_back(t);
      offsets[i + 1] = static_cast<int>(candidates.size());
    }
    std::vector<int> below(terms_.size());
    for (int t = 0; t < static_cast<int>(terms_.size()); ++t) below[t] = t;
    const int shells = std::max(1, static_cast<int>(std::ceil(lines_.maxVolume / kIndexingVolumeShell)));
    int lastShell = shells - 1;
    for (int shell = 0; shell <= lastShell && outcome_.complete; ++shell) {
      shellLow_ = shell * kIndexingVolumeShell;
      shellHigh_ = std::min(lines_.maxVolume, (shell + 1) * kIndexingVolumeShell);
      if (expectedLines(shellLow_) > allowedLines()) {
        outcome_.searchedVolume = shellLow_;
        outcome_.volumeReason = "larger cells have more lines below the last peak than a solution can";
        break;
      }
      shareBase_ = double(shell) / shells;
      shareScale_ = 1.0 / shells;
      done_ = 0;
      explore(root, offsets, candidates, below, 0);
      if (!outcome_.trials.empty() && shell < shells - 1 && lastShell == shells - 1) {
        lastShell = shell;
        outcome_.searchedVolume = shellHigh_;
        outcome_.volumeReason = "larger cells would be super-cells of the cells found";
      }
    }
    if (outcome_.complete) report(1.0);
    return std::move(outcome_);
  }

 private:
  Box rootBox() const {
    Box b;
    const double lo = 1 / (lines_.maxEdge * lines_.maxEdge), top = lines_.top();
    for (int j = 0; j < n_; ++j) {
      b.lo[j] = lo;
      b.hi[j] = top;
    }
    // Hexagonal A = 4 / (3 a²).
    if (family_ == Family::Hexagonal) b.lo[0] = 4 * lo / 3;
    // Monoclinic E = 2 a* c* cos β*: on a reduced a*, c* pair 0 ≤ E ≤ C ≤ A.
    if (family_ == Family::Monoclinic) b.lo[3] = 0;
    b.zlo = -lines_.zeroRange;
    b.zhi = lines_.zeroRange;
    return b;
  }

  // Every set of terms whose Q may fall below the top line somewhere in the root box.
  void enumerateTerms(const Box& root) {
    const double top = lines_.top();
    // On the reduced a*, c* pair of the monoclinic family, A h² + C l² + E hl ≥ (A h² + C l²) / 2.
    const double slack = family_ == Family::Monoclinic ? 2 : 1;
    auto limit = [&](int j) { return static_cast<int>(std::sqrt(slack * top / root.lo[j])) + 1; };
    auto keep = [&](const Miller& m) {
      const auto t6 = familyTerms(family_, m);
      Terms t{};
      std::copy_n(t6.begin(), n_, t.begin());
      terms_.push_back(t);
    };
    switch (family_) {
      case Family::Cubic:
        for (int s = 1; s <= limit(0) * limit(0); ++s)
          if (sumOfThreeSquares(s)) terms_.push_back({double(s)});
        break;
      case Family::Tetragonal:
      case Family::Hexagonal: {
        std::vector<int> seen;
        const int hMax = limit(0), lMax = limit(1);
        for (int h = 0; h <= hMax; ++h)
          for (int k = family_ == Family::Tetragonal ? 0 : -h; k <= h; ++k) {
            const int s = family_ == Family::Tetragonal ? h * h + k * k : h * h + h * k + k * k;
            if (s > hMax * hMax || std::find(seen.begin(), seen.end(), s) != seen.end()) continue;
            seen.push_back(s);
            for (int l = 0; l <= lMax; ++l)
              if (s + l > 0) terms_.push_back({double(s), double(l * l)});
          }
        break;
      }
      case Family::Orthorhombic:
        for (int h = 0; h <= limit(0); ++h)
          for (int k = 0; k <= limit(1); ++k)
            for (int l = 0; l <= limit(2); ++l)
              if (h + k + l > 0) keep({h, k, l});
        break;
      case Family::Monoclinic:
        for (int h = 0; h <= limit(0); ++h)
          for (int k = 0; k <= limit(1); ++k)
            for (int l = h == 0 ? 0 : -limit(2); l <= limit(2); ++l)
              if (h + k + std::abs(l) > 0) keep({h, k, l});
        break;
      case Family::Triclinic: break;
    }
  }

  // Distinct lines up to the last peak of a cell of the family of this volume: the reciprocal
  // lattice points in the sphere, (4π/3) Q^{3/2} V, halved by Friedel's law and divided by the
  // lines the family's symmetry makes equal.
  double expectedLines(double volume) const {
    const double q = lines_.q(lines_.twoTheta.back() - lines_.zeroRange);
    return 2.0 / 3 * 3.14159265358979323846 * std::pow(q, 1.5) * volume / equalLines();
  }

  // The lines of the family's primitive cell a solution may have: the centred lattices the
  // search finds as their conventional cells have up to so many times fewer lines.
  double allowedLines() const {
    const double centring = family_ == Family::Cubic || family_ == Family::Orthorhombic ? 4
                            : family_ == Family::Hexagonal                              ? 3
                            : family_ == Family::Triclinic                              ? 1
                                                                                        : 2;
    return centring * kMaxIndexingLinesPerPeak * lines_.size();
  }

  double equalLines() const {
    switch (family_) {
      case Family::Cubic: return 24;
      case Family::Hexagonal: return 12;
      case Family::Tetragonal: return 8;
      case Family::Orthorhombic: return 4;
      case Family::Monoclinic: return 2;
      case Family::Triclinic: return 1;
    }
    return 1;
  }

  static bool sumOfThreeSquares(int s) {  // Legendre: not of the form 4^a (8b + 7)
    while (s % 4 == 0) s /= 4;
    return s % 8 != 7;
  }

  std::pair<double, double> windowOf(int i, const Box& b) const {
    const double tt = lines_.twoTheta[i];
    return {lines_.q(tt - b.zhi - lines_.tolerance), lines_.q(tt - b.zlo + lines_.tolerance)};
  }

  std::pair<double, double> rangeOf(const Terms& t, const Box& b) const {
    double lo = 0, hi = 0;
    for (int j = 0; j < n_; ++j) {
      lo += t[j] >= 0 ? b.lo[j] * t[j] : b.hi[j] * t[j];
      hi += t[j] >= 0 ? b.hi[j] * t[j] : b.lo[j] * t[j];
    }
    return {lo, hi};
  }

  bool overlaps(const Terms& t, const Box& b, double wlo, double whi) const {
    const auto [lo, hi] = rangeOf(t, b);
    return lo <= whi && hi >= wlo;
  }

  // The family's own order of the axes, and the volume limit: false when the box holds no
  // metric the search wants.
  bool tighten(Box& b) const {
    if (family_ == Family::Orthorhombic) {  // A ≥ B ≥ C: a ≤ b ≤ c
      b.hi[1] = std::min(b.hi[1], b.hi[0]);
      b.hi[2] = std::min(b.hi[2], b.hi[1]);
      b.lo[0] = std::max(b.lo[0], b.lo[1]);
      b.lo[1] = std::max(b.lo[1], b.lo[2]);
    }
    if (family_ == Family::Monoclinic) {  // 0 ≤ E ≤ C ≤ A
      b.hi[2] = std::min(b.hi[2], b.hi[0]);
      b.lo[0] = std::max(b.lo[0], b.lo[2]);
      b.hi[3] = std::min(b.hi[3], b.hi[2]);
    }
    for (int j = 0; j < n_; ++j)
      if (b.lo[j] > b.hi[j]) return false;
    return largestReciprocalVolumeSquared(b) * shellHigh_ * shellHigh_ >= 1 &&
           (shellLow_ <= 0 || smallestReciprocalVolumeSquared(b) * shellLow_ * shellLow_ <= 1);
  }

  // V*² of the family's metric is largest at the upper corner (E at its lower bound).
  double largestReciprocalVolumeSquared(const Box& b) const {
    switch (family_) {
      case Family::Cubic: return b.hi[0] * b.hi[0] * b.hi[0];
      case Family::Tetragonal: return b.hi[0] * b.hi[0] * b.hi[1];
      case Family::Hexagonal: return 0.75 * b.hi[0] * b.hi[0] * b.hi[1];
      case Family::Orthorhombic: return b.hi[0] * b.hi[1] * b.hi[2];
      case Family::Monoclinic: return b.hi[1] * (b.hi[0] * b.hi[2] - b.lo[3] * b.lo[3] / 4);
      case Family::Triclinic: return 0;
    }
    return 0;
  }

  // V*² is smallest at the lower corner (E at its upper bound).
  double smallestReciprocalVolumeSquared(const Box& b) const {
    switch (family_) {
      case Family::Cubic: return b.lo[0] * b.lo[0] * b.lo[0];
      case Family::Tetragonal: return b.lo[0] * b.lo[0] * b.lo[1];
      case Family::Hexagonal: return 0.75 * b.lo[0] * b.lo[0] * b.lo[1];
      case Family::Orthorhombic: return b.lo[0] * b.lo[1] * b.lo[2];
      case Family::Monoclinic: return b.lo[1] * std::max(0.0, b.lo[0] * b.lo[2] - b.hi[3] * b.hi[3] / 4);
      case Family::Triclinic: return 0;
    }
    return 0;
  }

  void explore(Box box, const std::vector<int>& offsets, const std::vector<int>& candidates,
               const std::vector<int>& below, int depth) {
    if (outcome_.cancelled || !outcome_.complete) return;
    if (++outcome_.nodes % kProgressEvery == 0 && !report(shareBase_ + shareScale_ * done_)) return;
    work_ += static_cast<long long>(below.size() + candidates.size());
    if ((control_.maxNodes > 0 && outcome_.nodes >= control_.maxNodes) || (control_.maxWork > 0 && work_ >= control_.maxWork)) {
      outcome_.complete = false;
      outcome_.note = "stopped after " + std::to_string(outcome_.nodes) + " boxes, in the cells of " +
                      std::to_string(int(shellLow_)) + " to " + std::to_string(int(shellHigh_)) + " A^3";
      return;
    }
    const double share = std::ldexp(1.0, -depth);
    if (!tighten(box)) {
      done_ += share;
      return;
    }
    // A box whose cells all put more lines below the last one than a cell that passes can have
    // holds none: the large cells that index any list.
    std::vector<int> childBelow;
    if (!fewEnoughLines(box, below, childBelow)) {
      done_ += share;
      return;
    }
    // The candidates of each line that remain possible in this box.
    std::vector<int> childOffsets(offsets.size(), 0), childCandidates;
    childCandidates.reserve(candidates.size());
    int missed = 0;
    double worst = 0;  // the widest range of a candidate, in parts of its line's window
    std::array<double, kMaxParameters> spread{};
    for (int i = 0; i < lines_.size(); ++i) {
      const auto [wlo, whi] = windowOf(i, box);
      const int before = static_cast<int>(childCandidates.size());
      for (int c = offsets[i]; c < offsets[i + 1]; ++c) {
        const Terms& t = terms_[candidates[c]];
        const auto [lo, hi] = rangeOf(t, box);
        if (lo > whi || hi < wlo) continue;
        childCandidates.push_back(candidates[c]);
        worst = std::max(worst, (hi - lo) / window_[i]);
        for (int j = 0; j < n_; ++j) spread[j] = std::max(spread[j], (box.hi[j] - box.lo[j]) * std::abs(t[j]) / window_[i]);
      }
      if (static_cast<int>(childCandidates.size()) == before && ++missed > lines_.impurities) {
        done_ += share;
        return;
      }
      childOffsets[i + 1] = static_cast<int>(childCandidates.size());
    }
    const double zeroSpread = lines_.tolerance > 0 ? (box.zhi - box.zlo) / (2 * lines_.tolerance) : 0;
    if ((worst <= 0.5 && zeroSpread <= 0.5) || depth >= kMaxDepth) {
      leaf(box);
      done_ += share;
      return;
    }
    int split = 0;
    for (int j = 1; j < n_; ++j)
      if (spread[j] > spread[split]) split = j;
    Box low = box, high = box;
    if (zeroSpread > spread[split]) {
      low.zhi = high.zlo = (box.zlo + box.zhi) / 2;
    } else {
      low.hi[split] = high.lo[split] = (box.lo[split] + box.hi[split]) / 2;
    }
    explore(low, childOffsets, childCandidates, childBelow, depth + 1);
    explore(high, childOffsets, childCandidates, childBelow, depth + 1);
  }

  bool fewEnoughLines(const Box& box, const std::vector<int>& below, std::vector<int>& childBelow) const {
    const double top = lines_.top();
    const double last = lines_.q(lines_.twoTheta.back() - box.zhi - lines_.tolerance);
    const double allowed = allowedLines();
    // The smallest cell of the box, and the lines a cell that size has.
    const double largest = largestReciprocalVolumeSquared(box);
    if (largest > 0 && expectedLines(1 / std::sqrt(largest)) > allowed) return false;
    int certain = 0;
    childBelow.reserve(below.size());
    for (int t : below) {
      const auto [lo, hi] = rangeOf(terms_[t], box);
      if (lo > top) continue;
      childBelow.push_back(t);
      if (hi <= last && ++certain > allowed) return false;
    }
    return true;
  }

  void leaf(const Box& box) {
    std::array<double, 6> p{};
    for (int j = 0; j < n_; ++j) p[j] = (box.lo[j] + box.hi[j]) / 2;
    const double zero = (box.zlo + box.zhi) / 2;
    // The boxes around a solution all lead to it: refit only where no trial is near.
    for (const Trial& known : outcome_.trials)
      if (near(box, familyParameters(family_, known.metric))) return;
    // A refit lists every line of the metric, several times over: count it as such.
    work_ += 4 * static_cast<long long>(terms_.size());
    auto trial = fitTrial(family_, lines_, familyMetric(family_, p), zero, 2 * lines_.tolerance);
    if (!trial) return;
    for (Trial& known : outcome_.trials)
      if (sameTrial(known, *trial)) {
        if (trial->unindexed < known.unindexed ||
            (trial->unindexed == known.unindexed && trial->meanDelta < known.meanDelta))
          known = *trial;
        return;
      }
    outcome_.trials.push_back(*trial);
  }

  bool near(const Box& box, const std::array<double, 6>& p) const {
    for (int j = 0; j < n_; ++j) {
      const double w = box.hi[j] - box.lo[j];
      if (p[j] < box.lo[j] - 2 * w || p[j] > box.hi[j] + 2 * w) return false;
    }
    return true;
  }

  bool sameTrial(const Trial& a, const Trial& b) const {
    for (int j = 0; j < 6; ++j)
      if (std::abs(a.metric[j] - b.metric[j]) > kLatticeLengthTolerance * std::max(a.metric[0], a.metric[2]))
        return false;
    return true;
  }

  bool report(double share) {
    if (control_.progress && !control_.progress(std::min(share, 1.0))) {
      outcome_.cancelled = true;
      outcome_.complete = false;
      outcome_.note = "cancelled";
      return false;
    }
    return true;
  }

  Family family_;
  int n_;
  const SearchLines& lines_;
  SearchControl& control_;
  std::vector<double> window_;  // each line's window in Q at the tolerance
  std::vector<Terms> terms_;
  SearchOutcome outcome_;
  double done_ = 0;  // of the shell
  long long work_ = 0;  // candidate lines examined
  double shellLow_ = 0, shellHigh_ = 0, shareBase_ = 0, shareScale_ = 1;
};

}  // namespace

SearchOutcome dichotomySearch(Family family, const SearchLines& lines, SearchControl& control) {
  if (family == Family::Triclinic || lines.size() == 0) return {};
  return Dichotomy(family, lines, control).run();
}

}  // namespace obrin::indexing_search
