#include "io/peak_list_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <system_error>
#include <vector>

#include "core/limits.hpp"
#include "core/shortest.hpp"
#include "io/atomic_write.hpp"

namespace obrin {

namespace {

namespace fs = std::filesystem;

// The columns of the table, in the order written.
enum class Column {
  TwoTheta, TwoThetaSu, D, Height, HeightSu, Area, AreaSu, Fwhm, FwhmSu, Eta, EtaSu, Asymmetry, Significance,
  Ignored
};

struct ColumnName {
  std::string_view name;
  Column column;
};

constexpr std::array<ColumnName, 13> kWritten = {{{"2theta", Column::TwoTheta},
                                                   {"2theta_su", Column::TwoThetaSu},
                                                   {"d", Column::D},
                                                   {"height", Column::Height},
                                                   {"height_su", Column::HeightSu},
                                                   {"area", Column::Area},
                                                   {"area_su", Column::AreaSu},
                                                   {"fwhm", Column::Fwhm},
                                                   {"fwhm_su", Column::FwhmSu},
                                                   {"eta", Column::Eta},
                                                   {"eta_su", Column::EtaSu},
                                                   {"asymmetry", Column::Asymmetry},
                                                   {"significance", Column::Significance}}};

// Other names for the position and the intensity that lists from elsewhere use.
constexpr std::array<ColumnName, 12> kOtherNames = {{{"2θ", Column::TwoTheta},
                                                      {"tth", Column::TwoTheta},
                                                      {"twotheta", Column::TwoTheta},
                                                      {"2-theta", Column::TwoTheta},
                                                      {"angle", Column::TwoTheta},
                                                      {"d-spacing", Column::D},
                                                      {"dspacing", Column::D},
                                                      {"d_spacing", Column::D},
                                                      {"intensity", Column::Height},
                                                      {"i", Column::Height},
                                                      {"counts", Column::Height},
                                                      {"int", Column::Height}}};

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

std::optional<Column> columnNamed(std::string_view word) {
  std::string w = lower(word);
  // "d(A)", "2theta(deg)": the unit in brackets says nothing the reader needs.
  if (const auto bracket = w.find_first_of("([")) w.resize(std::min(w.size(), bracket));
  for (const auto& c : kWritten)
    if (c.name == w) return c.column;
  for (const auto& c : kOtherNames)
    if (c.name == w) return c.column;
  return std::nullopt;
}

bool isSeparator(char c, bool commas) {
  return c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\v' || c == '\f' || (c == ',' && commas);
}

// The fields of a row; beside semicolons a comma is a decimal comma and does not separate.
std::vector<std::string_view> fieldsOf(std::string_view line) {
  const bool commas = line.find(';') == std::string_view::npos;
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isSeparator(line[i], commas)) ++i;
    std::size_t end = i;
    while (end < line.size() && !isSeparator(line[end], commas)) ++end;
    if (end > i) fields.push_back(line.substr(i, end - i));
    i = end;
  }
  return fields;
}

std::optional<double> numberOf(std::string_view field) {
  const char* first = field.data();
  const char* last = field.data() + field.size();
  if (first != last && *first == '+') ++first;  // from_chars takes no plus sign
  double v = 0;
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool hasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f;
  });
}

std::string quoted(std::string_view text) {
  std::string q(1, '"');
  q.append(text);
  q += '"';
  return q;
}

double twoThetaOfD(double d, double lambda) { return 360 / std::numbers::pi * std::asin(lambda / (2 * d)); }

// A list being read: its rows, then what the comments said.
struct Reader {
  const std::string& name;
  const PeakListReading& how;
  PeakList list;
  std::vector<Column> columns;  // from the header line; empty: position and height
  bool headerSeen = false, rowsSeen = false, extraColumns = false;
  std::optional<PeakPosition> position;
  std::optional<double> fileLambda;

  Failure failure(int line, const std::string& why) const {
    return fail("Cannot read the peak list \"" + name + "\": line " + std::to_string(line) + ": " + why);
  }

