// The fast ordering against the literal exchange sort, on data rich in ties.
#include <gtest/gtest.h>

#include <random>

#include "calc/exchange_order.hpp"

using namespace obrin;

namespace {

std::vector<std::size_t> literalExchangeSort(const std::vector<double>& d) {
  std::vector<std::size_t> idx(d.size());
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
  for (std::size_t i = 0; i + 1 < idx.size(); ++i)
    for (std::size_t j = i + 1; j < idx.size(); ++j)
      if (d[idx[j]] > d[idx[i]]) std::swap(idx[i], idx[j]);
  return idx;
}

}  // namespace

TEST(ExchangeOrder, MatchesTheLiteralSortOnRandomDataWithManyTies) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 20000; ++trial) {
    const int n = static_cast<int>(rng() % 60);
    const int distinct = 1 + static_cast<int>(rng() % 8);
    std::vector<double> d(n);
    for (double& x : d) x = 1.0 + static_cast<int>(rng() % distinct) * 0.25;
    ASSERT_EQ(exchangeSortOrder(d), literalExchangeSort(d)) << "trial " << trial;
  }
}

TEST(ExchangeOrder, MatchesOnLongListsAndOnOrderedInput) {
  std::mt19937 rng(11);
  std::vector<double> d(3000);
  for (double& x : d) x = static_cast<int>(rng() % 200);
  EXPECT_EQ(exchangeSortOrder(d), literalExchangeSort(d));

  std::vector<double> rising(500), falling(500), flat(500, 2.0);
  for (int i = 0; i < 500; ++i) rising[i] = i / 7;  // runs of ties, increasing
  for (int i = 0; i < 500; ++i) falling[i] = (500 - i) / 7;
  EXPECT_EQ(exchangeSortOrder(rising), literalExchangeSort(rising));
  EXPECT_EQ(exchangeSortOrder(falling), literalExchangeSort(falling));
  EXPECT_EQ(exchangeSortOrder(flat), literalExchangeSort(flat));
  EXPECT_TRUE(exchangeSortOrder({}).empty());
}

TEST(ExchangeOrder, IsNotTheStableOrder) {
  // 1 1 2: the first pass carries the first 1 to where the 2 was, behind the second 1.
  const std::vector<double> d{1, 1, 2};
  const auto order = exchangeSortOrder(d);
  EXPECT_EQ(order, literalExchangeSort(d));
  EXPECT_EQ(order, (std::vector<std::size_t>{2, 1, 0}));
}
