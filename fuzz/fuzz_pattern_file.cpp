// The readers of measured patterns: the first byte picks the file's name (an extension of a
// format, a compressed one, or one that leaves the format to the contents), the rest is its
// contents.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/pattern_file.hpp"

using namespace obrin;

namespace {

constexpr std::array<const char*, 20> kNames = {
    "f.xy",  "f.xye", "f.csv",  "f.dat", "f.xrdml", "f.raw",   "f.uxd",  "f.chi",  "f.cif",    "f.gsa",
    "f.ras", "f.rasx", "f.brml", "f.tsv", "f.xrdml.gz", "f.raw.bz2", "f.CWN", "f", "f.txt.gz", "f.XRA"};

bool validPoints(const MeasuredPattern& p) {
  if (p.x.empty() || p.x.size() != p.y.size() || (!p.sigma.empty() && p.sigma.size() != p.x.size())) return false;
  for (std::size_t i = 0; i < p.x.size(); ++i)
    if (!(p.x[i] >= 0 && p.x[i] <= 180) || !std::isfinite(p.y[i]) || (!p.sigma.empty() && !(p.sigma[i] >= 0)))
      return false;
  return !p.wavelength || (p.wavelength->alpha1 > 0 && std::isfinite(p.wavelength->alpha1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string name = kNames[data[0] % kNames.size()];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const PatternScansRead scans = readPatternScansText(text, name);
  // Either scans, or a message that names the file.
  if (scans.ok() == !scans.error().empty()) std::abort();
  if (!scans.ok()) {
    if (scans.error().find(name) == std::string::npos) std::abort();
    return 0;
  }
  for (const MeasuredPattern& scan : *scans) {
    if (!validPoints(scan)) std::abort();
    (void)scanSummary(scan);
  }
  // Joined or chosen, the pattern keeps every point of what it is made of.
  const bool joined = scansFollowEachOther(*scans);
  const PatternRead whole = patternOfScans(*scans, joined ? 0 : int(scans->size()), name);
  if (!whole.ok() || !validPoints(*whole)) std::abort();
  std::size_t points = 0;
  for (const MeasuredPattern& scan : *scans) points += scan.x.size();
  if (joined && whole->x.size() != points) std::abort();
  return 0;
}
