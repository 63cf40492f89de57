#include "calc/calculation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "calc/display.hpp"
#include "calc/exchange_order.hpp"
#include "calc/reflection_set.hpp"
#include "core/textformat.hpp"

namespace obrin {

namespace {

constexpr const char* kErrorCell = "Error on cell parameters";
constexpr const char* kErrorGroup = "Error on space group";
constexpr const char* kErrorLambda = "Error. No lambda!";
constexpr const char* kErrorMiller = "Miller indices error";
constexpr const char* kBadMiller = "Bad Miller indices";
constexpr const char* kNotPossible = "Not possible reflection";
constexpr const char* kTooManySeen = "Too many reflections (1)! Decrease the Theta range...";
constexpr const char* kTooManyListed = "Too many reflections (2)! Decrease the Theta range...";
constexpr const char* kTooManyRange = "Too many reflections! Decrease the range...";

// Steps shared by the three calculations once the cell and the group choice have passed:
// the metric, the group's entry and its conditions go into the state. Empty on success.
std::string prepareGroup(CalculationState& st, const std::string& selected, const std::filesystem::path& file,
                         bool& conditionsRead, std::vector<std::string>& display) {
  // The list shows the names trimmed, so the untrimmed and trimmed names are the same.
  st.groupName = trimmed(selected);
  st.lattice = st.groupName.empty() ? ' ' : st.groupName[0];
  const auto metric = computeMetric(st.cell);
  if (!metric) return kErrorCell;
  st.reciprocal = metric->reciprocal;
  st.B = metric->B;

  SpaceGroupSymmetry group = loadSpaceGroupSymmetry(file, *st.system, st.groupName);
  if (group.entry) {
    conditionsRead = true;
    display = std::move(group.derived.display);
  }
  // A group whose conditions are only partly known would list forbidden reflections.
  if (!group.ok()) return group.warning;
  st.operators = std::move(group.entry->operators);
  st.rules = std::move(group.rules);
  return {};
}

// The checks every calculation makes first, in their order. Empty when they pass.
std::string checkCellAndGroup(const CalculationState& st, const std::optional<std::string>& selected) {
  if (st.cell.product() == 0) return kErrorCell;
  if (!selected || !st.system) return kErrorGroup;
  return {};
}

int roundToInt(double x) {
  if (!(x > -1e9 && x < 1e9)) return x > 0 ? 1000000000 : -1000000000;
  return static_cast<int>(std::lround(x));
}

// Where an index bound would exceed what a list can hold, the list could not store the
// reflection anyway.
int clampIndex(double x) {
  if (!(x >= 0)) return 0;
  return x > kMaxMillerIndex ? kMaxMillerIndex : static_cast<int>(x);
}

// Whether braggTheta(λ, d) exists, without its arcsine.
bool hasBraggAngle(double lambda, double d) { return d > 0 && std::fabs(lambda) <= 2 * d; }

struct Candidate {
  int h, k, l;
  int multiplicity;
  double d;
};

// The stored reflection of a candidate; the window keeps λ / 2d ≤ 1, so θ exists.
Reflection makeReflection(int h, int k, int l, double d, double theta, int multiplicity) {
  Reflection r;
  r.h = static_cast<std::int16_t>(h);
  r.k = static_cast<std::int16_t>(k);
  r.l = static_cast<std::int16_t>(l);
  r.d = static_cast<float>(d);
  r.theta = static_cast<float>(theta);
  r.multiplicity = multiplicity;
  return r;
}

// A matrix of the swap test: component c of the image of (h, k, l) is sign[c] times the
// index from[c]; (k, l, h) is from = {1, 2, 0}.
struct SwapMatrix {
  std::array<int, 3> from;
  std::array<int, 3> sign;
};

// Each system's matrices after the identity, in the order the merge tries them.
std::vector<SwapMatrix> swapMatrices(CrystalSystem system) {
  switch (system) {
    case CrystalSystem::Cubic:
      return {{{1, 2, 0}, {1, 1, 1}}, {{2, 0, 1}, {1, 1, 1}}, {{0, 2, 1}, {1, 1, 1}},
              {{1, 0, 2}, {1, 1, 1}}, {{2, 1, 0}, {1, 1, 1}}};
    case CrystalSystem::Rhombohedral:
      return {{{1, 2, 0}, {1, 1, 1}}, {{2, 0, 1}, {1, 1, 1}}, {{1, 0, 2}, {1, 1, 1}},
              {{2, 1, 0}, {1, 1, 1}}, {{0, 2, 1}, {1, 1, 1}}};
    case CrystalSystem::Tetragonal:
    case CrystalSystem::Hexagonal: return {{{1, 0, 2}, {1, 1, 1}}};
    case CrystalSystem::Monoclinic: return {{{0, 1, 2}, {-1, 1, -1}}};
    case CrystalSystem::Orthorhombic:
    case CrystalSystem::Triclinic: return {};
  }
  return {};
}

bool swapRelated(const std::vector<SwapMatrix>& mats, const Reflection& ri, const Reflection& rj) {
  const std::array<int, 3> i{ri.h, ri.k, ri.l}, j{rj.h, rj.k, rj.l};
  for (const SwapMatrix& m : mats) {
    std::array<int, 3> img{};
    for (int c = 0; c < 3; ++c) img[c] = m.sign[c] * j[m.from[c]];
    if (img == i || (img[0] == -i[0] && img[1] == -i[1] && img[2] == -i[2])) return true;
  }
  return false;
}

// Lines of equal d (within kCoincidentD) that the system's swap table relates become one line
// that carries the multiplicities of all, under the first one's h k l. The list is sorted by
// decreasing d, so only a short run after each line can coincide with it.
void mergeCoincidentLines(ReflectionList& list, CrystalSystem system) {
  const auto mats = swapMatrices(system);
  if (mats.empty()) return;
  std::vector<bool> removed(list.size(), false);
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    if (removed[i]) continue;
    for (std::size_t j = i + 1; j < list.size(); ++j) {
      const double di = list[i].d, dj = list[j].d;
      if (!(std::fabs(di - dj) < kCoincidentD)) break;
      if (removed[j]) continue;
      if (swapRelated(mats, list[i], list[j])) {
        removed[j] = true;
        list[i].multiplicity += list[j].multiplicity;
      }
    }
  }
  std::size_t w = 0;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (!removed[i]) list[w++] = list[i];
  list.resize(w);
}

}  // namespace

