// The refine command: the cell, group and wavelength read as powder reads them, the options of
// the refinement, and its results as text, tab-separated rows or JSON. The peaks come from a
// peak list (obrin-cli) or from the peak search of a measured pattern (obrin-plot).
#pragma once

#include <optional>
#include <string>

#include "analysis/cell_refinement.hpp"
#include "cli/options.hpp"

namespace obrin::cli {

struct RefineRequest {
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string groupName;
  SpaceGroup group;
  UnitCell cell;
  double lambda = 0;
  RefinementOptions options;
};

struct RefineSetup {
  std::optional<RefineRequest> request;
  std::string error;
  int status = 0;  // with an error: 1 refused, 2 a usage fault
};

// The inputs through the calculations' own checks and messages, then --zero, --displacement
// and --tolerance.
RefineSetup prepareRefine(const Options& options);

// Refines against the peaks and prints the results in the chosen format; the exit status.
int runRefine(const Options& options, const RefineRequest& request, const PeakList& peaks);

std::string refinementJson(const RefineRequest& request, const CellRefinement& r);
std::string refinementTsv(const RefineRequest& request, const CellRefinement& r);

}  // namespace obrin::cli
