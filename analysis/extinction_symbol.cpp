#include "analysis/extinction_symbol.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "symmetry/allowed_reflections.hpp"
#include "symmetry/condition_codes.hpp"

namespace obrin {

namespace {

// A glide plane: its letter and its translation in quarters of the cell edges. A reflection
// H of its zone survives it when H·t is whole (International Tables A, §2.2.13).
struct Glide {
  char letter;
  std::array<int, 3> quarters;
};

// A symmetry direction: its row of reflections (the reciprocal vector along it), the zone of
// reflections perpendicular to it (spanned by u and v), the glides tried there, and the names
// of the screw axes by the period of the absences they cause along the row.
struct Direction {
  Miller row;
  bool hasZone = false;
  Miller u, v;
  std::vector<Glide> glides;
  std::vector<std::pair<int, std::string_view>> screws;
  bool alwaysDash = false;  // the cubic [111]: no condition belongs to it
};

struct SystemDirections {
  std::vector<Direction> directions;
  // Reciprocal rows that, with a direction's row, span the zones a glide may lie in: the
  // absences of those zones reach the row.
  std::vector<Miller> rows;
};

constexpr Glide a{'a', {2, 0, 0}}, b{'b', {0, 2, 0}}, c{'c', {0, 0, 2}};

Direction zoneDirection(Miller row, Miller u, Miller v, std::vector<Glide> glides,
                        std::vector<std::pair<int, std::string_view>> screws) {
  return {row, true, u, v, std::move(glides), std::move(screws), false};
}

// The symmetry directions in the order of the Hermann–Mauguin symbol (International Tables A,
// Table 2.1.3.1), with the glide planes their zones can hold.
SystemDirections directionsOf(CrystalSystem system, char lattice) {
  const Miller x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1}, xy{1, 1, 0}, xmy{1, -1, 0};
  const std::vector<std::pair<int, std::string_view>> twofold{{2, "21"}};
  switch (system) {
    case CrystalSystem::Orthorhombic:
      return {{zoneDirection(x, y, z, {b, c, {'n', {0, 2, 2}}, {'d', {0, 1, 1}}}, twofold),
               zoneDirection(y, x, z, {a, c, {'n', {2, 0, 2}}, {'d', {1, 0, 1}}}, twofold),
               zoneDirection(z, x, y, {a, b, {'n', {2, 2, 0}}, {'d', {1, 1, 0}}}, twofold)},
              {x, y, z}};
    case CrystalSystem::Monoclinic:  // unique axis b
      return {{zoneDirection(y, x, z, {a, c, {'n', {2, 0, 2}}}, twofold)}, {x, y, z}};
    case CrystalSystem::Tetragonal:
      return {{zoneDirection(z, x, y, {a, {'n', {2, 2, 0}}}, {{2, "42"}, {4, "41"}}),
               zoneDirection(x, y, z, {b, c, {'n', {0, 2, 2}}}, twofold),
               zoneDirection(xmy, xy, z, {c, {'n', {2, 2, 2}}, {'d', {1, 1, 1}}}, twofold)},
              {x, y, z, xy, xmy}};
    case CrystalSystem::Hexagonal: {
      SystemDirections d{{zoneDirection(z, x, y, {}, {{2, "63"}, {3, "31"}, {6, "61"}}),
                          zoneDirection(x, y, z, {c}, twofold)},
                         {x, y, z, xy, xmy}};
      // The rhombohedral lattices have no third direction.
      if (lattice != 'R') d.directions.push_back(zoneDirection(xmy, xy, z, {c}, twofold));
      return d;
    }
    case CrystalSystem::Cubic: {
      Direction body;
      body.alwaysDash = true;
      return {{zoneDirection(z, x, y, {a, b, {'n', {2, 2, 0}}, {'d', {1, 1, 0}}}, {{2, "42"}, {4, "41"}}), body,
               zoneDirection(xmy, xy, z, {c, {'n', {2, 2, 2}}, {'d', {1, 1, 1}}}, {})},
              {x, y, z, xy, xmy, {1, 0, 1}, {0, 1, 1}, {1, 0, -1}, {0, 1, -1}}};
    }
    case CrystalSystem::Rhombohedral:
    case CrystalSystem::Triclinic: break;
  }
  return {};
}

Miller combine(int p, const Miller& u, int q, const Miller& v) {
  return {p * u.h + q * v.h, p * u.k + q * v.k, p * u.l + q * v.l};
}

bool survives(const Glide& g, const Miller& hkl) {
  return (hkl.h * g.quarters[0] + hkl.k * g.quarters[1] + hkl.l * g.quarters[2]) % 4 == 0;
}

// Reflections of the zone off its own rows, and off the planes where |p| = |q| (which in the
// cubic and tetragonal systems belong to other zones): only the glide acts on them.
constexpr int kZoneReach = 7;
// Rows are read this far; a shifted copy of the row this far off it lies in no other zone.
constexpr int kRowReach = 12;
constexpr int kRowShift = 24;  // a multiple of the lattices' and the glides' periods

template <typename Test>
std::vector<bool> zonePattern(const Direction& d, const Test& test) {
  std::vector<bool> pattern;
  for (int p = -kZoneReach; p <= kZoneReach; ++p)
    for (int q = -kZoneReach; q <= kZoneReach; ++q)
      if (p != 0 && q != 0 && std::abs(p) != std::abs(q)) pattern.push_back(test(combine(p, d.u, q, d.v)));
  return pattern;
}

// The glide letters that fit the zone; none when the lattice alone explains it. Fails when
// no glide explains it.
bool readGlides(const Direction& d, const AllowedReflections& allowedTest, char lattice, CrystalSystem system,
                std::string& letters) {
  const auto latticeTest = [&](const Miller& m) { return latticeAllows(lattice, system, m.h, m.k, m.l); };
  const auto group = zonePattern(d, allowedTest);
  if (group == zonePattern(d, latticeTest)) return true;
  for (const Glide& g : d.glides)
    if (zonePattern(d, [&](const Miller& m) { return latticeTest(m) && survives(g, m); }) == group)
      letters += g.letter;
  return !letters.empty();
}

Miller times(int n, const Miller& m) { return {n * m.h, n * m.k, n * m.l}; }

bool parallel(const Miller& a, const Miller& b) {
  return a.h * b.k == a.k * b.h && a.k * b.l == a.l * b.k && a.h * b.l == a.l * b.h;
}

// The period of the row's absences beyond what the lattice and the zones through the row give:
// 0 when there is none. Fails when the row's absences have no period.
bool readScrew(const Direction& d, const std::vector<Miller>& rows, const AllowedReflections& allowedTest,
               char lattice, CrystalSystem system, int& period) {
  period = 0;
  int first = 0;
  bool beyond = false;
  for (int n = 1; n <= kRowReach; ++n) {
    const Miller m = times(n, d.row);
    const bool allowedHere = allowedTest(m);
    if (allowedHere && first == 0) first = n;
    if (first != 0 && allowedHere != (n % first == 0)) return false;
    bool implied = latticeAllows(lattice, system, m.h, m.k, m.l);
    for (const Miller& w : rows) {
      if (!implied) break;
      if (parallel(w, d.row)) continue;
      const Miller off = combine(1, m, kRowShift, w), offOther = combine(1, m, -kRowShift, w);
      if (!allowedTest(off) && !allowedTest(offOther)) implied = false;
    }
    if (implied && !allowedHere) beyond = true;
  }
  if (first == 0) return false;
  if (beyond) period = first;
  return true;
}

// The glide letter of each part of a Hermann–Mauguin name ("P 21/N 21/M 21/A (62)"), in the
// order of the directions.
std::vector<char> namedGlides(std::string_view name, CrystalSystem system) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  while (at < name.size()) {
    const std::size_t start = name.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(name.find(' ', start), name.size());
    parts.push_back(name.substr(start, end - start));
    at = end;
  }
  if (!parts.empty()) parts.erase(parts.begin());  // the lattice letter
  if (!parts.empty() && parts.back().front() == '(') parts.pop_back();
  // A monoclinic name is short ("P 21/C") or full ("P 1 21/C 1").
  if (system == CrystalSystem::Monoclinic && parts.size() == 3) parts = {parts[1]};
  std::vector<char> letters;
  for (std::string_view part : parts) {
    const std::size_t slash = part.find('/');
    const std::string_view plane = slash == std::string_view::npos ? part : part.substr(slash + 1);
    const char letter = plane.size() == 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(plane[0]))) : 0;
    letters.push_back(std::string_view("abcden").find(letter) != std::string_view::npos && letter ? letter : 0);
  }
  return letters;
}

