#include "calc/calculation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

#include "calc/display.hpp"
#include "calc/exchange_order.hpp"
#include "calc/reflection_set.hpp"
#include "core/textformat.hpp"

namespace obrin {

namespace {

constexpr const char* kErrorCell = "Error on cell parameters";
constexpr const char* kErrorGroup = "Error on space group";
constexpr const char* kErrorLambda = "Error. No lambda!";
constexpr const char* kBadLambda = " Error on lambda";
constexpr const char* kBadTheta1 = " Error on theta1";
constexpr const char* kBadTheta2 = " Error on theta2";
constexpr const char* kTheta2Above90 = "Error on theta2 (>90)";
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

// A wavelength the calculations can use: 0 is the separate "no lambda" case.
bool usableLambda(double lambda) { return std::isfinite(lambda) && lambda >= 0; }

// The part of each index row that can fall inside a d window [dmin, dmax]. With the metric
// tensor G = BᵀB, |s|² = Q(h, k, l) = (h k l) G (h k l)ᵀ, and d = 1/|s|: a row along l meets the
// ellipsoid Q ≤ 1/dmin² in one interval, and the hole Q < 1/dmax² (d above dmax) in another,
// each the roots of a quadratic in l; the k rows of one h that meet the ellipsoid at all come
// from the same quadratic after minimising over l. The spans are widened (the hole narrowed) by
// a margin far beyond rounding, and every reflection is still tested on its own d, so the
// pruning only skips indices that cannot be listed: the list is exactly the unpruned one, but a
// huge cell or a narrow window no longer visits billions of empty rows.
class WindowSpans {
 public:
  WindowSpans(const Mat3& B, double dmin, double dmax) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) G_[i][j] = B[0][i] * B[0][j] + B[1][i] * B[1][j] + B[2][i] * B[2][j];
    outer_ = dmin > 0 && std::isfinite(1 / (dmin * dmin)) ? 1 / (dmin * dmin) : -1;
    inner_ = dmax > 0 && std::isfinite(dmax) ? 1 / (dmax * dmax) : -1;
    // Without a positive curvature along l (or k after the minimum over l) nothing is pruned.
    usable_ = G_[2][2] > 0 && std::isfinite(G_[2][2]);
    if (usable_) {
      a2_ = G_[1][1] - G_[1][2] * G_[1][2] / G_[2][2];
      b2_ = G_[0][1] - G_[0][2] * G_[1][2] / G_[2][2];
      c2_ = G_[0][0] - G_[0][2] * G_[0][2] / G_[2][2];
    }
  }

  // The k of [lo, hi] whose rows may reach d ≥ dmin for this h; lo > hi when none does.
  std::pair<long long, long long> kSpan(long long h, long long lo, long long hi) const {
    if (!usable_ || outer_ < 0 || !(a2_ > 0)) return {lo, hi};
    double first = 0, last = 0;
    if (!roots(a2_, 2 * b2_ * h, c2_ * h * h - outer_, first, last)) return {1, 0};
    return clip(first, last, lo, hi);
  }

  // The rows (h, k) of the box that the loops will visit.
  long long rowCount(long long hFirst, long long hLast, long long kFirst, long long kLast) const {
    long long rows = 0;
    for (long long h = hFirst; h <= hLast; ++h) {
      const auto [first, last] = kSpan(h, kFirst, kLast);
      if (last >= first) rows += last - first + 1;
    }
    return rows;
  }

