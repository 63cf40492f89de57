// Which space group? The extinction classes of a lattice ranked against measured peaks, from
// their positions alone.
//
// The rule, for each class of groups that allow the same lines up to the last peak:
//  1. A peak is explained when an allowed line lies within the tolerance of it. A class that
//     leaves more peaks unexplained than the impurities allowed is ruled out.
//  2. An allowed line inside the range with no peak within the tolerance, no other allowed
//     line of the class and no peak within a peak width of it, is missing: the data would
//     show it there and do not. It counts 1, or with a measured pattern 1 − (what the pattern
//     shows at the line / the detection limit), at least 0.
//  3. Score = the missing lines' count + the unexplained peaks (those allowed as impurities);
//     lower is better. Classes are ranked by score, then by fewer allowed lines (the most
//     absences that still explain the peaks), then in the order of the position files.
//  4. Classes whose scores lie within kRankTieMargin of the best tie: the peaks cannot tell
//     them apart.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/extinction_classes.hpp"
#include "analysis/figures_of_merit.hpp"
#include "analysis/peak.hpp"
#include "calc/lines.hpp"

namespace obrin {

// How sure the absence of a line at 2θ is: 1 where the pattern shows nothing there, down to
// 0 where it shows a bump as high as the weakest peak a search would keep.
using AbsenceWeight = std::function<double(double twoTheta)>;

// The class of a structure's own group checked against its calculated intensities: a line
// too weak to have been seen is no evidence against it.
struct StructureCheckRequest {
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string group;       // as the position file names it
  LineIntensity intensity;  // m·|F|²·LP of a line (calc/intensity.hpp)
};

struct RankSettings {
  double tolerance = kDefaultMatchTolerance;  // degrees 2θ
  int impurities = 0;                         // peaks a class may leave unexplained
  // The 2θ range where the data would show a line; by default that of the peaks.
  std::optional<double> rangeMin, rangeMax;
  // Lines closer than this (degrees 2θ) are not told apart; 0: the peaks' median FWHM, or
  // the tolerance when the peaks have no widths.
  double width = 0;
  AbsenceWeight absenceWeight;  // empty: every absence counts 1
  std::optional<StructureCheckRequest> structure;
  // Set from another thread, it stops the ranking, which is then refused as cancelled.
  const std::atomic<bool>* cancel = nullptr;
};

struct GroupName {
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string name;  // "P N M A (62)"
};

struct MissingLine {
  Miller hkl;
  double twoTheta = 0, d = 0;
  double weight = 1;
};

struct RankedClass {
  std::vector<GroupName> groups;  // in the order of the position files
  std::string symbol;             // extinction symbol; empty where the groups share none
  double score = 0;
  bool ruledOut = false;
  int allowedLines = 0;           // up to the range's end
  std::vector<int> unexplained;   // indices into the peaks
  std::vector<MissingLine> missing;
  std::optional<FigureOfMerit> m20;  // de Wolff's M20 of the class's lines (M_N below 20 peaks)
};

struct StructureCheck {
  int rankedClass = -1;  // the index, in the ranking, of the class holding the structure's group
  double detectionLimit = 0;  // the weakest peak, in the calculated intensities' scale (strongest line 100)
  std::vector<MissingLine> strongMissing;  // missing lines calculated above the detection limit
  int weakMissing = 0;                     // missing lines calculated below it
  bool consistent = false;                 // no unexplained peak beyond the impurities, nothing strong missing
};

struct SpaceGroupRanking {
  std::vector<RankedClass> classes;  // best first
  int tied = 0;                      // classes at the top that the peaks cannot tell apart
  double rangeMin = 0, rangeMax = 0;  // degrees 2θ
  double width = 0;
  std::optional<StructureCheck> structure;
  std::vector<std::string> notes;  // groups the position files could not give, and the like
};

// The width lines must stand apart to be told apart: the peaks' median FWHM, else (peaks
// without widths) the fallback.
double rankingWidth(std::span<const Peak> peaks, double fallback);

// Refused without peaks, with a tolerance that is not positive, or when the lattice holds too
// many reflections in the range. Peaks without 2θ take it from their d.
Result<SpaceGroupRanking> rankSpaceGroups(const GroupCatalogue& catalogue, const Metric& metric,
                                          const Diffractometer& instrument, std::span<const Peak> peaks,
                                          const RankSettings& settings = {});

}  // namespace obrin
