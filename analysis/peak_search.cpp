#include "analysis/peak_search.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "analysis/background.hpp"
#include "analysis/peak_width.hpp"
#include "analysis/search_points.hpp"
#include "analysis/peak_fit.hpp"
#include "analysis/pseudo_voigt.hpp"
#include "calc/wavelengths.hpp"

namespace obrin {

namespace {

constexpr double kFwhmPerSigma = 2.3548200450309493;  // 2 √(2 ln 2)
// The kernel of the second derivative is this much narrower than the peaks: it separates
// neighbours better than a matched one and loses little of its sensitivity.
constexpr double kKernelWidth = 0.6;
constexpr double kKernelReach = 4;  // kernel points either side, in kernel σ
// A peak reaches its neighbours' fits and the residual as far as its Lorentzian tail stands
// above this share of the noise, and never less than this many fit windows.
constexpr double kTailNoiseShare = 0.1;
constexpr double kNeighbourReach = 2;
constexpr double kMaxTailReachFwhm = 200;
// The strong candidates, the weak ones, then the searches of what they leave.
constexpr int kSearchStages = 2 + kResidualSearchRounds;
// A peak this much broader than the others about it may be two.
constexpr double kSplitWidth = 1.35;
// Fitted peaks below this share of the minimum significance are left out together.
constexpr double kHopelessShare = 0.4;
// The strongest peaks that show the pattern's asymmetry.
constexpr std::size_t kAsymmetryPeaks = 20;

std::string degrees(double twoTheta) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", twoTheta);
  return text;
}

// −σ² times the second derivative of a Gaussian of σ = sigma points, less its mean so that a
// constant or a straight line gives 0.
std::vector<double> secondDerivativeKernel(double sigma) {
  const int reach = std::max(2, int(std::ceil(kKernelReach * sigma)));
  std::vector<double> c(2 * reach + 1);
  for (int k = -reach; k <= reach; ++k) {
    const double t = k / sigma;
    c[k + reach] = (1 - t * t) * std::exp(-0.5 * t * t);
  }
  const double mean = std::accumulate(c.begin(), c.end(), 0.0) / double(c.size());
  for (double& v : c) v -= mean;
  return c;
}

// How far the filtered net intensity stands above its counting noise at every point: the
// significance of a peak there (0 where the kernel does not fit).
std::vector<double> secondDerivativeSignificance(const std::vector<double>& net, const std::vector<double>& variance,
                                                 const std::vector<double>& kernel) {
  const int n = int(net.size()), reach = int(kernel.size() / 2);
  std::vector<double> z(n, 0.0);
  for (int i = reach; i + reach < n; ++i) {
    double s = 0, v = 0;
    for (int k = -reach; k <= reach; ++k) {
      const double c = kernel[k + reach];
      s += c * net[i + k];
      v += c * c * variance[i + k];
    }
    z[i] = v > 0 ? s / std::sqrt(v) : 0;
  }
  return z;
}

// A peak while the search runs: its start values, then the fit's.
struct Working {
  double position = 0, height = 0, fwhm = 0, eta = 0.5, asymmetry = 0;
  double screened = 0;  // significance of the candidate with the pattern's width
  bool fixedShape = false;  // too weak to determine its own width and η
  bool fixedAsymmetry = true;  // following the pattern's trend
  bool beside = false;      // found beside fitted peaks, in what they leave
  bool fitted = false;
  Peak peak;
  double chi2PerDof = 1;
};

struct Group {
  std::size_t first = 0, last = 0;  // into the peaks sorted by position, last excluded
  double lo = 0, hi = 0;            // the fit window, degrees
};

class PeakSearch {
 public:
  PeakSearch(SearchPoints series, const PeakSearchOptions& options) : s_(std::move(series)), o_(options) {
    const auto& w = options.wavelengths;
    if (w.lambda && w.alpha2 && *w.lambda > 0 && w.alpha2->lambda2 > 0 && w.alpha2->ratio > 0)
      doublet_ = Doublet{w.alpha2->lambda2 / *w.lambda, w.alpha2->ratio};
    prepare();
  }

  PeakList run();
  Result<Peak> fitAt(double twoTheta, const std::vector<Peak>& others);
  // SNIP over slightly smoothed counts, its window in proportion to the peaks' width.
  BackgroundCurve background() const {
    return {s_.x, snipBackground(movingAverage(s_.y, std::max(1, int(fwhmPoints_ / 4))),
                                 int(std::ceil(kSnipWindowFwhm * fwhmPoints_)))};
  }

