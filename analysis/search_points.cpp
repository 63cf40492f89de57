#include "analysis/search_points.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/limits.hpp"

namespace obrin {

namespace {

// Median of a χ² variable of one degree of freedom: the scatter's median over its mean.
constexpr double kChi2OneMedian = 0.45493642311957;

// How much more the intensities scatter than their variances say: the square of each point's
// difference from the mean of its neighbours over the variance of that difference, whose
// median over the pattern is the median of a χ² of one degree where the variances are right.
// The median keeps the peaks out of it.
double scatterGain(const std::vector<double>& y, const std::vector<double>& variance) {
  std::vector<double> ratios;
  ratios.reserve(y.size());
  for (std::size_t i = 1; i + 1 < y.size(); ++i) {
    const double r = y[i] - 0.5 * (y[i - 1] + y[i + 1]);
    const double v = variance[i] + 0.25 * (variance[i - 1] + variance[i + 1]);
    if (v > 0) ratios.push_back(r * r / v);
  }
  const double gain = median(std::move(ratios)) / kChi2OneMedian;
  return gain > 0 && std::isfinite(gain) ? gain : 1;
}

}  // namespace

std::vector<double> movingAverage(const std::vector<double>& y, int half) {
  const int n = int(y.size());
  if (half <= 0 || n == 0) return y;
  std::vector<double> prefix(n + 1, 0.0), out(n);
  for (int i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + y[i];
  for (int i = 0; i < n; ++i) {
    const int a = std::max(0, i - half), b = std::min(n - 1, i + half);
    out[i] = (prefix[b + 1] - prefix[a]) / (b - a + 1);
  }
  return out;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  const auto mid = v.begin() + long(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

std::string fixedText(double x, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  return text;
}

std::optional<SearchPoints> searchPoints(const MeasuredPattern& p, std::optional<double> fromAngle,
                                         std::optional<double> toAngle, std::vector<std::string>& notes) {
  if (p.x.size() != p.y.size()) {
    notes.push_back("The pattern's angles and intensities differ in number");
    return std::nullopt;
  }
  const double from = fromAngle.value_or(-INFINITY), to = toAngle.value_or(INFINITY);
  if (!(from < to)) {
    notes.push_back("The 2θ range " + fixedText(from, 3) + " to " + fixedText(to, 3) + " holds no angle");
    return std::nullopt;
  }
  const bool sigma = p.sigma.size() == p.x.size();
  std::vector<std::size_t> order;
  std::size_t notNumbers = 0;
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    if (!std::isfinite(p.x[i]) || !std::isfinite(p.y[i])) {
      ++notNumbers;
      continue;
    }
    if (p.x[i] >= from && p.x[i] <= to) order.push_back(i);
  }
  if (notNumbers > 0) notes.push_back(std::to_string(notNumbers) + " points that are not numbers were left out");
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p.x[a] < p.x[b]; });
  const bool ranged = fromAngle || toAngle;
  if (int(order.size()) < kMinPeakSearchPoints) {
    notes.push_back("The pattern holds " + std::to_string(order.size()) + " points" +
                    (ranged ? " in the range searched" : "") + ", too few to hold a peak (at least " +
                    std::to_string(kMinPeakSearchPoints) + ")");
    return std::nullopt;
  }
  SearchPoints s;
  s.x.reserve(order.size());
  s.y.reserve(order.size());
  for (std::size_t i : order) {
    s.x.push_back(p.x[i]);
    s.y.push_back(p.y[i]);
  }
  std::vector<double> steps;
  steps.reserve(s.x.size());
  for (std::size_t i = 1; i < s.x.size(); ++i)
    if (s.x[i] > s.x[i - 1]) steps.push_back(s.x[i] - s.x[i - 1]);
  s.step = median(std::move(steps));
  const auto [low, high] = std::minmax_element(s.y.begin(), s.y.end());
  if (!(s.step > 0) || !(*high > *low)) {
    notes.push_back("The pattern is flat: it holds no peak");
    return std::nullopt;
  }

  // Counting statistics, or the file's σ where it gives one; the variance of a count is taken
  // from the mean of its neighbours, so that a low count does not weigh too much.
  const std::vector<double> smooth = movingAverage(s.y, 1);
  s.variance.resize(s.x.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const double fileSigma = sigma ? p.sigma[order[k]] : 0;
    s.variance[k] = fileSigma > 0 && std::isfinite(fileSigma) ? fileSigma * fileSigma : std::max(smooth[k], 1.0);
  }
  // Intensities that scatter otherwise than their uncertainties say are not counts (scaled,
  // summed or averaged), or their σ are too small: the scatter they show is taken. Whole
  // numbers and σ are only ever made more uncertain, as few counts a point show too little
  // scatter this way.
  const double gain = scatterGain(s.y, s.variance);
  const bool integral = std::all_of(s.y.begin(), s.y.end(), [](double v) { return v >= 0 && v == std::floor(v); });
  if (gain > kCountingGainTolerance || (!sigma && !integral && gain * kCountingGainTolerance < 1)) {
    for (double& v : s.variance) v *= gain;
    notes.push_back(std::string(sigma ? "The intensities scatter " + fixedText(std::sqrt(gain), 2) + " times more than their σ say"
                                      : "The intensities scatter as " + fixedText(std::sqrt(gain), 3) +
                                            " × √I rather than as counts") +
                    ": their uncertainties are taken from that scatter");
  }
  return s;
}

}  // namespace obrin
