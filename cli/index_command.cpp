#include "cli/index_command.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "calc/calculation.hpp"
#include "cli/exit_status.hpp"
#include "cli/formats.hpp"
#include "cli/resolve.hpp"
#include "core/limits.hpp"
#include "core/numfield.hpp"
#include "io/indexing_text.hpp"
#include "io/peak_list_file.hpp"

namespace obrin::cli {

namespace {

IndexSetup refused(std::string message) { return {std::nullopt, std::move(message), kRefused}; }

std::string number(double x) { return std::isfinite(x) ? jsonNumber(x) : "null"; }
std::string flag(bool b) { return b ? "true" : "false"; }
std::string figure(const std::optional<FigureOfMerit>& f) { return f ? number(f->value) : "null"; }

std::string allSystemCodes() {
  std::string s;
  for (const CrystalSystemInfo& info : kCrystalSystems) s += (s.empty() ? "" : " ") + std::string(info.code);
  return s;
}

// "CUBI,TETR,...": each a code or a name; searched from the highest symmetry down, each once.
std::optional<std::string> readSystems(const std::string& text, std::vector<CrystalSystem>& systems) {
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string word = text.substr(start, comma - start);
    const auto system = resolveSystem(word);
    if (!system)
      return "--systems: unknown crystal system \"" + word + "\" (the systems are " + allSystemCodes() + ")";
    systems.push_back(*system);
    if (comma == text.size()) break;
    start = comma + 1;
  }
  std::sort(systems.begin(), systems.end());
  systems.erase(std::unique(systems.begin(), systems.end()), systems.end());
  return std::nullopt;
}

std::optional<std::string> readLimits(const Options& opt, IndexingOptions& o) {
  if (opt.lines) {
    const auto n = parseWholeNumber(*opt.lines);
    if (!n || *n < kMinIndexingLines || *n > kMaxIndexingLines)
      return "--lines takes a whole number of lines from " + std::to_string(kMinIndexingLines) + " to " +
             std::to_string(kMaxIndexingLines);
    o.lines = *n;
  }
  if (opt.tolerance) {
    const auto t = parseNumber(*opt.tolerance);
    if (!t || !(*t > 0) || !(*t <= kMaxIndexingTolerance))
      return "--tolerance takes an angle in degrees 2theta above 0 and at most " + jsonNumber(kMaxIndexingTolerance);
    o.tolerance = *t;
  }
  if (opt.maxVolume) {
    const auto v = parseNumber(*opt.maxVolume);
    if (!v || !(*v > 0) || !(*v <= kMaxIndexingVolume))
      return "--max-volume takes a cell volume in cubic angstrom above 0 and at most " + jsonNumber(kMaxIndexingVolume);
    o.maxVolume = *v;
  }
  if (opt.impurities) {
    const auto n = parseWholeNumber(*opt.impurities);
    if (!n || *n < 0) return "--impurities takes a whole number of lines, 0 or more";
    o.impurities = *n;
  }
  if (opt.zeroRange) {
    const auto z = parseNumber(*opt.zeroRange);
    if (!z || !(*z >= 0) || !(*z <= kMaxIndexingZeroRange))
      return "--zero-range takes a shift in degrees 2theta from 0 to " + jsonNumber(kMaxIndexingZeroRange);
    o.zeroRange = *z;
  }
  if (opt.systems) return readSystems(*opt.systems, o.systems);
  return std::nullopt;
}

std::string cellJson(const UnitCell& cell) {
  const auto p = cell.params();
  std::string s = "[";
  for (int i = 0; i < 6; ++i) s += (i ? ", " : "") + number(p[i]);
  return s + "]";
}

std::string relatedJson(const RelatedCell& c) {
  return "{\"relation\": " + jsonString(relationName(c.relation)) +
         ", \"system\": " + jsonString(systemCode(c.system)) + ", \"lattice\": " + jsonString(c.lattice) + ", \"cell\": " + cellJson(c.cell) + ", \"volume\": " +
         number(c.volume) + ", \"M20\": " + number(c.m20) + "}";
}

std::string solutionJson(const IndexingSolution& s) {
  std::string out = "{\"system\": " + jsonString(systemCode(s.system)) + ", \"lattice\": " + jsonString(s.lattice) +
                    ",\n     \"cell\": " + cellJson(s.cell) + ", \"cell_su\": " + cellJson(s.cellSu) +
                    ",\n     \"volume\": " + number(s.volume) + ", \"volume_su\": " + number(s.volumeSu) +
                    ", \"zero\": " + number(s.zero) + ", \"zero_su\": " + number(s.zeroSu) +
                    ",\n     \"M20\": " + figure(s.m20) +
                    ", \"M20_lines\": " + (s.m20 ? std::to_string(s.m20->lines) : "null") + ", \"F_N\": " + figure(s.fN) +
                    ", \"F_N_lines\": " + (s.fN ? std::to_string(s.fN->lines) : "null") +
                    ", \"indexed\": " + std::to_string(s.indexed) + ", \"lines\": " + std::to_string(s.lines) +
                    ", \"passes\": " + flag(s.passes) + ", \"higher_metric\": " +
                    (s.higherMetric ? jsonString(systemCode(*s.higherMetric)) : "null") +
                    ",\n     \"reduced_cell\": " + cellJson(s.reduced) + ",\n     \"related\": [";
  for (std::size_t i = 0; i < s.related.size(); ++i)
    out += (i ? ",\n       " : "\n       ") + relatedJson(s.related[i]);
  return out + "]}";
}

}  // namespace

