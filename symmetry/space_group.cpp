// The selected group as the calculations use it: its entry, decoded conditions and rules.
#include "symmetry/pot.hpp"

namespace obrin {

SpaceGroupSymmetry loadSpaceGroupSymmetry(const std::filesystem::path& file, CrystalSystem system,
                                          std::string_view name) {
  SpaceGroupSymmetry g;
  auto read = readSpaceGroupEntry(file, name);
  if (!read.entry) {
    g.warning = read.error;
    return g;
  }
  g.entry = std::move(read.entry);
  const char lattice = name.front();  // the reader refuses an empty name
  g.derived = deriveReflectionConditions(lattice, system, g.entry->conditionLines);
  if (g.derived.status != 0) {
    g.warning = g.derived.warning;
    return g;
  }
  g.rules = {lattice, system, g.derived.conditions};
  return g;
}

}  // namespace obrin
