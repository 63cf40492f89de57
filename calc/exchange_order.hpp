// The order in which the program's exchange sort leaves records with equal d.
#pragma once

#include <cstddef>
#include <vector>

namespace obrin {

// The permutation that this exchange sort applies to d (indices into d, in final order):
//   for i = 0 .. n-2, for j = i+1 .. n-1: if d[j] > d[i] swap records i and j.
// Lists of earlier versions were printed in that order, ties included, so it is reproduced
// exactly, in O(n log n) instead of the sort's n²/2 comparisons. d must hold no NaN.
std::vector<std::size_t> exchangeSortOrder(const std::vector<double>& d);

}  // namespace obrin
