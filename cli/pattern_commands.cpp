#include "cli/pattern_commands.hpp"

#include <charconv>
#include <cmath>
#include <iostream>

#include "analysis/absence_weight.hpp"
#include "analysis/peak_search.hpp"
#include "calc/calculation.hpp"
#include "calc/inputs.hpp"
#include "cli/exit_status.hpp"
#include "cli/formats.hpp"
#include "cli/index_command.hpp"
#include "cli/rank_command.hpp"
#include "cli/refine_command.hpp"
#include "cli/request.hpp"
#include "cli/resolve.hpp"
#include "core/limits.hpp"
#include "core/numfield.hpp"
#include "core/textformat.hpp"
#include "io/peak_list_file.hpp"
#include "symmetry/pot.hpp"

namespace obrin::cli {

namespace {

// Scans named in the message that asks for --scan; a reciprocal-space map holds hundreds.
constexpr std::size_t kListedScans = 12;

PlotSetup refused(std::string message, int status = 1) { return {std::nullopt, std::move(message), status}; }

bool endsWith(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

// The picture's options; a usage fault names the option.
std::optional<std::string> readPictureOptions(const Options& opt, PlotRequest& r) {
  if (opt.axis) {
    const auto axis = patternAxisFromName(*opt.axis);
    if (!axis) return "--axis takes 2theta, theta, d or q";
    r.axis = *axis;
  }
  if (opt.ka2) {
    const auto ratio = parseNumber(*opt.ka2);
    if (!ratio || *ratio < 0 || *ratio > kMaxAlpha2Ratio) return "--ka2 takes a ratio between 0 and 1";
    r.ka2Ratio = *ratio;
  }
  if (opt.zero) {
    const auto zero = parseNumber(*opt.zero);
    if (!zero || std::abs(*zero) > kMaxZeroShift) return "--zero takes a shift in degrees 2theta between -10 and 10";
    r.zero = *zero;
  }
  if (opt.profile) {
    ProfileShape shape;
    if (!opt.profile->empty()) {
      double* uvw[] = {&shape.u, &shape.v, &shape.w};
      for (std::size_t i = 0; i < 3; ++i) {
        const auto value = parseNumber((*opt.profile)[i]);
        if (!value || !std::isfinite(*value)) return "--profile takes three numbers U V W, in degrees^2 of 2theta";
        *uvw[i] = *value;
      }
    }
    r.profile = shape;
  }
  if (opt.size) {
    const auto size = parsePlotSize(*opt.size);
    if (!size)
      return "--size takes WxH, each between " + std::to_string(kMinPlotSide) + " and " + std::to_string(kMaxPlotSide);
    r.width = size->first;
    r.height = size->second;
  }
  r.output = *opt.output;
  if (!endsWith(r.output, ".png") && !endsWith(r.output, ".pdf")) return "--output must name a .png or .pdf file";
  return std::nullopt;
}

// The powder calculation of the inputs, as `powder` runs it: a CIF's structure gives the
// lines their intensities, which the sticks then take.
std::optional<Refusal> calculateLines(const Options& opt, PlotRequest& r) {
  const AngleMode angle = opt.twoTheta ? AngleMode::TwoTheta : AngleMode::Theta;
  CalculationState state;
  Request in;
  if (auto refusal = readRequest(opt, angle, state, in)) return refusal;
  if (auto refusal = validateRequest(in, angle, state)) return refusal;
  std::array<std::string, 6> miller{};
  const CalcOutcome outcome = calcul(state, in.group, in.positionFile, CalcMode::Powder, miller);
  if (!outcome.ok()) return Refusal{outcome.warning};
  r.list = std::move(state.list);
  r.lambda = state.lambda;
  r.thetaMin = state.thetaMin;
  r.thetaMax = state.thetaMax;
  return std::nullopt;
}

// --range and --min-significance; a usage fault names the option.
std::optional<std::string> readSearchOptions(const Options& opt, PeakSearchOptions& o) {
  if (opt.range) {
    const auto from = parseNumber((*opt.range)[0]), to = parseNumber((*opt.range)[1]);
    if (!from || !to || !(*from >= 0) || !(*to <= 180) || !(*from < *to))
      return "--range takes two angles 2theta between 0 and 180, the first below the second";
    o.from = *from;
    o.to = *to;
  }
  if (opt.minSignificance) {
    const auto s = parseNumber(*opt.minSignificance);
    if (!s || !std::isfinite(*s) || !(*s > 0)) return "--min-significance takes a positive number";
    o.minSignificance = *s;
  }
  return std::nullopt;
}

// --scan N: a scan number from 1; a usage fault otherwise.
std::optional<std::string> readScanOption(const Options& opt, int& scan) {
  scan = 0;
  if (!opt.scan) return std::nullopt;
  const std::string& text = *opt.scan;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), scan);
  if (ec != std::errc() || end != text.data() + text.size() || scan < 1) return "--scan takes a scan number from 1";
  return std::nullopt;
}

template <typename T>
std::string shortest(T x) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  return ec == std::errc() ? std::string(buf, end) : "0";
}

}  // namespace

