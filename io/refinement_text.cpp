#include "io/refinement_text.hpp"

#include <cmath>
#include <cstdio>

#include "core/textformat.hpp"

namespace obrin {

namespace {

std::string general(double x, int digits) {
  if (!std::isfinite(x)) return x > 0 ? "inf" : "none";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, x);
  return buf;
}

std::string flagsOf(const RefinedLine& line) {
  std::string flags;
  auto add = [&](bool on, const char* word) {
    if (!on) return;
    if (!flags.empty()) flags += ' ';
    flags += word;
  };
  add(!line.indexed, "unindexed");
  add(line.excluded, "excluded");
  add(line.outlier, "outlier");
  add(line.ambiguous, "ambiguous");
  return flags;
}

std::string figureLabel(char letter, const FigureOfMerit& f) {
  std::string label(1, letter);
  label += std::to_string(f.lines);
  return label;
}

std::string figureValue(double v) { return std::isfinite(v) ? fixedText(v, 0, 1) : "infinite"; }

}  // namespace

std::string valueWithUncertainty(double value, double su, int decimals) {
  if (!(su > 0) || !std::isfinite(su)) return fixedText(value, 0, decimals);
  const int exponent = static_cast<int>(std::floor(std::log10(su)));
  const double lead = su / std::pow(10.0, exponent);
  // The last digit the s.u. keeps: two digits when it starts with 1, else one.
  const int last = exponent - (lead < 2 ? 1 : 0);
  const double unit = std::pow(10.0, last);
  const long long digits = std::llround(su / unit);
  if (last >= 0) {
    const double rounded = std::round(value / unit) * unit;
    return fixedText(rounded, 0, 0) + "(" + std::to_string(static_cast<long long>(std::llround(digits * unit))) + ")";
  }
  return fixedText(value, 0, -last) + "(" + std::to_string(digits) + ")";
}

std::string cellParameterText(CrystalSystem system, const UnitCell& cell, const UnitCell& su, int parameter) {
  const CellParameterRule& rule = systemInfo(system).cell[parameter];
  if (rule.kind == CellParameterRule::Fixed) return std::to_string(rule.degrees);
  if (rule.kind == CellParameterRule::Tied) return std::string(kCellParameterNames[tieRoot(system, parameter)]);
  return valueWithUncertainty(cell.params()[parameter], su.params()[parameter], parameter < 3 ? 5 : 3);
}

std::string cellParameterText(const CellRefinement& r, int parameter) {
  return cellParameterText(r.system, r.cell, r.cellSu, parameter);
}

std::string deWolffText(const CellRefinement& r) { return deWolffText(r.m20); }

std::string smithSnyderText(const CellRefinement& r) { return smithSnyderText(r.fN); }

std::string deWolffText(const std::optional<FigureOfMerit>& m20) {
  if (!m20) return "M20: none (no indexed line to count)";
  const FigureOfMerit& f = *m20;
  return figureLabel('M', f) + " = " + figureValue(f.value) + " (<|dQ|> = " + general(f.meanDelta, 3) +
         " A^-2, Nposs = " + std::to_string(f.possible) + ")";
}

std::string smithSnyderText(const std::optional<FigureOfMerit>& fN) {
  if (!fN) return "F_N: none (no indexed line to count)";
  const FigureOfMerit& f = *fN;
  return figureLabel('F', f) + " = " + figureValue(f.value) + " (<|d2Theta|> = " + fixedText(f.meanDelta, 0, 4) +
         " deg, Nposs = " + std::to_string(f.possible) + ")";
}

