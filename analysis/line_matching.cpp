#include "analysis/line_matching.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "analysis/reciprocal_metric.hpp"
#include "calc/lines.hpp"

namespace obrin {

namespace {

constexpr double kDeg = 180 / std::numbers::pi;

// Newton steps on θ for the spacing of a measured angle: the displacement term is a small
// correction, so a few steps reach rounding.
constexpr int kSpacingSteps = 8;

}  // namespace

std::optional<double> lineTwoTheta(double d, const Diffractometer& in) {
  if (!(d > 0)) return std::nullopt;
  const double s = in.lambda / (2 * d);
  if (!(s > 0 && s < 1)) return std::nullopt;
  const double theta = std::asin(s);
  return 2 * theta * kDeg + in.zero - 2 * in.displacement * std::cos(theta) / in.radius * kDeg;
}

std::optional<double> spacingAt(double twoTheta, const Diffractometer& in) {
  if (!std::isfinite(twoTheta) || !(in.lambda > 0) || !(in.radius > 0)) return std::nullopt;
  // 2θ − 2 (s/R) cosθ = (2θobs − zero), all in radians.
  const double target = (twoTheta - in.zero) / kDeg;
  const double k = in.displacement / in.radius;
  double theta = target / 2;
  for (int i = 0; i < kSpacingSteps; ++i) theta -= (2 * theta - 2 * k * std::cos(theta) - target) / (2 + 2 * k * std::sin(theta));
  if (!(theta > 0 && theta < std::numbers::pi / 2)) return std::nullopt;
  return in.lambda / (2 * std::sin(theta));
}

Result<ReflectionList> allowedLines(const UnitCell& cell, const SpaceGroup& group, double lambda, double twoThetaMax) {
  const auto metric = computeMetric(cell);
  if (!metric) return metric.failure();
  if (!(lambda > 0)) return fail("Error. No lambda!");
  const double thetaMax = std::clamp(twoThetaMax / 2, kThetaMinReplacement, 90.0);
  auto lines = powderLines(*metric, group, lambda, {kThetaMinReplacement, thetaMax});
  if (!lines) return lines;
  respaceLines(*lines, cell, lambda);
  return lines;
}

void respaceLines(ReflectionList& lines, const UnitCell& cell, double lambda) {
  const auto metric = reciprocalMetric(cell);
  if (!metric) return;
  for (Reflection& r : lines) {
    r.d = spacingOf(*metric, r.hkl());
    const double s = lambda / (2 * r.d);
    r.theta = r.d > 0 && s <= 1 ? std::asin(s) * kDeg : 0;
  }
}

std::vector<LineMatch> matchPeaks(std::span<const double> twoThetaObs, const ReflectionList& lines,
                                  const Diffractometer& instrument, double tolerance) {
  struct Placed {
    double twoTheta;
    int line;
  };
  std::vector<Placed> placed;
  placed.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (const auto t = lineTwoTheta(lines[i].d, instrument)) placed.push_back({*t, static_cast<int>(i)});
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.twoTheta < b.twoTheta; });

  std::vector<LineMatch> matches(twoThetaObs.size());
  std::vector<double> spacings;
  for (std::size_t p = 0; p < twoThetaObs.size(); ++p) {
    const double obs = twoThetaObs[p];
    if (!std::isfinite(obs)) continue;
    LineMatch& m = matches[p];
    spacings.clear();
    auto it = std::lower_bound(placed.begin(), placed.end(), obs - tolerance,
                               [](const Placed& a, double v) { return a.twoTheta < v; });
    double best = tolerance;
    for (; it != placed.end() && it->twoTheta <= obs + tolerance; ++it) {
      const double delta = obs - it->twoTheta;
      spacings.push_back(lines[it->line].d);
      if (m.line < 0 || std::fabs(delta) < best) {
        best = std::fabs(delta);
        m.line = it->line;
        m.delta = delta;
      }
    }
    std::sort(spacings.begin(), spacings.end());
    for (std::size_t i = 0; i < spacings.size(); ++i)
      if (i == 0 || spacings[i] - spacings[i - 1] > spacings[i] * kDistinctLineRelative) ++m.distinctSpacings;
  }
  return matches;
}

}  // namespace obrin