 private:
  void prepare();
  void learnShape(const std::vector<Working>& peaks);
  void learnAsymmetry(std::vector<Working> strong);
  static double asymmetryTrend(double twoTheta, double c);
  // The shape the strong peaks show at an angle, for those too weak to show their own.
  void takeShape(Working& w) const {
    w.fwhm = width_(w.position);
    w.eta = eta_;
    w.asymmetry = asymmetryTrend(w.position, asymmetry_);
  }
  std::vector<Working> candidates(const std::vector<double>& net, bool beside = false) const;
  bool fitRound(std::vector<Working>& peaks, std::vector<Working> fresh, int stage,
                std::vector<Working>* retry = nullptr);
  std::vector<Working> besidePeaks(const std::vector<Working>& peaks) const;
  static PeakList cancelled() {
    PeakList list;
    list.background = kBackgroundMethod;
    list.notes.push_back("The peak search was cancelled");
    return list;
  }
  std::vector<Working> withoutCompanions(std::vector<Working> seeds) const;
  double reachEnd(const Working& w, double halfWindow = kPeakFitHalfWindowFwhm) const;
  double tailReach(const Working& w) const;
  std::vector<Group> groups(const std::vector<Working>& peaks, double halfWindow = kPeakFitHalfWindowFwhm) const;
  FitPoints pointsOf(const std::vector<Working>& peaks, const Group& g) const;
  void fitGroup(std::vector<Working>& peaks, const Group& g, std::vector<Working>& out,
                std::vector<Working>* retry = nullptr);
  std::optional<std::string> rejection(const PeakGroupFit& fit, std::size_t j, const Group& g) const;
  std::vector<double> residual(const std::vector<Working>& peaks) const;
  // A note once, however often the search comes to the same peak.
  void note(std::string text) {
    if (std::find(notes_.begin(), notes_.end(), text) == notes_.end()) notes_.push_back(std::move(text));
  }
  bool report(double done) const { return !o_.progress || o_.progress(std::clamp(done, 0.0, 1.0)); }

