#include "io/excel.hpp"

#include "core/textformat.hpp"
#include "io/atomic_write.hpp"
#include "io/refinement_text.hpp"

namespace obrin {

Result<std::string> spreadsheetText(const CalculationState& state, const ReportInputs& in) {
  const AngleMode angle = in.choices.angle;
  const int n = in.decimals;
  const UnitCell& c = state.cellCopy;
  const char tab = '\t';

  std::string out;
  out += "Miller indices generator\n";
  out += "\n";
  out += in.dateTime + "\n";
  out += "\n";
  out += "Space Group: " + state.groupName + "\n";
  out += "\n";
  out += "  a\t  b\t  c\t alpha\t beta\t gamma\t lambda\t\n";
  out += fixedText(c.a, 9, 5) + tab + fixedText(c.b, 9, 5) + tab + fixedText(c.c, 9, 5) + tab +
         fixedText(c.alpha, 6, 2) + tab + fixedText(c.beta, 6, 2) + tab +
         fixedText(c.gamma, 6, 2) + tab + fixedText(state.lambda, 10, 5) + "\n";
  out += "\n";

  if (in.choices.mode == CalcMode::Powder) {
    out += angleLimitLines(state.thetaMin, state.thetaMax, angle) + "\n";
  } else if (in.choices.mode == CalcMode::SingleCrystal) {
    const auto limits = readReportMillerLimits(in.choices.millerLimitTexts);
    if (!limits) return limits.failure();
    out += millerLimitLines(*limits) + "\n";
  }

  // The column title stays "Theta" in 2θ mode; only the values are doubled.
  out += state.structure ? "  h\t  k\t  l\t   dhkl\tTheta\tMult\tI\n" : "  h\t  k\t  l\t   dhkl\tTheta\tMult\n";
  for (const Reflection& r : state.list) {
    const double shown = angle == AngleMode::TwoTheta ? 2.0 * r.theta : double(r.theta);
    out += intText(r.h, 3) + tab + intText(r.k, 3) + tab + intText(r.l, 3) + tab +
           fixedText(r.d, 8, 3) + tab + fixedText(shown, n + 4, n) + tab +
           intText(r.multiplicity, 5) + (state.structure ? tab + fixedText(r.intensity, 7, 1) : std::string()) + "\n";
  }
  out += "\n";
  if (in.choices.refinement) out += refinementSpreadsheetText(*in.choices.refinement) + "\n";
  return out;
}

Result<std::string> writeSpreadsheet(const CalculationState& state, const ReportInputs& inputs,
                                     const std::filesystem::path& folder) {
  auto text = spreadsheetText(state, inputs);
  if (!text) return fail(std::string("Cannot write ") + kSpreadsheetFileName + ": " + text.error());
  if (auto written = writeFileAtomically(folder / kSpreadsheetFileName, *text); !written) return written.failure();
  return text;
}

}  // namespace obrin
