// The direct shortest-digit writer against std::to_chars, the text it must reproduce.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "core/shortest.hpp"

using namespace obrin;

namespace {

std::string expected(double x) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

std::string written(double x) {
  char buf[kShortestRoom];
  return std::string(buf, writeShortest(buf, x));
}

// Counts the values written otherwise than std::to_chars writes them, naming the first few.
int mismatches(const std::vector<double>& values) {
  int bad = 0;
  for (double x : values)
    if (const std::string got = written(x), want = expected(x); got != want)
      if (++bad <= 5) ADD_FAILURE() << "for " << want << " written " << got;
  return bad;
}

}  // namespace

TEST(Shortest, RandomValuesOfEveryMagnitudeAsToChars) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<double> values;
  for (int i = 0; i < 200000; ++i) {
    // Every bit pattern near the direct route's range and beyond it, of both signs.
    const std::uint64_t exponent = 1023 - 20 + rng() % 80;
    values.push_back(std::bit_cast<double>((rng() & ((std::uint64_t(1) << 52) - 1)) | (exponent << 52) |
                                           (rng() & (std::uint64_t(1) << 63))));
    values.push_back(std::bit_cast<double>(rng()));
    // What lists hold: d in Å, angles in degrees, and short decimals read from files.
    values.push_back(0.5 + 40 * unit(rng));
    values.push_back(180 * unit(rng));
    const double decimal = static_cast<double>(rng() % 100000000) / std::pow(10.0, static_cast<double>(rng() % 12));
    values.push_back(decimal);
    values.push_back(std::nextafter(decimal, 0.0));
    values.push_back(std::nextafter(decimal, 1e300));
  }
  EXPECT_EQ(mismatches(values), 0);
}

TEST(Shortest, BoundariesAsToChars) {
  std::vector<double> values{0.0, -0.0, 1.0, 0.5, 0.1, 0.2, 0.3, 1e-5, 1e-6, 123456789012345.0, 1e15, 4503599627370495.5,
                             std::ldexp(1.0, 52) - 1, 1e16, 5e-324, 1.7976931348623157e308, INFINITY, -INFINITY, NAN};
  for (int k = -30; k <= 30; ++k) {
    // Powers of ten and their neighbours: where the number of digits and the form change.
    const double p = std::pow(10.0, k);
    for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), 9.5 * p, 0.25 * p, -p})
      values.push_back(x);
    // Powers of two, whose interval is narrower below than above.
    values.push_back(std::ldexp(1.0, k));
    values.push_back(std::ldexp(3.0, k));
  }
  for (int i = 1; i < 20000; ++i)
    for (double x : {static_cast<double>(i), i / 8.0, i * 1e-3, i * 1e9, i * 0.05}) values.push_back(x);
  EXPECT_EQ(mismatches(values), 0);
}
