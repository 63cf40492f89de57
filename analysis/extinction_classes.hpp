// The extinction classes of a lattice: the space groups of the position files sorted by the
// lines they allow for one cell. Powder data cannot tell apart the groups of one class; the
// space-group ranking compares the classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis/extinction_symbol.hpp"
#include "analysis/line_matching.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// Every group of the position files of one or more systems, read once and kept for every
// ranking of the lattice: a window asks again each time the peaks change.
struct GroupCatalogue {
  std::vector<SpaceGroup> groups;               // file by file, in list order
  std::vector<ExtinctionSignature> signatures;  // one a group
  std::vector<std::string> notes;               // entries that did not load, and why
};

// The systems' files, highest symmetry first. Refused when no group loads at all.
Result<GroupCatalogue> loadGroupCatalogue(const std::vector<std::pair<CrystalSystem, std::filesystem::path>>& files);

// The systems whose ties the cell keeps (b = a, angles of 90, ...; the tolerances of
// kCrystalSystems), highest symmetry first: the groups a lattice of that metric may have.
std::vector<CrystalSystem> systemsOfMetric(const UnitCell& cell);

// The distinct lines of the lattice, whatever the group: the reflections h k l of one
// spacing (half of reciprocal space, one of each Friedel pair) make one line.
struct LatticeLine {
  double twoTheta = 0;  // observed position, degrees
  double d = 0;         // Å
  int first = 0;        // its reflections are members[first, first + count)
  int count = 0;
};
struct LatticeLines {
  std::vector<LatticeLine> lines;  // by increasing 2θ
  std::vector<Miller> members;     // a line's own with non-negative indices first
};

// The lines observed up to twoThetaMax (degrees). Refused beyond kMaxRankedReflections
// reflections; stops early, with what it has, once *cancel is set.
Result<LatticeLines> latticeLines(const Metric& metric, const Diffractometer& instrument, double twoThetaMax,
                                  const std::atomic<bool>* cancel = nullptr);

// Which lines each group allows: a line is allowed when one of its reflections is. One bit a
// line, a row a group.
struct AllowedLineTable {
  int lineCount = 0;
  std::vector<std::vector<std::uint64_t>> rows;
  bool allowed(int group, int line) const { return (rows[group][line >> 6] >> (line & 63)) & 1; }
};
// Stops early, with the rows it has, once *cancel is set.
AllowedLineTable allowedLineTable(const GroupCatalogue& catalogue, const LatticeLines& lattice,
                                  const std::atomic<bool>* cancel = nullptr);

// Groups that allow the same lines among lines [begin, end).
struct ExtinctionClass {
  std::vector<int> groups;  // catalogue indices, in catalogue order
  std::string symbol;       // the extinction symbol; empty where the groups share none
  int allowedInRange = 0;   // allowed lines among [begin, end): fewer means more absences
};
std::vector<ExtinctionClass> extinctionClasses(const GroupCatalogue& catalogue, const AllowedLineTable& allowed, int begin,
                                               int end);

}  // namespace obrin