  SearchPoints s_;
  const PeakSearchOptions& o_;
  std::optional<Doublet> doublet_;
  double fwhmPoints_ = kDefaultPeakFwhmSteps;  // median width, for the filters
  WidthTrend width_;
  double eta_ = 0.5;
  double asymmetry_ = 0;  // of the trend c · cot 2θ
  double noise_ = 1;  // median uncertainty of a point
  std::vector<double> kernel_;
  std::vector<std::string> notes_;
  std::vector<double> rejected_;  // candidates the fits left out, not to be tried again
};

void PeakSearch::prepare() {
  // The width first, over a generous background; then the background in proportion to it.
  const std::vector<double> smooth = movingAverage(s_.y, 1);
  const int n = int(s_.y.size());
  std::vector<std::pair<int, double>> widths;
  int window = std::clamp(n / 50, 10, 100);
  for (int pass = 0; pass < 2; ++pass) {
    const std::vector<double> background = snipBackground(smooth, window);
    std::vector<double> net(n);
    for (int i = 0; i < n; ++i) net[i] = smooth[i] - background[i];
    widths = measuredWidths(net, s_.variance);
    std::vector<double> points;
    for (const auto& w : widths) points.push_back(w.second);
    const int wanted = int(std::ceil(kSnipWindowFwhm * (points.empty() ? kDefaultPeakFwhmSteps : median(points))));
    if (wanted <= window) break;
    window = wanted;
  }
  std::vector<double> points;
  std::vector<std::pair<double, double>> trend;
  for (const auto& [i, w] : widths) {
    points.push_back(w);
    trend.emplace_back(s_.x[std::size_t(i)], w * s_.step);
  }
  fwhmPoints_ = std::clamp(points.empty() ? kDefaultPeakFwhmSteps : median(points), 2.0, std::max(2.0, n / 4.0));
  width_ = trend.empty() ? WidthTrend(fwhmPoints_ * s_.step) : WidthTrend(std::move(trend));
  kernel_ = secondDerivativeKernel(std::max(0.8, kKernelWidth * fwhmPoints_ / kFwhmPerSigma));
  noise_ = std::sqrt(median(s_.variance));
}

// The trend of width and shape from the peaks fitted with their own: the shape of the weak
// peaks after them.
void PeakSearch::learnShape(const std::vector<Working>& peaks) {
  std::vector<std::pair<double, double>> widths;
  std::vector<double> etas;
  for (const Working& w : peaks) {
    if (!w.fitted || w.fixedShape) continue;
    widths.emplace_back(w.position, w.fwhm);
    etas.push_back(w.eta);
  }
  if (widths.empty()) return;
  width_ = WidthTrend(std::move(widths));
  eta_ = median(etas);
}

// The asymmetry of the pattern from its strongest peaks, each fitted with its own: the median
// of c = asymmetry · tan 2θ, which a shoulder taken for asymmetry, of either sign, moves little;
// none unless it stands out of the scatter of the peaks' own (three times the s.u. of a median,
// from their median absolute deviation).
void PeakSearch::learnAsymmetry(std::vector<Working> strong) {
  std::sort(strong.begin(), strong.end(), [](const Working& a, const Working& b) { return a.screened > b.screened; });
  if (strong.size() > kAsymmetryPeaks) strong.resize(kAsymmetryPeaks);
  for (Working& w : strong) w.fixedAsymmetry = false;
  std::vector<Working> fitted;
  if (!fitRound(fitted, std::move(strong), 0)) return;
  std::vector<double> c;
  for (const Working& w : fitted)
    if (w.fitted && !w.fixedShape) c.push_back(w.asymmetry * std::tan(std::clamp(w.position, 1.0, 179.0) * std::numbers::pi / 180));
  if (c.size() < 3) return;
  const double m = median(c);
  std::vector<double> deviations;
  for (double v : c) deviations.push_back(std::abs(v - m));
  const double su = 1.2533 * 1.4826 * median(deviations) / std::sqrt(double(c.size()));
  asymmetry_ = std::abs(m) > 3 * su ? m : 0;
}

// Axial divergence broadens the low-angle half of a peak, the more the lower the angle, and
// the high-angle half beyond 90°: an asymmetry of c · cot 2θ, within the limits of the fit.
double PeakSearch::asymmetryTrend(double twoTheta, double c) {
  const double t = std::tan(std::clamp(twoTheta, 1.0, 179.0) * std::numbers::pi / 180);
  return std::clamp(c / t, -0.8 * kMaxPeakAsymmetry, 0.8 * kMaxPeakAsymmetry);
}

// Local maxima of the significance above the candidates' threshold, with start values.
std::vector<Working> PeakSearch::candidates(const std::vector<double>& net, bool beside) const {
  const double threshold = beside ? kCandidateSignificance : std::max(kCandidateSignificance, o_.minSignificance);
  const std::vector<double> z = secondDerivativeSignificance(net, s_.variance, kernel_);
  const std::vector<double>& variance = s_.variance;
  const std::vector<double> smoothNet = movingAverage(net, 1);
  std::vector<std::pair<double, std::size_t>> tops;
  for (std::size_t i = 1; i + 1 < z.size(); ++i)
    if (z[i] > threshold && z[i] >= z[i - 1] && z[i] > z[i + 1]) tops.emplace_back(z[i], i);
  if (tops.size() > std::size_t(kMaxPeakCandidates)) {
    std::nth_element(tops.begin(), tops.begin() + kMaxPeakCandidates, tops.end(), std::greater<>());
    tops.resize(kMaxPeakCandidates);
  }
  std::vector<Working> seeds;
  seeds.reserve(tops.size());
  for (const auto& [zi, i] : tops) {
    // The top between the points, from a parabola through the significance.
    const double a = z[i - 1], b = z[i], c = z[i + 1], curvature = a - 2 * b + c;
    const double shift = curvature < 0 ? std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5) : 0;
    const double step = shift >= 0 ? s_.x[i + 1] - s_.x[i] : s_.x[i] - s_.x[i - 1];
    Working w;
    w.position = s_.x[i] + shift * step;
    takeShape(w);
    w.height = std::max(smoothNet[i], zi * std::sqrt(variance[i]) / std::sqrt(fwhmPoints_));
    if (doublet_) {
      // An unresolved doublet peaks between its lines, nearer Kα1 by the ratio.
      if (const auto p2 = alpha2Position(w.position, doublet_->lambdaRatio)) {
        const double split = *p2 - w.position;
        if (split < w.fwhm) {
          w.position -= split * doublet_->ratio / (1 + doublet_->ratio);
          w.height /= 1 + doublet_->ratio * pseudoVoigt(split, 0, w.fwhm, 0.5);
        }
      }
    }
    seeds.push_back(w);
  }
  std::sort(seeds.begin(), seeds.end(), [](const Working& a, const Working& b) { return a.position < b.position; });
  seeds = withoutCompanions(std::move(seeds));
  seeds.erase(std::remove_if(seeds.begin(), seeds.end(),
                             [&](const Working& w) {
                               return std::any_of(rejected_.begin(), rejected_.end(), [&](double x) {
                                 return std::abs(x - w.position) < kMinPeakSeparationFwhm * w.fwhm;
                               });
                             }),
              seeds.end());
  // Only candidates that peaks of the pattern's width explain, all those of a group together,
  // go on to the full fit: the weakest is left out until every one is significant enough.
  std::vector<Working> kept;
  for (const Group& g : groups(seeds)) {
    FitPoints points;
    const auto a = std::lower_bound(s_.x.begin(), s_.x.end(), g.lo) - s_.x.begin();
    const auto b = std::upper_bound(s_.x.begin(), s_.x.end(), g.hi) - s_.x.begin();
    points.x.assign(s_.x.begin() + a, s_.x.begin() + b);
    points.y.assign(net.begin() + a, net.begin() + b);
    points.variance.assign(variance.begin() + a, variance.begin() + b);
    std::vector<Working> members(seeds.begin() + long(g.first), seeds.begin() + long(g.last));
    while (!members.empty()) {
      std::vector<PeakStart> shapes;
      for (const Working& w : members) shapes.push_back({w.position, w.height, w.fwhm, w.eta, w.asymmetry});
      const std::vector<HeightEstimate> e = fixedShapeHeights(points, shapes, doublet_);
      const auto weakest = std::min_element(e.begin(), e.end(), [](auto& l, auto& r) { return l.significance < r.significance; });
      if (weakest->significance < kCandidateSignificanceFraction * o_.minSignificance) {
        members.erase(members.begin() + (weakest - e.begin()));
        continue;
      }
      for (std::size_t j = 0; j < members.size(); ++j) {
        Working& w = members[j];
        w.height = e[j].height;
        w.screened = e[j].significance;
        // Whether its points can tell the width: the significance the peak would have alone,
        // as the shared counts of close neighbours lower the joint one.
        double alone = 0;
        for (std::size_t i = 0; i < points.x.size(); ++i) {
          const double f = peakValue(points.x[i], w.position, w.height, w.fwhm, w.eta, w.asymmetry, doublet_);
          alone += f * f / points.variance[i];
        }
        w.fixedShape = std::sqrt(alone) < kFreeShapeSignificance;
        w.beside = beside;
      }
      kept.insert(kept.end(), members.begin(), members.end());
      break;
    }
  }
  return kept;
}

