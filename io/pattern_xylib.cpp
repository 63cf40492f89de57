// The formats read through xylib: Rigaku .dat and Fit2D ChiPLOT .chi, the first block of each.
#include <xylib/xylib.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <memory>
#include <sstream>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

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

bool hasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f;
  });
}

ScansRead fromXylib(std::string_view contents, const char* format) {
  // xylib's text readers are not safe on control characters (its UXD reader frees a block
  // twice on some); a text format never holds them, so such a file is refused before.
  if (hasControlCharacters(contents)) return fail("it holds binary data, not text");
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
    return fail(why);
  }
  if (!data || data->get_block_count() < 1) return fail("it holds no data points");
  const xylib::Block* block = data->get_block(0);
  const int count = block->get_point_count();
  if (block->get_column_count() < 2 || count <= 0) return fail("it holds no data points");
  if (count > kMaxPatternPoints) return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
  MeasuredPattern p;
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
  if (p.x.empty()) return fail("it holds no data points");
  return Scans{std::move(p)};
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

}  // namespace

// A Rigaku .dat shares its extension with plain columns; its own checker tells them apart.
bool isRigakuDat(std::string_view contents) {
  const auto* info = static_cast<const xylib::FormatInfo*>(xylib_get_format_by_name("rigaku_dat"));
  if (!info || !info->checker) return false;
  std::istringstream in(std::string(contents.substr(0, 4096)));
  try {
    return info->checker(in, nullptr);
  } catch (const std::exception&) {
    return false;
  }
}

ScansRead readRigakuDat(std::string_view contents) { return fromXylib(contents, "rigaku_dat"); }

ScansRead readChiplot(std::string_view contents) {
  if (const auto fault = chiplotCountFault(contents)) return fail(*fault);
  return fromXylib(contents, "chiplot");
}

}  // namespace obrin::pattern_io
