// PANalytical XRDML, the XML of Data Collector: every <scan> of every <xrdMeasurement>, its
// points in <dataPoints>: <positions axis="2Theta"> as start and end (or a list), and the
// <intensities> of XRDML 1.x or the <counts> of 2.x, which are times the
// <beamAttenuationFactors> beside them. A scan is of 2θ when its 2Theta positions move; others
// (φ scans of a pole figure, ω rocking curves) are named, not read. The tube lines are in
// <usedWavelength>.
#include <cmath>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"
#include "io/pattern_xml.hpp"

namespace obrin::pattern_io {

namespace {

std::string scanAt(std::size_t scan) { return "scan " + std::to_string(scan + 1) + ": "; }

std::optional<PatternWavelength> wavelengthOf(const pugi::xml_node& measurement) {
  const pugi::xml_node used = childNamed(measurement, "usedWavelength");
  if (!used) return std::nullopt;
  auto value = [&](const char* tag) {
    const pugi::xml_node n = childNamed(used, tag);
    const std::optional<double> v = n ? parseNumber(trimmed(n.child_value())) : std::nullopt;
    return v.value_or(0.0);
  };
  return storedWavelength(value("kAlpha1"), value("kAlpha2"), value("ratioKAlpha2KAlpha1"));
}

pugi::xml_node positionsOf(const pugi::xml_node& dataPoints, std::string_view axis) {
  for (pugi::xml_node p : dataPoints.children())
    if (localName(p) == "positions" && std::string_view(p.attribute("axis").value()) == axis) return p;
  return {};
}

Result<std::vector<double>> numbersOf(const pugi::xml_node& node, const char* what, std::size_t scan,
                                      std::size_t limit) {
  std::vector<double> values;
  if (!parseNumberList(node.child_value(), values, limit))
    return fail(scanAt(scan) + "its " + std::string(what) + " hold a word that is no number, or too many values");
  return values;
}

// The 2θ of n points: listed, or spread evenly from start to end; none when 2θ does not move.
Result<std::optional<std::vector<double>>> twoThetaOf(const pugi::xml_node& positions, std::size_t n,
                                                      std::size_t scan) {
  using Angles = std::optional<std::vector<double>>;
  if (!positions) return Angles{};
  if (const pugi::xml_node list = childNamed(positions, "listPositions")) {
    auto values = numbersOf(list, "2Theta positions", scan, std::size_t(kMaxPatternPoints));
    if (!values) return values.failure();
    if (values->size() != n)
      return fail(scanAt(scan) + "it lists " + std::to_string(values->size()) + " positions for " +
                  std::to_string(n) + " counts");
    return Angles{std::move(*values)};
  }
  const pugi::xml_node startNode = childNamed(positions, "startPosition"), endNode = childNamed(positions, "endPosition");
  if (!startNode || !endNode) return Angles{};  // a common position: 2θ stands still
  const std::optional<double> start = parseNumber(trimmed(startNode.child_value()));
  const std::optional<double> end = parseNumber(trimmed(endNode.child_value()));
  if (!start || !end) return fail(scanAt(scan) + "its 2Theta start or end position is no number");
  if (*start == *end && n > 1) return Angles{};
  const double step = n > 1 ? (*end - *start) / double(n - 1) : 0;
  return Angles{steppedScan(*start, step, n).x};
}

// The scan's counts: 2.x <counts> times their attenuation factors, or 1.x <intensities>.
Result<std::vector<double>> countsOf(const pugi::xml_node& dataPoints, std::size_t scan, std::size_t room) {
  const pugi::xml_node counts = childNamed(dataPoints, "counts");
  const pugi::xml_node node = counts ? counts : childNamed(dataPoints, "intensities");
  if (!node) return fail(scanAt(scan) + "it holds neither <counts> nor <intensities>");
  auto values = numbersOf(node, counts ? "counts" : "intensities", scan, room);
  if (!values) return values;
  if (values->empty()) return fail(scanAt(scan) + "it holds no counts");
  if (const pugi::xml_node factors = childNamed(dataPoints, "beamAttenuationFactors"); factors && counts) {
    auto f = numbersOf(factors, "beam attenuation factors", scan, values->size());
    if (!f) return f;
    if (f->size() != values->size())
      return fail(scanAt(scan) + "it gives " + std::to_string(f->size()) + " beam attenuation factors for " +
                  std::to_string(values->size()) + " counts");
    for (std::size_t i = 0; i < values->size(); ++i) (*values)[i] *= (*f)[i];
  }
  return values;
}

// What a scan that is not of 2θ runs along: its scanAxis, else "an axis other than 2Theta".
std::string axisOf(const pugi::xml_node& scan) {
  const std::string axis = scan.attribute("scanAxis").value();
  return axis.empty() ? "an axis other than 2Theta" : axis;
}

}  // namespace

bool isXrdml(std::string_view c) { return c.substr(0, 65536).find("<xrdMeasurements") != std::string_view::npos; }

ScansRead readXrdml(std::string_view contents) {
  pugi::xml_document doc;
  if (Result<void> loaded = loadXml(doc, contents); !loaded) return loaded.failure();
  const pugi::xml_node root = doc.document_element();
  if (localName(root) != "xrdMeasurements") return fail("it is not an XRDML document (its root is not <xrdMeasurements>)");
  Scans scans;
  std::vector<std::string> otherAxes;
  std::size_t points = 0, index = 0;
  for (pugi::xml_node measurement : root.children()) {
    if (localName(measurement) != "xrdMeasurement") continue;
    const std::optional<PatternWavelength> wavelength = wavelengthOf(measurement);
    for (pugi::xml_node scan : measurement.children()) {
      if (localName(scan) != "scan") continue;
      const std::size_t at = index++;
      if (at >= std::size_t(kMaxPatternScans)) return fail("it holds more scans than are read");
      const pugi::xml_node dataPoints = childNamed(scan, "dataPoints");
      if (!dataPoints) return fail(scanAt(at) + "it holds no <dataPoints>");
      auto counts = countsOf(dataPoints, at, std::size_t(kMaxPatternPoints) - points);
      if (!counts) return counts.failure();
      auto angles = twoThetaOf(positionsOf(dataPoints, "2Theta"), counts->size(), at);
      if (!angles) return angles.failure();
      if (!*angles) {
        otherAxes.push_back(axisOf(scan));
        continue;
      }
      MeasuredPattern s;
      s.format = "xrdml";
      s.x = std::move(**angles);
      s.y = std::move(*counts);
      s.wavelength = wavelength;
      points += s.x.size();
      scans.push_back(std::move(s));
    }
  }
  if (scans.empty()) return fail(otherAxes.empty() ? std::string("it holds no scan") : notTwoThetaMessage(otherAxes));
  if (!otherAxes.empty()) scans.front().note = skippedScansNote(otherAxes);
  return scans;
}

}  // namespace obrin::pattern_io
