// Plain columns, as every program exports a pattern: rows of 2θ, intensity and, when there are
// three numbers, its uncertainty; wider rows are read for their first two numbers (and an
// uncertainty column the name row names). Blank lines and comment lines (#, !, ') are skipped;
// up to a name row and a unit row may stand above the first row. Numbers are separated by blanks,
// tabs, semicolons or commas; a file whose every row is separated by semicolons or tabs may write
// decimal commas ("20,02;1234"). A row that could be read two ways ("20,02 1234") is refused, and
// so is any value that is not a finite number.
//
// The "start step end" layout: a first line of the first angle, the step and the last angle, then
// the counts, any number a line (DBWS and many a .dat).
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isCommentOrBlank(std::string_view line) {
  const std::string_view t = trimmed(line);
  return t.empty() || t.front() == '#' || t.front() == '!' || t.front() == '\'';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A word that means to be a number, finite or not: digits with a point or comma, a sign and an
// exponent, or nan and inf.
bool looksNumeric(std::string_view w) {
  if (!w.empty() && (w.front() == '+' || w.front() == '-')) w.remove_prefix(1);
  for (std::string_view special : {"nan", "inf", "infinity"})
    if (equalsIgnoringCase(w, special)) return true;
  bool digit = false;
  std::size_t i = 0;
  for (; i < w.size() && (isDigit(w[i]) || w[i] == '.' || w[i] == ','); ++i) digit = digit || isDigit(w[i]);
  if (!digit) return false;
  if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
    ++i;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < w.size() && isDigit(w[i])) ++i;
    if (i == digits) return false;
  }
  return i == w.size();
}

// The words of a row at every separator, for telling numbers from names.
std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < line.size();) {
    auto separator = [](char c) { return isBlank(c) || c == ';' || c == ','; };
    while (i < line.size() && separator(line[i])) ++i;
    std::size_t j = i;
    while (j < line.size() && !separator(line[j])) ++j;
    if (j > i) out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

bool isHeaderRow(std::string_view line) {
  const auto w = words(line);
  return std::any_of(w.begin(), w.end(), [](std::string_view word) { return !looksNumeric(word); });
}

bool hasFieldSeparator(std::string_view line) {
  return line.find(';') != std::string_view::npos || trimmed(line).find('\t') != std::string_view::npos;
}

// "20,02 1234": a comma inside a number and a blank between two numbers; either could be the
// separator.
bool isAmbiguous(std::string_view line) {
  bool innerComma = false, blankSeparator = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ',' && i > 0 && i + 1 < line.size() && isDigit(line[i - 1]) && isDigit(line[i + 1])) innerComma = true;
    if (isBlank(line[i])) {
      std::size_t j = i;
      while (j < line.size() && isBlank(line[j])) ++j;
      if (i > 0 && j < line.size() && line[i - 1] != ',' && line[j] != ',') blankSeparator = true;
      i = j - 1;
    }
  }
  return innerComma && blankSeparator;
}

enum class Decimal { Point, Comma };

// The fields of a numeric row.
std::vector<std::string> fields(std::string_view line, Decimal decimal) {
  const bool commaSeparates = decimal == Decimal::Point;
  std::vector<std::string> out;
  for (std::size_t i = 0; i < line.size();) {
    auto separator = [&](char c) { return isBlank(c) || c == ';' || (c == ',' && commaSeparates); };
    while (i < line.size() && separator(line[i])) ++i;
    std::size_t j = i;
    while (j < line.size() && !separator(line[j])) ++j;
    if (j > i) {
      std::string f(line.substr(i, j - i));
      if (!commaSeparates) std::replace(f.begin(), f.end(), ',', '.');
      out.push_back(std::move(f));
    }
    i = j;
  }
  return out;
}

struct Row {
  long long line = 0;
  std::string_view text;
};

struct Layout {
  std::vector<std::string_view> header;  // the name and unit rows
  std::vector<Row> rows;
  Decimal decimal = Decimal::Point;
};

