// The general-position triplet parser, on any line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "symmetry/pot.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string bad;
  const auto op = parseTriplet(line, &bad);
  if (!op) return 0;
  // A parsed row is one of the eight rotation forms plus a translation in [0, 1).
  for (const auto& row : op->m) {
    int nonZero = 0;
    for (int c = 0; c < 3; ++c) {
      if (row[c] != 0 && row[c] != 1 && row[c] != -1) std::abort();
      nonZero += row[c] != 0;
    }
    if (nonZero < 1 || nonZero > 2) std::abort();
    if (!(row[3] >= 0 && row[3] < 1)) std::abort();
  }
  return 0;
}
