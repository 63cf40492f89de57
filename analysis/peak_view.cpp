#include "analysis/peak_view.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/limits.hpp"
#include "core/numfield.hpp"

namespace obrin {

namespace {

std::string fieldFault(std::string_view field, std::string_view text, std::string_view wanted) {
  return "Error on " + std::string(field) + ": \"" + std::string(text) + "\" is not " + std::string(wanted);
}

bool blank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

Result<std::optional<double>> readRangeEnd(std::string_view field, std::string_view text) {
  if (blank(text)) return std::optional<double>();
  const auto angle = parseNumber(text);
  if (!angle || !(*angle >= 0 && *angle <= 180)) return fail(fieldFault(field, text, "an angle between 0 and 180"));
  return std::optional<double>(*angle);
}

// For each angle of `of`, whether one of `sorted` lies within the tolerance.
std::vector<bool> within(std::span<const double> of, const std::vector<double>& sorted, double tolerance) {
  std::vector<bool> near(of.size(), false);
  for (std::size_t i = 0; i < of.size(); ++i) {
    if (!std::isfinite(of[i])) continue;
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), of[i] - tolerance);
    near[i] = at != sorted.end() && *at <= of[i] + tolerance;
  }
  return near;
}

std::vector<double> sortedFinite(std::span<const double> values) {
  std::vector<double> out;
  out.reserve(values.size());
  for (double v : values)
    if (std::isfinite(v)) out.push_back(v);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

Result<double> readMinSignificance(std::string_view text) {
  const auto s = parseNumber(text);
  if (!s || !std::isfinite(*s) || !(*s > 0)) return fail(fieldFault("minimum significance", text, "a positive number"));
  return *s;
}

Result<SearchRange> readSearchRange(std::string_view from, std::string_view to) {
  const auto lower = readRangeEnd("2θ from (°)", from);
  if (!lower) return lower.failure();
  const auto upper = readRangeEnd("2θ to (°)", to);
  if (!upper) return upper.failure();
  if (*lower && *upper && !(**lower < **upper))
    return fail("Error on 2θ range: from " + std::string(from) + " to " + std::string(to) +
                " is no range; the first angle must be below the second");
  return SearchRange{*lower, *upper};
}

Result<double> readPeakMatchTolerance(std::string_view text) {
  const auto t = parseNumber(text);
  if (!t || !(*t > 0 && *t <= kMaxPeakMatchTolerance)) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "a tolerance above 0 and at most %g", kMaxPeakMatchTolerance);
    return fail(fieldFault("match tolerance (° 2θ)", text, wanted));
  }
  return *t;
}

Explanation explainEachOther(std::span<const double> peaks, std::span<const double> lines, double tolerance) {
  return {within(peaks, sortedFinite(lines), tolerance), within(lines, sortedFinite(peaks), tolerance)};
}

}  // namespace obrin