// ---- Number texts ---------------------------------------------------------------------------

std::optional<int> parseWholeNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return std::nullopt;
  return static_cast<int>(v);
}

std::optional<std::array<int, 6>> readMillerLimits(std::array<std::string, 6>& texts) {
  std::array<int, 6> v{};
  bool ok = true;
  for (int i = 0; i < 6; ++i) {
    if (texts[i].empty()) texts[i].assign(1, '0');
    const auto n = parseWholeNumber(texts[i]);
    if (!n) ok = false;
    else v[i] = *n;
  }
  if (!ok) return std::nullopt;
  if (std::all_of(v.begin(), v.end(), [](int x) { return x == 0; })) return std::nullopt;
  if (v[0] > v[1] || v[2] > v[3] || v[4] > v[5]) return std::nullopt;
  return v;
}

// ---- Index bounds ---------------------------------------------------------------------------

std::array<int, 3> completeIndexBound(const Mat3& B, double sMax) {
  // h = B⁻¹ s, so h_i = r_i · s with r_i the i-th row of B⁻¹ (the direct axis): by
  // Cauchy-Schwarz |h_i| ≤ |r_i| |s| = |r_i| / d ≤ |r_i| sMax. The factor covers rounding.
  const double det = B[0][0] * (B[1][1] * B[2][2] - B[1][2] * B[2][1]) -
                     B[0][1] * (B[1][0] * B[2][2] - B[1][2] * B[2][0]) +
                     B[0][2] * (B[1][0] * B[2][1] - B[1][1] * B[2][0]);
  if (!(sMax > 0) || !std::isfinite(det) || det == 0) return {0, 0, 0};
  // Rows of the inverse: cofactors of the columns of B.
  const Mat3 inv = {{{(B[1][1] * B[2][2] - B[1][2] * B[2][1]) / det, (B[0][2] * B[2][1] - B[0][1] * B[2][2]) / det,
                      (B[0][1] * B[1][2] - B[0][2] * B[1][1]) / det},
                     {(B[1][2] * B[2][0] - B[1][0] * B[2][2]) / det, (B[0][0] * B[2][2] - B[0][2] * B[2][0]) / det,
                      (B[0][2] * B[1][0] - B[0][0] * B[1][2]) / det},
                     {(B[1][0] * B[2][1] - B[1][1] * B[2][0]) / det, (B[0][1] * B[2][0] - B[0][0] * B[2][1]) / det,
                      (B[0][0] * B[1][1] - B[0][1] * B[1][0]) / det}}};
  std::array<int, 3> n{};
  for (int i = 0; i < 3; ++i) {
    const double len = std::sqrt(inv[i][0] * inv[i][0] + inv[i][1] * inv[i][1] + inv[i][2] * inv[i][2]);
    n[i] = clampIndex(std::floor(len * sMax * (1 + 1e-9)));
  }
  return n;
}

