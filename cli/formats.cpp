#include "cli/formats.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

#include "calc/display.hpp"
#include "core/shortest.hpp"
#include "core/textformat.hpp"

namespace obrin::cli {

namespace {

// The shortest digits that read back as x.
char* writeNumber(char* p, double x) {
  if (std::isfinite(x)) return writeShortest(p, x);
  std::memcpy(p, "null", 4);  // JSON has no infinities; no stored value is one
  return p + 4;
}

void appendShortest(std::string& out, double x) {
  char buf[kShortestRoom];
  out.append(buf, writeNumber(buf, x));
}

// A row's integers: an index or a multiplicity, an int at most 11 characters long.
char* writeInt(char* p, int i) { return std::to_chars(p, p + 11, i).ptr; }

// Room for one tsv row of shortest numbers: six integers and three numbers with their tabs.
constexpr std::size_t kTsvRowRoom = 4 * 12 + 3 * (kShortestRoom + 1) + 1;

// A row with every digit of the stored values, built in a buffer and appended whole.
void appendShortestRow(std::string& s, const Reflection& r, AngleMode angle, bool intensities) {
  char row[kTsvRowRoom];
  char* p = row;
  for (int index : {r.h, r.k, r.l}) {
    p = writeInt(p, index);
    *p++ = '\t';
  }
  p = writeNumber(p, r.d);
  *p++ = '\t';
  p = writeNumber(p, angle == AngleMode::TwoTheta ? 2 * r.theta : r.theta);
  *p++ = '\t';
  p = writeInt(p, r.multiplicity);
  if (intensities) {
    *p++ = '\t';
    p = writeNumber(p, r.intensity);
  }
  *p++ = '\n';
  s.append(row, p);
}

// A row with the given decimals.
void appendFixedRow(std::string& s, const Reflection& r, AngleMode angle, int decimals, bool intensities) {
  for (int index : {r.h, r.k, r.l}) {
    appendInt(s, index, 0);
    s += '\t';
  }
  appendFixed(s, r.d, 0, decimals);
  s += '\t';
  appendFixed(s, angle == AngleMode::TwoTheta ? 2 * r.theta : r.theta, 0, decimals);
  s += '\t';
  appendInt(s, r.multiplicity, 0);
  if (intensities) {
    s += '\t';
    appendFixed(s, r.intensity, 0, decimals);
  }
  s += '\n';
}

void appendListLine(std::string& s, const Reflection& r, AngleMode angle, bool intensities) {
  appendResultLine(s, r, angle);
  if (intensities) appendFixedField(s, r.intensity, 8, 1);
  s += '\n';
}

void appendTsvRow(std::string& s, const Reflection& r, AngleMode angle, std::optional<int> decimals, bool intensities) {
  if (decimals) appendFixedRow(s, r, angle, *decimals, intensities);
  else appendShortestRow(s, r, angle, intensities);
}

std::string angleName(AngleMode angle) { return angle == AngleMode::TwoTheta ? "2theta" : "theta"; }

std::string tsvHeader(AngleMode angle, bool intensities) {
  return "h\tk\tl\td\t" + angleName(angle) + "\tmultiplicity" + (intensities ? "\tintensity\n" : "\n");
}

// Rows written at a time by the list writers: every page of the block is touched once and
// reused, where a whole list's text would take fresh pages, which a process pays for one by one.
constexpr std::size_t kOutputBlockBytes = 64 * 1024;
constexpr std::size_t kRowRoom = 512;  // more than any one row of the list formats

// head, the rows appendRow(text, i) appends for i < count, then tail, written to out a block
// at a time.
template <typename AppendRow>
void writeInBlocks(std::ostream& out, std::string head, std::size_t count, const AppendRow& appendRow,
                   std::string_view tail) {
  std::string block = std::move(head);
  block.reserve(kOutputBlockBytes + kRowRoom);
  for (std::size_t i = 0; i < count; ++i) {
    appendRow(block, i);
    if (block.size() >= kOutputBlockBytes) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  block += tail;
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

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

std::string jsonNumber(double x) {
  std::string s;
  appendShortest(s, x);
  return s;
}

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

void writeList(std::ostream& out, const ReflectionList& list, AngleMode angle, bool intensities) {
  writeInBlocks(out, "", list.size(), [&](std::string& s, std::size_t i) { appendListLine(s, list[i], angle, intensities); },
                countText(list.size()) + "\n");
}

void writeTsv(std::ostream& out, const ReflectionList& list, AngleMode angle, std::optional<int> decimals,
              bool intensities) {
  writeInBlocks(out, tsvHeader(angle, intensities), list.size(),
                [&](std::string& s, std::size_t i) { appendTsvRow(s, list[i], angle, decimals, intensities); }, "");
}

namespace {

// The members before the reflections, down to the opening of their array.
std::string jsonHead(const CalculationState& state, CalcMode mode, AngleMode angle) {
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
  return s;
}

void appendJsonReflection(std::string& s, const Reflection& r, bool first, bool intensities) {
  s += first ? "\n    " : ",\n    ";
  s += "{\"h\": ";
  appendInt(s, r.h, 0);
  s += ", \"k\": ";
  appendInt(s, r.k, 0);
  s += ", \"l\": ";
  appendInt(s, r.l, 0);
  s += ", \"d\": ";
  appendShortest(s, r.d);
  s += ", \"theta\": ";
  appendShortest(s, r.theta);
  s += ", \"two_theta\": ";
  appendShortest(s, 2 * r.theta);
  s += ", \"multiplicity\": ";
  appendInt(s, r.multiplicity, 0);
  if (intensities) {
    s += ", \"intensity\": ";
    appendShortest(s, r.intensity);
  }
  s += '}';
}

}  // namespace

void writeJson(std::ostream& out, const CalculationState& state, CalcMode mode, AngleMode angle) {
  const bool intensities = state.structure != nullptr;
  writeInBlocks(
      out, jsonHead(state, mode, angle), state.list.size(),
      [&](std::string& s, std::size_t i) { appendJsonReflection(s, state.list[i], i == 0, intensities); },
      state.list.empty() ? "]\n}\n" : "\n  ]\n}\n");
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
