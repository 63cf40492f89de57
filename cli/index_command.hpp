// The index command: the wavelength and the limits of the search read and checked, the search
// run on the peaks, and its answer as a report, tab-separated rows or JSON. The peaks come from
// a peak list (obrin-cli) or from the peak search of a measured pattern (obrin-plot).
#pragma once

#include <optional>
#include <string>

#include "analysis/indexing.hpp"
#include "cli/options.hpp"

namespace obrin::cli {

struct IndexRequest {
  double lambda = 0;
  IndexingOptions options;
};

struct IndexSetup {
  std::optional<IndexRequest> request;
  std::string error;
  int status = 0;  // with an error: 1 refused
};

// --lambda, then the limits of the search, each refused naming its option and its bounds.
IndexSetup prepareIndex(const Options& options);

// Searches the peaks and prints the answer in the chosen format; the exit status: 0 whenever
// the search ran, found a cell or not.
int runIndex(const Options& options, const IndexRequest& request, const PeakList& peaks);

// index --peaks FILE, from the command line to the exit status.
int runIndexCommand(const Options& options);

std::string indexingJson(const IndexingResult& result);
std::string indexingTsv(const IndexingResult& result);

}  // namespace obrin::cli
