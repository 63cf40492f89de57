#include "io/cellfile.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <utility>

#include "core/lineread.hpp"
#include "core/numfield.hpp"
#include "core/textformat.hpp"
#include "io/atomic_write.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

namespace {

std::string firstLineOf(std::string_view s) {
  const size_t end = s.find_first_of("\r\n");
  return std::string(s.substr(0, end));
}

std::string quoted(std::string_view s) {
  std::string q = "\"";
  q.append(s);
  q += '"';
  return q;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string_view> blankSeparated(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// A finite decimal number written out in full: no hex, no "inf", no "nan".
std::optional<double> readNumber(std::string_view token) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  if (token.empty() || token.front() == '+') return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value,
                                         std::chars_format::general);
  if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

}  // namespace

CellFileData cellFileData(const CalculationState& state, std::string title, std::string symbol) {
  return {std::move(title), std::move(symbol), state.cell, state.thetaMin, state.thetaMax, state.lambda};
}

std::string cellFileText(const CellFileData& data) {
  std::string out = firstLineOf(data.title) + "\n";
  out += upperCased(firstLineOf(data.symbol)) + "\n";

  std::string line;
  for (double v : data.cell.params()) appendField(line, fixedText(v, 9, 4));
  out += line + "\n";

  line.clear();
  appendField(line, fixedText(data.thetaMin, 10, 3));
  appendField(line, fixedText(data.thetaMax, 10, 3));
  out += line + "\n";

  out += fixedText(data.lambda, 10, 5) + "  0.0  0.0  0.0  0.0\n";
  return out;
}

Result<CellFileData> parseCellFile(std::string_view text, std::string_view fileName) {
  std::vector<std::string_view> lines;
  while (!text.empty() && lines.size() < 5) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
  }

  auto refuse = [&](int lineNo, const std::string& why) {
    return fail("Cannot import " + std::string(fileName) + " (line " + std::to_string(lineNo) + "): " + why);
  };
  static constexpr const char* kLineContents[5] = {
      "the title", "the space-group symbol", "a, b, c, alpha, beta, gamma",
      "theta minimum and maximum", "lambda"};
  if (lines.size() < 5) {
    const int missing = static_cast<int>(lines.size()) + 1;
    return refuse(missing, std::string("the line is missing; it should hold ") +
                               kLineContents[missing - 1]);
  }

  // The numbers a line must start with; what follows them is ignored.
  auto readNumbers = [&](int lineNo, size_t count,
                         std::vector<double>& out) -> std::optional<std::string> {
    const auto tokens = blankSeparated(lines[lineNo - 1]);
    if (tokens.size() < count)
      return std::to_string(count) + (count == 1 ? " number" : " numbers") + " expected (" +
             kLineContents[lineNo - 1] + "), " + std::to_string(tokens.size()) + " found";
    for (size_t i = 0; i < count; ++i) {
      const auto v = readNumber(tokens[i]);
      if (!v) return quoted(tokens[i]) + " is not a number";
      out.push_back(*v);
    }
    return std::nullopt;
  };

  CellFileData data;
  data.title = std::string(lines[0]);
  data.symbol = trimmed(lines[1]);

  std::vector<double> cell, limits, lambda;
  if (auto why = readNumbers(3, 6, cell)) return refuse(3, *why);
  if (auto why = readNumbers(4, 2, limits)) return refuse(4, *why);
  if (auto why = readNumbers(5, 1, lambda)) return refuse(5, *why);
  data.cell = UnitCell{cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]};
  data.thetaMin = limits[0];
  data.thetaMax = limits[1];
  data.lambda = lambda[0];
  return data;
}

Result<CellFileData> readCellFile(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  std::ifstream in;
  if (const std::string reason = openRegularFile(file, in); !reason.empty())
    return fail("Cannot import " + name + ": " + reason);
  // Only the five lines are read, each up to a length no cell file reaches: a wrong choice of
  // file (a binary, one huge line) must not be loaded whole.
  std::string text, line;
  for (int lineNo = 1; lineNo <= 5; ++lineNo) {
    bool overlong = false;
    if (!readLineCapped(in, line, kMaxCellFileLineLength, &overlong)) break;
    if (overlong)
      return fail("Cannot import " + name + " (line " + std::to_string(lineNo) + "): the line is longer than " +
                  std::to_string(kMaxCellFileLineLength) + " characters");
    text += line + "\n";
  }
  if (in.bad()) return fail("Cannot import " + name + ": the file cannot be read");
  return parseCellFile(text, name);
}

std::string withCellFileExtension(std::string_view name) {
  std::string result(name);
  if (result.find(".ind") == std::string::npos) result += ".ind";
  return result;
}

Result<void> writeCellFile(const std::filesystem::path& file, const CellFileData& data) {
  return writeFileAtomically(file, cellFileText(data));
}

// ---- Crystal system ------------------------------------------------------------------------

