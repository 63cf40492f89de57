#include "analysis/figures_of_merit.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/limits.hpp"

namespace obrin {

double qOfSpacing(double d) { return d > 0 ? 1 / (d * d) : 0; }

int distinctUpTo(std::span<const double> values, double limit) {
  std::vector<double> below;
  const double reach = limit + std::fabs(limit) * kDistinctLineRelative;
  for (double v : values)
    if (std::isfinite(v) && v <= reach) below.push_back(v);
  std::sort(below.begin(), below.end());
  int count = 0;
  for (std::size_t i = 0; i < below.size(); ++i)
    if (i == 0 || below[i] - below[i - 1] > std::fabs(below[i]) * kDistinctLineRelative) ++count;
  return count;
}

namespace {

// The first n lines by observed position (all for n ≤ 0), their mean discrepancy and the
// possible lines below the last of them.
Result<FigureOfMerit> firstLines(std::span<const IndexedValue> lines, std::span<const double> possible, int n) {
  std::vector<IndexedValue> sorted;
  for (const IndexedValue& v : lines)
    if (std::isfinite(v.observed) && std::isfinite(v.calculated)) sorted.push_back(v);
  if (sorted.empty()) return fail("No indexed line for a figure of merit");
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const IndexedValue& a, const IndexedValue& b) { return a.observed < b.observed; });
  FigureOfMerit f;
  f.lines = n > 0 ? std::min<int>(n, static_cast<int>(sorted.size())) : static_cast<int>(sorted.size());
  // The N-th line's own calculated position is possible up to it, also where it lies a little
  // above the observed one.
  f.limit = std::max(sorted[f.lines - 1].observed, sorted[f.lines - 1].calculated);
  double sum = 0;
  for (int i = 0; i < f.lines; ++i) sum += std::fabs(sorted[i].observed - sorted[i].calculated);
  f.meanDelta = sum / f.lines;
  f.possible = distinctUpTo(possible, f.limit);
  if (f.possible == 0) return fail("No calculated line up to the last indexed line for a figure of merit");
  return f;
}

double ratioOrInfinite(double numerator, double denominator) {
  return denominator > 0 ? numerator / denominator : std::numeric_limits<double>::infinity();
}

}  // namespace

Result<FigureOfMerit> deWolffFigure(std::span<const IndexedValue> lines, std::span<const double> possibleQ, int n) {
  auto f = firstLines(lines, possibleQ, n);
  if (!f) return f;
  f->value = ratioOrInfinite(f->limit, 2 * f->meanDelta * f->possible);
  return f;
}

Result<FigureOfMerit> smithSnyderFigure(std::span<const IndexedValue> lines, std::span<const double> possibleTwoTheta,
                                        int n) {
  auto f = firstLines(lines, possibleTwoTheta, n);
  if (!f) return f;
  f->value = ratioOrInfinite(f->lines, f->meanDelta * f->possible);
  return f;
}

}  // namespace obrin
