// The reader of peak lists: the first byte chooses what the caller says (a d list, a 2θ list,
// a wavelength), the rest is the file. A list read is written and read back to the same peaks.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/peak_list_file.hpp"

using namespace obrin;

namespace {

bool sane(const PeakList& list) {
  for (std::size_t i = 0; i < list.peaks.size(); ++i) {
    const Peak& p = list.peaks[i];
    for (double v : {p.twoTheta, p.twoThetaSu, p.d, p.height, p.heightSu, p.area, p.areaSu, p.fwhm, p.fwhmSu, p.eta,
                     p.etaSu, p.asymmetry, p.significance})
      if (!std::isfinite(v)) return false;
    if (p.twoTheta < 0 || p.twoTheta >= 180 || p.d < 0 || (p.twoTheta == 0 && p.d == 0)) return false;
    if (i > 0 && (p.twoTheta > 0 ? p.twoTheta < list.peaks[i - 1].twoTheta : p.d > list.peaks[i - 1].d)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  PeakListReading how;
  if (data[0] & 1) how.position = PeakPosition::D;
  else if (data[0] & 2) how.position = PeakPosition::TwoTheta;
  if (data[0] & 4) how.lambda = 1.54056;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto read = readPeakListText(text, "f.txt", how);
  // Either peaks, or a message that names the file.
  if (read.ok() == !read.error().empty()) std::abort();
  if (!read.ok()) {
    if (read.error().find("\"f.txt\"") == std::string::npos) std::abort();
    return 0;
  }
  if (!sane(*read)) std::abort();
  const auto again = readPeakListText(peakListText(*read), "again.txt");
  if (!again.ok() || again->peaks.size() != read->peaks.size() || !sane(*again)) std::abort();
  for (std::size_t i = 0; i < read->peaks.size(); ++i) {
    const Peak &a = read->peaks[i], &b = again->peaks[i];
    if (a.twoTheta != b.twoTheta || a.height != b.height || std::abs(a.d - b.d) > 1e-9 * a.d) std::abort();
  }
  return 0;
}