std::array<int, 3> classicIndexBound(const Mat3& B, double sMax) {
  std::array<int, 3> n{};
  for (int axis = 0; axis < 3; ++axis) {
    int best = std::numeric_limits<int>::min();
    for (int other = 0; other < 4; ++other) {
      std::array<int, 3> v{};
      v[axis] = 1;
      v[(axis + 1) % 3] = other & 1;
      v[(axis + 2) % 3] = (other >> 1) & 1;
      best = std::max(best, roundToInt(sMax * dSpacing(B, v[0], v[1], v[2])));
    }
    n[axis] = best + 1;
  }
  return n;
}

// ---- Powder ---------------------------------------------------------------------------------

CalcOutcome calcul(CalculationState& st, const std::optional<std::string>& selectedGroup,
                   const std::filesystem::path& positionFile, CalcMode mode,
                   std::array<std::string, 6>& millerTexts) {
  CalcOutcome out;
  out.warning = checkCellAndGroup(st, selectedGroup);
  if (!out.ok()) return out;
  if (st.lambda == 0) {
    out.warning = kErrorLambda;
    return out;
  }
  out.warning = prepareGroup(st, *selectedGroup, positionFile, out.conditionsRead, out.conditionDisplay);
  if (!out.ok()) return out;

  const double lambda = st.lambda;
  double dmin = 0, dmax = 0;
  if (mode == CalcMode::SingleCrystal) {
    const auto limits = readMillerLimits(millerTexts);
    if (!limits) {
      out.warning = kErrorMiller;
      return out;
    }
    st.millerLimits = *limits;
    dmin = lambda * kSingleCrystalDminFactor * 0.5;
    dmax = kSingleCrystalDmax;
  } else {
    // The mode list with "Bragg equation" or nothing current still has the powder panel's limits.
    if (st.thetaMin == 0) st.thetaMin = kThetaMinReplacement;
    dmin = lambda / (2 * std::sin(st.thetaMax * kRadPerDeg));
    dmax = lambda / (2 * std::sin(st.thetaMin * kRadPerDeg));
  }

  // The range always follows θ2. The classic range misses reflections of oblique cells; the
  // complete one never does, and for right angles never exceeds the classic one, which then
  // stays the range.
  const double sMax = 2 * std::sin(st.thetaMax * kRadPerDeg) / lambda;
  const auto classic = classicIndexBound(st.B, sMax);
  const auto complete = completeIndexBound(st.B, sMax);
  std::array<int, 3> n{};
  for (int i = 0; i < 3; ++i) n[i] = std::min(std::max(classic[i], complete[i]), kMaxMillerIndex);

  const SpaceGroupRules& rules = st.rules;
  const auto& ops = st.operators;
  SeenReflections seen(n[0], n[1], n[2]);
  long long seenCount = 0;  // triples appended, as the limit counts them
  std::vector<Candidate> candidates;
  std::array<int, 3> equivalents[2 * kMaxOperators];

  for (int h = n[0]; h >= -n[0]; --h)
    for (int k = n[1]; k >= -n[1]; --k)
      for (int l = n[2]; l >= 0; --l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const double d = dSpacing(st.B, h, k, l);
        if (!(dmin <= d && d <= dmax)) continue;
        // A reflection beyond 2d = λ has no Bragg angle (only odd limits let one through).
        if (!hasBraggAngle(lambda, d)) continue;
        if (isReflectionForbidden(rules, h, k, l)) continue;
        if (seen.contains(h, k, l)) continue;

        int count = 0;
        for (const SymmetryOperator& op : ops) {
          if (count + 2 > 2 * kMaxOperators) break;
          const auto& m = op.m;
          const int hp = static_cast<int>(std::lround(h * m[0][0] + k * m[1][0] + l * m[2][0]));
          const int kp = static_cast<int>(std::lround(h * m[0][1] + k * m[1][1] + l * m[2][1]));
          const int lp = static_cast<int>(std::lround(h * m[0][2] + k * m[1][2] + l * m[2][2]));
          if (isReflectionForbidden(rules, hp, kp, lp)) continue;
          equivalents[count++] = {hp, kp, lp};
          equivalents[count++] = {-hp, -kp, -lp};
        }
        if (count == 0) continue;
        // Distinct entries; the first one (the representative) keeps its place.
        auto* const first = equivalents;
        auto* const rest = equivalents + 1;
        std::sort(rest, equivalents + count);
        auto* end = std::unique(rest, equivalents + count);
        if (auto* same = std::find(rest, end, *first); same != end) end = std::move(same + 1, end, same);
        const int multiplicity = static_cast<int>(end - first);

        if (seenCount + multiplicity > kMaxSeenReflections) {
          out.warning = kTooManySeen;
          return out;
        }
        seenCount += multiplicity;
        for (int e = 0; e < multiplicity; ++e) seen.insert(equivalents[e][0], equivalents[e][1], equivalents[e][2]);

        if (static_cast<int>(candidates.size()) + 1 > kMaxListedReflections) {
          out.warning = kTooManyListed;
          return out;
        }
        const auto rep = equivalents[0];
        candidates.push_back({rep[0], rep[1], rep[2], multiplicity, d});
      }

  std::vector<double> ds(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) ds[i] = candidates[i].d;
  const auto order = exchangeSortOrder(ds);

  ReflectionList list;
  list.reserve(candidates.size());
  const bool hexagonal = *st.system == CrystalSystem::Hexagonal;
  for (std::size_t t = 0; t < order.size(); ++t) {
    const Candidate& c = candidates[order[t]];
    if (hexagonal && t > 0 && !list.empty()) {
      // k h l right after h k l has the same d in hexagonal axes: one line for both.
      const Candidate& prev = candidates[order[t - 1]];
      if (c.h == prev.k && c.k == prev.h && c.l == prev.l) {
        list.back().multiplicity += c.multiplicity;
        continue;
      }
    }
    list.push_back(makeReflection(c.h, c.k, c.l, c.d, *braggTheta(lambda, c.d), c.multiplicity));
  }
  mergeCoincidentLines(list, *st.system);
  st.list = std::move(list);
  return out;
}