// A candidate where a stronger one has its Kα2 line is that line, which the doublet fits.
std::vector<Working> PeakSearch::withoutCompanions(std::vector<Working> seeds) const {
  if (!doublet_) return seeds;
  std::vector<std::size_t> byHeight(seeds.size());
  std::iota(byHeight.begin(), byHeight.end(), 0);
  std::sort(byHeight.begin(), byHeight.end(), [&](auto a, auto b) { return seeds[a].height > seeds[b].height; });
  std::vector<bool> companion(seeds.size(), false);
  for (std::size_t i : byHeight) {
    if (companion[i]) continue;
    const auto p2 = alpha2Position(seeds[i].position, doublet_->lambdaRatio);
    if (!p2) continue;
    const double tolerance = kMinPeakSeparationFwhm * seeds[i].fwhm;
    auto at = std::lower_bound(seeds.begin(), seeds.end(), *p2 - tolerance,
                               [](const Working& w, double x) { return w.position < x; });
    for (; at != seeds.end() && at->position <= *p2 + tolerance; ++at) {
      const std::size_t j = std::size_t(at - seeds.begin());
      if (j != i && seeds[j].height < seeds[i].height) companion[j] = true;
    }
  }
  std::vector<Working> kept;
  for (std::size_t i = 0; i < seeds.size(); ++i)
    if (!companion[i]) kept.push_back(seeds[i]);
  return kept;
}

// The highest angle a peak's fit window reaches: beyond its Kα2 line for a doublet.
double PeakSearch::reachEnd(const Working& w, double halfWindow) const {
  double end = w.position;
  if (doublet_)
    if (const auto p2 = alpha2Position(w.position, doublet_->lambdaRatio)) end = *p2;
  return end + halfWindow * w.fwhm;
}

// How far a peak's tail matters, degrees: ηH / (1 + 4q²) falls below a tenth of the noise
// at q FWHM.
double PeakSearch::tailReach(const Working& w) const {
  const double ratio = std::max(0.0, w.eta * std::abs(w.height) / (kTailNoiseShare * noise_));
  const double q = std::clamp(0.5 * std::sqrt(ratio), kNeighbourReach * kPeakFitHalfWindowFwhm, kMaxTailReachFwhm);
  return q * w.fwhm;
}

// Peaks whose windows overlap, together; a run longer than kMaxPeaksPerFit is cut at its
// widest gaps.
std::vector<Group> PeakSearch::groups(const std::vector<Working>& peaks, double halfWindow) const {
  std::vector<Group> out;
  auto add = [&](std::size_t first, std::size_t last) {
    Group g{first, last, INFINITY, -INFINITY};
    for (std::size_t i = first; i < last; ++i) {
      g.lo = std::min(g.lo, peaks[i].position - halfWindow * peaks[i].fwhm);
      g.hi = std::max(g.hi, reachEnd(peaks[i], halfWindow));
    }
    g.lo = std::max(g.lo, s_.x.front());
    g.hi = std::min(g.hi, s_.x.back());
    out.push_back(g);
  };
  // Cuts [first, last) at its widest gap until each piece is short enough.
  auto cut = [&](auto&& self, std::size_t first, std::size_t last) -> void {
    if (last - first <= std::size_t(kMaxPeaksPerFit)) return add(first, last);
    std::size_t at = first + 1;
    for (std::size_t i = first + 1; i < last; ++i)
      if (peaks[i].position - peaks[i - 1].position > peaks[at].position - peaks[at - 1].position) at = i;
    self(self, first, at);
    self(self, at, last);
  };
  std::size_t first = 0;
  double end = -INFINITY;
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    const double start = peaks[i].position - halfWindow * peaks[i].fwhm;
    if (i > first && start > end) {
      cut(cut, first, i);
      first = i;
      end = -INFINITY;
    }
    end = std::max(end, reachEnd(peaks[i], halfWindow));
  }
  if (!peaks.empty()) cut(cut, first, peaks.size());
  return out;
}

