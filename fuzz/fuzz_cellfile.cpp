// The cell-file reader, and the text it writes back for what it read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/cellfile.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto read = parseCellFile(text, "F.ind");
  if (read.ok() == !read.error().empty()) std::abort();
  if (!read) return 0;

  // What an export writes for the imported cell reads back; from then on export and import
  // are stable (the first export may drop what follows a carriage return in the symbol, or
  // blanks around it).
  const auto again = parseCellFile(cellFileText(*read), "F.ind");
  if (!again) std::abort();
  const std::string written = cellFileText(*again);
  const auto third = parseCellFile(written, "F.ind");
  if (!third || cellFileText(*third) != written) std::abort();

  const auto system = systemFromCell(read->cell);
  (void)cellFieldTexts(*read, system, AngleMode::TwoTheta);
  for (int s = 0; s < kSystemCount; ++s) (void)cellFitsSystem(read->cell, static_cast<CrystalSystem>(s));
  (void)deriveCrystalSystem(read->cell, read->symbol,
                            [](CrystalSystem s, const std::string& symbol) {
                              return symbol.size() % kSystemCount == static_cast<std::size_t>(systemIndex(s));
                            });
  (void)computeMetric(read->cell);
  return 0;
}
