// Rigaku's formats of SmartLab Studio and Guidance:
//   .ras   text: each scan a header of *KEY "value" lines between *RAS_HEADER_START and
//          *RAS_HEADER_END, then its rows "angle count attenuation" between *RAS_INT_START and
//          *RAS_INT_END; the scan axis is *MEAS_SCAN_AXIS_X_INTERNAL ("TwoThetaTheta", ...),
//          the tube lines *HW_XG_WAVE_LENGTH_ALPHA1 and _ALPHA2.
//   .rasx  a zip archive: Data<N>/Profile<M>.txt holds the rows, and beside it
//          (Mesurement|Measurement)Conditions<M>.xml the scan's <ScanInformation><AxisName> and
//          the <XrayGenerator>'s <WavelengthKalpha1> and <WavelengthKalpha2>.
// The count of a row is the counter's times the attenuator's factor that follows it.
#include <algorithm>
#include <map>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"
#include "io/pattern_xml.hpp"

namespace obrin::pattern_io {

namespace {

constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";

std::string_view withoutByteOrderMark(std::string_view text) {
  return text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? text.substr(kByteOrderMark.size()) : text;
}

bool isTwoThetaAxis(std::string_view axis) {
  return axis.substr(0, 8) == "TwoTheta" || axis.find("2-Theta") != std::string_view::npos ||
         axis.find("2Theta") != std::string_view::npos;
}

// One row "angle count [attenuation ...]" into scan; false when it is not one.
bool addRow(std::string_view row, MeasuredPattern& scan) {
  std::vector<double> v;
  if (!parseNumberList(row, v, std::size_t(kMaxPatternColumns)) || v.size() < 2) return false;
  scan.x.push_back(v[0]);
  scan.y.push_back(v.size() > 2 ? v[1] * v[2] : v[1]);
  return true;
}

// The header of a .ras scan: *KEY "value" lines, the quotes taken off.
void readHeaderLine(std::string_view line, std::map<std::string, std::string, std::less<>>& header) {
  const auto blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos) return;
  std::string_view value = trimmed(line.substr(blank));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  header[std::string(line.substr(1, blank - 1))] = std::string(value);
}

double headerNumber(const std::map<std::string, std::string, std::less<>>& header, std::string_view key) {
  const auto it = header.find(key);
  return it == header.end() ? 0.0 : parseNumber(trimmed(it->second)).value_or(0.0);
}

std::string scanAxisOf(const std::map<std::string, std::string, std::less<>>& header) {
  for (std::string_view key : {"MEAS_SCAN_AXIS_X_INTERNAL", "MEAS_SCAN_AXIS_X"})
    if (const auto it = header.find(key); it != header.end() && !it->second.empty()) return it->second;
  return "TwoTheta";  // a file that does not say is read as the powder scan it mostly is
}

// The Profile<M>.txt entries of a .rasx archive with their conditions.
struct RasxScan {
  std::string profile, conditions;
};

std::vector<RasxScan> rasxScans(const ZipArchive& zip) {
  std::vector<RasxScan> scans;
  for (const std::string& name : zip.names()) {
    const auto slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    const std::string file = name.substr(folder.size());
    if (file.substr(0, 7) != "Profile" || file.size() < 12 || file.substr(file.size() - 4) != ".txt") continue;
    const std::string number = file.substr(7, file.size() - 11);
    RasxScan s{name, ""};
    for (const char* stem : {"MesurementConditions", "MeasurementConditions"})
      if (zip.contains(folder + stem + number + ".xml")) s.conditions = folder + stem + number + ".xml";
    scans.push_back(std::move(s));
  }
  std::sort(scans.begin(), scans.end(), [](const RasxScan& a, const RasxScan& b) { return a.profile < b.profile; });
  return scans;
}

std::string elementText(const pugi::xml_node& root, std::string_view name) {
  const pugi::xml_node n = descendantNamed(root, name);
  return n ? std::string(trimmed(n.child_value())) : std::string();
}

}  // namespace

bool isRas(std::string_view c) {
  return trimmed(withoutByteOrderMark(c.substr(0, 256))).substr(0, 15) == "*RAS_DATA_START";
}

