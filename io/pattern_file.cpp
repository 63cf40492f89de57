#include "io/pattern_file.hpp"

#include <xylib/xylib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <fstream>
#include <memory>
#include <pugixml.hpp>
#include <sstream>
#include <system_error>

#include "core/limits.hpp"

namespace obrin {

namespace {

namespace fs = std::filesystem;

PatternRead failure(const std::string& name, const std::string& why) {
  return fail("Cannot read the pattern file \"" + name + "\": " + why);
}

std::string lowerExtension(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

bool isColumnExtension(const std::string& ext) {
  constexpr std::array<std::string_view, 5> kColumns = {".xy", ".xye", ".txt", ".csv", ".dat"};
  return std::find(kColumns.begin(), kColumns.end(), ext) != kColumns.end();
}

// The formats of powder diffractograms this program reads (UXD by its own reader); xylib's
// others are spectroscopy or rare diffraction formats.
bool isDiffractionFormat(std::string_view name) {
  constexpr std::array<std::string_view, 6> kFormats = {"xrdml", "bruker_raw", "uxd", "rigaku_dat", "chiplot",
                                                        "pdcif"};
  return std::find(kFormats.begin(), kFormats.end(), name) != kFormats.end();
}

// The diffraction format whose extensions include ext (".raw"); none for another extension.
const xylibFormat* diffractionFormatOfExtension(const std::string& ext) {
  if (ext.size() < 2) return nullptr;
  const std::string_view bare = std::string_view(ext).substr(1);
  for (int i = 0; const xylibFormat* f = xylib_get_format(i); ++i) {
    if (!isDiffractionFormat(f->name)) continue;
    std::istringstream exts(f->exts);
    for (std::string e; exts >> e;)
      if (e == bare) return f;
  }
  return nullptr;
}

bool isGsasExtension(const std::string& ext) {
  constexpr std::array<std::string_view, 4> kGsas = {".gsa", ".gss", ".gsas", ".fxye"};
  return std::find(kGsas.begin(), kGsas.end(), ext) != kGsas.end();
}

// Extensions that GSAS files share with other formats: their header decides.
bool mayBeGsas(const std::string& ext) { return ext == ".raw" || ext == ".dat" || ext == ".txt"; }

bool isSeparator(char c, bool commaSeparates) {
  return c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\v' || c == '\f' || (c == ',' && commaSeparates);
}

// Up to four numbers of a row (a fourth means the row is wrong); false when a field is no number.
bool splitNumbers(std::string_view line, std::array<double, 4>& values, int& count) {
  count = 0;
  // Beside semicolons a comma is a decimal comma, which the row must not be split at: "10,5;100"
  // is refused rather than read as three numbers.
  const bool commas = line.find(';') == std::string_view::npos;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isSeparator(line[i], commas)) ++i;
    if (i == line.size()) break;
    std::size_t end = i;
    while (end < line.size() && !isSeparator(line[end], commas)) ++end;
    if (count == 4) return true;
    const char* first = line.data() + i;
    if (*first == '+') ++first;  // from_chars takes no plus sign
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, line.data() + end, v);
    if (ec != std::errc() || ptr != line.data() + end || !std::isfinite(v)) return false;
    values[count++] = v;
    i = end;
  }
  return true;
}

bool hasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f;
  });
}

bool isCommentOrBlank(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\r\v\f");
  if (first == std::string_view::npos) return true;
  const char c = line[first];
  return c == '#' || c == '!' || c == '\'';
}

