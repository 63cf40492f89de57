#include "core/textformat.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <cstdio>

namespace obrin {

std::string fixedText(double x, int width, int decimals) {
  // A precision beyond what a double carries only adds noise digits; keep the text bounded.
  decimals = std::clamp(decimals, 0, 30);
  width = std::clamp(width, 0, 200);
  char buf[512];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, x);
  return buf;
}

std::string intText(long long i, int width) {
  width = std::clamp(width, 0, 200);
  char buf[256];
  std::snprintf(buf, sizeof buf, "%*lld", width, i);
  return buf;
}

namespace {

// Digits right-aligned in a field of width, blanks before them.
void appendPadded(std::string& out, const char* first, const char* last, int width) {
  const auto length = static_cast<int>(last - first);
  if (length < width) out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(first, last);
}

// x with the given decimals from the integer nearest x·10^decimals, as printf rounds: exact
// ties to even. The residue x·10^d − r is exact in a double when x ≥ 2^(−1−d) (its last bit is
// no finer than 2^(e−52+d) for x of exponent e, and it is below 1), so the choice of r is exact
// too; other x, and x·10^d beyond 2^52, take the general route. False when not taken.
bool appendFixedScaled(std::string& out, double x, int width, int decimals) {
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  if (decimals >= static_cast<int>(std::size(kPowers))) return false;
  const double a = std::fabs(x), scale = kPowers[decimals];
  if (!(a >= std::ldexp(1.0, -1 - decimals) && a * scale < 0x1p52)) return false;
  double r = std::nearbyint(a * scale);
  const double residue = std::fma(a, scale, -r);
  if (residue > 0.5 || (residue == 0.5 && std::fmod(r, 2) != 0)) r += 1;
  else if (residue < -0.5 || (residue == -0.5 && std::fmod(r, 2) != 0)) r -= 1;
  char digits[32];
  char* end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(r)).ptr;
  // At least one digit before the point.
  const int length = static_cast<int>(end - digits);
  char buf[48];
  char* p = buf;
  if (std::signbit(x)) *p++ = '-';
  if (length <= decimals) {
    *p++ = '0';
    if (decimals > 0) *p++ = '.';
    for (int i = length; i < decimals; ++i) *p++ = '0';
    p = std::copy(digits, end, p);
  } else {
    p = std::copy(digits, end - decimals, p);
    if (decimals > 0) *p++ = '.';
    p = std::copy(end - decimals, end, p);
  }
  appendPadded(out, buf, p, width);
  return true;
}

// to_chars with a precision prints as printf's %.*f does; a result too long for the buffer
// (a value near 1e308 with 30 decimals) falls back on printf itself.
void appendFixedDigits(std::string& out, double x, int width, int decimals) {
  if (appendFixedScaled(out, x, width, decimals)) return;
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  if (ec == std::errc()) appendPadded(out, buf, end, width);
  else out += fixedText(x, width, decimals);
}

bool startsJoined(const std::string& line) { return !line.empty() && line.back() != ' ' && line.back() != '\n'; }

}  // namespace

void appendFixed(std::string& out, double x, int width, int decimals) {
  appendFixedDigits(out, x, std::clamp(width, 0, 200), std::clamp(decimals, 0, 30));
}

void appendInt(std::string& out, long long i, int width) {
  char buf[24];
  const auto end = std::to_chars(buf, buf + sizeof buf, i).ptr;
  appendPadded(out, buf, end, std::clamp(width, 0, 200));
}

// A number that fills its field starts without a blank: the field then needs one before it.
void appendFixedField(std::string& line, double x, int width, int decimals) {
  const bool joined = startsJoined(line);
  const std::size_t start = line.size();
  appendFixed(line, x, width, decimals);
  if (joined && line.size() > start && line[start] != ' ') line.insert(start, 1, ' ');
}

void appendIntField(std::string& line, long long i, int width) {
  const bool joined = startsJoined(line);
  const std::size_t start = line.size();
  appendInt(line, i, width);
  if (joined && line.size() > start && line[start] != ' ') line.insert(start, 1, ' ');
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string trimmedRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && isBlank(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string upperCased(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string lowerCased(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

void appendField(std::string& line, std::string_view number) {
  const bool joined = !line.empty() && line.back() != ' ' && line.back() != '\n';
  if (joined && !number.empty() && number.front() != ' ') line += ' ';
  line += number;
}

}  // namespace obrin
