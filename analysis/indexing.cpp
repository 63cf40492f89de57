#include "analysis/indexing.hpp"

namespace obrin {

Result<IndexingResult> indexPattern(const PeakList& peaks, double lambda, const IndexingOptions& options) {
  (void)peaks, (void)lambda, (void)options;
  return fail("Indexing is not available yet");
}

}  // namespace obrin
