// The code language of the reflection conditions in the position files: zone tokens, which
// select part of reciprocal space, and condition codes, which a reflection inside the zones
// must meet.
#pragma once

#include <array>
#include <cstdlib>
#include <string_view>

#include "core/crystal_system.hpp"

namespace obrin {

// Zone kind k is kConditionZones[k - 1]. Comparisons are on signed integers; the inequality
// zones on H and K include equality, those on L do not (the files are written for that).
struct ConditionZone {
  std::string_view token;
};
inline constexpr std::array<ConditionZone, 18> kConditionZones = {{
    {"H=0"}, {"H<0"}, {"H>K"}, {"H>L"}, {"K=0"}, {"K<0"}, {"K>L"}, {"K>H"}, {"L=0"},
    {"L<0"}, {"L>H"}, {"L>K"}, {"H=K"}, {"K=L"}, {"L=H"}, {"H=-K"}, {"K=-L"}, {"L=-H"},
}};

// Condition kind k is kConditionKinds[k - 1]: the code as the files write it and the label
// shown in its place.
struct ConditionKind {
  std::string_view code;
  std::string_view label;
};
inline constexpr std::array<ConditionKind, 29> kConditionKinds = {{
    {"HN2", "H=2n"},         {"HN4", "H=4n"},         {"HN3", "H=3n"},
    {"AH>AK", "H>K"},        {"AH>AL", "H>L"},        {"H+KN2", "H+K=2n"},
    {"-HKLN3", "-H+K+L=3n"}, {"KN2", "K=2n"},         {"KN4", "K=4n"},
    {"KN3", "K=3n"},         {"AK>AL", "K>L"},        {"AK>AH", "K>H"},
    {"K+LN2", "K+L=2n"},     {"H-KLN3", "H-K+L=3n"},  {"LN2", "L=2n"},
    {"LN4", "L=4n"},         {"LN3", "L=3n"},         {"AL>AH", "L>H"},
    {"AL>AK", "L>K"},        {"L+HN2", "L+H=2n"},     {"HK-LN3", "H+K-L=3n"},
    {"HKLN2", "H+K+L=2n"},   {"H+KN4", "H+K=4n"},     {"K+LN4", "K+L=4n"},
    {"L+HN4", "L+H=4n"},     {"2H+LN4", "2H+L=4n"},   {"2K+HN4", "2K+H=4n"},
    {"2L+KN4", "2L+K=4n"},   {"LN6", "L=6n"},
}};

// 0 when the token is not in the table (exact, case-sensitive).
constexpr int zoneKind(std::string_view token) {
  for (size_t i = 0; i < kConditionZones.size(); ++i)
    if (kConditionZones[i].token == token) return static_cast<int>(i) + 1;
  return 0;
}
constexpr int conditionKind(std::string_view code) {
  for (size_t i = 0; i < kConditionKinds.size(); ++i)
    if (kConditionKinds[i].code == code) return static_cast<int>(i) + 1;
  return 0;
}

// An unknown kind selects nothing.
constexpr bool insideZone(int zone, int h, int k, int l) {
  switch (zone) {
    case 1: return h == 0;
    case 2: return h <= 0;
    case 3: return h >= k;
    case 4: return h >= l;
    case 5: return k == 0;
    case 6: return k <= 0;
    case 7: return k >= l;
    case 8: return k >= h;
    case 9: return l == 0;
    case 10: return l < 0;
    case 11: return l > h;
    case 12: return l > k;
    case 13: return h == k;
    case 14: return k == l;
    case 15: return l == h;
    case 16: return h == -k;
    case 17: return k == -l;
    case 18: return l == -h;
    default: return false;
  }
}

// Zones that hold only where an index is 0 or two indices are equal or opposite.
constexpr bool isSpecialZone(int zone) { return zone == 1 || zone == 5 || zone == 9 || (zone >= 13 && zone <= 18); }

// Whether h k l lies in such a zone's plane: one index 0, or two of equal size.
constexpr bool onSpecialPlane(int h, int k, int l) {
  constexpr auto abs = [](int x) { return x < 0 ? -x : x; };
  const int ah = abs(h), ak = abs(k), al = abs(l);
  return ah == 0 || ak == 0 || al == 0 || ah == ak || ak == al || al == ah;
}

// n divides x when the truncated remainder is 0, whatever the sign of x.
constexpr bool divides(int n, int x) { return x % n == 0; }

// Whether h k l meets the condition; an unknown kind is met by nothing, so a table that was
// not filled properly forbids rather than lets reflections through.
constexpr bool meetsCondition(int kind, int h, int k, int l) {
  constexpr auto abs = [](int x) { return x < 0 ? -x : x; };
  switch (kind) {
    case 1: return divides(2, h);
    case 2: return divides(4, h);
    case 3: return divides(3, h);
    case 4: return abs(h) <= abs(k);
    case 5: return abs(h) <= abs(l);
    case 6: return divides(2, h + k);
    case 7: return divides(3, -h + k + l);
    case 8: return divides(2, k);
    case 9: return divides(4, k);
    case 10: return divides(3, k);
    case 11: return abs(k) <= abs(l);
    case 12: return abs(k) <= abs(h);
    case 13: return divides(2, k + l);
    case 14: return divides(3, h - k + l);
    case 15: return divides(2, l);
    case 16: return divides(4, l);
    case 17: return divides(3, l);
    case 18: return abs(l) <= abs(h);
    case 19: return abs(l) <= abs(k);
    case 20: return divides(2, l + h);
    case 21: return divides(3, h + k - l);
    case 22: return divides(2, h + k + l);
    case 23: return divides(4, h + k);
    case 24: return divides(4, k + l);
    case 25: return divides(4, l + h);
    case 26: return divides(4, 2 * h + l);
    case 27: return divides(4, 2 * k + h);
    case 28: return divides(4, 2 * l + k);
    case 29: return divides(6, l);
    default: return false;
  }
}

// Whether the lattice's centring lets h k l through.
constexpr bool latticeAllows(char lattice, CrystalSystem system, int h, int k, int l) {
  switch (lattice) {
    case 'P': return true;
    case 'A': return divides(2, k + l);
    case 'B': return divides(2, h + l);
    case 'C': return divides(2, h + k);
    case 'F': return divides(2, h + k) && divides(2, k + l) && divides(2, h + l);
    case 'I': return divides(2, h + k + l);
    // Obverse setting of the hexagonal axes.
    case 'R': return system == CrystalSystem::Hexagonal && divides(3, -h + k + l);
    default: return false;  // a symbol the program does not know allows nothing
  }
}

}  // namespace obrin