PatternRead readMeasuredPattern(const std::string& file, int scan) {
  PatternScansRead scans = readPatternScans(file);
  if (!scans) return scans.failure();
  if (scan == 0 && !scansFollowEachOther(*scans)) {
    std::string message = "Cannot read the pattern file \"" + file + "\": its " + std::to_string(scans->size()) +
                          " scans overlap; choose one with --scan N:";
    const std::size_t listed = std::min<std::size_t>(scans->size(), kListedScans);
    for (std::size_t i = 0; i < listed; ++i)
      message += "\n  " + std::to_string(i + 1) + ": " + scanSummary((*scans)[i]);
    if (listed < scans->size()) message += "\n  ... and " + std::to_string(scans->size() - listed) + " more";
    return fail(message);
  }
  return patternOfScans(std::move(*scans), scan, file);
}

std::optional<std::pair<int, int>> parsePlotSize(std::string_view text) {
  const auto x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  int w = 0, h = 0;
  const auto [e1, c1] = std::from_chars(text.data(), text.data() + x, w);
  const auto [e2, c2] = std::from_chars(text.data() + x + 1, text.data() + text.size(), h);
  if (c1 != std::errc() || c2 != std::errc() || e1 != text.data() + x || e2 != text.data() + text.size())
    return std::nullopt;
  if (w < kMinPlotSide || h < kMinPlotSide || w > kMaxPlotSide || h > kMaxPlotSide) return std::nullopt;
  return std::pair{w, h};
}

PlotSetup preparePlot(const Options& opt) {
  PlotRequest r;
  if (auto fault = readPictureOptions(opt, r)) return refused(*fault, 2);
  if (auto refusal = calculateLines(opt, r)) return refused(refusal->message, refusal->status);
  PeakSearchOptions search;
  if (auto fault = readSearchOptions(opt, search)) return refused(*fault, 2);
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) return refused(*fault, 2);
  if (opt.pattern) {
    PatternRead read = readMeasuredPattern(*opt.pattern, scan);
    if (!read.ok()) return refused(read.error());
    r.pattern = std::move(*read);
  }
  if (opt.peaks && r.pattern) {
    // The lines' wavelength, a doublet where it is a Kα1 line (with the drawing's ratio).
    const auto wavelengths = peakWavelengths(r.lambda, r.pattern->wavelength, r.ka2Ratio);
    if (!wavelengths) return refused(wavelengths.error());
    search.wavelengths = *wavelengths;
    r.peaks = findPeaks(*r.pattern, search);
  }
  if (r.ka2Ratio) {
    // The table's Kα2 of the tube, else the one the pattern's file stores with that Kα1.
    const PatternWavelength file = r.pattern && r.pattern->wavelength ? *r.pattern->wavelength : PatternWavelength{};
    if (const auto lambda2 = companionWavelength(r.lambda, file.alpha1, file.alpha2)) r.lambda2 = *lambda2;
    else return refused("No K-alpha-2 line is known for the wavelength " + shortest(r.lambda));
  }
  return {std::move(r), {}, 0};
}

