#include "cli/formats.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "calc/display.hpp"
#include "core/textformat.hpp"

namespace obrin::cli {

namespace {

template <typename T>
std::string shortestText(T x) {
  if (!std::isfinite(x)) return "null";  // JSON has no infinities; no stored value is one
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  return ec == std::errc() ? std::string(buf, end) : "null";
}

std::string angleName(AngleMode angle) { return angle == AngleMode::TwoTheta ? "2theta" : "theta"; }

std::string systemJson(const CalculationState& state) {
  return state.system ? jsonString(systemCode(*state.system)) : "null";
}

// The members shared by every calculation, each line ending in ",\n".
std::string jsonInputs(const CalculationState& state, AngleMode angle) {
  std::string s;
  s += "  \"system\": " + systemJson(state) + ",\n";
  s += "  \"group\": " + jsonString(state.groupName) + ",\n";
  s += "  \"cell\": [";
  const auto p = state.cell.params();
  for (std::size_t i = 0; i < p.size(); ++i) s += (i ? ", " : "") + jsonNumber(p[i]);
  s += "],\n";
  s += "  \"lambda\": " + jsonNumber(state.lambda) + ",\n";
  s += "  \"angle\": " + jsonString(angleName(angle)) + ",\n";
  return s;
}

}  // namespace

std::string jsonNumber(double x) { return shortestText(x); }

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string listText(const ReflectionList& list, AngleMode angle) {
  std::string s;
  for (const auto& line : resultLines(list, angle)) s += line + "\n";
  return s + countText(list.size()) + "\n";
}

std::string tsvText(const ReflectionList& list, AngleMode angle, std::optional<int> decimals) {
  auto number = [&](double x) { return decimals ? fixedText(x, 0, *decimals) : shortestText(x); };
  std::string s = "h\tk\tl\td\t" + angleName(angle) + "\tmultiplicity\n";
  for (const Reflection& r : list) {
    const double shown = angle == AngleMode::TwoTheta ? 2 * r.theta : r.theta;
    s += std::to_string(r.h) + '\t' + std::to_string(r.k) + '\t' + std::to_string(r.l) + '\t' + number(r.d) + '\t' +
         number(shown) + '\t' + std::to_string(r.multiplicity) + '\n';
  }
  return s;
}

std::string jsonText(const CalculationState& state, CalcMode mode, AngleMode angle) {
  std::string s = "{\n" + jsonInputs(state, angle);
  if (mode == CalcMode::SingleCrystal) {
    static constexpr const char* kNames[] = {"hmin", "hmax", "kmin", "kmax", "lmin", "lmax"};
    s += "  \"limits\": {";
    for (int i = 0; i < 6; ++i)
      s += std::string(i ? ", " : "") + "\"" + kNames[i] + "\": " + std::to_string(state.millerLimits[i]);
    s += "},\n";
    s += "  \"mode\": \"single\",\n";
  } else {
    s += "  \"limits\": {\"theta_min\": " + jsonNumber(state.thetaMin) +
         ", \"theta_max\": " + jsonNumber(state.thetaMax) + "},\n";
    s += "  \"mode\": \"powder\",\n";
  }
  s += "  \"count\": " + std::to_string(state.list.size()) + ",\n";
  s += "  \"reflections\": [";
  for (std::size_t i = 0; i < state.list.size(); ++i) {
    const Reflection& r = state.list[i];
    s += i ? ",\n    " : "\n    ";
    s += "{\"h\": " + std::to_string(r.h) + ", \"k\": " + std::to_string(r.k) + ", \"l\": " + std::to_string(r.l) +
         ", \"d\": " + jsonNumber(r.d) + ", \"theta\": " + jsonNumber(r.theta) +
         ", \"two_theta\": " + jsonNumber(2 * r.theta) + ", \"multiplicity\": " + std::to_string(r.multiplicity) + "}";
  }
  s += state.list.empty() ? "]\n" : "\n  ]\n";
  return s + "}\n";
}

std::string braggListText(int h, int k, int l, const BraggOutcome& outcome) {
  std::string s;
  for (const std::string& field : {intText(h, 3), intText(k, 3), intText(l, 3), outcome.dText, outcome.angleText})
    appendField(s, field);
  s += "\n";
  if (outcome.forbidden) s += "( F = forbidden)\n";
  return s;
}

std::string braggJsonText(const CalculationState& state, AngleMode angle, int h, int k, int l,
                          const BraggOutcome& outcome) {
  std::string s = "{\n" + jsonInputs(state, angle);
  s += "  \"limits\": null,\n";
  s += "  \"mode\": \"bragg\",\n";
  s += "  \"count\": 1,\n";
  s += "  \"reflections\": [\n    {\"h\": " + std::to_string(h) + ", \"k\": " + std::to_string(k) +
       ", \"l\": " + std::to_string(l) + ", \"d\": " + jsonNumber(outcome.d) + ", \"theta\": " +
       jsonNumber(outcome.theta) + ", \"two_theta\": " + jsonNumber(2 * outcome.theta) +
       ", \"forbidden\": " + (outcome.forbidden ? "true" : "false") + "}\n  ]\n";
  return s + "}\n";
}

std::string localDateTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  const std::size_t n = std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &local);
  return std::string(buf, n);
}

}  // namespace obrin::cli