// The window's points, less the peaks outside the group that reach into it.
FitPoints PeakSearch::pointsOf(const std::vector<Working>& peaks, const Group& g) const {
  FitPoints p;
  const auto a = std::lower_bound(s_.x.begin(), s_.x.end(), g.lo) - s_.x.begin();
  const auto b = std::upper_bound(s_.x.begin(), s_.x.end(), g.hi) - s_.x.begin();
  p.x.assign(s_.x.begin() + a, s_.x.begin() + b);
  p.y.assign(s_.y.begin() + a, s_.y.begin() + b);
  p.variance.assign(s_.variance.begin() + a, s_.variance.begin() + b);
  for (std::size_t j = 0; j < peaks.size(); ++j) {
    if (j >= g.first && j < g.last) continue;
    const Working& w = peaks[j];
    const double reach = tailReach(w);
    if (reachEnd(w) + reach < g.lo || w.position - reach > g.hi) continue;
    for (std::size_t i = 0; i < p.x.size(); ++i) p.y[i] -= peakValue(p.x[i], w.position, w.height, w.fwhm, w.eta, w.asymmetry, doublet_);
  }
  return p;
}

// Why a fitted peak is no peak of the pattern; none when it is one.
std::optional<std::string> PeakSearch::rejection(const PeakGroupFit& fit, std::size_t j, const Group& g) const {
  const Peak& p = fit.peaks[j];
  if (p.fwhm < kMinPeakFwhmSteps * s_.step && p.significance >= o_.minSignificance)
    return "A spike at 2θ = " + degrees(p.twoTheta) + "°, narrower than the step, was left out";
  if (p.fwhm < kMinPeakFwhmSteps * s_.step || p.fwhm > g.hi - g.lo || fit.atLimit[j]) return "";
  if (p.twoTheta < g.lo || p.twoTheta > g.hi) return "";
  // The height must stand out of the counting noise, and out of what the fit leaves where the
  // profile does not quite follow the peaks (χ²/ν > 1, the s.u. scaled by it): else it is a
  // piece of a neighbour's misfit.
  if (!(p.significance >= o_.minSignificance) || !(p.height >= o_.minSignificance * p.heightSu)) return "";
  for (std::size_t k = 0; k < fit.peaks.size(); ++k) {
    const Peak& q = fit.peaks[k];
    if (k == j || std::abs(q.twoTheta - p.twoTheta) >= kMinPeakSeparationFwhm * std::max(p.fwhm, q.fwhm)) continue;
    if (q.significance > p.significance || (q.significance == p.significance && k < j)) return "";
  }
  return std::nullopt;
}

// Fits a group, leaving out one by one what is no peak (the least significant first); a group
// whose fit fails loses its weakest candidate, to retry when given, and is fitted again. The
// peaks found go to out.
void PeakSearch::fitGroup(std::vector<Working>& peaks, const Group& g, std::vector<Working>& out,
                          std::vector<Working>* retry) {
  const FitPoints points = pointsOf(peaks, g);
  std::vector<Working> members(peaks.begin() + long(g.first), peaks.begin() + long(g.last));
  auto leaveOut = [&](std::size_t j) {
    rejected_.push_back(members[j].position);
    members.erase(members.begin() + long(j));
  };
  while (!members.empty()) {
    std::vector<PeakStart> starts;
    for (const Working& w : members)
      starts.push_back({w.position, w.height, w.fwhm, w.eta, w.asymmetry, w.fixedShape, w.fixedAsymmetry});
    const PeakGroupFit fit = fitPeakGroup(points, starts, doublet_);
    if (!fit.ok) {
      // A peak that ran to the edge of its range is what keeps the fit from converging; else
      // the weakest candidate goes. Only a clear peak of the pattern is worth a word: a
      // candidate from beside the fitted peaks, or one that would not have counted, goes
      // without.
      std::size_t drop = members.size();
      for (std::size_t j = 0; j < fit.atLimit.size(); ++j)
        if (fit.atLimit[j] && (drop == members.size() || members[j].screened < members[drop].screened)) drop = j;
      if (drop == members.size()) {
        drop = std::size_t(std::min_element(members.begin(), members.end(), [](const Working& a, const Working& b) {
                             return a.screened < b.screened;
                           }) -
                           members.begin());
        const Working& w = members[drop];
        // Among the strong peaks alone a fit may miss the weak ones beside them: the peak is
        // tried again with them.
        if (retry) {
          retry->push_back(w);
          members.erase(members.begin() + long(drop));
          continue;
        }
        if (!w.beside && w.screened >= o_.minSignificance)
          note("The peak near 2θ = " + degrees(w.position) + "° was left out: " + fit.failure);
      }
      leaveOut(drop);
      continue;
    }
    std::optional<std::size_t> worst;
    // Peaks close together share their counts, and their fitted significances with them: the
    // candidate that was weakest on its own goes first.
    for (std::size_t j = 0; j < fit.peaks.size(); ++j) {
      const auto why = rejection(fit, j, g);
      if (!why) continue;
      if (!worst || members[j].screened < members[*worst].screened) worst = j;
    }
    // A peak that turns out strong in the fit (one that a merged neighbour hid) shows its own
    // shape: the group is fitted again with it free, from where this fit left all of them.
    bool freed = false;
    for (std::size_t j = 0; !worst && j < members.size(); ++j) {
      if (!members[j].fixedShape || fit.peaks[j].significance < kFreeShapeSignificance) continue;
      members[j].fixedShape = false;
      freed = true;
    }
    if (freed) {
      for (std::size_t j = 0; j < members.size(); ++j) {
        members[j].position = fit.peaks[j].twoTheta;
        members[j].height = fit.peaks[j].height;
      }
      continue;
    }
    if (!worst) {
      for (std::size_t j = 0; j < members.size(); ++j) {
        Working w = members[j];
        const Peak& p = fit.peaks[j];
        w.position = p.twoTheta;
        w.height = p.height;
        w.fwhm = p.fwhm;
        w.eta = p.eta;
        w.asymmetry = p.asymmetry;
        w.fitted = true;
        w.peak = p;
        w.chi2PerDof = fit.chi2PerDof;
        out.push_back(w);
      }
      return;
    }
    if (const auto why = rejection(fit, *worst, g); why && !why->empty()) note(*why);
    // Candidates far below the minimum, and weak on their own too, go together, so that a group
    // of noise costs a few fits rather than one a candidate. (Two peaks fitted onto one share
    // its height and seem hopeless both.)
    std::vector<std::size_t> hopeless;
    for (std::size_t j = 0; j < fit.peaks.size(); ++j)
      if (j != *worst && fit.peaks[j].significance < kHopelessShare * o_.minSignificance &&
          members[j].screened < o_.minSignificance && rejection(fit, j, g))
        hopeless.push_back(j);
    std::sort(hopeless.begin(), hopeless.end(), std::greater<>());
    const std::size_t first = *worst;
    for (std::size_t j : hopeless) {
      if (j > first) leaveOut(j);
    }
    leaveOut(first);
    for (std::size_t j : hopeless)
      if (j < first) leaveOut(j);
  }
}

