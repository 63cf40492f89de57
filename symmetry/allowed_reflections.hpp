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
      const bool special = std::any_of(c.zones.begin(), c.zones.begin() + c.zoneCount, isSpecialZone);
      if (!special) generalConditions_.push_back(c);
    }
    // Then a reflection on no special plane only has the lattice to pass.
    if (route_ == Route::Conditions && !hexagonal_ && generalConditions_.empty()) route_ = Route::SpecialZones;
  }

  bool operator()(const Miller& hkl) const {
    if (hkl.isOrigin()) return false;
    switch (route_) {
      case Route::Everything: return true;
      case Route::Operators: return allowed(group_, hkl);
      case Route::SpecialZones:
        if (!onSpecialPlane(hkl.h, hkl.k, hkl.l)) return latticeAllows(lattice_, group_.system, hkl.h, hkl.k, hkl.l);
        break;
      case Route::Conditions: break;
    }
    return allowedByConditions(hkl.h, hkl.k, hkl.l);
  }

 private:
  // Everything: no condition, primitive lattice. SpecialZones: every condition lies in a
  // special zone.
  enum class Route { Everything, Operators, SpecialZones, Conditions };

  bool allowedByConditions(int h, int k, int l) const {
    if (!latticeAllows(lattice_, group_.system, h, k, l)) return false;
    if (!hexagonal_) return !violated(h, k, l);
    // The files state a hexagonal condition for one axis pair only; the rearrangements of
    // h, k and i = −(h+k) apply it to the equivalent pairs.
    const int i = -(h + k);
    return !violated(h, k, l) && !violated(i, h, l) && !violated(k, i, l) && !violated(k, h, l) &&
           !violated(i, k, l) && !violated(h, i, l);
  }

  // Most reflections lie on no special plane, and only the conditions without such a zone can
  // apply to them: usually none, and the test ends here.
  bool violated(int h, int k, int l) const {
    const bool special = onSpecialPlane(h, k, l);
    if (!special && generalConditions_.empty()) return false;
    return violatedAmong(special ? conditions_ : generalConditions_, h, k, l);
  }

  static bool violatedAmong(const std::vector<ReflectionCondition>& conditions, int h, int k, int l) {
    for (const ReflectionCondition& c : conditions) {
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
  std::vector<ReflectionCondition> generalConditions_;  // those without a special zone
};

// Row vector times matrix: the image of h k l under R, which h' = h R defines.
inline Miller imageOf(const Rotation& r, const Miller& m) {
  return {m.h * r[0][0] + m.k * r[1][0] + m.l * r[2][0], m.h * r[0][1] + m.k * r[1][1] + m.l * r[2][1],
          m.h * r[0][2] + m.k * r[1][2] + m.l * r[2][2]};
}

// The images out[0..count) with duplicates removed: out[0] (the representative) keeps its place,
// the others follow in increasing order. An insertion into the short sorted run beats a general
// sort for the at most 96 images. Returns the number kept.
inline int keepDistinctImages(Miller* out, int count) {
  if (count <= 2) return count == 2 && out[1] == out[0] ? 1 : count;  // a triclinic pair ±h
  const auto less = [](const Miller& a, const Miller& b) { return std::tie(a.h, a.k, a.l) < std::tie(b.h, b.k, b.l); };
  int end = 1;
  for (int i = 1; i < count; ++i) {
    const Miller m = out[i];
    if (m == out[0]) continue;
    int at = end;
    while (at > 1 && less(m, out[at - 1])) --at;
    if (at > 1 && out[at - 1] == m) continue;
    for (int j = end; j > at; --j) out[j] = out[j - 1];
    out[at] = m;
    ++end;
  }
  return end;
}

// A group's rotations with one of each pair R, −R kept (the first met), marked when the other
// is there too: h R and −h R name the same images ±h R, so half the products give them all.
struct RotationUpToSign {
  Rotation r;
  bool negativeToo = false;
};

inline std::vector<RotationUpToSign> rotationsUpToSign(const std::vector<Rotation>& rotations) {
  std::vector<RotationUpToSign> kept;
  for (const Rotation& r : rotations) {
    Rotation minus = r;
    for (auto& row : minus)
      for (int& x : row) x = -x;
    const auto pair = std::find_if(kept.begin(), kept.end(), [&](const RotationUpToSign& k) { return k.r == minus; });
    if (pair != kept.end()) pair->negativeToo = true;
    else kept.push_back({r, false});
  }
  return kept;
}

// The allowed images ±h R of h k l, distinct, as equivalentReflections gives them, from a
// group's rotations taken up to sign: ±h R enter when h R or −h R is allowed, as they would
// from R or from −R.
template <typename Allowed>
int equivalentImagesWith(const std::vector<RotationUpToSign>& rotations, const Miller& hkl, Miller* out,
                         const Allowed& isAllowed) {
  int count = 0;
  for (const RotationUpToSign& p : rotations) {
    if (count + 2 > 2 * kMaxOperators) break;
    const Miller m = imageOf(p.r, hkl);
    if (!isAllowed(m) && !(p.negativeToo && isAllowed(-m))) continue;
    out[count++] = m;
    out[count++] = -m;
  }
  return keepDistinctImages(out, count);
}

}  // namespace obrin