std::string patternText(const MeasuredPattern& p, const std::string& file, OutputFormat format) {
  const bool sigma = !p.sigma.empty();
  std::string s;
  if (format == OutputFormat::Json) {
    s += "{\n  \"file\": " + jsonString(file) + ",\n  \"format\": " + jsonString(p.format) + ",\n";
    s += "  \"scans\": " + std::to_string(p.scans) + ",\n  \"scan\": " + (p.scan ? std::to_string(p.scan) : "null") + ",\n";
    if (!p.note.empty()) s += "  \"note\": " + jsonString(p.note) + ",\n";
    s += "  \"wavelength\": ";
    if (p.wavelength)
      s += "{\"kAlpha1\": " + jsonNumber(p.wavelength->alpha1) + ", \"kAlpha2\": " + jsonNumber(p.wavelength->alpha2) +
           ", \"ratio\": " + jsonNumber(p.wavelength->ratio) + "}";
    else
      s += "null";
    s += ",\n  \"count\": " + std::to_string(p.x.size()) + ",\n  \"points\": [";
    for (std::size_t i = 0; i < p.x.size(); ++i) {
      s += (i ? ",\n    [" : "\n    [") + jsonNumber(p.x[i]) + ", " + jsonNumber(p.y[i]);
      if (sigma) s += ", " + jsonNumber(p.sigma[i]);
      s += "]";
    }
    s += p.x.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return s;
  }
  if (p.wavelength)
    s += "# wavelength kAlpha1 " + shortest(p.wavelength->alpha1) + " kAlpha2 " + shortest(p.wavelength->alpha2) +
         " ratio " + shortest(p.wavelength->ratio) + "\n";
  s += sigma ? "2theta\tintensity\tsigma\n" : "2theta\tintensity\n";
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    s += shortest(p.x[i]);
    s += '\t';
    s += shortest(p.y[i]);
    if (sigma) {
      s += '\t';
      s += shortest(p.sigma[i]);
    }
    s += '\n';
  }
  return s;
}

namespace {

void appendNumberOrNull(std::string& s, double x, bool known) { s += known ? jsonNumber(x) : "null"; }

std::string peaksJson(const PeakList& list, const std::string& file) {
  std::string s = "{\n  \"file\": " + jsonString(file) + ",\n  \"wavelength\": ";
  appendNumberOrNull(s, list.wavelength.value_or(0), list.wavelength.has_value());
  s += ",\n  \"kalpha2\": ";
  s += list.alpha2 > 0 ? "{\"wavelength\": " + jsonNumber(list.alpha2) + ", \"ratio\": " + jsonNumber(list.alpha2Ratio) + "}"
                       : std::string("null");
  s += ",\n  \"background\": " + jsonString(list.background) + ",\n  \"count\": " + std::to_string(list.peaks.size()) +
       ",\n  \"peaks\": [";
  for (std::size_t i = 0; i < list.peaks.size(); ++i) {
    const Peak& p = list.peaks[i];
    s += i ? ",\n    {" : "\n    {";
    s += "\"two_theta\": " + jsonNumber(p.twoTheta) + ", \"two_theta_su\": " + jsonNumber(p.twoThetaSu) + ", \"d\": ";
    appendNumberOrNull(s, p.d, p.d > 0);
    s += ", \"height\": " + jsonNumber(p.height) + ", \"height_su\": " + jsonNumber(p.heightSu) +
         ", \"area\": " + jsonNumber(p.area) + ", \"area_su\": " + jsonNumber(p.areaSu) +
         ", \"fwhm\": " + jsonNumber(p.fwhm) + ", \"fwhm_su\": " + jsonNumber(p.fwhmSu) +
         ", \"eta\": " + jsonNumber(p.eta) + ", \"eta_su\": " + jsonNumber(p.etaSu) +
         ", \"significance\": " + jsonNumber(p.significance) + "}";
  }
  s += list.peaks.empty() ? "],\n  \"notes\": [" : "\n  ],\n  \"notes\": [";
  for (std::size_t i = 0; i < list.notes.size(); ++i) s += (i ? ", " : "") + jsonString(list.notes[i]);
  s += "]\n}\n";
  return s;
}

// A table in fixed columns, a line that says the units and the wavelengths, then the notes.
std::string peaksList(const PeakList& list) {
  std::string s = "    2theta      s.u.         d      height        area      FWHM     eta  signif.\n";
  for (const Peak& p : list.peaks) {
    s += fixedText(p.twoTheta, 10, 4) + fixedText(p.twoThetaSu, 10, 4);
    s += p.d > 0 ? fixedText(p.d, 10, 5) : std::string("         -");
    s += fixedText(p.height, 12, 1) + fixedText(p.area, 12, 2) + fixedText(p.fwhm, 10, 4) + fixedText(p.eta, 8, 2) +
         fixedText(p.significance, 9, 1) + "\n";
  }
  s += std::to_string(list.peaks.size()) + (list.peaks.size() == 1 ? " peak" : " peaks") +
       ": 2theta, s.u. and FWHM in degrees 2theta, d in angstrom";
  if (list.wavelength) s += ", wavelength " + shortest(*list.wavelength);
  if (list.alpha2 > 0) s += ", K-alpha-2 " + shortest(list.alpha2) + " ratio " + shortest(list.alpha2Ratio);
  if (!list.background.empty()) s += ", background " + list.background;
  s += "\n";
  for (const std::string& note : list.notes) s += "Note: " + note + "\n";
  return s;
}

int usageFault(const std::string& problem) {
  std::cerr << "obrin-cli: " << problem << "\n" << usageText() << "Try 'obrin-cli --help'.\n";
  return kBadUsage;
}

}  // namespace

