// Triclinic trial indexing on a reduced reciprocal basis (Ito 1949; Visser 1969, J. Appl.
// Cryst. 2, 89; Werner, Eriksson & Westdahl 1985, J. Appl. Cryst. 18, 367): the three shortest
// reciprocal vectors of a reduced basis give three of the lowest lines, Q(100) = A ≤ Q(010) = B
// ≤ Q(001) = C, or their second orders; each zone's lines 011, 101, 110 then give D = |Q − B − C|, E = |Q − A − C| and
// F = ±(Q − A − B) (the signs of D and E chosen by the directions of the axes). Every trial
// that indexes nearly all the lines is refitted to them.
#include <algorithm>
#include <cmath>

#include "analysis/indexing_search.hpp"
#include "core/limits.hpp"

namespace obrin::indexing_search {

namespace {

constexpr long long kProgressEvery = 1 << 10;
// A trial may miss this many lines more than the impurities before its refit.
constexpr int kTrialSlack = 2;

class TrialIndexing {
 public:
  TrialIndexing(const SearchLines& lines, SearchControl& control) : lines_(lines), control_(control) {
    // Windows at the tolerance widened by the zero range: the trials are made at zero 0.
    for (int i = 0; i < lines.size(); ++i) {
      const double tt = lines.twoTheta[i], w = lines.tolerance + lines.zeroRange;
      q_.push_back(lines.q(tt));
      lo_.push_back(lines.q(tt - w));
      hi_.push_back(lines.q(tt + w));
    }
  }

  SearchOutcome run() {
    // A base line may be the second order of the axis (100 absent by a screw axis or a glide,
    // 200 seen), so each low line gives Q and Q / 4.
    std::vector<double> base;
    for (int i = 0; i < std::min(lines_.size(), kIndexingBaseLines); ++i) base.insert(base.end(), {q_[i], q_[i] / 4});
    std::sort(base.begin(), base.end());
    const int n = static_cast<int>(base.size());
    const int triples = n * (n - 1) * (n - 2) / 6;
    int done = 0;
    for (int i = 0; i < n && !stopped(); ++i)
      for (int j = i + 1; j < n && !stopped(); ++j)
        for (int k = j + 1; k < n && !stopped(); ++k) {
          tryBase(base[i], base[j], base[k]);
          if (!report(double(++done) / triples)) return std::move(outcome_);
        }
    return std::move(outcome_);
  }

 private:
  bool stopped() const { return outcome_.cancelled || !outcome_.complete; }

  // The values a coefficient may take from the lines: each line's Q less the two base Q's,
  // within the bound the reduced basis sets.
  std::vector<double> crossTerms(double qa, double qb, double bound, bool bothSigns) const {
    std::vector<double> out{0};
    for (double q : q_) {
      const double v = q - qa - qb;
      if (std::abs(v) > bound) continue;
      out.push_back(bothSigns ? v : std::abs(v));
      if (bothSigns) out.push_back(-v);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end(), [](double x, double y) { return std::abs(x - y) < 1e-9; }),
              out.end());
    return out;
  }

  void tryBase(double a, double b, double c) {
    const auto ds = crossTerms(b, c, b, false), es = crossTerms(a, c, a, false), fs = crossTerms(a, b, a, true);
    for (double d : ds)
      for (double e : es)
        for (double f : fs) {
          if (stopped()) return;
          const ReciprocalMetric g{a, b, c, d, e, f};
          if (control_.maxNodes > 0 && ++outcome_.nodes >= control_.maxNodes) {
            outcome_.complete = false;
            outcome_.note = "stopped after " + std::to_string(outcome_.nodes) + " trial cells";
            return;
          }
          if (outcome_.nodes % kProgressEvery == 0 && !report(-1)) return;
          if (missedLines(g) > lines_.impurities + kTrialSlack) continue;
          auto trial = fitTrial(Family::Triclinic, lines_, g, 0, lines_.tolerance + lines_.zeroRange);
          if (trial) keep(*trial);
        }
  }

  // Lines no line of the metric reaches: Q of every h k l up to the top line, compared with
  // the windows.
  int missedLines(const ReciprocalMetric& g) {
    const auto cell = cellFromReciprocalMetric(g);
    if (!cell || cellVolume(*cell) > lines_.maxVolume) return lines_.size();
    const double top = hi_.back();
    hit_.assign(lines_.size(), false);
    forEachIndexUpTo(*cell, top, [&](const Miller& m) {
      const double q = inverseSquareSpacing(g, m);
      if (q > top) return;
      auto it = std::lower_bound(hi_.begin(), hi_.end(), q);
      for (; it != hi_.end() && lo_[it - hi_.begin()] <= q; ++it) hit_[it - hi_.begin()] = true;
    });
    return static_cast<int>(std::count(hit_.begin(), hit_.end(), false));
  }

  void keep(const Trial& t) {
    for (Trial& known : outcome_.trials)
      if (sameMetric(known.metric, t.metric)) {
        if (t.meanDelta < known.meanDelta) known = t;
        return;
      }
    outcome_.trials.push_back(t);
  }

  static bool sameMetric(const ReciprocalMetric& a, const ReciprocalMetric& b) {
    for (int j = 0; j < 6; ++j)
      if (std::abs(a[j] - b[j]) > kLatticeLengthTolerance * std::max({a[0], a[1], a[2]})) return false;
    return true;
  }

  bool report(double share) {
    if (share < 0) share = last_;
    last_ = share;
    if (control_.progress && !control_.progress(share)) {
      outcome_.cancelled = true;
      outcome_.complete = false;
      outcome_.note = "cancelled";
      return false;
    }
    return true;
  }

  const SearchLines& lines_;
  SearchControl& control_;
  std::vector<double> q_, lo_, hi_;
  std::vector<bool> hit_;
  SearchOutcome outcome_;
  double last_ = 0;
};

}  // namespace

SearchOutcome trialSearch(const SearchLines& lines, SearchControl& control) {
  if (lines.size() < 3) return {};
  return TrialIndexing(lines, control).run();
}

}  // namespace obrin::indexing_search