std::string refinementText(const CellRefinement& r) {
  std::string out = "Cell refinement\n";
  out += "  system " + std::string(systemCode(r.system)) + ", lambda " + fixedText(r.lambda, 0, 5) +
         " A, tolerance " + fixedText(r.tolerance, 0, 3) + " deg 2Theta\n";
  int excluded = 0;
  for (const RefinedLine& line : r.lines) excluded += line.excluded;
  out += "  peaks " + std::to_string(r.lines.size()) + ": used " + std::to_string(r.used) + ", unindexed " +
         std::to_string(r.unindexed) + ", ambiguous " + std::to_string(r.ambiguous) + ", excluded " +
         std::to_string(excluded) + ", outliers " + std::to_string(r.outliers) + "\n";
  out += std::string("  weights ") +
         (r.weighted ? "1/sigma^2 (sigma of 2Theta floored at " + fixedText(kMinTwoThetaSu, 0, 3) + " deg)"
                     : "equal (the peaks have no s.u.)") +
         "; chi2/nu = " + general(r.reducedChiSquare, 4) + "\n";
  out += "a = " + cellParameterText(r, kA) + "  b = " + cellParameterText(r, kB) + "  c = " + cellParameterText(r, kC) +
         "  (A)\n";
  out += "alpha = " + cellParameterText(r, kAlpha) + "  beta = " + cellParameterText(r, kBeta) +
         "  gamma = " + cellParameterText(r, kGamma) + "  (deg)\n";
  out += "V = " + valueWithUncertainty(r.volume, r.volumeSu, 3) + " A^3\n";
  out += "zero = " + (r.zeroRefined ? valueWithUncertainty(r.zero, r.zeroSu, 4) + " deg 2Theta"
                                    : general(r.zero, 6) + " deg 2Theta (not refined)") + "\n";
  out += "displacement = " +
         (r.displacementRefined ? valueWithUncertainty(r.displacement, r.displacementSu, 4) + " mm"
                                : general(r.displacement, 6) + " mm (not refined)") +
         ", R = " + general(r.radius, 6) + " mm\n";
  if (r.zeroDisplacementCorrelation)
    out += "correlation of zero and displacement = " + fixedText(*r.zeroDisplacementCorrelation, 0, 3) + "\n";
  for (const std::string& w : r.warnings) out += "Warning: " + w + "\n";
  out += deWolffText(r) + "\n" + smithSnyderText(r) + "\n\n";
  out += "    h    k    l 2Theta obs 2Theta calc    delta    d obs   d calc      weight leverage  flags\n";
  for (const RefinedLine& line : r.lines) {
    std::string row;
    if (line.indexed) {
      appendColumns(row, {intColumn(line.hkl.h, 5), intColumn(line.hkl.k, 5), intColumn(line.hkl.l, 5)});
    } else {
      row += std::string(15, ' ');
    }
    appendFixedField(row, line.twoThetaObs, 11, 4);
    if (line.indexed) {
      appendColumns(row, {fixedColumn(line.twoThetaCalc, 12, 4), fixedColumn(line.delta, 9, 4),
                          fixedColumn(line.dObs, 9, 5), fixedColumn(line.dCalc, 9, 5)});
    } else {
      row += std::string(21, ' ');
      appendFixedField(row, line.dObs, 9, 5);
      row += std::string(9, ' ');
    }
    if (line.used()) appendColumns(row, {fixedColumn(line.weight, 12, 1), fixedColumn(line.leverage, 9, 3)});
    else row += std::string(21, ' ');
    const std::string flags = flagsOf(line);
    if (!flags.empty()) row += "  " + flags;
    out += trimmedRight(row) + "\n";
  }
  return out;
}

std::string refinementSpreadsheetText(const CellRefinement& r) {
  const char tab = '\t';
  std::string out = "Cell refinement\n\n";
  out += std::string("parameter") + tab + "value" + tab + "s.u.\n";
  const auto params = r.cell.params(), su = r.cellSu.params();
  for (int p = 0; p < 6; ++p) {
    const CellParameterRule& rule = systemInfo(r.system).cell[p];
    out += std::string(kCellParameterNames[p]) + tab + general(params[p], 10) + tab;
    out += rule.kind == CellParameterRule::Free ? general(su[p], 3)
           : rule.kind == CellParameterRule::Tied ? "= " + std::string(kCellParameterNames[tieRoot(r.system, p)])
                                                   : "fixed";
    out += "\n";
  }
  out += std::string("V") + tab + general(r.volume, 10) + tab + general(r.volumeSu, 3) + "\n";
  out += std::string("zero") + tab + general(r.zero, 6) + tab + (r.zeroRefined ? general(r.zeroSu, 3) : "not refined") + "\n";
  out += std::string("displacement") + tab + general(r.displacement, 6) + tab +
         (r.displacementRefined ? general(r.displacementSu, 3) : "not refined") + "\n";
  if (r.zeroDisplacementCorrelation)
    out += std::string("correlation zero displacement") + tab + general(*r.zeroDisplacementCorrelation, 4) + "\n";
  if (r.m20)
    out += figureLabel('M', *r.m20) + tab + general(r.m20->value, 5) + tab + general(r.m20->meanDelta, 4) + tab +
           std::to_string(r.m20->possible) + "\n";
  if (r.fN)
    out += figureLabel('F', *r.fN) + tab + general(r.fN->value, 5) + tab + general(r.fN->meanDelta, 4) + tab +
           std::to_string(r.fN->possible) + "\n";
  out += std::string("unindexed") + tab + std::to_string(r.unindexed) + "\n";
  for (const std::string& w : r.warnings) out += "Warning" + std::string(1, tab) + w + "\n";
  out += "\n";
  out += "h\tk\tl\t2Theta obs\t2Theta calc\tdelta\td obs\td calc\tweight\tleverage\tflags\n";
  for (const RefinedLine& line : r.lines) {
    if (line.indexed)
      out += std::to_string(line.hkl.h) + tab + std::to_string(line.hkl.k) + tab + std::to_string(line.hkl.l) + tab;
    else
      out += "\t\t\t";
    out += fixedText(line.twoThetaObs, 0, 4) + tab;
    out += line.indexed ? fixedText(line.twoThetaCalc, 0, 4) + tab + fixedText(line.delta, 0, 4) : std::string(1, tab);
    out += tab + fixedText(line.dObs, 0, 5) + tab + (line.indexed ? fixedText(line.dCalc, 0, 5) : "") + tab;
    out += line.used() ? general(line.weight, 6) + tab + fixedText(line.leverage, 0, 4) : std::string(1, tab);
    out += tab + flagsOf(line) + "\n";
  }
  return out;
}

}  // namespace obrin
