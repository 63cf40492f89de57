#include "calc/pattern_sticks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "calc/wavelengths.hpp"
#include "core/limits.hpp"
#include "core/numfield.hpp"

namespace obrin {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
// The simulated profile's grid: points a FWHM of the narrowest peak, and its reach beyond the
// outermost lines in FWHM.
constexpr double kProfilePointsPerFwhm = 10;
constexpr double kProfileMargin = 5;

// Bragg's law, 2θ in degrees; none where λ / 2d > 1.
std::optional<double> braggTwoTheta(double d, double lambda) {
  if (d <= 0 || lambda <= 0) return std::nullopt;
  const double s = lambda / (2 * d);
  if (s > 1) return std::nullopt;
  return 2 * std::asin(s) / kDegree;
}

}  // namespace

std::optional<PatternAxis> patternAxisFromName(std::string_view name) {
  if (name == "2theta") return PatternAxis::TwoTheta;
  if (name == "theta") return PatternAxis::Theta;
  if (name == "d") return PatternAxis::D;
  if (name == "q") return PatternAxis::Q;
  return std::nullopt;
}

std::string_view patternAxisTitle(PatternAxis axis) {
  switch (axis) {
    case PatternAxis::TwoTheta: return "2θ (°)";
    case PatternAxis::Theta: return "θ (°)";
    case PatternAxis::D: return "d (Å)";
    case PatternAxis::Q: return "Q (Å⁻¹)";
  }
  return "";
}

std::vector<Stick> sticksFromList(const ReflectionList& list, double lambda, double zeroShift) {
  std::vector<Stick> sticks;
  sticks.reserve(list.size());
  // A list calculated without a structure has no intensities: the multiplicity stands in.
  const bool intensities = std::any_of(list.begin(), list.end(), [](const Reflection& r) { return r.intensity > 0; });
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Reflection& r = list[i];
    const auto twoTheta = braggTwoTheta(r.d, lambda);
    if (!twoTheta) continue;
    const double height = intensities ? r.intensity : double(r.multiplicity);
    sticks.push_back({r.h, r.k, r.l, r.d, *twoTheta + zeroShift, r.multiplicity, height, int(i)});
  }
  return sticks;
}

std::vector<Stick> alpha2Companions(const std::vector<Stick>& sticks, double lambda2, double ratio,
                                    double zeroShift) {
  std::vector<Stick> out;
  out.reserve(sticks.size());
  for (const Stick& s : sticks) {
    const auto twoTheta = braggTwoTheta(s.d, lambda2);
    if (!twoTheta) continue;
    Stick c = s;
    c.twoTheta = *twoTheta + zeroShift;
    c.height = s.height * ratio;
    c.row = -1;
    out.push_back(c);
  }
  return out;
}

namespace {

std::string profileWidthFault(double twoTheta, double fwhm) {
  char found[96];
  if (fwhm > 0) std::snprintf(found, sizeof found, "the FWHM is %.4g°", fwhm);
  else std::snprintf(found, sizeof found, "U tan²θ + V tanθ + W is not above 0");
  char text[256];
  std::snprintf(text, sizeof text, "No simulated profile: at 2θ = %.3f°, %s; the FWHM must lie between %g and %g° 2θ",
                twoTheta, found, kMinProfileFwhm, kMaxProfileFwhm);
  return text;
}

}  // namespace

Result<std::vector<ProfilePoint>> stickProfile(const std::vector<Stick>& sticks, const std::vector<Stick>& companions,
                                               const ProfileShape& shape) {
  std::vector<ProfileLine> lines;
  lines.reserve(sticks.size() + companions.size());
  double narrowest = kMaxProfileFwhm, from = 180, to = 0;
  for (const auto* group : {&sticks, &companions}) {
    for (const Stick& s : *group) {
      const double fwhm = cagliotiFwhm(shape, s.twoTheta / 2);
      if (!(fwhm >= kMinProfileFwhm && fwhm <= kMaxProfileFwhm)) return fail(profileWidthFault(s.twoTheta, fwhm));
      narrowest = std::min(narrowest, fwhm);
      from = std::min(from, s.twoTheta - kProfileMargin * fwhm);
      to = std::max(to, s.twoTheta + kProfileMargin * fwhm);
      lines.push_back({s.twoTheta, s.height});
    }
  }
  if (lines.empty()) return std::vector<ProfilePoint>{};
  from = std::max(from, 0.0);
  to = std::min(to, 180.0);
  ProfileShape grid = shape;
  grid.step = std::max(narrowest / kProfilePointsPerFwhm, (to - from) / (kMaxProfilePoints - 1));
  return simulatedProfile(lines, from, to, grid);
}