// ---- Single crystal -------------------------------------------------------------------------

CalcOutcome calcul_monocristaux(CalculationState& st, const std::optional<std::string>& selectedGroup,
                                const std::filesystem::path& positionFile,
                                std::array<std::string, 6>& millerTexts) {
  CalcOutcome out;
  out.warning = checkCellAndGroup(st, selectedGroup);
  if (!out.ok()) return out;
  out.warning = prepareGroup(st, *selectedGroup, positionFile, out.conditionsRead, out.conditionDisplay);
  if (!out.ok()) return out;

  const auto limits = readMillerLimits(millerTexts);
  if (!limits) {
    out.warning = kErrorMiller;
    return out;
  }
  st.millerLimits = *limits;
  const double lambda = st.lambda;
  const double dmin = kSingleCrystalDminFactor * lambda / 2;
  const double dmax = kSingleCrystalDmax;

  // Only indices that can reach d ≥ dmin (and 2d ≥ |λ|, for a Bragg angle) are visited; without
  // a positive λ nothing bounds them.
  std::array<long long, 6> range{};
  for (int i = 0; i < 6; ++i) range[i] = (*limits)[i];
  const double dLow = std::max(dmin, std::fabs(lambda) / 2);
  if (std::isnan(dLow)) range = {0, -1, 0, -1, 0, -1};  // no d compares with it: nothing to visit
  else if (dLow > 0) {
    const auto n = completeIndexBound(st.B, 1 / dLow);
    for (int axis = 0; axis < 3; ++axis) {
      range[2 * axis] = std::max<long long>(range[2 * axis], -n[axis]);
      range[2 * axis + 1] = std::min<long long>(range[2 * axis + 1], n[axis]);
    }
  }
  for (long long v : range)
    if (v > kMaxMillerIndex || v < -kMaxMillerIndex) {
      out.warning = kErrorMiller;  // the list holds 16-bit indices
      return out;
    }

  std::vector<Candidate> gathered;
  for (long long h = range[0]; h <= range[1]; ++h)
    for (long long k = range[2]; k <= range[3]; ++k)
      for (long long l = range[4]; l <= range[5]; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const int hi = static_cast<int>(h), ki = static_cast<int>(k), li = static_cast<int>(l);
        if (isReflectionForbidden(st.rules, hi, ki, li)) continue;
        const double d = dSpacing(st.B, hi, ki, li);
        if (!(dmin <= d && d <= dmax) || !hasBraggAngle(lambda, d)) continue;
        if (static_cast<int>(gathered.size()) + 1 > kMaxSingleCrystalGathered) {
          out.warning = kTooManyRange;
          return out;
        }
        gathered.push_back({hi, ki, li, 1, d});
      }
  // Refused before the sort: a list that is not kept need not be ordered.
  if (static_cast<int>(gathered.size()) > kMaxSingleCrystalListed) {
    out.warning = kTooManyRange;
    return out;
  }

  std::vector<double> ds(gathered.size());
  for (std::size_t i = 0; i < gathered.size(); ++i) ds[i] = gathered[i].d;
  ReflectionList list;
  list.reserve(gathered.size());
  for (std::size_t i : exchangeSortOrder(ds)) {
    const Candidate& c = gathered[i];
    list.push_back(makeReflection(c.h, c.k, c.l, c.d, *braggTheta(lambda, c.d), 1));
  }
  st.list = std::move(list);
  return out;
}

