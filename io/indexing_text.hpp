// An indexing as the command line and the report write it: what was searched, whether the
// search finished, and each solution with its cell, figures of merit and related cells.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/indexing.hpp"

namespace obrin {

// "same lattice", "sub-cell", "super-cell" or "derivative".
std::string_view relationName(RelatedCell::Relation relation);

// The readable report: the search, its end, "Indexed" or "Not indexed" with the best tries,
// each solution's cell ± s.u., V, zero, M20 and F_N, indexed lines, and its related cells
// indented under it, then the notes. peaks: how many the list held; every line ends in "\n".
std::string indexingText(const IndexingResult& result, std::size_t peaks);

}  // namespace obrin
