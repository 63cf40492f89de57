#include "cli/rank_command.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "calc/calculation.hpp"
#include "calc/intensity.hpp"
#include "cli/exit_status.hpp"
#include "cli/formats.hpp"
#include "cli/request.hpp"
#include "cli/resolve.hpp"
#include "core/lineread.hpp"
#include "core/numfield.hpp"
#include "io/peak_list_file.hpp"

namespace obrin::cli {

namespace {

// The tolerances a matching can sensibly take, and the zero shifts a diffractometer has,
// degrees 2θ.
constexpr double kMaxTolerance = 10;
constexpr double kMaxZero = 10;
// Missing lines and unexplained peaks the text names for a class; the rest are counted.
constexpr std::size_t kListedInText = 8;

RankSetup refused(std::string message, int status = kRefused) { return {std::nullopt, std::move(message), status}; }

std::string number(double x) { return std::isfinite(x) ? jsonNumber(x) : "null"; }
std::string flag(bool b) { return b ? "true" : "false"; }

std::string fixed(double x, int decimals) {
  if (std::isinf(x)) return "inf";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  return buf;
}

std::optional<std::string> readRankOptions(const Options& opt, RankRequest& r) {
  if (opt.tolerance) {
    const auto t = parseNumber(*opt.tolerance);
    if (!t || !(*t > 0) || !(*t <= kMaxTolerance))
      return "--tolerance takes an angle in degrees 2theta above 0 and at most " + jsonNumber(kMaxTolerance);
    r.settings.tolerance = *t;
  }
  if (opt.impurities) {
    const auto n = parseWholeNumber(*opt.impurities);
    if (!n || *n < 0) return "--impurities takes a whole number of peaks, 0 or more";
    r.settings.impurities = *n;
  }
  if (opt.zero) {
    const auto z = parseNumber(*opt.zero);
    if (!z || !std::isfinite(*z) || std::abs(*z) > kMaxZero)
      return "--zero takes a shift in degrees 2theta between -10 and 10";
    r.instrument.zero = *z;
  }
  return std::nullopt;
}

std::string groupList(const RankedClass& c, std::string_view separator) {
  std::string s;
  for (std::size_t i = 0; i < c.groups.size(); ++i) s += (i ? std::string(separator) : "") + c.groups[i].name;
  return s;
}

std::string hklText(const Miller& m) {
  return std::to_string(m.h) + " " + std::to_string(m.k) + " " + std::to_string(m.l);
}

std::string missingJson(const MissingLine& m) {
  return "{\"h\": " + std::to_string(m.hkl.h) + ", \"k\": " + std::to_string(m.hkl.k) + ", \"l\": " +
         std::to_string(m.hkl.l) + ", \"two_theta\": " + number(m.twoTheta) + ", \"d\": " + number(m.d) +
         ", \"weight\": " + number(m.weight) + "}";
}

std::string tieText(const SpaceGroupRanking& r) {
  if (r.tied == 0) return "No class explains the peaks (beyond the impurities allowed).\n";
  if (r.tied == 1) return {};
  return "The top " + std::to_string(r.tied) + " classes tie: the peaks cannot tell them apart.\n";
}

}  // namespace

RankSetup prepareRank(const Options& opt) {
  RankRequest r;
  if (auto fault = readRankOptions(opt, r)) return refused(*fault, kBadUsage);
  CalculationState state;
  Request in;
  if (auto refusal = readRequest(opt, AngleMode::Theta, state, in)) return refused(refusal->message, refusal->status);
  if (auto refusal = validateRequest(in, AngleMode::Theta, state)) return refused(refusal->message, refusal->status);
  if (!in.system) return refused("No crystal system!");
  const auto metric = computeMetric(state.cell);
  if (!metric) return refused(metric.error());
  r.cell = state.cell;
  r.metric = *metric;
  r.instrument.lambda = state.lambda;
  const auto dirs = positionFileDirectories(opt.dataDir);
  const std::vector<CrystalSystem> systems = opt.allSystems ? systemsOfMetric(state.cell)
                                                            : std::vector<CrystalSystem>{*in.system};
  for (CrystalSystem s : systems) r.files.emplace_back(s, positionFileFor(s, dirs, opt.dataDir));
  if (state.structure && in.group)
    r.settings.structure =
        StructureCheckRequest{*in.system, *in.group, structureIntensity(state.structure, state.monochromatorTwoTheta)};
  return {std::move(r), {}, kDone};
}

int runRank(const Options& opt, const RankRequest& in, const PeakList& peaks) {
  const auto catalogue = loadGroupCatalogue(in.files);
  if (!catalogue) {
    std::cerr << catalogue.error() << "\n";
    return kRefused;
  }
  const auto r = rankSpaceGroups(*catalogue, in.metric, in.instrument, peaks.peaks, in.settings);
  if (!r) {
    std::cerr << r.error() << "\n";
    return kRefused;
  }
  for (const std::string& note : peaks.notes) std::cerr << note << "\n";
  for (const std::string& note : r->notes) std::cerr << note << "\n";
  switch (opt.format) {
    case OutputFormat::Json: std::cout << rankingJson(in, *r, peaks); break;
    case OutputFormat::Tsv: std::cout << rankingTsv(*r); break;
    default: std::cout << rankingText(in, *r, peaks.peaks.size()); break;
  }
  return kDone;
}

int runRankCommand(const Options& opt) {
  const RankSetup setup = prepareRank(opt);
  if (!setup.request) {
    if (setup.status == kBadUsage)
      std::cerr << "obrin-cli: " << setup.error << "\n" << usageText() << "Try 'obrin-cli --help'.\n";
    else
      std::cerr << setup.error << "\n";
    return setup.status;
  }
  PeakListReading how;
  how.lambda = setup.request->instrument.lambda;  // a list of d has its 2θ at the ranking's wavelength
  const auto peaks = readPeakList(*opt.peakFile, how);
  if (!peaks) {
    std::cerr << peaks.error() << "\n";
    return kRefused;
  }
  return runRank(opt, *setup.request, *peaks);
}

std::string rankingText(const RankRequest& in, const SpaceGroupRanking& r, std::size_t peaks) {
  std::string s = "Extinction classes of";
  for (const auto& [system, file] : in.files) s += " " + std::string(systemCode(system));
  s += ", 2theta " + fixed(r.rangeMin, 3) + " to " + fixed(r.rangeMax, 3) + ": " + std::to_string(peaks) +
       " peaks, tolerance " + fixed(in.settings.tolerance, 3) + ", peak width " + fixed(r.width, 3) +
       ", impurities " + std::to_string(in.settings.impurities) + "\n";
  s += "rank   score  unexpl  missing      M20  symbol        groups\n";
  for (std::size_t i = 0; i < r.classes.size(); ++i) {
    const RankedClass& c = r.classes[i];
    char line[160];
    std::snprintf(line, sizeof line, "%4zu %7s%c %7zu %8zu %8s  %-12s  ", i + 1, fixed(c.score, 2).c_str(),
                  c.ruledOut ? 'x' : ' ', c.unexplained.size(), c.missing.size(),
                  c.m20 ? fixed(c.m20->value, 1).c_str() : "-", c.symbol.empty() ? "?" : c.symbol.c_str());
    s += line + groupList(c, ", ") + "\n";
  }
  s += tieText(r);
  // What decided between the classes at the top: their unexplained peaks and missing lines.
  for (std::size_t i = 0; i < r.classes.size() && i < static_cast<std::size_t>(std::max(r.tied, 1)) + 1; ++i) {
    const RankedClass& c = r.classes[i];
    if (c.unexplained.empty() && c.missing.empty()) continue;
    s += "Class " + std::to_string(i + 1) + ":";
    for (std::size_t k = 0; k < c.unexplained.size() && k < kListedInText; ++k)
      s += (k ? ", " : " unexplained peaks ") + std::to_string(c.unexplained[k] + 1);
    if (c.unexplained.size() > kListedInText) s += ", ...";
    if (!c.unexplained.empty() && !c.missing.empty()) s += ";";
    for (std::size_t k = 0; k < c.missing.size() && k < kListedInText; ++k)
      s += (k ? ", " : " missing ") + hklText(c.missing[k].hkl) + " (" + fixed(c.missing[k].twoTheta, 3) + ")";
    if (c.missing.size() > kListedInText) s += ", ...";
    s += "\n";
  }
  if (r.structure) {
    const StructureCheck& k = *r.structure;
    s += "The structure's group (class " + std::to_string(k.rankedClass + 1) + ") " +
         (k.consistent ? "agrees with the peaks" : "does not agree with the peaks") + ": " +
         std::to_string(k.strongMissing.size()) + " missing lines calculated above the detection limit (" +
         fixed(k.detectionLimit, 1) + "), " + std::to_string(k.weakMissing) + " below it\n";
  }
  return s;
}

std::string rankingTsv(const SpaceGroupRanking& r) {
  std::string s = "rank\tscore\truled_out\tunexplained\tmissing\tallowed_lines\tM20\tsymbol\tgroups\n";
  for (std::size_t i = 0; i < r.classes.size(); ++i) {
    const RankedClass& c = r.classes[i];
    s += std::to_string(i + 1) + "\t" + number(c.score) + "\t" + flag(c.ruledOut) + "\t" +
         std::to_string(c.unexplained.size()) + "\t" + std::to_string(c.missing.size()) + "\t" +
         std::to_string(c.allowedLines) + "\t" + (c.m20 ? number(c.m20->value) : "") + "\t" + c.symbol + "\t" +
         groupList(c, "; ") + "\n";
  }
  return s;
}

std::string rankingJson(const RankRequest& in, const SpaceGroupRanking& r, const PeakList& peaks) {
  std::string s = "{\n  \"systems\": [";
  for (std::size_t i = 0; i < in.files.size(); ++i) s += (i ? ", " : "") + jsonString(systemCode(in.files[i].first));
  s += "],\n";
  s += "  \"lambda\": " + number(in.instrument.lambda) + ", \"zero\": " + number(in.instrument.zero) +
       ", \"tolerance\": " + number(in.settings.tolerance) + ", \"impurities\": " +
       std::to_string(in.settings.impurities) + ",\n";
  s += "  \"peaks\": " + std::to_string(peaks.peaks.size()) + ", \"range\": [" + number(r.rangeMin) + ", " + number(r.rangeMax) +
       "], \"width\": " + number(r.width) + ",\n";
  s += "  \"tied\": " + std::to_string(r.tied) + ",\n  \"classes\": [";
  for (std::size_t i = 0; i < r.classes.size(); ++i) {
    const RankedClass& c = r.classes[i];
    s += (i ? ",\n    {" : "\n    {");
    s += "\"rank\": " + std::to_string(i + 1) + ", \"groups\": [";
    for (std::size_t g = 0; g < c.groups.size(); ++g) s += (g ? ", " : "") + jsonString(c.groups[g].name);
    s += "], \"symbol\": " + (c.symbol.empty() ? std::string("null") : jsonString(c.symbol));
    s += ", \"score\": " + number(c.score) + ", \"ruled_out\": " + flag(c.ruledOut);
    s += ", \"unexplained\": [";
    // Peaks are numbered by 2θ, as the list is kept.
    for (std::size_t k = 0; k < c.unexplained.size(); ++k)
      s += (k ? ", " : "") + std::string("{\"peak\": ") + std::to_string(c.unexplained[k] + 1) +
           ", \"two_theta\": " + number(peaks.peaks[c.unexplained[k]].twoTheta) + "}";
    s += "], \"missing\": [";
    for (std::size_t k = 0; k < c.missing.size(); ++k) s += (k ? ", " : "") + missingJson(c.missing[k]);
    s += "], \"M20\": " + (c.m20 ? number(c.m20->value) : "null");
    s += ", \"allowed_lines\": " + std::to_string(c.allowedLines) + "}";
  }
  s += r.classes.empty() ? "],\n" : "\n  ],\n";
  s += "  \"structure\": ";
  if (r.structure) {
    const StructureCheck& k = *r.structure;
    s += "{\"class\": " + std::to_string(k.rankedClass + 1) + ", \"consistent\": " + flag(k.consistent) +
         ", \"detection_limit\": " + number(k.detectionLimit) + ", \"weak_missing\": " + std::to_string(k.weakMissing) +
         ", \"strong_missing\": [";
    for (std::size_t i = 0; i < k.strongMissing.size(); ++i) s += (i ? ", " : "") + missingJson(k.strongMissing[i]);
    s += "]}";
  } else {
    s += "null";
  }
  s += ",\n  \"notes\": [";
  for (std::size_t i = 0; i < r.notes.size(); ++i) s += (i ? ", " : "") + jsonString(r.notes[i]);
  s += "]\n}\n";
  return s;
}

}  // namespace obrin::cli