std::string_view screwName(const Direction& d, int period) {
  for (const auto& [p, name] : d.screws)
    if (p == period) return name;
  return {};
}

}  // namespace

ExtinctionSignature extinctionSignature(const SpaceGroup& group) {
  ExtinctionSignature s;
  s.system = group.system;
  s.lattice = group.lattice;
  const SystemDirections table = directionsOf(group.system, group.lattice);
  if (table.directions.empty() || group.absencesFromOperators) return s;
  const AllowedReflections allowedTest(group);
  const std::vector<char> named = namedGlides(group.name, group.system);
  for (std::size_t i = 0; i < table.directions.size(); ++i) {
    const Direction& d = table.directions[i];
    DirectionAbsences absences;
    if (!d.alwaysDash) {
      if (!readGlides(d, allowedTest, group.lattice, group.system, absences.glides)) return s;
      if (!readScrew(d, table.rows, allowedTest, group.lattice, group.system, absences.screwPeriod)) return s;
      if (absences.screwPeriod != 0 && screwName(d, absences.screwPeriod).empty()) return s;
    }
    if (i < named.size()) absences.namedGlide = named[i];
    s.directions.push_back(std::move(absences));
  }
  s.known = true;
  return s;
}

bool sameAbsences(const ExtinctionSignature& x, const ExtinctionSignature& y) {
  if (!x.known || !y.known || x.system != y.system || x.lattice != y.lattice ||
      x.directions.size() != y.directions.size())
    return false;
  for (std::size_t i = 0; i < x.directions.size(); ++i)
    if (x.directions[i].glides != y.directions[i].glides || x.directions[i].screwPeriod != y.directions[i].screwPeriod)
      return false;
  return true;
}

