// The readers of measured patterns: the first byte picks the file's extension (plain columns
// or an instrument format), the rest is its contents.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/pattern_file.hpp"

using namespace obrin;

namespace {

constexpr std::array<const char*, 10> kNames = {"f.xy",  "f.xye", "f.csv", "f.dat", "f.xrdml",
                                                "f.raw", "f.uxd", "f.chi", "f.cif", "f.gsa"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string name = kNames[data[0] % kNames.size()];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const PatternRead read = readPatternText(text, name);
  // Either points, or a message that names the file.
  if (read.ok() == !read.error().empty()) std::abort();
  if (!read.ok()) {
    if (read.error().find(name) == std::string::npos) std::abort();
    return 0;
  }
  const MeasuredPattern& p = *read;
  if (p.x.empty() || p.x.size() != p.y.size() || (!p.sigma.empty() && p.sigma.size() != p.x.size())) std::abort();
  (void)xrdmlWavelength(text, nullptr);
  return 0;
}