// ---- Bragg equation -------------------------------------------------------------------------

BraggIndices readBraggIndices(std::array<std::string, 3>& texts) {
  BraggIndices r;
  if (texts[0].empty() && texts[1].empty() && texts[2].empty()) return r;
  std::array<std::optional<int>, 3> v;
  for (int i = 0; i < 3; ++i) {
    if (texts[i].empty()) texts[i].assign(1, '0');
    v[i] = parseWholeNumber(texts[i]);
  }
  // A field that does not read counts as 0 here: 0 0 0 gives no message whatever was typed.
  long long sum = 0;
  for (const auto& x : v) sum += x ? std::llabs(*x) : 0;
  if (sum == 0) return r;
  if (!v[0] || !v[1] || !v[2]) {
    r.status = BraggIndices::Status::Bad;
    r.warning = kBadMiller;
    return r;
  }
  r.status = BraggIndices::Status::Ok;
  r.h = *v[0];
  r.k = *v[1];
  r.l = *v[2];
  return r;
}

BraggOutcome calcul_bragg(CalculationState& st, const std::optional<std::string>& selectedGroup,
                          const std::filesystem::path& positionFile, AngleMode angleMode, int h, int k, int l) {
  BraggOutcome out;
  out.warning = checkCellAndGroup(st, selectedGroup);
  if (!out.warning.empty()) return out;
  out.warning = prepareGroup(st, *selectedGroup, positionFile, out.conditionsRead, out.conditionDisplay);
  if (!out.warning.empty()) return out;

  const double d = dSpacing(st.B, h, k, l);
  if (d == 0) return out;
  if (!(st.lambda / (2 * d) < 1)) {
    out.warning = kNotPossible;
    return out;
  }
  const auto theta = braggTheta(st.lambda, d);
  if (!theta) {  // only a negative λ below −2d
    out.warning = kNotPossible;
    return out;
  }
  out.shown = true;
  out.d = d;
  out.theta = *theta;
  out.forbidden = isReflectionForbidden(st.rules, h, k, l) != 0;
  out.dText = braggDText(d);
  out.angleText = braggAngleText(angleMode == AngleMode::TwoTheta ? 2 * *theta : *theta, out.forbidden);
  return out;
}

}  // namespace obrin
