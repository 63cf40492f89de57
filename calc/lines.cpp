#include "calc/lines.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "calc/exchange_order.hpp"
#include "calc/messages.hpp"
#include "calc/reflection_set.hpp"
#include "calc/window_spans.hpp"
#include "symmetry/allowed_reflections.hpp"

namespace obrin {

namespace {

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

bool within16Bits(long long x) { return x <= kMaxMillerIndex && x >= -kMaxMillerIndex; }

// A line as the walk finds it, before its intensity; the window keeps λ / 2d ≤ 1, so θ exists.
Reflection makeReflection(const Miller& hkl, int multiplicity, double d, double lambda) {
  Reflection r;
  r.h = static_cast<std::int16_t>(hkl.h);
  r.k = static_cast<std::int16_t>(hkl.k);
  r.l = static_cast<std::int16_t>(hkl.l);
  r.d = d;
  r.theta = *braggTheta(lambda, d);
  r.multiplicity = multiplicity;
  return r;
}

// The lines by decreasing d, in the order the program's exchange sort leaves equal ones,
// rearranged in place: a list near its capacity is never held twice.
void sortByExchangeOrder(ReflectionList& lines) {
  std::vector<std::size_t> order;
  {
    std::vector<double> ds(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) ds[i] = lines[i].d;
    order = exchangeSortOrder(ds);
  }
  // Position t takes the line at order[t]: each cycle of the permutation moved once.
  for (std::size_t start = 0; start < lines.size(); ++start) {
    if (order[start] == start) continue;
    const Reflection first = lines[start];
    std::size_t t = start;
    while (order[t] != start) {
      const std::size_t from = order[t];
      lines[t] = lines[from];
      order[t] = t;
      t = from;
    }
    lines[t] = first;
    order[t] = t;
  }
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

// The sizes |h|, |k|, |l| in increasing order, packed: a signed permutation keeps them, so
// only lines with the same key can be related by the swap table.
std::uint64_t sizesKey(const Reflection& r) {
  std::array<std::uint64_t, 3> a{static_cast<std::uint64_t>(std::abs(r.h)), static_cast<std::uint64_t>(std::abs(r.k)),
                                 static_cast<std::uint64_t>(std::abs(r.l))};
  std::sort(a.begin(), a.end());
  return a[0] << 32 | a[1] << 16 | a[2];
}

// The pairs of lines within kCoincidentD of each other in a list sorted by decreasing d: the
// lines a line coincides with follow it in one run, and each run ends no earlier than the one
// before.
std::size_t coincidentPairs(const ReflectionList& list) {
  std::size_t pairs = 0;
  for (std::size_t i = 0, end = 0; i < list.size(); ++i) {
    end = std::max(end, i + 1);
    while (end < list.size() && std::fabs(list[i].d - list[end].d) < kCoincidentD) ++end;
    pairs += end - i - 1;
  }
  return pairs;
}

// Lines of equal d (within kCoincidentD) that the system's swap table relates become one line
// that carries the multiplicities of all, under the first one's h k l. The list is sorted by
// decreasing d, so only a short run after each line can coincide with it. When the runs are
// long (a dense list), the lines are first grouped by their sizes, which a swap keeps: each
// group is then merged on its own, in list order, with the same result.
void mergeCoincidentLines(ReflectionList& list, CrystalSystem system) {
  const auto mats = swapMatrices(system);
  if (mats.empty()) return;
  const bool dense = coincidentPairs(list) > kDirectPairsPerLine * list.size();
  const auto coincides = [&](std::size_t i, std::size_t j) { return std::fabs(list[i].d - list[j].d) < kCoincidentD; };
  struct Keyed {
    std::uint64_t key;
    std::uint32_t line;
  };
  // A line can only coincide with another when its neighbour in the list does.
  std::vector<Keyed> byKey;
  for (std::size_t i = 0; i < list.size(); ++i)
    if ((i > 0 && coincides(i - 1, i)) || (i + 1 < list.size() && coincides(i, i + 1)))
      byKey.push_back({dense ? sizesKey(list[i]) : 0, static_cast<std::uint32_t>(i)});
  if (dense)
    std::sort(byKey.begin(), byKey.end(),
              [](const Keyed& a, const Keyed& b) { return a.key != b.key ? a.key < b.key : a.line < b.line; });
  std::vector<bool> removed(list.size(), false);
  for (std::size_t first = 0; first < byKey.size();) {
    std::size_t end = first + 1;
    while (end < byKey.size() && byKey[end].key == byKey[first].key) ++end;
    for (std::size_t a = first; a + 1 < end; ++a) {
      const std::size_t i = byKey[a].line;
      if (removed[i]) continue;
      for (std::size_t b = a + 1; b < end; ++b) {
        const std::size_t j = byKey[b].line;
        if (!coincides(i, j)) break;
        if (removed[j] || !swapRelated(mats, list[i], list[j])) continue;
        removed[j] = true;
        list[i].multiplicity += list[j].multiplicity;
        list[i].intensity += list[j].intensity;
      }
    }
    first = end;
  }
  std::size_t w = 0;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (!removed[i]) list[w++] = list[i];
  list.resize(w);
}

// The powder range: per axis the larger of the classic and the complete bound. The classic
// range misses reflections of oblique cells; the complete one never does, and for right angles
// never exceeds the classic one, which then stays the range.
Result<std::array<int, 3>> powderIndexRange(const Mat3& B, double sMax) {
  const auto classic = classicIndexBound(B, sMax);
  const auto extent = completeIndexExtent(B, sMax);
  // Indices the list could not hold in 16 bits: the cell is far too large for the range.
  for (double e : extent)
    if (!(e <= kMaxMillerIndex)) return fail(msg::kTooManySeen);
  std::array<int, 3> n{};
  for (int i = 0; i < 3; ++i) n[i] = std::min(std::max(classic[i], clampIndex(extent[i])), kMaxMillerIndex);
  return n;
}

// Whether the rotations ±R of a group form a group: closed under products, each with
// determinant ±1. Then the allowed images of a reflection are one class of equivalents, the
// same from each of its members.
bool laueClassCloses(const SpaceGroup& group) {
  std::vector<std::array<int, 9>> rotations;
  for (const Rotation& r : group.rotations)
    rotations.push_back({r[0][0], r[0][1], r[0][2], r[1][0], r[1][1], r[1][2], r[2][0], r[2][1], r[2][2]});
  const auto contains = [&](const std::array<int, 9>& m) {
    std::array<int, 9> minus{};
    for (int i = 0; i < 9; ++i) minus[i] = -m[i];
    return std::find(rotations.begin(), rotations.end(), m) != rotations.end() ||
           std::find(rotations.begin(), rotations.end(), minus) != rotations.end();
  };
  if (rotations.empty()) return false;
  for (const auto& a : rotations) {
    const long long det = 1LL * a[0] * (a[4] * a[8] - a[5] * a[7]) - 1LL * a[1] * (a[3] * a[8] - a[5] * a[6]) +
                          1LL * a[2] * (a[3] * a[7] - a[4] * a[6]);
    if (det != 1 && det != -1) return false;
    for (const auto& b : rotations) {
      std::array<int, 9> ab{};
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) ab[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
      if (!contains(ab)) return false;
    }
  }
  return true;
}

// The walk over the powder range. The first reflection of each class of equivalents that the
// walk finds in the window becomes a candidate, carrying the class's multiplicity. For a
// group's rotations (closed) that reflection is recognised from its ≤ 96 images alone: none of
// them comes earlier in the walk and lies in the window. Rotations that form no group fall back
// on marking the equivalents of each candidate as seen.
class PowderGather {
 public:
  PowderGather(const Mat3& B, const SpaceGroup& group, double lambda, DRange range, std::array<int, 3> n)
      : B_(B),
        group_(group),
        allowed_(group),
        imageRotations_(rotationsUpToSign(group.rotations)),
        lambda_(lambda),
        range_(range),
        n_(n) {
    if (!laueClassCloses(group)) seen_.emplace(n[0], n[1], n[2]);
    candidates_.reserve(expectedCandidates());
  }

  Result<ReflectionList> run() {
    const WindowSpans spans(B_, range_.min, range_.max);
    if (spans.rowCount(-n_[0], n_[0], -n_[1], n_[1]) > kMaxVisitedRows) return fail(msg::kTooManySeen);
    for (int h = n_[0]; h >= -n_[0]; --h) {
      const auto [kFirst, kLast] = spans.kSpan(h, -n_[1], n_[1]);
      for (int k = static_cast<int>(kLast); k >= kFirst; --k) {
        const auto row = spans.lRow(h, k, 0, n_[2]);
        for (int l = static_cast<int>(row.last); l >= row.first; --l) {
          if (l >= row.holeFirst && l <= row.holeLast) {
            l = static_cast<int>(row.holeFirst);  // the loop steps on below the hole
            continue;
          }
          if (const char* refusal = visit({h, k, l})) return fail(refusal);
        }
      }
    }
    return std::move(candidates_);
  }

 private:
  // About the number of classes in the window, from the reciprocal lattice points of its shell
  // (volume over the reciprocal cell's) and the group's rotations. Reserved at once, the list
  // is never copied as it grows; room that stays unused costs no memory.
  std::size_t expectedCandidates() const {
    const double reciprocalVolume = std::fabs(B_[0][0] * (B_[1][1] * B_[2][2] - B_[1][2] * B_[2][1]) -
                                              B_[0][1] * (B_[1][0] * B_[2][2] - B_[1][2] * B_[2][0]) +
                                              B_[0][2] * (B_[1][0] * B_[2][1] - B_[1][1] * B_[2][0]));
    const double sMax = 1 / range_.min, sMin = 1 / range_.max;
    const double shell = 4.0 / 3.0 * std::numbers::pi * (sMax * sMax * sMax - sMin * sMin * sMin);
    const double points = shell / reciprocalVolume;
    const double classes = 1.1 * points / static_cast<double>(std::max<std::size_t>(1, group_.rotations.size())) + 16;
    // A window turned over (its least d above its greatest) holds nothing; NaN neither.
    if (!(classes > 0)) return 0;
    if (!(classes < kMaxListedReflections)) return kMaxListedReflections;
    return static_cast<std::size_t>(classes);
  }

  // hkl's d when the walk lists hkl on its own (in the window), else nothing.
  std::optional<double> dInWindow(const Miller& hkl) const {
    if (hkl.isOrigin()) return std::nullopt;
    const double d = dSpacing(B_, hkl.h, hkl.k, hkl.l);
    // A reflection beyond 2d = λ has no Bragg angle (only odd limits let one through).
    if (range_.min <= d && d <= range_.max && hasBraggAngle(lambda_, d)) return d;
    return std::nullopt;
  }
  bool inWindow(const Miller& hkl) const { return dInWindow(hkl).has_value(); }
  bool inRange(const Miller& m) const {
    return m.l >= 0 && m.l <= n_[2] && m.h >= -n_[0] && m.h <= n_[0] && m.k >= -n_[1] && m.k <= n_[1];
  }
  // The walk runs h, then k, then l downwards.
  static bool walkedBefore(const Miller& a, const Miller& b) {
    return a.h != b.h ? a.h > b.h : a.k != b.k ? a.k > b.k : a.l > b.l;
  }

  // Whether an equivalent of hkl came earlier in the walk and was listed there.
  bool earlierEquivalent(const Miller& hkl) const {
    // R and −R give the same images ±h R: one of each pair is enough.
    for (const RotationUpToSign& p : imageRotations_) {
      const Miller m = imageOf(p.r, hkl);
      for (const Miller& e : {m, -m})
        if (walkedBefore(e, hkl) && inRange(e) && allowed_(e) && inWindow(e)) return true;
    }
    return false;
  }

  // The images of an allowed h k l under the identity alone, as equivalentImagesWith finds them.
  int friedelPair(const Miller& hkl) {
    equivalents_[0] = hkl;
    equivalents_[1] = -hkl;
    return 2;
  }

  // A refusal, or null.
  const char* visit(const Miller& hkl) {
    const auto d = dInWindow(hkl);
    if (!d || !allowed_(hkl)) return nullptr;
    if (seen_ ? seen_->contains(hkl.h, hkl.k, hkl.l) : earlierEquivalent(hkl)) return nullptr;
    const int multiplicity =
        pairOnly_ ? friedelPair(hkl) : equivalentImagesWith(imageRotations_, hkl, equivalents_, allowed_);
    if (multiplicity == 0) return nullptr;
    if (seenCount_ + multiplicity > kMaxSeenReflections) return msg::kTooManySeen;
    seenCount_ += multiplicity;
    if (seen_)
      for (int e = 0; e < multiplicity; ++e) seen_->insert(equivalents_[e].h, equivalents_[e].k, equivalents_[e].l);
    if (static_cast<int>(candidates_.size()) + 1 > kMaxListedReflections) return msg::kTooManyListed;
    candidates_.push_back(makeReflection(equivalents_[0], multiplicity, *d, lambda_));
    return nullptr;
  }

  const Mat3 B_;  // a copy: the loops read it for every index
  const SpaceGroup& group_;
  const AllowedReflections allowed_;
  const std::vector<RotationUpToSign> imageRotations_;
  const bool pairOnly_ =
      imageRotations_.size() == 1 && imageRotations_[0].r == Rotation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  double lambda_;
  DRange range_;
  std::array<int, 3> n_;
  std::optional<SeenReflections> seen_;
  long long seenCount_ = 0;  // equivalents of the candidates, as the limit counts them
  ReflectionList candidates_;
  Miller equivalents_[2 * kMaxOperators];
};

// The candidates in display order, with their intensities.
ReflectionList powderList(ReflectionList lines, CrystalSystem system, const LineIntensity& intensity) {
  auto intensityOf = [&](const Reflection& r) { return intensity ? intensity(r) : 0.0; };
  sortByExchangeOrder(lines);
  const bool hexagonal = system == CrystalSystem::Hexagonal;
  std::size_t kept = 0;
  Miller previous;
  for (std::size_t t = 0; t < lines.size(); ++t) {
    const Reflection c = lines[t];
    // k h l right after h k l has the same d in hexagonal axes: one line for both.
    const bool swapOfPrevious = hexagonal && t > 0 && c.h == previous.k && c.k == previous.h && c.l == previous.l;
    previous = c.hkl();
    if (swapOfPrevious && kept > 0) {
      lines[kept - 1].multiplicity += c.multiplicity;
      lines[kept - 1].intensity += intensityOf(c);
      continue;
    }
    lines[kept] = c;
    lines[kept].intensity = intensityOf(c);
    ++kept;
  }
  lines.resize(kept);
  mergeCoincidentLines(lines, system);
  return lines;
}

Result<ReflectionList> powderLinesIn(const Metric& metric, const SpaceGroup& group, double lambda, DRange range,
                                     double thetaMax, const LineIntensity& intensity) {
  const double sMax = 2 * std::sin(thetaMax * kRadPerDeg) / lambda;
  const auto n = powderIndexRange(metric.B, sMax);
  if (!n) return n.failure();
  auto candidates = PowderGather(metric.B, group, lambda, range, *n).run();
  if (!candidates) return candidates.failure();
  return powderList(std::move(*candidates), group.system, intensity);
}

// The λ checks of every calculation.
Result<void> checkLambda(double lambda) {
  if (lambda == 0) return fail(msg::kErrorLambda);
  // A negative wavelength would give negative angles, an infinite one nothing at all.
  if (!usableLambda(lambda)) return fail(msg::kBadLambda);
  return {};
}

}  // namespace

bool usableLambda(double lambda) { return std::isfinite(lambda) && lambda >= 0; }

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

Result<ReflectionList> powderLines(const Metric& metric, const SpaceGroup& group, double lambda, ThetaWindow window,
                                   const LineIntensity& intensity) {
  if (auto ok = checkLambda(lambda); !ok) return ok.failure();
  if (window.min == 0) window.min = kThetaMinReplacement;
  // Limits that hold no window would list nothing without saying why; a negative angle
  // would even turn the window over.
  if (!(window.min > 0 && window.min <= 90)) return fail(msg::kBadTheta1);
  if (!(window.max <= 90)) return fail(std::isfinite(window.max) ? msg::kTheta2Above90 : msg::kBadTheta2);
  if (!(window.max >= window.min)) return fail(msg::kBadTheta2);
  const DRange range{lambda / (2 * std::sin(window.max * kRadPerDeg)), lambda / (2 * std::sin(window.min * kRadPerDeg))};
  return powderLinesIn(metric, group, lambda, range, window.max, intensity);
}

Result<ReflectionList> powderLinesInDRange(const Metric& metric, const SpaceGroup& group, double lambda,
                                           DRange range, double thetaMax, const LineIntensity& intensity) {
  if (auto ok = checkLambda(lambda); !ok) return ok.failure();
  return powderLinesIn(metric, group, lambda, range, thetaMax, intensity);
}

// ---- Single crystal -------------------------------------------------------------------------

namespace {

// Only indices that can reach d ≥ dmin (and 2d ≥ |λ|, for a Bragg angle) are visited; without
// a positive λ nothing bounds them. Refused when they reach beyond 16 bits.
Result<std::array<long long, 6>> reachableBox(const Mat3& B, const IndexBox& box, double lambda, double dmin) {
  std::array<long long, 6> range = {box.min.h, box.max.h, box.min.k, box.max.k, box.min.l, box.max.l};
  const double dLow = std::max(dmin, std::fabs(lambda) / 2);
  if (std::isnan(dLow)) range = {0, -1, 0, -1, 0, -1};  // no d compares with it: nothing to visit
  else if (dLow > 0) {
    // Unclamped: reachable indices beyond 16 bits must be refused below, not cut off.
    const auto extent = completeIndexExtent(B, 1 / dLow);
    for (int axis = 0; axis < 3; ++axis) {
      const double e = std::min(extent[axis], 4.0 * kMaxMillerIndex);
      range[2 * axis] = std::max<long long>(range[2 * axis], static_cast<long long>(-e));
      range[2 * axis + 1] = std::min<long long>(range[2 * axis + 1], static_cast<long long>(e));
    }
  }
  for (long long v : range)
    if (!within16Bits(v)) return fail(msg::kErrorMiller);  // the list holds 16-bit indices
  return range;
}

Result<ReflectionList> gatherSingleCrystal(const Mat3& B, const SpaceGroup& group, double lambda,
                                           const std::array<long long, 6>& range, DRange window) {
  ReflectionList gathered;
  const AllowedReflections allowed(group);
  const WindowSpans spans(B, window.min, window.max);
  if (spans.rowCount(range[0], range[1], range[2], range[3]) > kMaxVisitedRows) return fail(msg::kTooManyRange);
  for (long long h = range[0]; h <= range[1]; ++h) {
    const auto [kFirst, kLast] = spans.kSpan(h, range[2], range[3]);
    for (long long k = kFirst; k <= kLast; ++k) {
      const auto row = spans.lRow(h, k, range[4], range[5]);
      for (long long l = row.first; l <= row.last; ++l) {
        if (l >= row.holeFirst && l <= row.holeLast) {
          l = row.holeLast;  // the loop steps on above the hole
          continue;
        }
        const Miller hkl{static_cast<int>(h), static_cast<int>(k), static_cast<int>(l)};
        if (!allowed(hkl)) continue;
        const double d = dSpacing(B, hkl.h, hkl.k, hkl.l);
        if (!(window.min <= d && d <= window.max) || !hasBraggAngle(lambda, d)) continue;
        if (static_cast<int>(gathered.size()) + 1 > kMaxSingleCrystalGathered) return fail(msg::kTooManyRange);
        gathered.push_back(makeReflection(hkl, 1, d, lambda));
      }
    }
  }
  return gathered;
}

}  // namespace

Result<ReflectionList> singleCrystalLines(const Metric& metric, const SpaceGroup& group, double lambda,
                                          const IndexBox& box, const LineIntensity& intensity) {
  // A negative wavelength would give negative angles.
  if (!usableLambda(lambda)) return fail(msg::kBadLambda);
  const DRange window{kSingleCrystalDminFactor * lambda / 2, kSingleCrystalDmax};
  const auto range = reachableBox(metric.B, box, lambda, window.min);
  if (!range) return range.failure();
  auto list = gatherSingleCrystal(metric.B, group, lambda, *range, window);
  if (!list) return list.failure();
  // Refused before the sort: a list that is not kept need not be ordered.
  if (static_cast<int>(list->size()) > kMaxSingleCrystalListed) return fail(msg::kTooManyRange);
  sortByExchangeOrder(*list);
  if (intensity)
    for (Reflection& r : *list) r.intensity = intensity(r);
  return std::move(*list);
}

// ---- Bragg equation -------------------------------------------------------------------------

Result<BraggLine> braggLine(const Metric& metric, const SpaceGroup& group, double lambda, const Miller& hkl) {
  if (!usableLambda(lambda)) return fail(msg::kBadLambda);
  // Beyond 16 bits the reflection test's sums of indices could overflow.
  if (!within16Bits(hkl.h) || !within16Bits(hkl.k) || !within16Bits(hkl.l)) return fail(msg::kBadMiller);
  const double d = dSpacing(metric.B, hkl.h, hkl.k, hkl.l);
  if (d == 0 || !(lambda / (2 * d) < 1)) return fail(msg::kNotPossible);
  const auto theta = braggTheta(lambda, d);
  if (!theta) return fail(msg::kNotPossible);  // only a negative λ below −2d
  return BraggLine{d, *theta, !allowed(group, hkl)};
}

}  // namespace obrin
