// The rank command: the cell and wavelength read as powder reads them, the system's position
// files (or those of every system of the cell's metric), the ranking's options, and the ranked
// classes as text, tab-separated rows or JSON. The peaks come from a peak list (obrin-cli) or
// from the peak search of a measured pattern (obrin-plot), which also weighs the absences.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/space_group_ranking.hpp"
#include "cli/options.hpp"

namespace obrin::cli {

struct RankRequest {
  std::vector<std::pair<CrystalSystem, std::filesystem::path>> files;  // highest symmetry first
  UnitCell cell;
  Metric metric;
  Diffractometer instrument;
  RankSettings settings;
};

struct RankSetup {
  std::optional<RankRequest> request;
  std::string error;
  int status = 0;  // with an error: 1 refused, 2 a usage fault
};

// The inputs through the calculations' own checks and messages, then --zero, --tolerance and
// --impurities. A CIF with atoms asks for the check of its group against its intensities.
RankSetup prepareRank(const Options& options);

// Ranks against the peaks and prints the classes in the chosen format; the exit status.
int runRank(const Options& options, const RankRequest& request, const PeakList& peaks);

// The peaks of a plain peak list: a peak a row, its 2θ (degrees) and optionally its height,
// separated by blanks, tabs, commas or semicolons; blank lines and lines opening with '#' are
// comments. Refused naming the file, and the line that is not a peak.
Result<PeakList> readPeakRows(const std::filesystem::path& file, double lambda);

// rank --peaks FILE, from the command line to the exit status.
int runRankCommand(const Options& options);

std::string rankingText(const RankRequest& request, const SpaceGroupRanking& ranking, std::size_t peaks);
std::string rankingTsv(const SpaceGroupRanking& ranking);
std::string rankingJson(const RankRequest& request, const SpaceGroupRanking& ranking, const PeakList& peaks);

}  // namespace obrin::cli