  // "# wavelength L", "# kalpha2 L2 ratio R", "# note TEXT".
  std::optional<Failure> comment(std::string_view text, int line) {
    const auto words = fieldsOf(text.substr(text.find('#') + 1));
    if (words.empty()) return std::nullopt;
    const std::string key = lower(words[0]);
    if (key == "note") {
      const auto at = text.find(words[0]) + words[0].size();
      const auto start = text.find_first_not_of(" \t", at);
      if (start != std::string_view::npos) list.notes.emplace_back(text.substr(start));
      return std::nullopt;
    }
    if (key == "background" && words.size() >= 2) {
      const auto at = text.find(words[1]);
      list.background = std::string(text.substr(at, text.find_last_not_of(" \t\r") + 1 - at));
    } else if ((key == "wavelength" || key == "lambda") && words.size() >= 2) {
      const auto l = numberOf(words[1]);
      if (!l || !(*l > 0)) return failure(line, "the wavelength is not a positive number");
      fileLambda = *l;
    } else if (key == "kalpha2" && words.size() >= 4 && lower(words[2]) == "ratio") {
      const auto l2 = numberOf(words[1]), r = numberOf(words[3]);
      if (!l2 || !r || !(*l2 > 0) || *r < 0 || *r > 1) return failure(line, "the K-alpha-2 line is not a wavelength and a ratio");
      list.alpha2 = *l2;
      list.alpha2Ratio = *r;
    }
    return std::nullopt;
  }

  // The first word names the position; the others the columns after it. A column of another
  // name is kept in its place and not read, and so is a second position column, which the
  // reader works out from the first.
  std::optional<Failure> header(const std::vector<std::string_view>& words, int line) {
    if (headerSeen || rowsSeen) return failure(line, "a row of words where numbers are expected");
    headerSeen = true;
    const auto first = columnNamed(words[0]);
    if (!first || (*first != Column::TwoTheta && *first != Column::D))
      return failure(line, "the first column is neither 2theta nor d (" + quoted(words[0]) + ")");
    position = *first == Column::D ? PeakPosition::D : PeakPosition::TwoTheta;
    columns.push_back(*first);
    for (std::size_t i = 1; i < words.size(); ++i) {
      const auto c = columnNamed(words[i]);
      columns.push_back(!c || *c == Column::TwoTheta || *c == Column::D ? Column::Ignored : *c);
    }
    return std::nullopt;
  }

  std::optional<Failure> row(const std::vector<std::string_view>& fields, int line) {
    if (list.peaks.size() >= std::size_t(kMaxPeakListPeaks))
      return failure(line, "more than " + std::to_string(kMaxPeakListPeaks) + " peaks");
    rowsSeen = true;
    Peak p;
    const std::size_t read = columns.empty() ? std::min<std::size_t>(fields.size(), 2) : fields.size();
    if (columns.empty() && fields.size() > 2) extraColumns = true;
    if (!columns.empty() && fields.size() != columns.size())
      return failure(line, "holds " + std::to_string(fields.size()) + " numbers, the header names " +
                               std::to_string(columns.size()) + " columns");
    for (std::size_t i = 0; i < read; ++i) {
      const auto v = numberOf(fields[i]);
      if (!v) return failure(line, quoted(fields[i]) + " is not a number");
      const Column c = columns.empty() ? (i == 0 ? Column::TwoTheta : Column::Height) : columns[i];
      if (auto bad = place(p, c, *v, i == 0, line)) return bad;
    }
    list.peaks.push_back(p);
    return std::nullopt;
  }