std::string peaksText(const PeakList& list, const std::string& file, OutputFormat format) {
  if (format == OutputFormat::Json) return peaksJson(list, file);
  if (format == OutputFormat::Tsv) return peakListText(list);
  return peaksList(list);
}

int runPeaksCommand(const Options& opt) {
  PeakSearchOptions search;
  if (auto fault = readSearchOptions(opt, search)) return usageFault(*fault);
  std::optional<double> lambda, ratio;
  if (opt.lambda) {
    lambda = parseNumber(lambdaFieldText(*opt.lambda));
    if (!lambda || !std::isfinite(*lambda) || !(*lambda > 0))
      return usageFault("--lambda takes a wavelength in angstrom or a row of the wavelength table");
  }
  if (opt.ka2) {
    ratio = parseNumber(*opt.ka2);
    if (!ratio || *ratio < 0 || *ratio > 1) return usageFault("--ka2 takes a ratio between 0 and 1");
  }
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) return usageFault(*fault);
  const PatternRead read = readMeasuredPattern(opt.words[0], scan);
  if (!read.ok()) {
    std::cerr << read.error() << "\n";
    return kRefused;
  }
  const auto wavelengths = peakWavelengths(lambda, read->wavelength, ratio);
  if (!wavelengths) {
    std::cerr << wavelengths.error() << "\n";
    return kRefused;
  }
  search.wavelengths = *wavelengths;
  if (!read->note.empty()) std::cerr << "Note: " << opt.words[0] << ": " << read->note << "\n";
  std::cout << peaksText(findPeaks(*read, search), opt.words[0], opt.format);
  return kDone;
}

// The peaks found in the pattern of --pattern at λ, as refine and index take them; none, the
// reasons on standard error, when the file cannot be read or holds no peak.
std::optional<PeakList> peaksOfPattern(const Options& opt, int scan, double lambda, std::string_view purpose) {
  const PatternRead read = readMeasuredPattern(*opt.pattern, scan);
  if (!read.ok()) {
    std::cerr << read.error() << "\n";
    return std::nullopt;
  }
  if (!read->note.empty()) std::cerr << "Note: " << *opt.pattern << ": " << read->note << "\n";
  const auto wavelengths = peakWavelengths(lambda, read->wavelength, std::nullopt);
  if (!wavelengths) {
    std::cerr << wavelengths.error() << "\n";
    return std::nullopt;
  }
  PeakSearchOptions search;
  search.wavelengths = *wavelengths;
  PeakList peaks = findPeaks(*read, search);
  if (peaks.peaks.empty()) {
    for (const std::string& note : peaks.notes) std::cerr << note << "\n";
    std::cerr << "No peaks found in " << *opt.pattern << purpose << "\n";
    return std::nullopt;
  }
  return peaks;
}

