// The part of each index row (h, k) that can fall inside a d window: the calculations visit
// only these, so that a huge cell or a narrow window costs no more than its lines.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "core/mathhkl.hpp"

namespace obrin {

// The part of each index row that can fall inside a d window [dmin, dmax]. With the metric
// tensor G = BᵀB, |s|² = Q(h, k, l) = (h k l) G (h k l)ᵀ, and d = 1/|s|: a row along l meets the
// ellipsoid Q ≤ 1/dmin² in one interval, and the hole Q < 1/dmax² (d above dmax) in another,
// each the roots of a quadratic in l; the k rows of one h that meet the ellipsoid at all come
// from the same quadratic after minimising over l. The spans are widened (the hole narrowed) by
// a margin far beyond rounding, and every reflection is still tested on its own d, so the
// pruning only skips indices that cannot be listed: the list is exactly the unpruned one, but a
// huge cell or a narrow window no longer visits billions of empty rows.
class WindowSpans {
 public:
  WindowSpans(const Mat3& B, double dmin, double dmax) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) G_[i][j] = B[0][i] * B[0][j] + B[1][i] * B[1][j] + B[2][i] * B[2][j];
    outer_ = dmin > 0 && std::isfinite(1 / (dmin * dmin)) ? 1 / (dmin * dmin) : -1;
    inner_ = dmax > 0 && std::isfinite(dmax) ? 1 / (dmax * dmax) : -1;
    // Without a positive curvature along l (or k after the minimum over l) nothing is pruned.
    usable_ = G_[2][2] > 0 && std::isfinite(G_[2][2]);
    if (usable_) {
      a2_ = G_[1][1] - G_[1][2] * G_[1][2] / G_[2][2];
      b2_ = G_[0][1] - G_[0][2] * G_[1][2] / G_[2][2];
      c2_ = G_[0][0] - G_[0][2] * G_[0][2] / G_[2][2];
    }
  }

  // The k of [lo, hi] whose rows may reach d ≥ dmin for this h; lo > hi when none does.
  std::pair<long long, long long> kSpan(long long h, long long lo, long long hi) const {
    if (!usable_ || outer_ < 0 || !(a2_ > 0)) return {lo, hi};
    double first = 0, last = 0;
    if (!roots(a2_, 2 * b2_ * h, c2_ * h * h - outer_, first, last)) return {1, 0};
    return clip(first, last, lo, hi);
  }

  // The rows (h, k) of the box that the loops will visit.
  long long rowCount(long long hFirst, long long hLast, long long kFirst, long long kLast) const {
    long long rows = 0;
    for (long long h = hFirst; h <= hLast; ++h) {
      const auto [first, last] = kSpan(h, kFirst, kLast);
      if (last >= first) rows += last - first + 1;
    }
    return rows;
  }

  struct Row {
    long long first, last;          // the l that may lie in the window
    long long holeFirst, holeLast;  // inside them, the l that surely lie above dmax
  };
  Row lRow(long long h, long long k, long long lo, long long hi) const {
    Row row{lo, hi, 1, 0};
    if (!usable_) return row;
    const double b = 2 * (G_[0][2] * h + G_[1][2] * k);
    const double c = G_[0][0] * h * h + G_[1][1] * k * k + 2 * G_[0][1] * h * k;
    double first = 0, last = 0;
    if (outer_ >= 0) {
      if (!roots(G_[2][2], b, c - outer_, first, last)) return {1, 0, 1, 0};
      std::tie(row.first, row.last) = clip(first, last, lo, hi);
    }
    if (inner_ >= 0 && roots(G_[2][2], b, c - inner_, first, last)) {
      // Clamped to the row before any conversion: the roots of an oblique cell may lie far
      // beyond what an index (or even a long long) holds.
      const double m = margin(first, last);
      const double holeFirst = std::max(std::ceil(first + m), static_cast<double>(lo));
      const double holeLast = std::min(std::floor(last - m), static_cast<double>(hi));
      if (holeFirst <= holeLast) {
        row.holeFirst = static_cast<long long>(holeFirst);
        row.holeLast = static_cast<long long>(holeLast);
      }
    }
    return row;
  }

 private:
  static double margin(double first, double last) {
    return 2 + 1e-6 * (std::fabs(first) + std::fabs(last));
  }
  // The real x with a x² + b x + c ≤ 0 (a > 0); false when there is none.
  static bool roots(double a, double b, double c, double& first, double& last) {
    const double disc = b * b - 4 * a * c;
    if (!std::isfinite(disc)) {
      first = -std::numeric_limits<double>::infinity();
      last = std::numeric_limits<double>::infinity();
      return true;  // no safe answer: keep everything
    }
    if (disc < 0) {
      // Tangent rows may come out slightly negative: keep the row when it is that close.
      if (disc < -1e-9 * (b * b + 4 * a * std::fabs(c))) return false;
      first = last = -b / (2 * a);
      return true;
    }
    const double root = std::sqrt(disc);
    first = (-b - root) / (2 * a);
    last = (-b + root) / (2 * a);
    return true;
  }
  // [first, last] widened by the margin and cut to [lo, hi]; {1, 0} when nothing is left.
  static std::pair<long long, long long> clip(double first, double last, long long lo, long long hi) {
    if (std::isnan(first) || std::isnan(last)) return {lo, hi};
    const double m = margin(first, last);
    const double f = std::floor(first - m), l = std::ceil(last + m);
    if (f > static_cast<double>(hi) || l < static_cast<double>(lo)) return {1, 0};
    // Both now lie inside [lo, hi] or on its far side, so the conversions are exact.
    const long long a = f > static_cast<double>(lo) ? static_cast<long long>(f) : lo;
    const long long b = l < static_cast<double>(hi) ? static_cast<long long>(l) : hi;
    return {a, b};
  }

  Mat3 G_{};
  double outer_ = -1, inner_ = -1;
  bool usable_ = false;
  double a2_ = 0, b2_ = 0, c2_ = 0;  // Q minimised over l: a2 k² + 2 b2 h k + c2 h²
};

}  // namespace obrin