// The counts less the fitted peaks.
std::vector<double> PeakSearch::residual(const std::vector<Working>& peaks) const {
  std::vector<double> r = s_.y;
  for (const Working& w : peaks) {
    const double reach = tailReach(w);
    const auto a = std::lower_bound(s_.x.begin(), s_.x.end(), w.position - reach) - s_.x.begin();
    const auto b = std::upper_bound(s_.x.begin(), s_.x.end(), reachEnd(w) + reach) - s_.x.begin();
    for (auto i = a; i < b; ++i) r[i] -= peakValue(s_.x[i], w.position, w.height, w.fwhm, w.eta, w.asymmetry, doublet_);
  }
  return r;
}

// Fits the fresh candidates with the peaks found so far: only the groups they fall into are
// fitted again. False when cancelled.
bool PeakSearch::fitRound(std::vector<Working>& peaks, std::vector<Working> fresh, int stage,
                          std::vector<Working>* retry) {
  for (Working& w : fresh) w.fitted = false;
  peaks.insert(peaks.end(), fresh.begin(), fresh.end());
  std::sort(peaks.begin(), peaks.end(), [](const Working& a, const Working& b) { return a.position < b.position; });
  std::vector<Working> next;
  const std::vector<Group> gs = groups(peaks);
  for (std::size_t k = 0; k < gs.size(); ++k) {
    const Group& g = gs[k];
    const bool touched = std::any_of(peaks.begin() + long(g.first), peaks.begin() + long(g.last),
                                     [](const Working& w) { return !w.fitted; });
    if (touched) fitGroup(peaks, g, next, retry);
    else next.insert(next.end(), peaks.begin() + long(g.first), peaks.begin() + long(g.last));
    if (!report((stage + double(k + 1) / double(gs.size())) / kSearchStages)) return false;
  }
  peaks = std::move(next);
  std::sort(peaks.begin(), peaks.end(), [](const Working& a, const Working& b) { return a.position < b.position; });
  return true;
}

// What the peaks found leave unexplained, away from them: shoulders and weak neighbours; and
// beside a peak much broader than those about it, a second one where the first leaves most,
// as such a peak may be two that overlap. A second that is not there is left out by the fit.
std::vector<Working> PeakSearch::besidePeaks(const std::vector<Working>& peaks) const {
  const std::vector<double> r = residual(peaks);
  std::vector<Working> fresh;
  for (Working& w : candidates(r, true)) {
    const auto near = std::lower_bound(peaks.begin(), peaks.end(), w.position,
                                       [](const Working& p, double x) { return p.position < x; });
    auto tooClose = [&](auto it) {
      return it != peaks.end() && std::abs(it->position - w.position) < kMinPeakSeparationFwhm * it->fwhm;
    };
    if (tooClose(near) || (near != peaks.begin() && tooClose(near - 1))) continue;
    fresh.push_back(w);
  }
  for (const Working& p : peaks) {
    if (p.fixedShape || p.fwhm < kSplitWidth * width_(p.position)) continue;
    // The residual on either side of the top, over half a FWHM.
    double sides[2] = {0, 0};
    const auto a = std::lower_bound(s_.x.begin(), s_.x.end(), p.position - p.fwhm) - s_.x.begin();
    const auto b = std::upper_bound(s_.x.begin(), s_.x.end(), p.position + p.fwhm) - s_.x.begin();
    for (auto i = a; i < b; ++i) sides[s_.x[std::size_t(i)] > p.position] += r[std::size_t(i)];
    Working w;
    w.position = p.position + (sides[1] > sides[0] ? 0.5 : -0.5) * p.fwhm;
    takeShape(w);
    w.height = 0.25 * p.height;
    w.screened = kFreeShapeSignificance;
    w.beside = true;
    fresh.push_back(w);
  }
  return fresh;
}