std::optional<CrystalSystem> systemFromCell(const UnitCell& c) {
  if (c.product() == 0) return std::nullopt;
  const double d1 = std::abs(c.a - c.b), d2 = std::abs(c.b - c.c);
  const double tol = kCellLengthTolerance;
  const bool right = c.alpha == 90 && c.beta == 90 && c.gamma == 90;

  std::optional<CrystalSystem> s;
  if (d1 < tol && d2 < tol && right) s = CrystalSystem::Cubic;
  if (d1 < tol && d2 > tol && right) s = CrystalSystem::Tetragonal;
  if (d1 > tol && d2 > tol && right) s = CrystalSystem::Orthorhombic;
  if (d1 < tol && d2 > tol && c.alpha == 90 && c.beta == 90 && c.gamma == 120)
    s = CrystalSystem::Hexagonal;
  // Absolute differences: signed ones would take a = b = c, alpha = 60, beta = gamma = 90
  // for rhombohedral.
  if (d1 < tol && d2 < tol && std::abs(c.alpha - c.beta) < kCellAngleTolerance &&
      std::abs(c.beta - c.gamma) < kCellAngleTolerance && c.alpha != 90)
    s = CrystalSystem::Rhombohedral;
  if (d1 > tol && d2 > tol && c.alpha == 90 && c.gamma == 90 && c.beta != 90)
    s = CrystalSystem::Monoclinic;
  if (d1 > tol && d2 > tol && (c.alpha != 90 || c.gamma != 90)) s = CrystalSystem::Triclinic;
  return s;
}

bool cellFitsSystem(const UnitCell& c, CrystalSystem system) {
  const CrystalSystemInfo& info = systemInfo(system);
  const auto p = c.params();
  for (int i = 0; i < 6; ++i) {
    const CellParameterRule& rule = info.cell[i];
    const double tolerance = i < kAlpha ? info.lengthTolerance : info.angleTolerance;
    if (rule.kind == CellParameterRule::Tied && !(std::abs(p[i] - p[rule.source]) < tolerance)) return false;
    if (rule.kind == CellParameterRule::Fixed && p[i] != rule.degrees) return false;
  }
  return true;
}

std::optional<CrystalSystem> deriveCrystalSystem(const UnitCell& cell, const std::string& symbol,
                                                 const SymbolListedFn& symbolListed) {
  const auto derived = systemFromCell(cell);
  if (cell.product() == 0 || !symbolListed) return derived;
  if (derived && symbolListed(*derived, symbol)) return derived;
  for (int i = 0; i < kSystemCount; ++i) {
    const auto s = static_cast<CrystalSystem>(i);
    if (s != derived && cellFitsSystem(cell, s) && symbolListed(s, symbol)) return s;
  }
  return derived;
}

SymbolListedFn symbolListedInPositionFiles(std::vector<std::filesystem::path> dirs) {
  return [dirs = std::move(dirs)](CrystalSystem system, const std::string& symbol) {
    const auto file = findPositionFile(system, dirs);
    return file && findListedSymbol(loadSpaceGroupList(*file).names, symbol).has_value();
  };
}

std::optional<std::string> findListedSymbol(const std::vector<std::string>& names,
                                            std::string_view symbol) {
  const std::string wanted = trimmed(symbol);
  if (wanted.empty()) return std::nullopt;  // a blank line at the end of a file lists ""
  for (const auto& n : names)
    if (trimmedRight(n) == wanted) return n;
  const std::string upper = upperCased(wanted);
  std::optional<std::string> found;
  for (const auto& n : names) {
    if (upperCased(trimmedRight(n)) != upper) continue;
    if (found && trimmedRight(*found) != trimmedRight(n)) return std::nullopt;  // ambiguous
    if (!found) found = n;
  }
  return found;
}

// ---- Input fields --------------------------------------------------------------------------

std::array<bool, 6> greyedCellFields(CrystalSystem system) { return lockedCellParameters(system); }

namespace {
// An angle field shows two decimals, as a typed angle does, unless the file holds more: then all
// four it stores, so that an import changes no digit of the cell.
std::string angleFieldText(double angle) {
  const std::string twoDecimals = fixedText(angle, 7, 2);
  const auto shown = parseNumber(twoDecimals);
  return shown && std::abs(*shown - angle) < 1e-9 ? twoDecimals : fixedText(angle, 8, 4);
}
}  // namespace

CellFieldTexts cellFieldTexts(const CellFileData& data, std::optional<CrystalSystem> system,
                              AngleMode angleMode) {
  CellFieldTexts t;
  const auto p = data.cell.params();
  for (int i = 0; i < 3; ++i) t.cell[i] = fixedText(p[i], 8, 4);
  for (int i = 3; i < 6; ++i) t.cell[i] = angleFieldText(p[i]);
  t.lambda = fixedText(data.lambda, 8, 5);
  const double factor = angleMode == AngleMode::TwoTheta ? 2 : 1;
  t.thetaMin = fixedText(factor * data.thetaMin, 7, 3);
  t.thetaMax = fixedText(factor * data.thetaMax, 7, 3);
  if (system) {
    t.greyed = greyedCellFields(*system);
    t.systemRow = systemIndex(*system);
  }
  return t;
}

CellImport importCellFile(const std::filesystem::path& file,
                          const std::vector<std::filesystem::path>& positionFileDirs,
                          AngleMode angleMode) {
  CellImport result;
  auto read = readCellFile(file);
  if (!read) {
    result.error = read.error();
    return result;
  }
  const CellFileData& data = *read;
  result.system =
      deriveCrystalSystem(data.cell, data.symbol, symbolListedInPositionFiles(positionFileDirs));
  if (result.system) {
    const auto listFile = findPositionFile(*result.system, positionFileDirs);
    GroupList list = loadSpaceGroupList(
        listFile ? *listFile : std::filesystem::path(positionFileName(*result.system)));
    result.warning = std::move(list.error);
    result.groupNames = std::move(list.names);
    if (const auto name = findListedSymbol(result.groupNames, data.symbol))
      result.selectedGroup = findGroupIndex(result.groupNames, trimmedRight(*name));
  }
  result.fields = cellFieldTexts(data, result.system, angleMode);
  result.data = std::move(*read);
  return result;
}

}  // namespace obrin
