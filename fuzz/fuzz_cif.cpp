// The CIF importer: any text gives a structure or a message, never both; what it imports
// can be expanded and its structure factors computed.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calc/intensity.hpp"
#include "io/cif_import.hpp"
#include "symmetry/group_ops.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CifBlockList blocks = parseCifBlockNames(text, "f.cif");
  if (blocks.names.empty() == blocks.error.empty()) std::abort();
  const CifRead read = parseCif(text, "f.cif");
  if (read.structure.has_value() == !read.error.empty()) std::abort();
  if (!read.structure) return 0;
  const CifStructure& s = *read.structure;
  if (!groupClosureFault(s.operators).empty()) std::abort();  // the importer refuses such groups
  const auto metric = computeMetric(s.cell);
  if (!metric) std::abort();
  if (s.atoms.size() * s.operators.size() > 20000) return 0;  // keep each run short
  const ScatteringModel model = expandStructure(s.atoms, s.operators, *metric);
  for (int h = 0; h < 3; ++h) (void)structureFactor(model, h, 1, 2, 0.1);
  if (const auto group = spaceGroupFromOperators("", s.operators)) (void)allowed(*group, {1, 0, 3});
  (void)matchPositionFileGroup(s.operators, [](CrystalSystem) { return std::filesystem::path("/nonexistent"); });
  return 0;
}
