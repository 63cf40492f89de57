#include "analysis/peak_width.hpp"

#include <algorithm>
#include <cmath>

#include "analysis/search_points.hpp"

namespace obrin {

namespace {

// Peaks whose height stands this far above its noise give the width of the pattern's peaks.
constexpr double kWidthPeakSignificance = 8;
constexpr int kWidthPeaks = 25;  // strongest peaks measured for it
constexpr std::size_t kNearest = 7;  // peaks a width at an angle is the median of

}  // namespace

std::vector<std::pair<int, double>> measuredWidths(const std::vector<double>& net, const std::vector<double>& variance) {
  const int n = int(net.size());
  std::vector<int> tops;
  for (int i = 2; i + 2 < n; ++i) {
    if (net[i] <= kWidthPeakSignificance * std::sqrt(variance[i])) continue;
    if (net[i] >= net[i - 1] && net[i] >= net[i - 2] && net[i] > net[i + 1] && net[i] > net[i + 2]) tops.push_back(i);
  }
  std::sort(tops.begin(), tops.end(), [&](int a, int b) { return net[a] > net[b]; });
  std::vector<std::pair<int, double>> widths;
  std::vector<std::pair<int, int>> spans;
  const int maxWalk = std::max(4, n / 10);
  for (int top : tops) {
    if (int(widths.size()) == kWidthPeaks) break;
    if (std::any_of(spans.begin(), spans.end(), [&](auto s) { return top >= s.first && top <= s.second; })) continue;
    const double half = 0.5 * net[top];
    int left = top, right = top;
    while (left > 0 && net[left] > half && net[left] <= net[top] && top - left < maxWalk) --left;
    while (right + 1 < n && net[right] > half && net[right] <= net[top] && right - top < maxWalk) ++right;
    // A top on the flank of a higher peak, or one whose halves differ much (an overlap), does
    // not measure one peak.
    if (net[left] > half || net[right] > half) continue;
    if (std::max(top - left, right - top) > 2 * std::max(1, std::min(top - left, right - top))) continue;
    // Interpolated crossings of the half height.
    const double l = left + (half - net[left]) / (net[left + 1] - net[left]);
    const double r = right - (half - net[right]) / (net[right - 1] - net[right]);
    spans.emplace_back(2 * left - top, 2 * right - top);
    if (r - l >= 1) widths.emplace_back(top, r - l);
  }
  return widths;
}

WidthTrend::WidthTrend(std::vector<std::pair<double, double>> peaks) : peaks_(std::move(peaks)) {
  std::sort(peaks_.begin(), peaks_.end());
  std::vector<double> widths;
  for (const auto& p : peaks_) widths.push_back(p.second);
  constant_ = median(widths);
}

double WidthTrend::operator()(double twoTheta) const {
  if (peaks_.size() < kNearest) return constant_;
  // The kNearest peaks nearest in angle: a window slid from where twoTheta would stand.
  const auto at = std::lower_bound(peaks_.begin(), peaks_.end(), std::pair<double, double>{twoTheta, -INFINITY}) -
                  peaks_.begin();
  std::size_t first = std::size_t(std::clamp<long>(long(at) - long(kNearest / 2), 0, long(peaks_.size() - kNearest)));
  while (first > 0 && twoTheta - peaks_[first - 1].first < peaks_[first + kNearest - 1].first - twoTheta) --first;
  while (first + kNearest < peaks_.size() && peaks_[first + kNearest].first - twoTheta < twoTheta - peaks_[first].first)
    ++first;
  std::vector<double> widths;
  for (std::size_t i = first; i < first + kNearest; ++i) widths.push_back(peaks_[i].second);
  return median(widths);
}

}  // namespace obrin
