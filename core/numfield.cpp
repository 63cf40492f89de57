#include "core/numfield.hpp"

#include <charconv>
#include <cmath>

namespace obrin {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipLeadingBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  size_t i = skipLeadingBlanks(text);
  const size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  bool point = false;
  if (i < text.size() && text[i] == '.') {
    point = true;
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0 && !point) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;

  // strtod does not take "." or "-." as 0 and reads locale-free only in the C locale, so
  // the text it sees is rebuilt with the digits that are missing.
  std::string number(text.substr(start));
  if (digits == 0) {
    const size_t dot = number.find('.');
    number = number.substr(0, dot) + '0' + number.substr(dot);
  }
  double value = 0;
  const char* first = number.c_str();
  auto [end, ec] = std::from_chars(first + (number[0] == '+' ? 1 : 0), first + number.size(), value);
  if (ec != std::errc() || end != first + number.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string normalizeNumberText(std::string_view text) {
  std::string s(text);
  if (s.empty()) return "0";
  if (auto p = s.find(" ."); p != std::string::npos) s[p] = '0';
  if (auto p = s.find(". "); p != std::string::npos) s[p + 1] = '0';
  if (auto p = s.find("-."); p != std::string::npos) s = s.substr(0, p + 1) + '0' + s.substr(p + 1);
  if (s.back() == '.') s += '0';
  return s;
}

}  // namespace obrin