int runRefinePatternCommand(const Options& opt) {
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) {
    std::cerr << *fault << "\n";
    return 2;
  }
  const RefineSetup setup = prepareRefine(opt);
  if (!setup.request) {
    std::cerr << setup.error << "\n";
    return setup.status;
  }
  const auto peaks = peaksOfPattern(opt, scan, setup.request->lambda, "");
  if (!peaks) return kRefused;
  return runRefine(opt, *setup.request, *peaks);
}

int runIndexPatternCommand(const Options& opt) {
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) return usageFault(*fault);
  const IndexSetup setup = prepareIndex(opt);
  if (!setup.request) {
    std::cerr << setup.error << "\n";
    return setup.status;
  }
  const auto peaks = peaksOfPattern(opt, scan, setup.request->lambda, " to index");
  if (!peaks) return kRefused;
  return runIndex(opt, *setup.request, *peaks);
}

int runPatternCommand(const Options& opt) {
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) {
    std::cerr << *fault << "\n";
    return 2;
  }
  const PatternRead read = readMeasuredPattern(opt.words[0], scan);
  if (!read.ok()) {
    std::cerr << read.error() << "\n";
    return 1;
  }
  if (!read->note.empty()) std::cerr << "Note: " << opt.words[0] << ": " << read->note << "\n";
  std::cout << patternText(*read, opt.words[0], opt.format);
  return 0;
}

int runRankOnPattern(const Options& opt) {
  int scan = 0;
  if (auto fault = readScanOption(opt, scan)) {
    std::cerr << *fault << "\n";
    return kBadUsage;
  }
  const RankSetup setup = prepareRank(opt);
  if (!setup.request) {
    if (setup.status == kBadUsage)
      std::cerr << "obrin-cli: " << setup.error << "\n" << usageText() << "Try 'obrin-cli --help'.\n";
    else
      std::cerr << setup.error << "\n";
    return setup.status;
  }
  RankRequest request = *setup.request;
  PatternRead read = readMeasuredPattern(*opt.pattern, scan);
  if (!read.ok()) {
    std::cerr << read.error() << "\n";
    return kRefused;
  }
  if (!read->note.empty()) std::cerr << "Note: " << *opt.pattern << ": " << read->note << "\n";
  const auto pattern = std::make_shared<const MeasuredPattern>(std::move(*read));
  PeakSearchOptions search;
  const auto wavelengths = peakWavelengths(request.instrument.lambda, pattern->wavelength, std::nullopt);
  if (!wavelengths) {
    std::cerr << wavelengths.error() << "\n";
    return kRefused;
  }
  search.wavelengths = *wavelengths;
  const PeakList peaks = findPeaks(*pattern, search);
  if (peaks.peaks.empty()) {
    for (const std::string& note : peaks.notes) std::cerr << note << "\n";
    std::cerr << "No peaks found in " << *opt.pattern << " to rank the space groups against\n";
    return kRefused;
  }
  // The pattern shows, or does not show, a line anywhere it reaches: below the first peak and
  // above the last one too.
  const double width = rankingWidth(peaks.peaks, request.settings.tolerance);
  request.settings.rangeMin = std::min(peaks.peaks.front().twoTheta, pattern->x.front() + width);
  request.settings.rangeMax = std::max(peaks.peaks.back().twoTheta, pattern->x.back() - width);
  request.settings.absenceWeight =
      absenceWeightFromPattern(pattern, width, search.minSignificance,
                               std::make_shared<const BackgroundCurve>(patternBackground(*pattern, search)));
  return runRank(opt, request, peaks);
}

}  // namespace obrin::cli
