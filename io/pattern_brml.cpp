// Bruker BRML (DIFFRAC.SUITE): a zip archive whose Experiment<N>/RawData<M>.xml files each hold
// data routes; a measured route has its <ScanInformation> (the scan axes with their
// <ScanAxisInfo AxisId="TwoTheta">) and one <Datum> a step: the counting time, a flag, the
// position of each scan axis in their order, then the count. The tube lines are the Value of
// <WaveLengthAlpha1>, <WaveLengthAlpha2> and <WaveLengthRatio>.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"
#include "io/pattern_xml.hpp"

namespace obrin::pattern_io {

namespace {

// The numbers of "Experiment12/RawData3.xml" (12, 3); none for another entry.
std::optional<std::pair<long, long>> rawDataNumbers(std::string_view entry) {
  auto numberAfter = [&](std::string_view prefix, std::string_view suffix) -> std::optional<long> {
    if (entry.substr(0, prefix.size()) != prefix) return std::nullopt;
    const std::string_view rest = entry.substr(prefix.size());
    long n = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (ec != std::errc() || end == rest.data() || std::string_view(end, std::size_t(rest.data() + rest.size() - end)) != suffix)
      return std::nullopt;
    return n;
  };
  const auto slash = entry.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto experiment = numberAfter("Experiment", entry.substr(slash));
  entry = entry.substr(slash + 1);
  const auto data = numberAfter("RawData", ".xml");
  if (!experiment || !data) return std::nullopt;
  return std::pair{*experiment, *data};
}

std::vector<std::string> rawDataEntries(const ZipArchive& zip) {
  std::vector<std::pair<std::pair<long, long>, std::string>> found;
  for (const std::string& name : zip.names())
    if (const auto numbers = rawDataNumbers(name)) found.emplace_back(*numbers, name);
  std::sort(found.begin(), found.end());
  std::vector<std::string> entries;
  for (auto& f : found) entries.push_back(std::move(f.second));
  return entries;
}

double valueAttribute(const pugi::xml_node& root, std::string_view element) {
  const pugi::xml_node n = descendantNamed(root, element);
  return n ? parseNumber(trimmed(n.attribute("Value").value())).value_or(0.0) : 0.0;
}

// The comma-separated numbers of one <Datum>.
bool datumValues(std::string_view text, std::vector<double>& values) {
  values.clear();
  for (std::size_t i = 0; i <= text.size() && values.size() < std::size_t(kMaxPatternColumns);) {
    std::size_t end = text.find(',', i);
    if (end == std::string_view::npos) end = text.size();
    const std::optional<double> v = parseNumber(trimmed(text.substr(i, end - i)));
    if (!v) return false;
    values.push_back(*v);
    i = end + 1;
  }
  return true;
}

struct Context {
  std::string entry;
  std::optional<PatternWavelength> wavelength;
  std::vector<std::string> otherAxes;
  std::size_t points = 0;
};

// One data route: a scan when one of its axes is 2θ.
Result<std::optional<MeasuredPattern>> readRoute(const pugi::xml_node& route, Context& c) {
  using Scan = std::optional<MeasuredPattern>;
  const pugi::xml_node info = childNamed(route, "ScanInformation");
  std::vector<std::string> axes;
  for (pugi::xml_node axis : childNamed(info, "ScanAxes").children())
    if (localName(axis) == "ScanAxisInfo") axes.emplace_back(axis.attribute("AxisId").value());
  const auto twoTheta = std::find(axes.begin(), axes.end(), "TwoTheta");
  if (twoTheta == axes.end()) {
    const std::string name = info.attribute("VisibleName").value();
    c.otherAxes.push_back(!axes.empty() ? axes.front() : !name.empty() ? name : "no axis");
    return Scan{};
  }
  const std::size_t xColumn = 2 + std::size_t(twoTheta - axes.begin()), yColumn = 2 + axes.size();
  MeasuredPattern scan;
  scan.format = "brml";
  scan.wavelength = c.wavelength;
  std::vector<double> values;
  for (pugi::xml_node datum : route.children()) {
    if (localName(datum) != "Datum") continue;
    const std::string at = c.entry + ", point " + std::to_string(scan.x.size() + 1) + ": ";
    if (!datumValues(datum.child_value(), values)) return fail(at + "its <Datum> holds a value that is no number");
    if (values.size() <= yColumn) return fail(at + "its <Datum> holds no count after its " + std::to_string(axes.size()) + " axes");
    if (c.points >= std::size_t(kMaxPatternPoints)) return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
    scan.x.push_back(values[xColumn]);
    scan.y.push_back(values[yColumn]);
    ++c.points;
  }
  if (scan.x.empty()) return fail(c.entry + ": its scan holds no <Datum>");
  return Scan{std::move(scan)};
}

}  // namespace

bool isBrml(std::string_view c) {
  if (!isZip(c)) return false;
  const Result<ZipArchive> zip = ZipArchive::open(c);
  return zip && !rawDataEntries(*zip).empty();
}

ScansRead readBrml(std::string_view contents) {
  const Result<ZipArchive> zip = ZipArchive::open(contents);
  if (!zip) return zip.failure();
  const std::vector<std::string> entries = rawDataEntries(*zip);
  if (entries.empty()) return fail("its archive holds no Experiment*/RawData*.xml, so it is no BRML file");
  Scans scans;
  Context c;
  for (const std::string& entry : entries) {
    const Result<std::string> xml = zip->read(entry);
    if (!xml) return xml.failure();
    pugi::xml_document doc;
    if (Result<void> loaded = loadXml(doc, *xml); !loaded) return fail(entry + ", " + loaded.error());
    const pugi::xml_node root = doc.document_element();
    c.entry = entry;
    c.wavelength = storedWavelength(valueAttribute(root, "WaveLengthAlpha1"), valueAttribute(root, "WaveLengthAlpha2"),
                                    valueAttribute(root, "WaveLengthRatio"));
    for (pugi::xml_node route : childNamed(root, "DataRoutes").children()) {
      const std::string_view flag = route.attribute("RouteFlag").value();
      if (localName(route) != "DataRoute" || !(flag.empty() || flag == "Measured")) continue;
      if (scans.size() >= std::size_t(kMaxPatternScans)) return fail("it holds more scans than are read");
      auto scan = readRoute(route, c);
      if (!scan) return scan.failure();
      if (*scan) scans.push_back(std::move(**scan));
    }
  }
  if (scans.empty()) return fail(c.otherAxes.empty() ? std::string("it holds no measured scan") : notTwoThetaMessage(c.otherAxes));
  if (!c.otherAxes.empty()) scans.front().note = skippedScansNote(c.otherAxes);
  return scans;
}

}  // namespace obrin::pattern_io