// xylib reads numbers with the C library, which follows the user's locale once a window has
// set it: "10.02" would read as 10 under a decimal comma. Its readers run under "C".
class CNumericLocale {
 public:
  CNumericLocale() {
    if (const char* current = std::setlocale(LC_NUMERIC, nullptr)) saved_ = current;
    std::setlocale(LC_NUMERIC, "C");
  }
  ~CNumericLocale() {
    if (!saved_.empty()) std::setlocale(LC_NUMERIC, saved_.c_str());
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  std::string saved_;
};

PatternRead fromXylib(std::string_view contents, const std::string& name, const std::string& format) {
  std::unique_ptr<xylib::DataSet> data;
  const CNumericLocale numbers;
  try {
    data.reset(xylib::load_string(std::string(contents), format));
  } catch (const std::exception& e) {
    // xylib names the stream, not the file: "<unspecified file>(21): ..." becomes "line 21: ...".
    std::string why = e.what();
    const std::string stream = "<unspecified file>(";
    if (const auto at = why.find(stream); at != std::string::npos) {
      const auto close = why.find("): ", at);
      if (close != std::string::npos)
        why = why.substr(0, at) + "line " + why.substr(at + stream.size(), close - at - stream.size()) + ": " +
              why.substr(close + 3);
    }
    return failure(name, why);
  }
  if (!data || data->get_block_count() < 1) return failure(name, "it holds no data points");
  const xylib::Block* block = data->get_block(0);
  const int count = block->get_point_count();
  if (block->get_column_count() < 2 || count <= 0) return failure(name, "it holds no data points");
  if (count > kMaxPatternPoints)
    return failure(name, "it holds more than " + std::to_string(kMaxPatternPoints) + " points");
  MeasuredPattern p;
  p.format = format;
  const xylib::Column& xs = block->get_column(1);
  const xylib::Column& ys = block->get_column(2);
  p.x.reserve(std::size_t(count));
  p.y.reserve(std::size_t(count));
  for (int i = 0; i < count; ++i) {
    const double x = xs.get_value(i), y = ys.get_value(i);
    if (!std::isfinite(x) || !std::isfinite(y)) continue;  // a gap in the scan, not a point
    p.x.push_back(x);
    p.y.push_back(y);
  }
  if (p.x.empty()) return failure(name, "it holds no data points");
  if (format == "xrdml") {
    std::string xmlError;
    p.wavelength = xrdmlWavelength(contents, &xmlError);
    if (!xmlError.empty()) return failure(name, xmlError);
  }
  return p;
}

// xylib's ChiPLOT reader makes room for the points line 4 announces before reading them, so a
// few bytes announcing 10^19 points would take every byte of memory. A count must fit in the
// lines that follow it.
std::optional<std::string> chiplotCountFault(std::string_view contents) {
  std::size_t pos = 0;
  for (int line = 1; line < 4 && pos != std::string_view::npos; ++line) {
    pos = contents.find('\n', pos);
    if (pos != std::string_view::npos) ++pos;
  }
  if (pos == std::string_view::npos) return std::nullopt;  // xylib names the missing line
  const std::size_t end = std::min(contents.find('\n', pos), contents.size());
  const std::string_view countLine = contents.substr(pos, end - pos);
  const auto linesAfter = static_cast<unsigned long long>(std::count(contents.begin() + end, contents.end(), '\n') + 1);
  for (std::size_t i = 0; i < countLine.size();) {
    if (!std::isdigit(static_cast<unsigned char>(countLine[i]))) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < countLine.size() && std::isdigit(static_cast<unsigned char>(countLine[j]))) ++j;
    unsigned long long n = 0;
    const auto [ptr, ec] = std::from_chars(countLine.data() + i, countLine.data() + j, n);
    if (ec != std::errc() || n > linesAfter)
      return "line 4 announces " + std::string(countLine.substr(i, std::min<std::size_t>(j - i, 24))) +
             " points, more than the file holds";
    i = j;
  }
  return std::nullopt;
}

// A Rigaku .dat shares its extension with plain columns; its own checker tells them apart.
bool isRigakuDat(std::string_view contents) {
  const xylib::FormatInfo* info = static_cast<const xylib::FormatInfo*>(xylib_get_format_by_name("rigaku_dat"));
  if (!info || !info->checker) return false;
  std::istringstream in(std::string(contents.substr(0, 4096)));
  try {
    return info->checker(in, nullptr);
  } catch (const std::exception&) {
    return false;
  }
}

