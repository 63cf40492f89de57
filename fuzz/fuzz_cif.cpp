// The CIF importer: any text gives a structure or a message, never both; a block chosen from
// the list imports as the named one does; what it imports can be expanded, its site symmetry
// and cell content found, and its structure factors are finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calc/intensity.hpp"
#include "calc/site_symmetry.hpp"
#include "io/cif_import.hpp"
#include "symmetry/group_ops.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CifBlockList blocks = parseCifBlockNames(text, "f.cif");
  if (blocks.names.empty() == blocks.error.empty()) std::abort();
  if (blocks.blocks.size() != blocks.names.size()) std::abort();
  if (!blocks.names.empty()) {
    (void)blocks.blocks.back().description();
    const CifRead chosen = importCifBlock(blocks, blocks.names.size() - 1);
    if (chosen.structure.has_value() == !chosen.error.empty()) std::abort();
  }
  const CifRead read = parseCif(text, "f.cif");
  if (read.structure.has_value() == !read.error.empty()) std::abort();
  if (!read.structure) return 0;
  const CifStructure& s = *read.structure;
  if (!groupClosureFault(s.operators).empty()) std::abort();  // the importer refuses such groups
  const auto metric = computeMetric(s.cell);
  if (!metric) std::abort();
  if (s.atoms.size() * s.operators.size() > 20000) return 0;  // keep each run short
  const ScatteringModel model = expandStructure(s.atoms, s.operators, *metric);
  if (!std::isfinite(model.cellAtoms)) std::abort();
  for (int h = 0; h < 3; ++h) {
    const double d = dSpacing(metric->B, h, 1, 2);
    const auto F = structureFactor(model, h, 1, 2, 1 / (4 * d * d));
    // Every value the importer lets through gives a finite structure factor.
    if (!std::isfinite(F.real()) || !std::isfinite(F.imag())) std::abort();
  }
  for (const auto& [element, n] : cellContent(s.atoms, s.operators, s.cell))
    if (!std::isfinite(n) || n < 0) std::abort();
  (void)shortestContact(s.atoms, s.operators, s.cell, 300);
  if (const auto group = spaceGroupFromOperators("", s.operators)) (void)allowed(*group, {1, 0, 3});
  (void)matchPositionFileGroup(s.operators, [](CrystalSystem) { return std::filesystem::path("/nonexistent"); });
  return 0;
}
