#include "core/textformat.hpp"

#include <algorithm>
#include <cctype>
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