PeakList PeakSearch::run() {
  PeakList list;
  list.background = kBackgroundMethod;
  // The second derivative and the straight background of the screening take the background
  // as it is: subtracting an estimate would only add its kinks beside strong peaks.
  std::vector<Working> found = candidates(s_.y);
  if (found.empty()) {
    note("No peak stands out of the noise at the minimum significance " + fixedText(o_.minSignificance, 1));
    list.notes = std::move(notes_);
    return list;
  }
  // The strong peaks first, each with its own shape; the weak ones then take the shape the
  // strong ones show at their angle; last, what all of them leave unexplained.
  std::vector<Working> strong, weak, peaks;
  for (const Working& w : found) (w.fixedShape ? weak : strong).push_back(w);
  learnAsymmetry(strong);
  for (Working& w : strong) w.asymmetry = asymmetryTrend(w.position, asymmetry_);
  std::vector<Working> retry;
  if (!fitRound(peaks, strong, 0, &retry)) return cancelled();
  learnShape(peaks);
  for (Working& w : weak) takeShape(w);
  weak.insert(weak.end(), retry.begin(), retry.end());
  if (!fitRound(peaks, weak, 1)) return cancelled();
  for (int stage = 2; stage < kSearchStages; ++stage) {
    // The peaks about a candidate left out have changed: it may count now.
    rejected_.clear();
    learnShape(peaks);
    std::vector<Working> fresh = besidePeaks(peaks);
    if (fresh.empty()) break;
    if (!fitRound(peaks, std::move(fresh), stage)) return cancelled();
  }
  for (const Working& w : peaks) list.peaks.push_back(w.peak);
  orderPeaks(list.peaks, o_.wavelengths.lambda);
  list.wavelength = o_.wavelengths.lambda;
  if (doublet_) {
    list.alpha2 = o_.wavelengths.alpha2->lambda2;
    list.alpha2Ratio = o_.wavelengths.alpha2->ratio;
  }
  if (list.peaks.empty())
    note("No peak stands out of the noise at the minimum significance " + fixedText(o_.minSignificance, 1));
  list.notes = std::move(notes_);
  report(1);
  return list;
}

Result<Peak> PeakSearch::fitAt(double twoTheta, const std::vector<Peak>& others) {
  const std::string where = "No peak fits at 2θ = " + degrees(twoTheta) + "°: ";
  if (twoTheta < s_.x.front() || twoTheta > s_.x.back()) return fail(where + "the pattern does not reach it");
  std::vector<Working> peaks;
  for (const Peak& p : others) {
    if (!(p.fwhm > 0) || !std::isfinite(p.twoTheta) || !std::isfinite(p.height)) continue;
    Working w;
    w.position = p.twoTheta;
    w.height = p.height;
    w.fwhm = p.fwhm;
    w.eta = std::clamp(p.eta, 0.0, 1.0);
    w.asymmetry = std::clamp(p.asymmetry, -kMaxPeakAsymmetry, kMaxPeakAsymmetry);
    w.fixedShape = p.fwhmSu == 0;
    w.fitted = true;
    peaks.push_back(w);
  }
  learnShape(peaks);
  // The top of what the other peaks leave, within a FWHM of the click.
  const std::vector<double> r = residual(peaks);
  const double fwhm = width_(twoTheta);
  const auto a = std::lower_bound(s_.x.begin(), s_.x.end(), twoTheta - fwhm) - s_.x.begin();
  const auto b = std::upper_bound(s_.x.begin(), s_.x.end(), twoTheta + fwhm) - s_.x.begin();
  if (b - a < 1) return fail(where + "the pattern holds no point there");
  const std::vector<double> smooth = movingAverage(r, 1);
  auto top = a;
  for (auto i = a; i < b; ++i)
    if (smooth[i] > smooth[top]) top = i;
  Working seed;
  seed.position = s_.x[std::size_t(top)];
  takeShape(seed);
  const Group g{0, 0, std::max(s_.x.front(), seed.position - kPeakFitHalfWindowFwhm * seed.fwhm),
                std::min(s_.x.back(), reachEnd(seed))};
  const FitPoints points = pointsOf(peaks, g);  // every other peak held
  const std::vector<HeightEstimate> screen =
      fixedShapeHeights(points, {{seed.position, 0, seed.fwhm, seed.eta, seed.asymmetry}}, doublet_);
  seed.height = std::max(screen[0].height, std::sqrt(s_.variance[std::size_t(top)]));
  seed.fixedShape = screen[0].significance < kFreeShapeSignificance;
  const PeakGroupFit fit = fitPeakGroup(
      points, {{seed.position, seed.height, seed.fwhm, seed.eta, seed.asymmetry, seed.fixedShape}}, doublet_);
  if (!fit.ok) return fail(where + fit.failure);
  Peak p = fit.peaks[0];
  if (!(p.height > 0) || !(p.significance > 0)) return fail(where + "nothing stands above the background there");
  if (fit.atLimit[0]) return fail(where + "the fit moves away to another peak");
  if (p.fwhm < kMinPeakFwhmSteps * s_.step) return fail(where + "only a spike, narrower than the step, is there");
  std::vector<Peak> one{p};
  orderPeaks(one, o_.wavelengths.lambda);
  return one[0];
}