std::string extinctionSymbol(std::span<const ExtinctionSignature* const> signatures) {
  if (signatures.empty()) return {};
  const ExtinctionSignature& first = *signatures.front();
  for (const ExtinctionSignature* s : signatures)
    if (!sameAbsences(first, *s)) return {};
  const SystemDirections table = directionsOf(first.system, first.lattice);
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < first.directions.size(); ++i) {
    const DirectionAbsences& d = first.directions[i];
    std::string glide = d.glides;
    if (glide.size() > 1) {
      std::string named;
      for (char letter : d.glides)
        for (const ExtinctionSignature* s : signatures)
          if (s->directions[i].namedGlide == letter && named.find(letter) == std::string::npos) named += letter;
      if (!named.empty()) glide = named;
      if (glide.size() > 1) glide = "(" + glide + ")";
    }
    const std::string screw(d.screwPeriod ? screwName(table.directions[i], d.screwPeriod) : "");
    parts.push_back(!screw.empty() && !glide.empty() ? screw + "/" + glide
                    : !screw.empty()                 ? screw
                    : !glide.empty()                 ? glide
                                                     : "-");
  }
  std::string symbol(1, first.lattice);
  if (first.system == CrystalSystem::Monoclinic) parts = {"1", parts.front(), "1"};
  for (const std::string& p : parts) symbol += " " + p;
  return symbol;
}

}  // namespace obrin
