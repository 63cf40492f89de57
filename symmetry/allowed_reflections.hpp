// The reflection test of one group, set up once for a calculation that asks it for every index:
// the same answers as allowed(group, hkl), without a call per condition.
#pragma once

#include <algorithm>
#include <tuple>
#include <vector>

#include "symmetry/condition_codes.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

class AllowedReflections {
 public:
  explicit AllowedReflections(const SpaceGroup& group) : group_(group) {
    if (group.absencesFromOperators) {
      route_ = Route::Operators;
      return;
    }
    // The rhombohedral system's own axes are primitive.
    lattice_ = group.system == CrystalSystem::Rhombohedral ? 'P' : group.lattice;
    hexagonal_ = group.system == CrystalSystem::Hexagonal;
    route_ = group.conditions.empty() && lattice_ == 'P' ? Route::Everything : Route::Conditions;
    for (ReflectionCondition c : group.conditions) {
      c.zoneCount = std::clamp(c.zoneCount, 0, kMaxConditionZones);
      conditions_.push_back(c);
    }
  }

  bool operator()(const Miller& hkl) const {
    if (hkl.isOrigin()) return false;
    switch (route_) {
      case Route::Everything: return true;
      case Route::Operators: return allowed(group_, hkl);
      case Route::Conditions: break;
    }
    const int h = hkl.h, k = hkl.k, l = hkl.l;
    if (!latticeAllows(lattice_, group_.system, h, k, l)) return false;
    if (!hexagonal_) return !violated(h, k, l);
    // The files state a hexagonal condition for one axis pair only; the rearrangements of
    // h, k and i = −(h+k) apply it to the equivalent pairs.
    const int i = -(h + k);
    return !violated(h, k, l) && !violated(i, h, l) && !violated(k, i, l) && !violated(k, h, l) &&
           !violated(i, k, l) && !violated(h, i, l);
  }

 private:
  enum class Route { Everything, Operators, Conditions };

  bool violated(int h, int k, int l) const {
    for (const ReflectionCondition& c : conditions_) {
      bool applies = true;
      for (int z = 0; z < c.zoneCount && applies; ++z) applies = insideZone(c.zones[z], h, k, l);
      if (applies && !meetsCondition(c.kind, h, k, l)) return true;
    }
    return false;
  }

  const SpaceGroup& group_;
  Route route_ = Route::Conditions;
  char lattice_ = 'P';
  bool hexagonal_ = false;
  std::vector<ReflectionCondition> conditions_;
};

// Row vector times matrix: the image of h k l under R, which h' = h R defines.
inline Miller imageOf(const Rotation& r, const Miller& m) {
  return {m.h * r[0][0] + m.k * r[1][0] + m.l * r[2][0], m.h * r[0][1] + m.k * r[1][1] + m.l * r[2][1],
          m.h * r[0][2] + m.k * r[1][2] + m.l * r[2][2]};
}

// equivalentReflections with the group's reflection test given.
template <typename Allowed>
int equivalentReflectionsWith(const SpaceGroup& g, const Miller& hkl, Miller* out, const Allowed& isAllowed) {
  int count = 0;
  for (const Rotation& r : g.rotations) {
    if (count + 2 > 2 * kMaxOperators) break;
    const Miller m = imageOf(r, hkl);
    if (!isAllowed(m)) continue;
    out[count++] = m;
    out[count++] = -m;
  }
  if (count == 0) return 0;
  // Distinct entries; the first one (the representative) keeps its place.
  const auto less = [](const Miller& a, const Miller& b) { return std::tie(a.h, a.k, a.l) < std::tie(b.h, b.k, b.l); };
  Miller* const rest = out + 1;
  std::sort(rest, out + count, less);
  Miller* end = std::unique(rest, out + count);
  if (Miller* same = std::find(rest, end, out[0]); same != end) end = std::move(same + 1, end, same);
  return static_cast<int>(end - out);
}

}  // namespace obrin