// The rows of the file: the header above them, then numeric rows only; the decimal mark of
// them all.
Result<Layout> layoutOf(std::string_view contents) {
  Layout layout;
  Lines lines(contents);
  while (const auto line = lines.next()) {
    if (isCommentOrBlank(*line)) continue;
    if (line->size() > std::size_t(kMaxPatternLineLength))
      return fail(atLine(lines.number()) + "it is longer than " + std::to_string(kMaxPatternLineLength) + " characters");
    if (isHeaderRow(*line)) {
      if (layout.rows.empty() && layout.header.size() < std::size_t(kMaxPatternHeaderLines)) {
        layout.header.push_back(*line);
        continue;
      }
      const std::string what = layout.rows.empty() ? "2 or 3 numbers" : "numbers";
      return fail("line " + std::to_string(lines.number()) + " does not hold " + what);
    }
    if (layout.rows.size() >= std::size_t(kMaxPatternPoints))
      return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
    layout.rows.push_back({lines.number(), *line});
  }
  if (layout.rows.empty()) return fail("it holds no data points");
  const bool separated = std::all_of(layout.rows.begin(), layout.rows.end(), [](const Row& r) { return hasFieldSeparator(r.text); });
  const auto withComma = std::find_if(layout.rows.begin(), layout.rows.end(),
                                      [](const Row& r) { return r.text.find(',') != std::string_view::npos; });
  const bool anyPoint = std::any_of(layout.rows.begin(), layout.rows.end(),
                                    [](const Row& r) { return r.text.find('.') != std::string_view::npos; });
  if (separated && withComma != layout.rows.end()) {
    if (anyPoint)
      return fail(atLine(withComma->line) + "a decimal comma in a file that writes decimal points elsewhere");
    layout.decimal = Decimal::Comma;
    return layout;
  }
  for (const Row& r : layout.rows) {
    if (hasFieldSeparator(r.text) && r.text.find(',') != std::string_view::npos)
      return fail(atLine(r.line) + "its commas may be decimal commas or separators; write every row alike");
    if (isAmbiguous(r.text))
      return fail(atLine(r.line) + "its commas may be decimal commas or separators (\"" +
                  std::string(trimmed(r.text).substr(0, 40)) + "\")");
  }
  return layout;
}

// The names of a name row; a quoted name may hold separators ("my;x").
std::vector<std::string> headerNames(std::string_view line) {
  std::vector<std::string> names;
  std::string name;
  char quote = 0;
  bool quoted = false;
  for (char c : line) {
    if (quote) {
      if (c == quote) quote = 0;
      else name += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      quoted = true;
    } else if (isBlank(c) || c == ';' || c == ',') {
      if (!name.empty() || quoted) names.push_back(std::move(name));
      name.clear();
      quoted = false;
    } else {
      name += c;
    }
  }
  if (!name.empty() || quoted) names.push_back(std::move(name));
  return names;
}

// The column of uncertainties a name row names (sigma, esd, error, ...), beyond x and y.
std::optional<std::size_t> namedSigmaColumn(const std::vector<std::string_view>& header) {
  if (header.empty()) return std::nullopt;
  const auto names = headerNames(header.front());
  for (std::size_t i = 2; i < names.size(); ++i)
    for (std::string_view name : {"sigma", "esd", "err", "error", "su", "s.u.", "uncertainty", "dy", "di", "yerr"})
      if (equalsIgnoringCase(names[i], name)) return i;
  return std::nullopt;
}

// What the first column is named, for a message that it holds no 2θ.
std::string firstColumnName(const std::vector<std::string_view>& header) {
  if (header.empty()) return {};
  const auto names = headerNames(header.front());
  return names.empty() ? std::string() : " (its first column is \"" + names.front().substr(0, 40) + "\")";
}

// A value of a row that is not a finite number, or is beyond any intensity.
std::string valueFault(const std::string& field) {
  return "the value " + field.substr(0, 40) + " is not a finite number";
}

}  // namespace