ScansRead readRas(std::string_view contents) {
  Scans scans;
  std::vector<std::string> otherAxes;
  std::map<std::string, std::string, std::less<>> header;
  std::optional<MeasuredPattern> scan;
  std::size_t points = 0;
  Lines lines(withoutByteOrderMark(contents));
  while (const auto raw = lines.next()) {
    const std::string_view line = trimmed(*raw);
    if (line.empty()) continue;
    if (line.front() != '*') {
      if (!scan) return fail(atLine(lines.number()) + "it holds data outside *RAS_INT_START and *RAS_INT_END");
      if (++points > std::size_t(kMaxPatternPoints)) return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
      if (!addRow(line, *scan)) return fail(atLine(lines.number()) + "the row does not hold an angle and a count");
      continue;
    }
    if (line == "*RAS_HEADER_START") {
      header.clear();
    } else if (line == "*RAS_INT_START") {
      scan.emplace();
      scan->format = "ras";
      scan->wavelength = storedWavelength(headerNumber(header, "HW_XG_WAVE_LENGTH_ALPHA1"),
                                          headerNumber(header, "HW_XG_WAVE_LENGTH_ALPHA2"), 0);
    } else if (line == "*RAS_INT_END") {
      if (!scan) return fail(atLine(lines.number()) + "*RAS_INT_END without *RAS_INT_START");
      if (scans.size() + otherAxes.size() >= std::size_t(kMaxPatternScans)) return fail("it holds more scans than are read");
      const std::string axis = scanAxisOf(header);
      if (!isTwoThetaAxis(axis)) otherAxes.push_back(axis);
      else if (!scan->x.empty()) scans.push_back(std::move(*scan));
      scan.reset();
    } else if (!scan) {
      readHeaderLine(line, header);
    }
  }
  if (scan) return fail("it ends inside a scan (no *RAS_INT_END)");
  if (scans.empty()) return fail(otherAxes.empty() ? std::string("it holds no data points") : notTwoThetaMessage(otherAxes));
  if (!otherAxes.empty()) scans.front().note = skippedScansNote(otherAxes);
  return scans;
}

bool isRasx(std::string_view c) {
  if (!isZip(c)) return false;
  const Result<ZipArchive> zip = ZipArchive::open(c);
  return zip && !rasxScans(*zip).empty();
}

ScansRead readRasx(std::string_view contents) {
  const Result<ZipArchive> zip = ZipArchive::open(contents);
  if (!zip) return zip.failure();
  const std::vector<RasxScan> entries = rasxScans(*zip);
  if (entries.empty()) return fail("its archive holds no Data*/Profile*.txt, so it is no RASX file");
  Scans scans;
  std::vector<std::string> otherAxes;
  std::size_t points = 0;
  for (const RasxScan& entry : entries) {
    MeasuredPattern scan;
    scan.format = "rasx";
    std::string axis = "TwoTheta";
    if (!entry.conditions.empty()) {
      const Result<std::string> xml = zip->read(entry.conditions);
      if (!xml) return xml.failure();
      pugi::xml_document doc;
      if (Result<void> loaded = loadXml(doc, *xml); !loaded) return fail(entry.conditions + ", " + loaded.error());
      const pugi::xml_node info = descendantNamed(doc, "ScanInformation");
      if (const std::string named = elementText(info, "AxisName"); !named.empty()) axis = named;
      const auto number = [&](std::string_view name) { return parseNumber(elementText(doc, name)).value_or(0.0); };
      scan.wavelength = storedWavelength(number("WavelengthKalpha1"), number("WavelengthKalpha2"), 0);
    }
    if (!isTwoThetaAxis(axis)) {
      otherAxes.push_back(axis);
      continue;
    }
    const Result<std::string> profile = zip->read(entry.profile);
    if (!profile) return profile.failure();
    Lines lines(withoutByteOrderMark(*profile));
    while (const auto raw = lines.next()) {
      const std::string_view line = trimmed(*raw);
      if (line.empty()) continue;
      if (++points > std::size_t(kMaxPatternPoints)) return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
      if (!addRow(line, scan))
        return fail(entry.profile + ", " + atLine(lines.number()) + "the row does not hold an angle and a count");
    }
    if (scan.x.empty()) return fail(entry.profile + " holds no data points");
    scans.push_back(std::move(scan));
  }
  if (scans.empty()) return fail(notTwoThetaMessage(otherAxes));
  if (!otherAxes.empty()) scans.front().note = skippedScansNote(otherAxes);
  return scans;
}

}  // namespace obrin::pattern_io
