// What the pattern readers share: numbers, lines, wavelengths and the messages on scan axes.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

std::string atLine(long long line) { return "line " + std::to_string(line) + ": "; }

std::optional<double> parseNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);  // from_chars takes no plus sign
  if (text.empty() || text.front() == '+') return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool parseNumberList(std::string_view text, std::vector<double>& out, std::size_t limit) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i == text.size()) break;
    std::size_t j = i;
    while (j < text.size() && !blank(text[j])) ++j;
    const std::optional<double> v = parseNumber(text.substr(i, j - i));
    if (!v || out.size() >= limit) return false;
    out.push_back(*v);
    i = j;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<std::string_view> Lines::next() {
  if (pos_ >= text_.size()) return std::nullopt;
  std::size_t end = text_.find('\n', pos_);
  if (end == std::string_view::npos) end = text_.size();
  std::string_view line = text_.substr(pos_, end - pos_);
  pos_ = end + 1;
  ++number_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::optional<PatternWavelength> storedWavelength(double alpha1, double alpha2, double ratio) {
  auto wavelength = [](double v) { return std::isfinite(v) && v > 0 && v <= kMaxPatternWavelength; };
  if (!wavelength(alpha1)) return std::nullopt;
  PatternWavelength w{alpha1, wavelength(alpha2) ? alpha2 : 0.0, 0.0};
  if (std::isfinite(ratio) && ratio > 0 && ratio <= 1) w.ratio = ratio;
  else if (std::isfinite(ratio) && ratio != 0) w.unusableRatio = ratio;
  return w;
}

MeasuredPattern steppedScan(double start, double step, std::size_t count) {
  MeasuredPattern scan;
  scan.x.resize(count);
  for (std::size_t i = 0; i < count; ++i) scan.x[i] = start + step * double(i);
  scan.y.reserve(count);
  return scan;
}

namespace {

// "Phi", "Phi and Omega", "Phi, Chi and Omega": each axis once, in the order met.
std::string axisList(const std::vector<std::string>& axes) {
  std::vector<std::string> distinct;
  for (const std::string& a : axes)
    if (std::find(distinct.begin(), distinct.end(), a) == distinct.end()) distinct.push_back(a);
  std::string text;
  for (std::size_t i = 0; i < distinct.size(); ++i)
    text += (i == 0 ? "" : i + 1 == distinct.size() ? " and " : ", ") + distinct[i];
  return text;
}

}  // namespace

std::string notTwoThetaMessage(const std::vector<std::string>& axes) {
  const std::string scans = axes.size() == 1 ? "its scan runs" : "its scans run";
  return scans + " along " + axisList(axes) + ", not 2θ: it is no powder pattern";
}

std::string skippedScansNote(const std::vector<std::string>& axes) {
  return std::to_string(axes.size()) + (axes.size() == 1 ? " scan" : " scans") + " along " + axisList(axes) +
         " left out (not 2θ)";
}

}  // namespace obrin::pattern_io