std::string stickListText(const std::vector<Stick>& sticks) {
  std::string text = "h\tk\tl\td\t2theta\tmultiplicity\n";
  char row[128];
  for (const Stick& s : sticks) {
    std::snprintf(row, sizeof row, "%d\t%d\t%d\t%.5f\t%.4f\t%d\n", s.h, s.k, s.l, s.d, s.twoTheta, s.multiplicity);
    text += row;
  }
  return text;
}

std::optional<double> alpha2Of(double lambda) {
  // Rows come in anode groups whose names share their first two letters.
  for (const XrayLine& line : kXrayLines) {
    if (std::abs(line.lambda - lambda) > kSameWavelength || !line.name.ends_with("Ka1")) continue;
    for (const XrayLine& other : kXrayLines)
      if (other.name.substr(0, 2) == line.name.substr(0, 2) && other.name.substr(2) == "Ka2") return other.lambda;
  }
  return std::nullopt;
}

std::optional<double> companionWavelength(double lambda, double fileAlpha1, double fileAlpha2) {
  // The instrument's own doublet before the table's, which may differ in the last decimals.
  if (fileAlpha1 > 0 && fileAlpha2 > 0 && std::abs(lambda - fileAlpha1) <= kSameWavelength) return fileAlpha2;
  return alpha2Of(lambda);
}

namespace {

std::string fieldFault(std::string_view field, std::string_view text, std::string_view wanted) {
  return "Error on " + std::string(field) + ": \"" + std::string(text) + "\" is not " + std::string(wanted);
}

}  // namespace

Result<double> readZeroShift(std::string_view text) {
  const auto zero = parseNumber(text);
  if (!zero || !(std::abs(*zero) <= kMaxZeroShift)) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "a shift between %g and %g", -kMaxZeroShift, kMaxZeroShift);
    return fail(fieldFault("zero shift (° 2θ)", text, wanted));
  }
  return *zero;
}

Result<double> readAlpha2Ratio(std::string_view text) {
  const auto ratio = parseNumber(text);
  if (!ratio || !(*ratio >= 0 && *ratio <= kMaxAlpha2Ratio)) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "a ratio between 0 and %g", kMaxAlpha2Ratio);
    return fail(fieldFault("Kα2 ratio", text, wanted));
  }
  return *ratio;
}

std::optional<double> axisValue(PatternAxis axis, double twoTheta, double lambda) {
  const double theta = twoTheta / 2 * kDegree;
  switch (axis) {
    case PatternAxis::TwoTheta: return twoTheta;
    case PatternAxis::Theta: return twoTheta / 2;
    case PatternAxis::D:
      if (twoTheta <= 0 || twoTheta >= 360 || lambda <= 0) return std::nullopt;
      return lambda / (2 * std::sin(theta));
    case PatternAxis::Q:
      if (lambda <= 0) return std::nullopt;
      return 4 * std::numbers::pi * std::sin(theta) / lambda;
  }
  return std::nullopt;
}

std::optional<double> twoThetaOf(PatternAxis axis, double value, double lambda) {
  switch (axis) {
    case PatternAxis::TwoTheta: return value;
    case PatternAxis::Theta: return 2 * value;
    case PatternAxis::D: return braggTwoTheta(value, lambda);
    case PatternAxis::Q: {
      if (lambda <= 0 || value <= 0) return std::nullopt;
      return braggTwoTheta(2 * std::numbers::pi / value, lambda);  // d = 2π / Q
    }
  }
  return std::nullopt;
}

}  // namespace obrin