  // Puts a value in its field; the position goes to 2θ or d as the list holds.
  std::optional<Failure> place(Peak& p, Column c, double v, bool first, int line) const {
    auto nonNegative = [&](double& field, const char* what) -> std::optional<Failure> {
      if (v < 0) return failure(line, std::string("a negative ") + what);
      field = v;
      return std::nullopt;
    };
    if (first) {
      if (position.value_or(how.position.value_or(PeakPosition::TwoTheta)) == PeakPosition::D) {
        if (!(v > 0)) return failure(line, "a d that is not positive");
        p.d = v;
      } else {
        if (!(v > 0 && v < 180)) return failure(line, "a 2theta outside 0 to 180 degrees");
        p.twoTheta = v;
      }
      return std::nullopt;
    }
    switch (c) {
      case Column::TwoThetaSu: return nonNegative(p.twoThetaSu, "s.u.");
      case Column::Height: return nonNegative(p.height, "height");
      case Column::HeightSu: return nonNegative(p.heightSu, "s.u.");
      case Column::Area: return nonNegative(p.area, "area");
      case Column::AreaSu: return nonNegative(p.areaSu, "s.u.");
      case Column::Fwhm: return nonNegative(p.fwhm, "FWHM");
      case Column::FwhmSu: return nonNegative(p.fwhmSu, "s.u.");
      case Column::EtaSu: return nonNegative(p.etaSu, "s.u.");
      case Column::Eta:
        if (v < 0 || v > 1) return failure(line, "an eta outside 0 to 1");
        p.eta = v;
        return std::nullopt;
      case Column::Asymmetry:
        if (std::abs(v) >= 1) return failure(line, "an asymmetry outside -1 to 1");
        p.asymmetry = v;
        return std::nullopt;
      case Column::Significance: p.significance = v; return std::nullopt;
      default: return std::nullopt;
    }
  }

  // 2θ from d or d from 2θ, and the order.
  Result<PeakList> finish(const std::vector<int>& rowLines) {
    const bool dList = position.value_or(how.position.value_or(PeakPosition::TwoTheta)) == PeakPosition::D;
    // The file's wavelength belongs to its 2θ; a d list is put at the caller's wavelength.
    const std::optional<double> lambda = dList ? (how.lambda ? how.lambda : fileLambda) : (fileLambda ? fileLambda : how.lambda);
    if (lambda && !(*lambda > 0)) return fail("Cannot read the peak list \"" + name + "\": the wavelength is not positive");
    list.wavelength = lambda;
    if (dList) {
      for (std::size_t i = 0; i < list.peaks.size(); ++i) {
        Peak& p = list.peaks[i];
        if (!lambda) continue;
        if (*lambda / (2 * p.d) >= 1)
          return failure(rowLines[i], "d = " + std::to_string(p.d) + " is beyond the reach of the wavelength");
        p.twoTheta = twoThetaOfD(p.d, *lambda);
      }
      if (!lambda)
        std::stable_sort(list.peaks.begin(), list.peaks.end(), [](const Peak& a, const Peak& b) { return a.d > b.d; });
      else orderPeaks(list.peaks, std::nullopt);
    } else {
      orderPeaks(list.peaks, lambda);
    }
    if (extraColumns) list.notes.push_back("Columns after the second were not read");
    if (list.peaks.empty()) list.notes.push_back("The file holds no peaks");
    return std::move(list);
  }
};

void append(std::string& s, double x) {
  char buf[kShortestRoom];
  s.append(buf, writeShortest(buf, x));
}

}  // namespace