ScansRead readColumns(std::string_view contents) {
  Result<Layout> layout = layoutOf(contents);
  if (!layout) return layout.failure();
  MeasuredPattern p;
  p.format = "columns";
  std::size_t width = 0;
  std::optional<std::size_t> sigmaColumn;
  std::array<double, kMaxPatternColumns> v{};
  for (const Row& row : layout->rows) {
    const std::vector<std::string> f = fields(row.text, layout->decimal);
    if (width == 0) {
      if (f.size() < 2 || f.size() > std::size_t(kMaxPatternColumns))
        return fail("line " + std::to_string(row.line) + " does not hold 2 or 3 numbers");
      width = f.size();
      sigmaColumn = width == 3 ? std::optional<std::size_t>(2) : namedSigmaColumn(layout->header);
    }
    if (f.size() != width) return fail("line " + std::to_string(row.line) + " does not hold " + std::to_string(width) + " numbers");
    for (std::size_t i = 0; i < width; ++i) {
      const std::optional<double> value = parseNumber(f[i]);
      if (!value) {
        if (looksNumeric(f[i])) return fail(atLine(row.line) + valueFault(f[i]));
        return fail("line " + std::to_string(row.line) + " does not hold " + std::to_string(width) + " numbers");
      }
      v[i] = *value;
    }
    if (!(v[0] >= 0 && v[0] <= 180))
      return fail(atLine(row.line) + "2θ = " + f[0] + " lies outside 0 to 180°, so its first column holds no 2θ" +
                  firstColumnName(layout->header));
    const double sigma = sigmaColumn ? v[*sigmaColumn] : 0;
    if (std::abs(v[1]) > kMaxPatternIntensity || std::abs(sigma) > kMaxPatternIntensity)
      return fail(atLine(row.line) + "a value beyond ±1e15, which no detector counts");
    if (sigma < 0) return fail(atLine(row.line) + "the uncertainty " + f[*sigmaColumn] + " is negative");
    p.x.push_back(v[0]);
    p.y.push_back(v[1]);
    if (sigmaColumn) p.sigma.push_back(sigma);
  }
  return Scans{std::move(p)};
}

namespace {

struct StepHeader {
  double start = 0, step = 0;
  std::size_t points = 0;
  long long line = 0;
};

// The "start step end" line, when the first line that is not a comment is one.
std::optional<StepHeader> stepHeaderOf(Lines& lines) {
  while (const auto line = lines.next()) {
    if (isCommentOrBlank(*line)) continue;
    std::vector<double> v;
    if (!parseNumberList(*line, v, 3) || v.size() != 3) return std::nullopt;
    const double start = v[0], step = v[1], end = v[2];
    if (!(start >= 0 && step > 0 && end > start && end <= 180)) return std::nullopt;
    const double steps = (end - start) / step;
    if (std::abs(steps - std::round(steps)) > 1e-3 * std::max(1.0, steps) || steps + 1 > kMaxPatternPoints)
      return std::nullopt;
    return StepHeader{start, step, std::size_t(std::llround(steps)) + 1, lines.number()};
  }
  return std::nullopt;
}

}  // namespace

bool isStepCounts(std::string_view contents) {
  Lines lines(contents);
  const std::optional<StepHeader> header = stepHeaderOf(lines);
  if (!header) return false;
  // Its own when exactly the announced counts follow; x y columns would rarely add up to it.
  std::size_t counts = 0;
  while (const auto line = lines.next()) {
    if (isCommentOrBlank(*line)) continue;
    for (std::string_view w : words(*line)) {
      if (!looksNumeric(w) || ++counts > header->points) return false;
    }
  }
  return counts == header->points;
}

ScansRead readStepCounts(std::string_view contents) {
  Lines lines(contents);
  const std::optional<StepHeader> header = stepHeaderOf(lines);
  if (!header) return fail("its first line does not give the first angle, the step and the last angle");
  MeasuredPattern p = steppedScan(header->start, header->step, header->points);
  p.format = "step_counts";
  std::vector<double> counts;
  while (const auto line = lines.next()) {
    if (isCommentOrBlank(*line)) continue;
    if (!parseNumberList(*line, counts, header->points - p.y.size()))
      return fail(atLine(lines.number()) + "it holds a value that is no finite count, or more counts than the " +
                  std::to_string(header->points) + " of line " + std::to_string(header->line));
    for (double c : counts)
      if (std::abs(c) > kMaxPatternIntensity) return fail(atLine(lines.number()) + "a count beyond ±1e15");
    p.y.insert(p.y.end(), counts.begin(), counts.end());
    counts.clear();
  }
  if (p.y.size() != header->points)
    return fail("it holds " + std::to_string(p.y.size()) + " counts where line " + std::to_string(header->line) +
                " announces " + std::to_string(header->points));
  return Scans{std::move(p)};
}

}  // namespace obrin::pattern_io
