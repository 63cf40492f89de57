// Bruker Diffrac-AT UXD text files, read here rather than through xylib, whose UXD reader frees
// memory twice on some damaged files. Every range is read: its keys (_DRIVE, _START, _STEPSIZE,
// and the wavelengths _WL1, _WL2, _WLRATIO, which the file header gives for all), then its points
// after _COUNTS or _CPS (one count a step) or after _2THETACOUNTS or _2THETACPS (2θ and count
// pairs). A range whose drive is not 2θ (a rocking curve, a φ scan) is named, not read.
#include <optional>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

enum class Data { None, Counts, Pairs };

struct UxdRange {
  std::optional<double> start, step;
  std::string drive;
  Data data = Data::None;
  MeasuredPattern scan;
};

// Drives that move 2θ: coupled θ/2θ and the detector alone.
bool isTwoThetaDrive(std::string_view drive) {
  if (drive.empty()) return true;
  for (std::string_view word : {"COUPLED", "2THETA", "TWOTHETA", "DETECTOR"})
    if (drive.find(word) != std::string_view::npos) return true;
  return false;
}

std::string unquoted(std::string_view v) {
  v = trimmed(v);
  if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// A "_KEY=VALUE" line of the range header.
void readKey(std::string_view line, UxdRange& r, PatternWavelength& w) {
  const auto equals = line.find('=');
  const std::string_view key = trimmed(line.substr(0, equals));
  const std::string_view text = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
  const std::optional<double> value = parseNumber(trimmed(text));
  if (key == "_COUNTS" || key == "_CPS") r.data = Data::Counts;
  else if (key == "_2THETACOUNTS" || key == "_2THETACPS") r.data = Data::Pairs;
  else if (key == "_DRIVE") r.drive = unquoted(text);
  if (!value) return;
  if (key == "_START") r.start = value;
  else if (key == "_STEPSIZE") r.step = value;
  else if (key == "_WL1") w.alpha1 = *value;
  else if (key == "_WL2") w.alpha2 = *value;
  else if (key == "_WLRATIO") w.ratio = *value;
}

}  // namespace

bool isUxd(std::string_view contents) {
  Lines lines(contents);
  for (int i = 0; i < kGsasHeaderLinesScanned; ++i) {
    const auto line = lines.next();
    if (!line) return false;
    const std::string_view t = trimmed(*line);
    if (t.empty() || t.front() == ';') continue;
    return t.front() == '_';
  }
  return false;
}

ScansRead readUxd(std::string_view contents) {
  Scans scans;
  std::vector<std::string> otherDrives;
  PatternWavelength wavelength;
  UxdRange r;
  std::size_t points = 0;
  auto finish = [&] {
    if (r.scan.x.empty()) return;
    if (isTwoThetaDrive(r.drive)) {
      r.scan.format = "uxd";
      scans.push_back(std::move(r.scan));
    } else {
      otherDrives.push_back(r.drive);
    }
  };
  Lines lines(contents);
  while (const auto raw = lines.next()) {
    const std::string_view line = trimmed(*raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '_') {
      if (!r.scan.x.empty()) {  // the next range
        finish();
        r = UxdRange{};
        if (scans.size() + otherDrives.size() >= std::size_t(kMaxPatternScans)) return fail("it holds more ranges than are read");
      }
      readKey(line, r, wavelength);
      continue;
    }
    const std::string at = atLine(lines.number());
    if (r.data == Data::None) return fail("line " + std::to_string(lines.number()) + " holds data before _COUNTS");
    if (r.data == Data::Counts && !(r.start && r.step)) return fail(at + "counts without _START and _STEPSIZE");
    std::vector<double> values;
    if (!parseNumberList(line, values, std::size_t(kMaxPatternLineLength)))
      return fail("line " + std::to_string(lines.number()) + " does not hold numbers");
    if (r.data == Data::Pairs && values.size() < 2)
      return fail("line " + std::to_string(lines.number()) + " does not hold 2theta and a count");
    points += r.data == Data::Pairs ? 1 : values.size();
    if (points > std::size_t(kMaxPatternPoints))
      return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
    if (r.data == Data::Pairs) {
      r.scan.x.push_back(values[0]);
      r.scan.y.push_back(values[1]);
      continue;
    }
    for (double count : values) {
      r.scan.x.push_back(*r.start + *r.step * double(r.scan.x.size()));
      r.scan.y.push_back(count);
    }
  }
  finish();
  if (scans.empty()) return fail(otherDrives.empty() ? std::string("it holds no data points") : notTwoThetaMessage(otherDrives));
  const std::optional<PatternWavelength> stored = storedWavelength(wavelength.alpha1, wavelength.alpha2, wavelength.ratio);
  for (MeasuredPattern& scan : scans) scan.wavelength = stored;
  if (!otherDrives.empty()) scans.front().note = skippedScansNote(otherDrives);
  return scans;
}

}  // namespace obrin::pattern_io
