// The cell-file reader, and the text it writes back for what it read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "io/cellfile.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CellFileRead read = parseCellFile(text, "F.ind");
  if (read.data.has_value() == !read.error.empty()) std::abort();
  if (!read.data) return 0;

  // What an export writes for the imported cell reads back; from then on export and import
  // are stable (the first export may drop what follows a carriage return in the symbol, or
  // blanks around it).
  const CellFileRead again = parseCellFile(cellFileText(*read.data), "F.ind");
  if (!again.data) std::abort();
  const std::string written = cellFileText(*again.data);
  const CellFileRead third = parseCellFile(written, "F.ind");
  if (!third.data || cellFileText(*third.data) != written) std::abort();

  const auto system = systemFromCell(read.data->cell);
  (void)cellFieldTexts(*read.data, system, AngleMode::TwoTheta);
  for (int s = 0; s < kSystemCount; ++s) (void)cellFitsSystem(read.data->cell, static_cast<CrystalSystem>(s));
  (void)deriveCrystalSystem(read.data->cell, read.data->symbol,
                            [](CrystalSystem s, const std::string& symbol) {
                              return symbol.size() % kSystemCount == static_cast<std::size_t>(systemIndex(s));
                            });
  (void)computeMetric(read.data->cell);
  return 0;
}