IndexSetup prepareIndex(const Options& opt) {
  IndexRequest r;
  const auto lambda = parseNumber(lambdaFieldText(*opt.lambda));
  if (!lambda || !std::isfinite(*lambda) || !(*lambda > 0))
    return refused("--lambda takes a wavelength in angstrom or a row of the wavelength table");
  r.lambda = *lambda;
  if (auto fault = readLimits(opt, r.options)) return refused(*fault);
  return {std::move(r), {}, kDone};
}

int runIndex(const Options& opt, const IndexRequest& in, const PeakList& peaks) {
  const auto r = indexPattern(peaks, in.lambda, in.options);
  if (!r) {
    std::cerr << r.error() << "\n";
    return kRefused;
  }
  for (const std::string& note : peaks.notes) std::cerr << note << "\n";
  switch (opt.format) {
    case OutputFormat::Json: std::cout << indexingJson(*r); break;
    case OutputFormat::Tsv:
      for (const std::string& note : r->notes) std::cerr << note << "\n";
      std::cout << indexingTsv(*r);
      break;
    default: std::cout << indexingText(*r, peaks.peaks.size()); break;
  }
  return kDone;
}

int runIndexCommand(const Options& opt) {
  const IndexSetup setup = prepareIndex(opt);
  if (!setup.request) {
    std::cerr << setup.error << "\n";
    return setup.status;
  }
  PeakListReading how;
  how.lambda = setup.request->lambda;  // a list of d has its 2θ at the search's wavelength
  const auto peaks = readPeakList(*opt.peakFile, how);
  if (!peaks) {
    std::cerr << peaks.error() << "\n";
    return kRefused;
  }
  return runIndex(opt, *setup.request, *peaks);
}

std::string indexingJson(const IndexingResult& r) {
  std::string s = "{\n  \"complete\": " + flag(r.complete) + ", \"indexed\": " + flag(r.indexed) + ",\n";
  s += "  \"searched\": {\"systems\": [";
  for (std::size_t i = 0; i < r.systems.size(); ++i) s += (i ? ", " : "") + jsonString(systemCode(r.systems[i]));
  s += "], \"lines\": " + std::to_string(r.lines) + ", \"tolerance\": " + number(r.tolerance) +
       ", \"max_volume\": " + number(r.maxVolume) + ", \"impurities\": " + std::to_string(r.impurities) +
       ", \"zero_range\": " + number(r.zeroRange) + ", \"wavelength\": " + number(r.lambda) + "},\n";
  s += "  \"solutions\": [";
  for (std::size_t i = 0; i < r.solutions.size(); ++i) s += (i ? ",\n    " : "\n    ") + solutionJson(r.solutions[i]);
  s += r.solutions.empty() ? "],\n" : "\n  ],\n";
  s += "  \"notes\": [";
  for (std::size_t i = 0; i < r.notes.size(); ++i) s += (i ? ", " : "") + jsonString(r.notes[i]);
  s += "]\n}\n";
  return s;
}

std::string indexingTsv(const IndexingResult& r) {
  std::string s = "rank\tsystem\tlattice\ta\tb\tc\talpha\tbeta\tgamma\ta_su\tb_su\tc_su\talpha_su\tbeta_su\tgamma_su\t"
                  "volume\tvolume_su\tzero\tzero_su\tM20\tF_N\tindexed\tlines\tpasses\thigher_metric\trelated\n";
  for (std::size_t i = 0; i < r.solutions.size(); ++i) {
    const IndexingSolution& x = r.solutions[i];
    s += std::to_string(i + 1) + "\t" + std::string(systemCode(x.system)) + "\t" + x.lattice;
    for (double p : x.cell.params()) s += "\t" + number(p);
    for (double p : x.cellSu.params()) s += "\t" + number(p);
    s += "\t" + number(x.volume) + "\t" + number(x.volumeSu) + "\t" + number(x.zero) + "\t" + number(x.zeroSu) + "\t" +
         (x.m20 ? number(x.m20->value) : "") + "\t" + (x.fN ? number(x.fN->value) : "") + "\t" +
         std::to_string(x.indexed) + "\t" + std::to_string(x.lines) + "\t" + flag(x.passes) + "\t" +
         (x.higherMetric ? std::string(systemCode(*x.higherMetric)) : "") + "\t" + std::to_string(x.related.size()) +
         "\n";
  }
  return s;
}

}  // namespace obrin::cli