bool isKalpha1Line(double lambda) {
  return std::any_of(kXrayLines.begin(), kXrayLines.end(), [&](const XrayLine& line) {
    return line.name.substr(2) == "Ka1" && std::abs(line.lambda - lambda) <= 5e-5;
  });
}

// The table's Kα2 beside a Kα1 line.
std::optional<double> tableAlpha2(double lambda) {
  for (const XrayLine& line : kXrayLines) {
    if (line.name.substr(2) != "Ka1" || std::abs(line.lambda - lambda) > 5e-5) continue;
    for (const XrayLine& other : kXrayLines)
      if (other.name.substr(0, 2) == line.name.substr(0, 2) && other.name.substr(2) == "Ka2") return other.lambda;
  }
  return std::nullopt;
}

}  // namespace

Result<PeakWavelengths> peakWavelengths(std::optional<double> lambda, const std::optional<PatternWavelength>& stored,
                                        std::optional<double> ratio) {
  PeakWavelengths w;
  const bool fileLine = stored && stored->alpha1 > 0;
  w.lambda = lambda ? lambda : fileLine ? std::optional<double>(stored->alpha1) : std::nullopt;
  if (w.lambda && !(*w.lambda > 0)) return fail("The wavelength must be positive");
  if (ratio && (!(*ratio >= 0) || *ratio > 1)) return fail("The K-alpha-2 ratio must lie between 0 and 1");
  std::optional<double> lambda2;
  bool sameAsFile = fileLine && w.lambda && std::abs(*w.lambda - stored->alpha1) <= 5e-5;
  if (w.lambda && isKalpha1Line(*w.lambda)) lambda2 = tableAlpha2(*w.lambda);
  if (sameAsFile && stored->alpha2 > *w.lambda) lambda2 = stored->alpha2;
  if (!lambda2) {
    if (ratio && *ratio > 0)
      return fail(w.lambda ? "No K-alpha-2 line is known for the wavelength " + fixedText(*w.lambda, 5)
                           : "A K-alpha-2 ratio needs a wavelength");
    return w;
  }
  const double r = ratio ? *ratio : sameAsFile && stored->ratio > 0 ? stored->ratio : kDefaultAlpha2Ratio;
  if (r > 0) w.alpha2 = Alpha2Line{*lambda2, r};
  return w;
}

PeakList findPeaks(const MeasuredPattern& pattern, const PeakSearchOptions& options) {
  std::vector<std::string> notes;
  std::optional<SearchPoints> series = searchPoints(pattern, options.from, options.to, notes);
  if (!series) {
    PeakList empty;
    empty.background = kBackgroundMethod;
    empty.wavelength = options.wavelengths.lambda;
    empty.notes = std::move(notes);
    return empty;
  }
  PeakSearch search(std::move(*series), options);
  PeakList list = search.run();
  list.notes.insert(list.notes.begin(), notes.begin(), notes.end());
  return list;
}

BackgroundCurve patternBackground(const MeasuredPattern& pattern, const PeakSearchOptions& options) {
  std::vector<std::string> notes;
  std::optional<SearchPoints> points = searchPoints(pattern, options.from, options.to, notes);
  if (!points) return {};
  return PeakSearch(std::move(*points), options).background();
}

Result<Peak> fitPeakAt(const MeasuredPattern& pattern, double twoTheta, const std::vector<Peak>& others,
                       const PeakSearchOptions& options) {
  PeakSearchOptions whole = options;
  whole.from.reset();
  whole.to.reset();
  std::vector<std::string> notes;
  std::optional<SearchPoints> series = searchPoints(pattern, std::nullopt, std::nullopt, notes);
  if (!series) return fail("No peak fits at 2θ = " + degrees(twoTheta) + "°: " + (notes.empty() ? "" : notes.back()));
  PeakSearch search(std::move(*series), whole);
  return search.fitAt(twoTheta, others);
}

}  // namespace obrin