Result<PeakList> readPeakListText(std::string_view contents, const std::string& name, const PeakListReading& how) {
  if (how.lambda && !(*how.lambda > 0)) return fail("Cannot read the peak list \"" + name + "\": the wavelength is not positive");
  Reader r{name, how, {}, {}, false, false, false, std::nullopt, std::nullopt};
  std::vector<int> rowLines;
  std::size_t start = 0;
  for (int line = 1; start < contents.size(); ++line) {
    std::size_t end = contents.find('\n', start);
    if (end == std::string_view::npos) end = contents.size();
    std::string_view text = contents.substr(start, end - start);
    start = end + 1;
    if (text.size() > std::size_t(kMaxPeakListLineLength))
      return r.failure(line, "longer than " + std::to_string(kMaxPeakListLineLength) + " characters");
    if (hasControlCharacters(text)) return r.failure(line, "characters that are no text");
    if (line == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark
    const auto first = text.find_first_not_of(" \t\r\v\f");
    if (first == std::string_view::npos) continue;
    if (text[first] == '#') {
      if (auto bad = r.comment(text, line)) return *bad;
      continue;
    }
    const auto fields = fieldsOf(text);
    if (fields.empty()) continue;  // separators only, as a blank line
    // A row begins with a number, or with what was meant for one ("28,44" beside semicolons);
    // a header with a column name, or a word.
    const char lead = fields[0][0];
    const bool numeric = std::isdigit(static_cast<unsigned char>(lead)) || lead == '+' || lead == '-' || lead == '.';
    if (!numberOf(fields[0]) && (columnNamed(fields[0]) || !numeric)) {
      if (auto bad = r.header(fields, line)) return *bad;
      continue;
    }
    if (auto bad = r.row(fields, line)) return *bad;
    rowLines.push_back(line);
  }
  return r.finish(rowLines);
}

Result<PeakList> readPeakList(const fs::path& file, const PeakListReading& how) {
  const std::string name = file.string();
  auto refused = [&](const std::string& why) { return fail("Cannot read the peak list \"" + name + "\": " + why); };
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) return refused("no such file");
  if (!fs::is_regular_file(status)) return refused("not a regular file");
  const auto size = fs::file_size(file, ec);
  if (ec) return refused(ec.message());
  if (size > std::uintmax_t(kMaxPeakListFileBytes))
    return refused("larger than " + std::to_string(kMaxPeakListFileBytes / (1024 * 1024)) + " MB");
  std::ifstream in(file, std::ios::binary);
  if (!in) return refused("it cannot be opened");
  std::string contents(std::size_t(size), '\0');
  in.read(contents.data(), std::streamsize(size));
  contents.resize(std::size_t(in.gcount()));
  if (in.bad()) return refused("a read error");
  return readPeakListText(contents, name, how);
}

std::string peakListText(const PeakList& list) {
  std::string s = "# OBRIN peak list\n";
  if (list.wavelength) {
    s += "# wavelength ";
    append(s, *list.wavelength);
    s += "\n";
  }
  if (list.alpha2 > 0) {
    s += "# kalpha2 ";
    append(s, list.alpha2);
    s += " ratio ";
    append(s, list.alpha2Ratio);
    s += "\n";
  }
  if (!list.background.empty()) s += "# background " + list.background + "\n";
  for (const std::string& note : list.notes) {
    s += "# note ";
    // A note is one line of the header whatever it holds.
    for (char c : note) s += c == '\n' || c == '\r' ? ' ' : c;
    s += "\n";
  }
  s += "# units: 2theta, 2theta_su, fwhm, fwhm_su in degrees 2theta; d in angstrom; height, height_su in counts;"
       " area, area_su in counts x degrees 2theta; eta 0 Gaussian to 1 Lorentzian; asymmetry (low-angle half"
       " - high-angle half) / (2 fwhm); significance: height over its counting uncertainty; a s.u. of 0 is not"
       " known\n";
  // A list of d without a wavelength has no 2θ: its d column comes first, and says so.
  const bool dFirst = std::any_of(list.peaks.begin(), list.peaks.end(), [](const Peak& p) { return !(p.twoTheta > 0); });
  for (std::size_t i = 0; i < kWritten.size(); ++i) {
    if (i) s += '\t';
    const std::size_t c = dFirst && i == 0 ? 2 : dFirst && i == 2 ? 0 : i;
    s += kWritten[c].name;
  }
  s += '\n';
  for (const Peak& p : list.peaks) {
    const double values[] = {dFirst ? p.d : p.twoTheta, p.twoThetaSu, dFirst ? p.twoTheta : p.d,
                             p.height,                  p.heightSu,   p.area,
                             p.areaSu,                  p.fwhm,       p.fwhmSu,
                             p.eta,                     p.etaSu,      p.asymmetry,
                             p.significance};
    for (std::size_t i = 0; i < std::size(values); ++i) {
      if (i) s += '\t';
      append(s, values[i]);
    }
    s += '\n';
  }
  return s;
}

Result<void> writePeakList(const fs::path& file, const PeakList& list) { return writeFileAtomically(file, peakListText(list)); }

}  // namespace obrin
