// Whether the selected space group forbids a reflection: lattice centring, then the decoded
// reflection conditions.
#include <algorithm>

#include "symmetry/condition_codes.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

int evaluateConditions(const std::vector<ReflectionCondition>& conditions, int h, int k, int l) {
  for (const auto& c : conditions) {
    const int zoneCount = std::clamp(c.zoneCount, 0, kMaxConditionZones);
    bool applies = true;
    for (int z = 0; z < zoneCount && applies; ++z) applies = insideZone(c.zones[z], h, k, l);
    if (applies && !meetsCondition(c.kind, h, k, l)) return 1;
  }
  return 0;
}

int isReflectionForbidden(const SpaceGroupRules& rules, int h, int k, int l) {
  return isReflectionForbidden(rules.lattice, rules.system, rules.conditions, h, k, l);
}

int isReflectionForbidden(char lattice, CrystalSystem system, const std::vector<ReflectionCondition>& conditions,
                          int h, int k, int l) {
  if (h == 0 && k == 0 && l == 0) return 1;
  if (system == CrystalSystem::Rhombohedral) lattice = 'P';
  if (!latticeAllows(lattice, system, h, k, l)) return 1;
  if (system != CrystalSystem::Hexagonal) return evaluateConditions(conditions, h, k, l);

  // The files state a hexagonal condition for one axis pair only; the rearrangements of
  // h, k and i = −(h+k) apply it to the equivalent pairs.
  const int i = -(h + k);
  const int triples[6][3] = {{h, k, l}, {i, h, l}, {k, i, l}, {k, h, l}, {i, k, l}, {h, i, l}};
  for (const auto& t : triples)
    if (evaluateConditions(conditions, t[0], t[1], t[2])) return 1;
  return 0;
}

}  // namespace obrin
