#include "calc/exchange_order.hpp"

#include <algorithm>
#include <numeric>

namespace obrin {

// Why this gives the exchange sort's order.
//
// Pass i of the sort carries the record at position i rightwards: whenever it meets a strictly
// greater d it leaves itself there and carries that record on; the record carried at the end
// (the first occurrence of the largest d of positions i..n-1) lands at position i. Distinct
// values therefore end in decreasing order; only the order inside a group G of equal d v needs
// working out.
//
// Sort every other record into B (d > v) and s (d < v). A record of G moves in a pass only when
// it is carried, and the carried class can only rise s -> G -> B. Following the classes alone,
// a pass removes the leftmost B slot from play (it becomes s or G; the B records reshuffle
// among the remaining B slots), and if some G lies left of that slot, the leftmost such G is
// carried into it, past the other G records left of it. In the subsequence of G and B slots
// a pass thus turns "g1 g2 .. gk B rest" into "g2 .. gk g1 rest" and "B rest" into "rest":
// which records of B or s sit where never matters. After the |B| passes that place the
// greater values, G keeps its order for the passes that place G itself (the leftmost G is
// always the one found first, the others are never carried).
//
// Hence: walk the original positions left to right with a queue; a G record joins the back,
// every B record rotates the queue by one (front to back). The queue at the end is G's order.
// The B records between two G records are counted with a Fenwick tree over positions, filled
// with all records of greater d before G is handled.
std::vector<std::size_t> exchangeSortOrder(const std::vector<double>& d) {
  const std::size_t n = d.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return d[a] > d[b]; });
  // Without equal values the sort's order is the decreasing one.
  bool equalValues = false;
  for (std::size_t t = 1; t < n && !equalValues; ++t) equalValues = d[order[t]] == d[order[t - 1]];
  if (!equalValues) return order;

  std::vector<std::size_t> tree(n + 1, 0);  // Fenwick tree over positions 1..n
  auto insert = [&](std::size_t pos) {
    for (std::size_t x = pos + 1; x <= n; x += x & (~x + 1)) ++tree[x];
  };
  auto countBefore = [&](std::size_t pos) {  // inserted positions < pos
    std::size_t c = 0;
    for (std::size_t x = pos; x > 0; x -= x & (~x + 1)) c += tree[x];
    return c;
  };

  std::vector<std::size_t> queue;
  std::size_t greater = 0;  // records inserted so far
  for (std::size_t a = 0; a < n;) {
    std::size_t b = a + 1;
    while (b < n && d[order[b]] == d[order[a]]) ++b;
    if (b - a > 1) {
      // order[a..b) holds G's positions ascending (the sort is stable).
      queue.clear();
      for (std::size_t t = a; t < b; ++t) {
        const std::size_t p = order[t];
        queue.push_back(p);
        const std::size_t until = t + 1 < b ? countBefore(order[t + 1]) : greater;
        const std::size_t rotations = (until - countBefore(p + 1)) % queue.size();
        std::rotate(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(rotations), queue.end());
      }
      std::copy(queue.begin(), queue.end(), order.begin() + static_cast<std::ptrdiff_t>(a));
    }
    for (std::size_t t = a; t < b; ++t) insert(order[t]);
    greater += b - a;
    a = b;
  }
  return order;
}

}  // namespace obrin
