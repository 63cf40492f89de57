#include "io/report.hpp"

#include <cmath>

#include "calc/calculation.hpp"
#include "core/textformat.hpp"
#include "io/atomic_write.hpp"
#include "io/refinement_text.hpp"

namespace obrin {

namespace {

constexpr std::array<const char*, 6> kMillerLimitNames = {"Hmin", "Hmax", "Kmin",
                                                         "Kmax", "Lmin", "Lmax"};

bool rhombohedralInHexagonalAxes(const CalculationState& s) {
  return s.system == CrystalSystem::Hexagonal && s.lattice == 'R';
}
bool rhombohedralAxes(const CalculationState& s) { return s.system == CrystalSystem::Rhombohedral; }

std::string blanks(int n) { return n > 0 ? std::string(n, ' ') : std::string(); }

}  // namespace

std::optional<int> readWholeNumber(std::string_view text) { return parseWholeNumber(trimmed(text)); }

Result<int> readDecimals(std::string_view text) {
  const auto n = readWholeNumber(text);
  if (n && *n >= 0 && *n <= kMaxReportDecimals) return *n;
  return fail("Number of decimals: \"" + trimmed(text) + "\" is not a whole number from 0 to " +
              std::to_string(kMaxReportDecimals));
}

Result<std::array<int, 6>> readReportMillerLimits(const std::array<std::string, 6>& texts) {
  std::array<int, 6> limits{};
  for (size_t i = 0; i < texts.size(); ++i) {
    const auto n = readWholeNumber(texts[i]);
    if (!n) return fail(std::string(kMillerLimitNames[i]) + ": \"" + trimmed(texts[i]) + "\" is not a whole number");
    limits[i] = *n;
  }
  return limits;
}

std::string angleLimitLines(double thetaMin, double thetaMax, AngleMode angle) {
  if (angle == AngleMode::TwoTheta)
    return "2Theta Min =" + fixedText(2 * thetaMin, 7, 2) + "\n" +
           "2Theta Max =" + fixedText(2 * thetaMax, 7, 2) + "\n";
  return "Theta Min =" + fixedText(thetaMin, 7, 2) + "\n" +
         "Theta Max =" + fixedText(thetaMax, 7, 2) + "\n";
}

std::string millerLimitLines(const std::array<int, 6>& m) {
  return "Hmin =" + intText(m[0], 3) + "  Hmax =" + intText(m[1], 3) + "\n" +
         "Kmin =" + intText(m[2], 3) + "  Kmax =" + intText(m[3], 3) + "\n" +
         "Lmin =" + intText(m[4], 3) + "  Lmax =" + intText(m[5], 3) + "\n";
}

namespace {

// The heading, the cell (with its other setting for rhombohedral groups) and λ.
std::string reportCellLines(const CalculationState& state, const std::string& dateTime) {
  const UnitCell& c = state.cellCopy;
  std::string out = dateTime + "\n\n";
  out += std::string(18, ' ') + "Miller indices generator\n";
  out += std::string(18, ' ') + std::string(24, '-') + "\n\n";
  out += "Space Group: " + state.groupName + "\n";
  out += "a=" + fixedText(c.a, 9, 5) + " b=" + fixedText(c.b, 9, 5) + " c=" + fixedText(c.c, 9, 5) + "\n";
  out += "alpha=" + fixedText(c.alpha, 7, 3) + " beta=" + fixedText(c.beta, 7, 3) +
         " gamma=" + fixedText(c.gamma, 7, 3) + "\n";
  if (rhombohedralInHexagonalAxes(state)) {
    // The primitive rhombohedral cell of a hexagonal R cell: aR = √(3a² + c²)/3,
    // sin(alphaR/2) = 3/(2·√((c/a)² + 3)).
    const double r = std::sqrt((c.c / c.a) * (c.c / c.a) + 3);
    const double aR = c.a * r / 3;
    const double alphaR = arcsin(3 / (2 * r)) * 114.59156;  // 360/π
    out += "\nRhomboedral cell:\n";
    out += "a=" + fixedText(aR, 9, 5) + " alpha=" + fixedText(alphaR, 7, 3) + "\n";
  }
  if (rhombohedralAxes(state)) {
    // The hexagonal cell of a rhombohedral one: aH = 2a·sin(alpha/2), cH from the same relation.
    const double s = std::sin(c.alpha * 0.0087266462619642);  // π/360
    const double aH = 2 * c.a * s;
    const double cH = aH * std::sqrt(2.25 / (s * s) - 3);
    out += "\nHexagonal cell:\n";
    out += "a=" + fixedText(aH, 9, 5) + " c=" + fixedText(cH, 9, 5) + "\n";
  }
  return out + "lambda=" + fixedText(state.lambda, 10, 5) + "\n\n";
}

std::string reportColumnHeading(const CalculationState& state, AngleMode angle, int width) {
  std::string out = "  h  k  l    dhkl";
  out += blanks(width / 2 - 1);
  out += angle == AngleMode::TwoTheta ? "2Theta" : " Theta";
  out += blanks(width / 2 - 3);
  out += "  Mult";
  if (state.structure) out += "       I";
  if (rhombohedralInHexagonalAxes(state)) out += "  Rhomb. indices";
  if (rhombohedralAxes(state)) out += "  Hexag. indices";
  return out + "\n";
}

std::string reportLine(const CalculationState& state, const Reflection& r, AngleMode angle, int decimals) {
  const double shown = angle == AngleMode::TwoTheta ? 2.0 * r.theta : r.theta;
  std::string line;
  for (const std::string& field : {intText(r.h, 3), intText(r.k, 3), intText(r.l, 3), fixedText(r.d, 9, 4),
                                   fixedText(shown, decimals + 5, decimals), intText(r.multiplicity, 5)})
    appendField(line, field);
  if (state.structure) appendField(line, fixedText(r.intensity, 8, 1));
  auto appendOtherIndices = [&line](int i1, int i2, int i3) {
    line += "    ";
    for (int i : {i1, i2, i3}) appendField(line, intText(i, 4));
  };
  const int h = r.h, k = r.k, l = r.l;
  if (rhombohedralInHexagonalAxes(state))
    appendOtherIndices((2 * h + k + l) / 3, (-h + k + l) / 3, (-h - 2 * k + l) / 3);
  if (rhombohedralAxes(state)) appendOtherIndices(h - k, k - l, h + k + l);
  return line + "\n";
}

}  // namespace

Result<std::string> resultsReportText(const CalculationState& state, const ReportInputs& in) {
  const AngleMode angle = in.choices.angle;
  std::string out = reportCellLines(state, in.dateTime);
  if (in.choices.mode == CalcMode::Powder) {
    out += angleLimitLines(state.thetaMin, state.thetaMax, angle) + "\n";
    out += reportColumnHeading(state, angle, in.decimals + 5);
  } else if (in.choices.mode == CalcMode::SingleCrystal) {
    const auto limits = readReportMillerLimits(in.choices.millerLimitTexts);
    if (!limits) return limits.failure();
    out += millerLimitLines(*limits) + "\n";
    out += reportColumnHeading(state, angle, in.decimals + 5);
  }
  for (const Reflection& r : state.list) out += reportLine(state, r, angle, in.decimals);
  out += "\n";
  if (in.choices.refinement) out += refinementText(*in.choices.refinement) + "\n";
  return out;
}

Result<void> WriteResultsReport(const CalculationState& state, const ReportInputs& inputs,
                                const std::filesystem::path& folder) {
  const auto report = resultsReportText(state, inputs);
  if (!report) return fail(std::string("Cannot write ") + kReportFileName + ": " + report.error());
  return writeFileAtomically(folder / kReportFileName, *report);
}

}  // namespace obrin
