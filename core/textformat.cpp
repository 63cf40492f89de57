#include "core/textformat.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstring>

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

// The widest field and the longest number text laid out in place.
constexpr int kMaxFieldWidth = 200;
constexpr int kNumberRoom = 64;
constexpr int kFieldRoom = kMaxFieldWidth + 1 + kNumberRoom;

// text right-aligned in a field of width at p, blanks before it, with one blank more when it
// fills the field and follows a number (joined). p has kFieldRoom characters, and text lies at
// the start of a buffer of kNumberRoom.
char* putAligned(char* p, const char* first, const char* last, int width, bool joined) {
  const auto length = static_cast<int>(last - first);
  int pad = length < width ? width - length : 0;
  if (joined && pad == 0 && length > 0 && *first != ' ') pad = 1;
  // The usual short field in copies of a fixed size, which need no call: what they write
  // beyond the field is room that the next field overwrites.
  constexpr int kShortPad = 16, kShortText = 32;
  if (pad <= kShortPad && length <= kShortText) {
    std::memcpy(p, "                ", kShortPad);
    std::memcpy(p + pad, first, kShortText);
  } else {
    std::memset(p, ' ', static_cast<std::size_t>(pad));
    std::memcpy(p + pad, first, static_cast<std::size_t>(length));
  }
  return p + pad + length;
}

// x with the given decimals from the integer nearest x·10^decimals, as printf rounds: exact
// ties to even. The residue x·10^d − r is exact in a double when x ≥ 2^(−1−d) (its last bit is
// no finer than 2^(e−52+d) for x of exponent e, and it is below 1), so the choice of r is exact
// too; other x, and x·10^d beyond 2^52, take the general route. Null when not taken.
char* writeFixedScaled(char* p, double x, int decimals) {
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  static constexpr double kLeast[] = {0x1p-1, 0x1p-2, 0x1p-3, 0x1p-4, 0x1p-5, 0x1p-6, 0x1p-7};  // 2^(−1−d)
  if (decimals >= static_cast<int>(std::size(kPowers))) return nullptr;
  const double a = std::fabs(x), scale = kPowers[decimals];
  if (!(a >= kLeast[decimals] && a * scale < 0x1p52)) return nullptr;
  double r = std::nearbyint(a * scale);
  const double residue = std::fma(a, scale, -r);
  if (residue > 0.5 || (residue == 0.5 && std::fmod(r, 2) != 0)) r += 1;
  else if (residue < -0.5 || (residue == -0.5 && std::fmod(r, 2) != 0)) r -= 1;
  char digits[32];
  char* end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(r)).ptr;
  // At least one digit before the point.
  const int length = static_cast<int>(end - digits);
  if (std::signbit(x)) *p++ = '-';
  if (length <= decimals) {
    *p++ = '0';
    if (decimals > 0) *p++ = '.';
    for (int i = length; i < decimals; ++i) *p++ = '0';
    return std::copy(digits, end, p);
  }
  p = std::copy(digits, end - decimals, p);
  if (decimals > 0) *p++ = '.';
  return std::copy(end - decimals, end, p);
}

// x as printf's %.*f writes it, at p (kNumberRoom characters): to_chars with a precision
// prints the same. Null when the text is longer (a value near 1e308 with 30 decimals).
char* writeFixed(char* p, double x, int decimals) {
  if (char* end = writeFixedScaled(p, x, decimals)) return end;
  const auto [end, ec] = std::to_chars(p, p + kNumberRoom, x, std::chars_format::fixed, decimals);
  return ec == std::errc() ? end : nullptr;
}

bool endsWithNumber(const std::string& line) { return !line.empty() && line.back() != ' ' && line.back() != '\n'; }

}  // namespace

void appendColumns(std::string& line, std::initializer_list<Column> columns, bool joined) {
  char buf[8 * kFieldRoom];
  char* p = buf;
  for (const Column& c : columns) {
    if (p + kFieldRoom > buf + sizeof buf) {
      line.append(buf, p);
      p = buf;
    }
    const int width = std::clamp(c.width, 0, kMaxFieldWidth);
    const bool afterNumber = joined && (p > buf ? p[-1] != ' ' && p[-1] != '\n' : endsWithNumber(line));
    char number[kNumberRoom];
    char* end = nullptr;
    if (c.isInteger) end = std::to_chars(number, number + sizeof number, c.integer).ptr;
    else end = writeFixed(number, c.value, std::clamp(c.decimals, 0, 30));
    if (end) {
      p = putAligned(p, number, end, width, afterNumber);
      continue;
    }
    line.append(buf, p);
    p = buf;
    const std::string text = fixedText(c.value, width, c.decimals);
    if (afterNumber && !text.empty() && text.front() != ' ') line += ' ';
    line += text;
  }
  line.append(buf, p);
}

void appendFixed(std::string& out, double x, int width, int decimals) {
  appendColumns(out, {fixedColumn(x, width, decimals)}, false);
}

void appendInt(std::string& out, long long i, int width) { appendColumns(out, {intColumn(i, width)}, false); }

// A number that fills its field starts without a blank: the field then needs one before it.
void appendFixedField(std::string& line, double x, int width, int decimals) {
  appendColumns(line, {fixedColumn(x, width, decimals)});
}

void appendIntField(std::string& line, long long i, int width) { appendColumns(line, {intColumn(i, width)}); }

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
