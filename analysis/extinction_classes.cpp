#include "analysis/extinction_classes.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <tuple>

#include "calc/lines.hpp"
#include "symmetry/allowed_reflections.hpp"

namespace obrin {

Result<GroupCatalogue> loadGroupCatalogue(const std::vector<std::pair<CrystalSystem, std::filesystem::path>>& files) {
  GroupCatalogue catalogue;
  std::string firstError;
  for (const auto& [system, file] : files) {
    SpaceGroupFileRead read = loadAllSpaceGroups(file, system);
    if (!read.error.empty()) {
      catalogue.notes.push_back(read.error);
      if (firstError.empty()) firstError = read.error;
    }
    for (std::string& refused : read.refused) catalogue.notes.push_back(std::move(refused));
    for (SpaceGroup& g : read.groups) {
      catalogue.signatures.push_back(extinctionSignature(g));
      catalogue.groups.push_back(std::move(g));
    }
  }
  if (catalogue.groups.empty())
    return fail(!firstError.empty() ? firstError
                : catalogue.notes.empty() ? std::string("No space group to rank")
                                          : catalogue.notes.front());
  return catalogue;
}

std::vector<CrystalSystem> systemsOfMetric(const UnitCell& cell) {
  std::vector<CrystalSystem> systems;
  const auto p = cell.params();
  for (const CrystalSystemInfo& info : kCrystalSystems) {
    bool keeps = true;
    for (int i = 0; i < 6 && keeps; ++i) {
      const CellParameterRule& rule = info.cell[i];
      const double tolerance = i < kAlpha ? info.lengthTolerance : info.angleTolerance;
      if (rule.kind == CellParameterRule::Tied) keeps = std::abs(p[i] - p[rule.source]) < tolerance;
      if (rule.kind == CellParameterRule::Fixed) keeps = std::abs(p[i] - rule.degrees) < tolerance;
    }
    if (keeps) systems.push_back(info.system);
  }
  return systems;
}

namespace {

struct Spot {
  double d;
  Miller hkl;
};

// The reflection a line is named by: non-negative indices first, then the largest.
bool namesBetter(const Miller& x, const Miller& y) {
  const auto negatives = [](const Miller& m) { return (m.h < 0) + (m.k < 0) + (m.l < 0); };
  return std::make_tuple(negatives(x), -x.h, -x.k, -x.l) < std::make_tuple(negatives(y), -y.h, -y.k, -y.l);
}

// One of each Friedel pair: the half with l > 0, k > 0 at l = 0, h > 0 at k = l = 0.
bool inHalfSpace(int h, int k, int l) { return l > 0 || (l == 0 && (k > 0 || (k == 0 && h > 0))); }

}  // namespace

Result<LatticeLines> latticeLines(const Metric& metric, const Diffractometer& instrument, double twoThetaMax,
                                  const std::atomic<bool>* cancel) {
  if (!usableLambda(instrument.lambda)) return fail("Error. No lambda!");
  // Lines the zero shift and the displacement bring below the limit come from a little above it.
  const double reach = std::abs(instrument.zero) +
                       (instrument.radius > 0 ? 2 * std::abs(instrument.displacement) / instrument.radius * kDegPerRad : 0);
  const double thetaTop = std::min(90.0, (twoThetaMax + reach) / 2 + 0.5);
  const double sMax = 2 * std::sin(thetaTop * kRadPerDeg) / instrument.lambda;
  const auto extent = completeIndexExtent(metric.B, sMax);
  const double boxSize = (2 * extent[0] + 1) * (2 * extent[1] + 1) * (extent[2] + 1);
  if (!(boxSize < 8.0 * kMaxRankedReflections))
    return fail("The cell and the angle range hold more than " + std::to_string(kMaxRankedReflections) +
                " reflections to rank");
  const auto bound = completeIndexBound(metric.B, sMax);
  std::vector<Spot> spots;
  const Mat3& B = metric.B;
  for (int h = -bound[0]; h <= bound[0] && !(cancel && *cancel); ++h)
    for (int k = -bound[1]; k <= bound[1]; ++k)
      for (int l = 0; l <= bound[2]; ++l) {
        if (!inHalfSpace(h, k, l)) continue;
        const double x = B[0][0] * h + B[0][1] * k + B[0][2] * l, y = B[1][1] * k + B[1][2] * l, z = B[2][2] * l;
        const double s2 = x * x + y * y + z * z;
        if (s2 > sMax * sMax) continue;
        if (spots.size() == static_cast<std::size_t>(kMaxRankedReflections))
          return fail("The cell and the angle range hold more than " + std::to_string(kMaxRankedReflections) +
                      " reflections to rank");
        spots.push_back({1 / std::sqrt(s2), {h, k, l}});
      }
  std::sort(spots.begin(), spots.end(), [](const Spot& x, const Spot& y) { return x.d > y.d; });

  LatticeLines out;
  out.members.reserve(spots.size());
  for (std::size_t i = 0; i < spots.size();) {
    // Spacings as close as the powder list's coincident lines are one line (the program's
    // degree factor leaves right angles a few 1e-6 off, and equivalent spacings with them); a
    // near coincidence stays two lines.
    std::size_t j = i + 1;
    while (j < spots.size() && spots[i].d - spots[j].d < kCoincidentD) ++j;
    const auto position = lineTwoTheta(spots[i].d, instrument);
    if (position && *position <= twoThetaMax) {
      LatticeLine line;
      line.twoTheta = *position;
      line.d = spots[i].d;
      line.first = static_cast<int>(out.members.size());
      line.count = static_cast<int>(j - i);
      for (std::size_t m = i; m < j; ++m) out.members.push_back(spots[m].hkl);
      std::sort(out.members.begin() + line.first, out.members.end(), namesBetter);
      out.lines.push_back(line);
    }
    i = j;
  }
  // A displacement can reorder lines of nearly equal spacing: keep them by position.
  std::stable_sort(out.lines.begin(), out.lines.end(),
                   [](const LatticeLine& x, const LatticeLine& y) { return x.twoTheta < y.twoTheta; });
  return out;
}

AllowedLineTable allowedLineTable(const GroupCatalogue& catalogue, const LatticeLines& lattice,
                                  const std::atomic<bool>* cancel) {
  AllowedLineTable out;
  out.lineCount = static_cast<int>(lattice.lines.size());
  const std::size_t words = (lattice.lines.size() + 63) / 64;
  out.rows.reserve(catalogue.groups.size());
  for (const SpaceGroup& group : catalogue.groups) {
    if (cancel && *cancel) break;
    const AllowedReflections test(group);
    std::vector<std::uint64_t> row(words, 0);
    for (int i = 0; i < out.lineCount; ++i) {
      const LatticeLine& line = lattice.lines[i];
      for (int m = line.first; m < line.first + line.count; ++m)
        if (test(lattice.members[m])) {
          row[i >> 6] |= std::uint64_t{1} << (i & 63);
          break;
        }
    }
    out.rows.push_back(std::move(row));
  }
  return out;
}

namespace {

// The bits of lines [begin, end) of a row, from bit 0 on.
std::vector<std::uint64_t> rangeBits(const std::vector<std::uint64_t>& row, int begin, int end) {
  std::vector<std::uint64_t> bits((std::max(end - begin, 0) + 63) / 64, 0);
  for (int i = begin; i < end; ++i)
    if ((row[i >> 6] >> (i & 63)) & 1) bits[(i - begin) >> 6] |= std::uint64_t{1} << ((i - begin) & 63);
  return bits;
}

int bitCount(const std::vector<std::uint64_t>& bits) {
  int n = 0;
  for (std::uint64_t w : bits) n += std::popcount(w);
  return n;
}

// The symbol of the class's groups of its first system: a lower system's groups that join a
// class on a lattice of higher metric keep the higher one's name.
std::string classSymbol(const GroupCatalogue& catalogue, const std::vector<int>& groups) {
  std::vector<const ExtinctionSignature*> signatures;
  const CrystalSystem system = catalogue.groups[groups.front()].system;
  for (int g : groups)
    if (catalogue.groups[g].system == system) signatures.push_back(&catalogue.signatures[g]);
  return extinctionSymbol(signatures);
}

}  // namespace

std::vector<ExtinctionClass> extinctionClasses(const GroupCatalogue& catalogue, const AllowedLineTable& allowed, int begin,
                                               int end) {
  std::map<std::vector<std::uint64_t>, std::size_t> byLines;
  std::vector<ExtinctionClass> classes;
  for (std::size_t g = 0; g < catalogue.groups.size(); ++g) {
    std::vector<std::uint64_t> key = rangeBits(allowed.rows[g], begin, end);
    const auto [at, added] = byLines.try_emplace(key, classes.size());
    if (added) {
      ExtinctionClass c;
      c.allowedInRange = bitCount(key);
      classes.push_back(std::move(c));
    }
    classes[at->second].groups.push_back(static_cast<int>(g));
  }
  for (ExtinctionClass& c : classes) c.symbol = classSymbol(catalogue, c.groups);
  return classes;
}

}  // namespace obrin