  struct Row {
    long long first, last;          // the l that may lie in the window
    long long holeFirst, holeLast;  // inside them, the l that surely lie above dmax
  };
  Row lRow(long long h, long long k, long long lo, long long hi) const {
    Row row{lo, hi, 1, 0};
    if (!usable_) return row;
    const double b = 2 * (G_[0][2] * h + G_[1][2] * k);
    const double c = G_[0][0] * h * h + G_[1][1] * k * k + 2 * G_[0][1] * h * k;
    double first = 0, last = 0;
    if (outer_ >= 0) {
      if (!roots(G_[2][2], b, c - outer_, first, last)) return {1, 0, 1, 0};
      std::tie(row.first, row.last) = clip(first, last, lo, hi);
    }
    if (inner_ >= 0 && roots(G_[2][2], b, c - inner_, first, last)) {
      // Clamped to the row before any conversion: the roots of an oblique cell may lie far
      // beyond what an index (or even a long long) holds.
      const double m = margin(first, last);
      const double holeFirst = std::max(std::ceil(first + m), static_cast<double>(lo));
      const double holeLast = std::min(std::floor(last - m), static_cast<double>(hi));
      if (holeFirst <= holeLast) {
        row.holeFirst = static_cast<long long>(holeFirst);
        row.holeLast = static_cast<long long>(holeLast);
      }
    }
    return row;
  }

 private:
  static double margin(double first, double last) {
    return 2 + 1e-6 * (std::fabs(first) + std::fabs(last));
  }
  // The real x with a x² + b x + c ≤ 0 (a > 0); false when there is none.
  static bool roots(double a, double b, double c, double& first, double& last) {
    const double disc = b * b - 4 * a * c;
    if (!std::isfinite(disc)) {
      first = -std::numeric_limits<double>::infinity();
      last = std::numeric_limits<double>::infinity();
      return true;  // no safe answer: keep everything
    }
    if (disc < 0) {
      // Tangent rows may come out slightly negative: keep the row when it is that close.
      if (disc < -1e-9 * (b * b + 4 * a * std::fabs(c))) return false;
      first = last = -b / (2 * a);
      return true;
    }
    const double root = std::sqrt(disc);
    first = (-b - root) / (2 * a);
    last = (-b + root) / (2 * a);
    return true;
  }
  // [first, last] widened by the margin and cut to [lo, hi]; {1, 0} when nothing is left.
  static std::pair<long long, long long> clip(double first, double last, long long lo, long long hi) {
    if (std::isnan(first) || std::isnan(last)) return {lo, hi};
    const double m = margin(first, last);
    const double f = std::floor(first - m), l = std::ceil(last + m);
    if (f > static_cast<double>(hi) || l < static_cast<double>(lo)) return {1, 0};
    // Both now lie inside [lo, hi] or on its far side, so the conversions are exact.
    const long long a = f > static_cast<double>(lo) ? static_cast<long long>(f) : lo;
    const long long b = l < static_cast<double>(hi) ? static_cast<long long>(l) : hi;
    return {a, b};
  }

  Mat3 G_{};
  double outer_ = -1, inner_ = -1;
  bool usable_ = false;
  double a2_ = 0, b2_ = 0, c2_ = 0;  // Q minimised over l: a2 k² + 2 b2 h k + c2 h²
};

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

// m·|F|²·LP of a line when a structure is loaded, else 0; lines that merge add theirs.
double intensityOf(const CalculationState& st, const Reflection& r, double d) {
  if (!st.structure) return 0;
  return lineIntensity(*st.structure, r.h, r.k, r.l, d, r.theta, r.multiplicity, st.monochromatorTwoTheta);
}

void normaliseIntensities(ReflectionList& list) {
  std::vector<double> v(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) v[i] = list[i].intensity;
  normaliseToHundred(v);
  for (std::size_t i = 0; i < list.size(); ++i) list[i].intensity = v[i];
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
        list[i].intensity += list[j].intensity;
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
  const auto extent = completeIndexExtent(B, sMax);
  return {clampIndex(extent[0]), clampIndex(extent[1]), clampIndex(extent[2])};
}

