#include "cli/refine_command.hpp"

#include <cmath>
#include <iostream>

#include "calc/calculation.hpp"
#include "cli/exit_status.hpp"
#include "cli/formats.hpp"
#include "cli/request.hpp"
#include "core/numfield.hpp"
#include "io/refinement_text.hpp"

namespace obrin::cli {

namespace {

// The tolerances a matching can sensibly take, degrees 2θ.
constexpr double kMaxTolerance = 10;

RefineSetup refused(std::string message, int status = kRefused) { return {std::nullopt, std::move(message), status}; }

// A JSON number, or null where there is none (an unbounded figure of merit).
std::string number(double x) { return std::isfinite(x) ? jsonNumber(x) : "null"; }
std::string flag(bool b) { return b ? "true" : "false"; }

std::optional<std::string> readRefinementOptions(const Options& opt, RefinementOptions& o) {
  o.refineZero = opt.refineZero;
  if (opt.displacement) {
    o.refineDisplacement = true;
    if (!opt.displacement->empty()) {
      const auto radius = parseNumber(*opt.displacement);
      if (!radius || !std::isfinite(*radius) || !(*radius > 0))
        return "--displacement takes the goniometer radius in mm, above 0";
      o.radius = *radius;
    }
  }
  if (opt.tolerance) {
    const auto t = parseNumber(*opt.tolerance);
    if (!t || !(*t > 0) || !(*t <= kMaxTolerance))
      return "--tolerance takes an angle in degrees 2theta above 0 and at most " + jsonNumber(kMaxTolerance);
    o.tolerance = *t;
  }
  return std::nullopt;
}

}  // namespace

RefineSetup prepareRefine(const Options& opt) {
  RefineRequest r;
  if (auto fault = readRefinementOptions(opt, r.options)) return refused(*fault, kBadUsage);
  // The powder calculation's checks and group loading, with its messages; its list is not used.
  CalculationState state;
  Request in;
  if (auto refusal = readRequest(opt, AngleMode::Theta, state, in)) return refused(refusal->message, refusal->status);
  if (auto refusal = validateRequest(in, AngleMode::Theta, state)) return refused(refusal->message, refusal->status);
  std::array<std::string, 6> miller{};
  const CalcOutcome outcome = calcul(state, in.group, in.positionFile, CalcMode::Powder, miller);
  if (!outcome.ok()) return refused(outcome.warning);
  r.system = state.system.value_or(state.group.system);
  r.groupName = state.groupName;
  r.group = state.group;
  r.cell = state.cell;
  r.lambda = state.lambda;
  return {std::move(r), {}, kDone};
}

int runRefine(const Options& opt, const RefineRequest& in, const PeakList& peaks) {
  const auto r = refineCell(peaks, in.system, in.cell, in.group, in.lambda, in.options);
  if (!r) {
    std::cerr << r.error() << "\n";
    return kRefused;
  }
  for (const std::string& note : peaks.notes) std::cerr << note << "\n";
  switch (opt.format) {
    case OutputFormat::Json: std::cout << refinementJson(in, *r); break;
    case OutputFormat::Tsv: std::cout << refinementTsv(in, *r); break;
    default: std::cout << "Space Group: " << in.groupName << "\n" << refinementText(*r); break;
  }
  return kDone;
}

std::string refinementJson(const RefineRequest& in, const CellRefinement& r) {
  std::string s = "{\n";
  s += "  \"system\": " + jsonString(systemCode(r.system)) + ",\n";
  s += "  \"group\": " + jsonString(in.groupName) + ",\n";
  s += "  \"lambda\": " + number(r.lambda) + ",\n";
  s += "  \"tolerance\": " + number(r.tolerance) + ",\n";
  s += "  \"ties\": " + jsonString(cellTiesText(r.system)) + ",\n";
  const auto p = r.cell.params(), su = r.cellSu.params();
  s += "  \"cell\": {";
  for (int i = 0; i < 6; ++i) s += jsonString(kCellParameterNames[i]) + ": " + number(p[i]) + ", ";
  s += "\"volume\": " + number(r.volume);
  for (int i = 0; i < 6; ++i) s += ", " + jsonString(std::string(kCellParameterNames[i]) + "_su") + ": " + number(su[i]);
  s += ", \"volume_su\": " + number(r.volumeSu) + "},\n";
  s += "  \"zero\": " + number(r.zero) + ", \"zero_su\": " + number(r.zeroSu) + ", \"zero_refined\": " +
       flag(r.zeroRefined) + ",\n";
  s += "  \"displacement\": " + number(r.displacement) + ", \"displacement_su\": " + number(r.displacementSu) +
       ", \"displacement_refined\": " + flag(r.displacementRefined) + ", \"radius\": " + number(r.radius) + ",\n";
  s += "  \"correlation_zero_displacement\": " +
       (r.zeroDisplacementCorrelation ? number(*r.zeroDisplacementCorrelation) : std::string("null")) + ",\n";
  s += "  \"weighted\": " + flag(r.weighted) + ", \"reduced_chi_square\": " + number(r.reducedChiSquare) + ",\n";
  s += "  \"M20\": " + (r.m20 ? number(r.m20->value) : "null") + ", \"M20_lines\": " +
       (r.m20 ? std::to_string(r.m20->lines) : "null") + ", \"M20_mean_delta\": " +
       (r.m20 ? number(r.m20->meanDelta) : "null") + ", \"M20_possible\": " +
       (r.m20 ? std::to_string(r.m20->possible) : "null") + ",\n";
  s += "  \"F_N\": " + (r.fN ? number(r.fN->value) : "null") + ", \"F_N_lines\": " +
       (r.fN ? std::to_string(r.fN->lines) : "null") + ", \"F_N_mean_delta\": " +
       (r.fN ? number(r.fN->meanDelta) : "null") + ", \"F_N_possible\": " +
       (r.fN ? std::to_string(r.fN->possible) : "null") + ",\n";
  s += "  \"used\": " + std::to_string(r.used) + ", \"unindexed\": " + std::to_string(r.unindexed) + ",\n";
  s += "  \"warnings\": [";
  for (std::size_t i = 0; i < r.warnings.size(); ++i) s += (i ? ", " : "") + jsonString(r.warnings[i]);
  s += "],\n  \"lines\": [";
  bool first = true;
  for (const RefinedLine& l : r.lines) {
    if (!l.indexed) continue;
    s += first ? "\n    {" : ",\n    {";
    first = false;
    s += "\"peak\": " + std::to_string(l.peak + 1) + ", \"h\": " + std::to_string(l.hkl.h) +
         ", \"k\": " + std::to_string(l.hkl.k) + ", \"l\": " + std::to_string(l.hkl.l) +
         ", \"two_theta_obs\": " + number(l.twoThetaObs) + ", \"two_theta_calc\": " + number(l.twoThetaCalc) +
         ", \"delta\": " + number(l.delta) + ", \"d_obs\": " + number(l.dObs) + ", \"d_calc\": " + number(l.dCalc) +
         ", \"weight\": " + number(l.weight) + ", \"leverage\": " + number(l.leverage) +
         ", \"outlier\": " + flag(l.outlier) + ", \"ambiguous\": " + flag(l.ambiguous) +
         ", \"excluded\": " + flag(l.excluded) + "}";
  }
  s += first ? "],\n" : "\n  ],\n";
  s += "  \"unindexed_peaks\": [";
  first = true;
  for (const RefinedLine& l : r.lines) {
    if (l.indexed) continue;
    s += (first ? "" : ", ") + std::string("{\"peak\": ") + std::to_string(l.peak + 1) +
         ", \"two_theta_obs\": " + number(l.twoThetaObs) + ", \"d_obs\": " + number(l.dObs) + "}";
    first = false;
  }
  s += "]\n}\n";
  return s;
}

std::string refinementTsv(const RefineRequest& in, const CellRefinement& r) {
  std::string s = "# group\t" + in.groupName + "\n";
  const auto p = r.cell.params(), su = r.cellSu.params();
  for (int i = 0; i < 6; ++i) s += "# " + std::string(kCellParameterNames[i]) + "\t" + number(p[i]) + "\t" + number(su[i]) + "\n";
  s += "# volume\t" + number(r.volume) + "\t" + number(r.volumeSu) + "\n";
  s += "# zero\t" + number(r.zero) + "\t" + number(r.zeroSu) + "\n";
  s += "# displacement\t" + number(r.displacement) + "\t" + number(r.displacementSu) + "\n";
  if (r.zeroDisplacementCorrelation) s += "# correlation_zero_displacement\t" + number(*r.zeroDisplacementCorrelation) + "\n";
  if (r.m20) s += "# M" + std::to_string(r.m20->lines) + "\t" + number(r.m20->value) + "\n";
  if (r.fN) s += "# F" + std::to_string(r.fN->lines) + "\t" + number(r.fN->value) + "\t" + number(r.fN->meanDelta) +
                 "\t" + std::to_string(r.fN->possible) + "\n";
  s += "# unindexed\t" + std::to_string(r.unindexed) + "\n";
  for (const std::string& w : r.warnings) s += "# warning\t" + w + "\n";
  s += "peak\th\tk\tl\ttwo_theta_obs\ttwo_theta_calc\tdelta\td_obs\td_calc\tweight\tleverage\toutlier\tambiguous\texcluded\n";
  for (const RefinedLine& l : r.lines) {
    s += std::to_string(l.peak + 1) + "\t";
    if (l.indexed)
      s += std::to_string(l.hkl.h) + "\t" + std::to_string(l.hkl.k) + "\t" + std::to_string(l.hkl.l) + "\t" +
           number(l.twoThetaObs) + "\t" + number(l.twoThetaCalc) + "\t" + number(l.delta) + "\t" + number(l.dObs) +
           "\t" + number(l.dCalc) + "\t";
    else
      s += "\t\t\t" + number(l.twoThetaObs) + "\t\t\t" + number(l.dObs) + "\t\t";
    s += number(l.weight) + "\t" + number(l.leverage) + "\t" + flag(l.outlier) + "\t" + flag(l.ambiguous) + "\t" +
         flag(l.excluded) + "\n";
  }
  return s;
}

}  // namespace obrin::cli