std::string guessedFormat(std::string_view contents, const std::string& name) {
  std::istringstream in{std::string(contents)};
  try {
    const xylib::FormatInfo* info = xylib::guess_filetype(name, in, nullptr);
    return info ? info->name : "";
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace

PatternRead readColumns(std::string_view contents, const std::string& name) {
  MeasuredPattern p;
  p.format = "columns";
  bool headerSkipped = false;
  long long lineNumber = 0;
  std::size_t pos = 0;
  int width = 0;  // numbers a row, fixed by the first row
  while (pos < contents.size()) {
    std::size_t end = contents.find('\n', pos);
    if (end == std::string_view::npos) end = contents.size();
    const std::string_view line = contents.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (isCommentOrBlank(line)) continue;
    std::array<double, 4> v{};
    int count = 0;
    const bool numeric = line.size() <= std::size_t(kMaxPatternLineLength) && splitNumbers(line, v, count);
    if (!numeric && !headerSkipped && p.x.empty()) {
      headerSkipped = true;
      continue;
    }
    if (!numeric || count < 2 || count > 3 || (width != 0 && count != width))
      return failure(name, "line " + std::to_string(lineNumber) + " does not hold " +
                               (width ? std::to_string(width) : std::string("2 or 3")) + " numbers");
    if (p.x.size() >= std::size_t(kMaxPatternPoints))
      return failure(name, "it holds more than " + std::to_string(kMaxPatternPoints) + " points");
    width = count;
    p.x.push_back(v[0]);
    p.y.push_back(v[1]);
    if (count == 3) p.sigma.push_back(v[2]);
  }
  if (p.x.empty()) return failure(name, "it holds no data points");
  return p;
}

std::optional<PatternWavelength> xrdmlWavelength(std::string_view contents, std::string* error) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(contents.data(), contents.size());
  if (!parsed) {
    if (error) *error = std::string("the XML is damaged or incomplete (") + parsed.description() + ")";
    return std::nullopt;
  }
  const pugi::xml_node used = doc.select_node("//usedWavelength").node();
  if (!used) return std::nullopt;
  auto value = [&](const char* tag) {
    const double v = used.child(tag).text().as_double(0.0);
    return std::isfinite(v) && v > 0 ? v : 0.0;
  };
  PatternWavelength w{value("kAlpha1"), value("kAlpha2"), value("ratioKAlpha2KAlpha1")};
  if (w.alpha1 <= 0) return std::nullopt;
  return w;
}

PatternRead readPatternText(std::string_view contents, const std::string& name) {
  const std::string ext = lowerExtension(name);
  if (isGsasExtension(ext) || (mayBeGsas(ext) && looksLikeGsas(contents))) return readGsas(contents, name);
  if (isColumnExtension(ext) && !(ext == ".dat" && isRigakuDat(contents))) return readColumns(contents, name);
  if (ext == ".uxd") return readUxd(contents, name);
  const std::string format = ext == ".dat" ? "rigaku_dat" : guessedFormat(contents, name);
  if (format == "text" || format.empty()) {
    // A name that promises an instrument format must keep its promise; any other is columns.
    if (const xylibFormat* promised = diffractionFormatOfExtension(ext))
      return failure(name, "it is not a " + std::string(promised->desc) + " file");
    return readColumns(contents, name);
  }
  if (!isDiffractionFormat(format)) return failure(name, "its format (" + format + ") is not one this program reads");
  if (format == "uxd") return readUxd(contents, name);
  // xylib's text readers are not safe on control characters (its UXD reader frees a block
  // twice on some); a text format never holds them, so such a file is refused before.
  const auto* info = static_cast<const xylibFormat*>(xylib_get_format_by_name(format.c_str()));
  if (info && !info->binary && hasControlCharacters(contents)) return failure(name, "it holds binary data, not text");
  if (format == "chiplot")
    if (const auto fault = chiplotCountFault(contents)) return failure(name, *fault);
  return fromXylib(contents, name, format);
}

PatternRead readPattern(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return failure(name, "no such file");
  if (!fs::is_regular_file(status)) return failure(name, "not a regular file");
  const auto size = fs::file_size(path, ec);
  if (ec) return failure(name, ec.message());
  if (size > std::uintmax_t(kMaxPatternFileBytes))
    return failure(name, "larger than " + std::to_string(kMaxPatternFileBytes / (1024 * 1024)) + " MB");
  std::ifstream in(path, std::ios::binary);
  if (!in) return failure(name, "it cannot be opened");
  std::string contents(std::size_t(size), '\0');
  in.read(contents.data(), std::streamsize(size));
  contents.resize(std::size_t(in.gcount()));  // the file may have shrunk since its size was read
  if (in.bad()) return failure(name, "a read error");
  return readPatternText(contents, name);
}

}  // namespace obrin