std::array<double, 3> completeIndexExtent(const Mat3& B, double sMax) {
  // h = B⁻¹ s, so h_i = r_i · s with r_i the i-th row of B⁻¹ (the direct axis): by
  // Cauchy-Schwarz |h_i| ≤ |r_i| |s| = |r_i| / d ≤ |r_i| sMax. The factor covers rounding.
  const double det = B[0][0] * (B[1][1] * B[2][2] - B[1][2] * B[2][1]) -
                     B[0][1] * (B[1][0] * B[2][2] - B[1][2] * B[2][0]) +
                     B[0][2] * (B[1][0] * B[2][1] - B[1][1] * B[2][0]);
  if (!(sMax > 0) || !std::isfinite(det) || det == 0) return {0, 0, 0};
  if (std::isinf(sMax)) return {sMax, sMax, sMax};
  // Rows of the inverse: cofactors of the columns of B.
  const Mat3 inv = {{{(B[1][1] * B[2][2] - B[1][2] * B[2][1]) / det, (B[0][2] * B[2][1] - B[0][1] * B[2][2]) / det,
                      (B[0][1] * B[1][2] - B[0][2] * B[1][1]) / det},
                     {(B[1][2] * B[2][0] - B[1][0] * B[2][2]) / det, (B[0][0] * B[2][2] - B[0][2] * B[2][0]) / det,
                      (B[0][2] * B[1][0] - B[0][0] * B[1][2]) / det},
                     {(B[1][0] * B[2][1] - B[1][1] * B[2][0]) / det, (B[0][1] * B[2][0] - B[0][0] * B[2][1]) / det,
                      (B[0][0] * B[1][1] - B[0][1] * B[1][0]) / det}}};
  std::array<double, 3> n{};
  for (int i = 0; i < 3; ++i) {
    const double len = std::sqrt(inv[i][0] * inv[i][0] + inv[i][1] * inv[i][1] + inv[i][2] * inv[i][2]);
    n[i] = std::floor(len * sMax * (1 + 1e-9));
    if (std::isnan(n[i])) n[i] = std::numeric_limits<double>::infinity();  // safer than 0
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
  // A negative wavelength would give negative angles, an infinite one nothing at all.
  if (!usableLambda(st.lambda)) {
    out.warning = kBadLambda;
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
    // Limits that hold no window would list nothing without saying why; a negative angle
    // would even turn the window over.
    if (!(st.thetaMin > 0 && st.thetaMin <= 90)) {
      out.warning = kBadTheta1;
      return out;
    }
    if (!(st.thetaMax <= 90)) {
      out.warning = std::isfinite(st.thetaMax) ? kTheta2Above90 : kBadTheta2;
      return out;
    }
    if (!(st.thetaMax >= st.thetaMin)) {
      out.warning = kBadTheta2;
      return out;
    }
    dmin = lambda / (2 * std::sin(st.thetaMax * kRadPerDeg));
    dmax = lambda / (2 * std::sin(st.thetaMin * kRadPerDeg));
  }

  // The range always follows θ2. The classic range misses reflections of oblique cells; the
  // complete one never does, and for right angles never exceeds the classic one, which then
  // stays the range.
  const double sMax = 2 * std::sin(st.thetaMax * kRadPerDeg) / lambda;
  const auto classic = classicIndexBound(st.B, sMax);
  const auto extent = completeIndexExtent(st.B, sMax);
  // Indices the list could not hold in 16 bits: the cell is far too large for the range.
  for (double e : extent)
    if (!(e <= kMaxMillerIndex)) {
      out.warning = kTooManySeen;
      return out;
    }
  const std::array<int, 3> complete = {clampIndex(extent[0]), clampIndex(extent[1]), clampIndex(extent[2])};
  std::array<int, 3> n{};
  for (int i = 0; i < 3; ++i) n[i] = std::min(std::max(classic[i], complete[i]), kMaxMillerIndex);

  const SpaceGroupRules& rules = st.rules;
  const auto& ops = st.operators;
  SeenReflections seen(n[0], n[1], n[2]);
  long long seenCount = 0;  // triples appended, as the limit counts them
  std::vector<Candidate> candidates;
  std::array<int, 3> equivalents[2 * kMaxOperators];

  const WindowSpans spans(st.B, dmin, dmax);
  if (spans.rowCount(-n[0], n[0], -n[1], n[1]) > kMaxVisitedRows) {
    out.warning = kTooManySeen;
    return out;
  }
  for (int h = n[0]; h >= -n[0]; --h) {
    const auto [kFirst, kLast] = spans.kSpan(h, -n[1], n[1]);
    for (int k = static_cast<int>(kLast); k >= kFirst; --k) {
      const auto row = spans.lRow(h, k, 0, n[2]);
      for (int l = static_cast<int>(row.last); l >= row.first; --l) {
        if (l >= row.holeFirst && l <= row.holeLast) {
          l = static_cast<int>(row.holeFirst);  // the loop steps on below the hole
          continue;
        }
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
    }
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
        list.back().intensity +=
            intensityOf(st, makeReflection(c.h, c.k, c.l, c.d, *braggTheta(lambda, c.d), c.multiplicity), c.d);
        continue;
      }
    }
    list.push_back(makeReflection(c.h, c.k, c.l, c.d, *braggTheta(lambda, c.d), c.multiplicity));
    list.back().intensity = intensityOf(st, list.back(), c.d);
  }
  mergeCoincidentLines(list, *st.system);
  if (st.structure) normaliseIntensities(list);
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
  // A negative wavelength would give negative angles.
  if (!usableLambda(st.lambda)) {
    out.warning = kBadLambda;
    return out;
  }
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
    // Unclamped: reachable indices beyond 16 bits must be refused below, not cut off.
    const auto extent = completeIndexExtent(st.B, 1 / dLow);
    for (int axis = 0; axis < 3; ++axis) {
      const double e = std::min(extent[axis], 4.0 * kMaxMillerIndex);
      range[2 * axis] = std::max<long long>(range[2 * axis], static_cast<long long>(-e));
      range[2 * axis + 1] = std::min<long long>(range[2 * axis + 1], static_cast<long long>(e));
    }
  }
  for (long long v : range)
    if (v > kMaxMillerIndex || v < -kMaxMillerIndex) {
      out.warning = kErrorMiller;  // the list holds 16-bit indices
      return out;
    }

  std::vector<Candidate> gathered;
  const WindowSpans spans(st.B, dmin, dmax);
  if (spans.rowCount(range[0], range[1], range[2], range[3]) > kMaxVisitedRows) {
    out.warning = kTooManyRange;
    return out;
  }
  for (long long h = range[0]; h <= range[1]; ++h) {
    const auto [kFirst, kLast] = spans.kSpan(h, range[2], range[3]);
    for (long long k = kFirst; k <= kLast; ++k) {
      const auto row = spans.lRow(h, k, range[4], range[5]);
      for (long long l = row.first; l <= row.last; ++l) {
        if (l >= row.holeFirst && l <= row.holeLast) {
          l = row.holeLast;  // the loop steps on above the hole
          continue;
        }
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
    }
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
    list.back().intensity = intensityOf(st, list.back(), c.d);
  }
  if (st.structure) normaliseIntensities(list);
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
  // Beyond 16 bits the reflection test's sums of indices could overflow, and no list of the
  // program holds such an index either.
  const auto tooLarge = [](const std::optional<int>& x) { return x && (*x > kMaxMillerIndex || *x < -kMaxMillerIndex); };
  if (!v[0] || !v[1] || !v[2] || tooLarge(v[0]) || tooLarge(v[1]) || tooLarge(v[2])) {
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
  if (!usableLambda(st.lambda)) {
    out.warning = kBadLambda;
    return out;
  }
  for (int x : {h, k, l})
    if (x > kMaxMillerIndex || x < -kMaxMillerIndex) {
      out.warning = kBadMiller;
      return out;
    }
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
