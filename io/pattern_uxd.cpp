// Bruker Diffrac-AT UXD text files, read here rather than through xylib, whose UXD reader frees
// memory twice on some damaged files. The first range is read: its keys (_START, _STEPSIZE,
// the wavelengths _WL1, _WL2, _WLRATIO), then its points after _COUNTS or _CPS (one count a
// step) or after _2THETACOUNTS or _2THETACPS (2θ and count pairs).
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "core/limits.hpp"
#include "io/pattern_file.hpp"

namespace obrin {

namespace {

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::optional<double> number(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

enum class Data { None, Counts, Pairs };

struct UxdRange {
  std::optional<double> start, step;
  PatternWavelength wavelength;
  Data data = Data::None;
};

// A "_KEY=VALUE" line of the range header.
void readKey(std::string_view line, UxdRange& r) {
  const auto equals = line.find('=');
  const std::string_view key = trimmed(line.substr(0, equals));
  const std::optional<double> value =
      equals == std::string_view::npos ? std::nullopt : number(line.substr(equals + 1));
  if (key == "_COUNTS" || key == "_CPS") r.data = Data::Counts;
  else if (key == "_2THETACOUNTS" || key == "_2THETACPS") r.data = Data::Pairs;
  if (!value) return;
  if (key == "_START") r.start = value;
  else if (key == "_STEPSIZE") r.step = value;
  else if (key == "_WL1") r.wavelength.alpha1 = *value;
  else if (key == "_WL2") r.wavelength.alpha2 = *value;
  else if (key == "_WLRATIO") r.wavelength.ratio = *value;
}

}  // namespace

PatternRead readUxd(std::string_view contents, const std::string& name) {
  auto failure = [&](const std::string& why) {
    return PatternRead(fail("Cannot read the pattern file \"" + name + "\": " + why));
  };
  MeasuredPattern p;
  p.format = "uxd";
  UxdRange r;
  long long lineNumber = 0;
  for (std::size_t pos = 0; pos < contents.size();) {
    std::size_t end = contents.find('\n', pos);
    if (end == std::string_view::npos) end = contents.size();
    const std::string_view line = trimmed(contents.substr(pos, end - pos));
    pos = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '_') {
      if (!p.x.empty()) break;  // the next range
      readKey(line, r);
      continue;
    }
    if (r.data == Data::None) return failure("line " + std::to_string(lineNumber) + " holds data before _COUNTS");
    if (r.data == Data::Counts && !(r.start && r.step))
      return failure("line " + std::to_string(lineNumber) + ": counts without _START and _STEPSIZE");
    std::vector<double> values;
    for (std::size_t i = 0; i < line.size();) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      std::size_t j = i;
      while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
      if (j == i) break;
      const auto v = number(line.substr(i, j - i));
      if (!v) return failure("line " + std::to_string(lineNumber) + " does not hold numbers");
      values.push_back(*v);
      i = j;
    }
    if (r.data == Data::Pairs && values.size() < 2)
      return failure("line " + std::to_string(lineNumber) + " does not hold 2theta and a count");
    if (p.x.size() + values.size() > std::size_t(kMaxPatternPoints))
      return failure("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
    if (r.data == Data::Pairs) {
      p.x.push_back(values[0]);
      p.y.push_back(values[1]);
      continue;
    }
    const double start = r.start.value_or(0), step = r.step.value_or(0);
    for (double count : values) {
      p.x.push_back(start + step * double(p.x.size()));
      p.y.push_back(count);
    }
  }
  if (p.x.empty()) return failure("it holds no data points");
  if (r.wavelength.alpha1 > 0) p.wavelength = r.wavelength;
  return p;
}

}  // namespace obrin
