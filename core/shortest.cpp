#include "core/shortest.hpp"

#include <bit>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace obrin {

namespace {

char* generalShortest(char* first, double x) { return std::to_chars(first, first + kShortestRoom, x).ptr; }

#ifdef __SIZEOF_INT128__

using u128 = unsigned __int128;

// Binary exponents (x in [2^b, 2^(b+1))) of the direct route: the scaled bounds below then fit
// in 128 bits and the chosen digits in 64.
constexpr int kMinBinaryExponent = -9;
constexpr int kMaxBinaryExponent = 51;

constexpr std::array<std::uint64_t, 20> kPowers10 = [] {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

// v / 2^s and v mod 2^s, 0 < s < 64, for quotients that fit in 64 bits.
std::uint64_t quotient(u128 v, int s) {
  return (static_cast<std::uint64_t>(v >> 64) << (64 - s)) | (static_cast<std::uint64_t>(v) >> s);
}
std::uint64_t remainder(u128 v, std::uint64_t mask) { return static_cast<std::uint64_t>(v) & mask; }

// x = 2m / 2^s, and the texts that read back as x scaled by 10^f: the integers in the rounding
// interval [2m − 1, 2m + 1] / 2^s · 10^f, whose ends belong to it when m is even (a read
// rounds ties to even). low > high when there is none.
struct Scaled {
  std::uint64_t m;
  int s;
  std::uint64_t mask;  // 2^s − 1
  bool endsIncluded;
};

struct Span {
  std::uint64_t low, high;
};

// The interval at f decimals from scaled = 2m·10^f.
Span scaledInterval(const Scaled& x, u128 scaled, std::uint64_t power) {
  const u128 lo = scaled - power, hi = scaled + power;
  Span span{quotient(lo, x.s), quotient(hi, x.s)};
  const bool loExact = remainder(lo, x.mask) == 0;
  if (!loExact) ++span.low;
  if (!x.endsIncluded) {
    if (loExact) ++span.low;
    if (remainder(hi, x.mask) == 0) --span.high;
  }
  return span;
}

constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// The number of decimal digits of v > 0: from its bit width (1233 / 4096 ≈ log10 2).
int digitCount(std::uint64_t v) {
  const int t = (std::bit_width(v) * 1233) >> 12;
  return t + 1 - (v < static_cast<std::uint64_t>(kPowers10[t]) ? 1 : 0);
}

// Exactly eight digits of x < 10^8 at out: four pairs, each from the table.
void writeEightDigits(char* out, std::uint32_t x) {
  const std::uint32_t high = x / 10000, low = x - high * 10000;
  const std::uint32_t a = high / 100, b = high - a * 100, c = low / 100, d = low - c * 100;
  std::memcpy(out, &kDigitPairs[a * 2], 2);
  std::memcpy(out + 2, &kDigitPairs[b * 2], 2);
  std::memcpy(out + 4, &kDigitPairs[c * 2], 2);
  std::memcpy(out + 6, &kDigitPairs[d * 2], 2);
}

// The n digits of v < 10^20 ending at end, written eight at a time (the room before the first
// digit takes leading zeros); returns the first digit.
char* writeDigits(char* end, std::uint64_t v, int n) {
  constexpr std::uint64_t kEight = 100000000;
  writeEightDigits(end - 8, static_cast<std::uint32_t>(v % kEight));
  if (n > 8) {
    v /= kEight;
    writeEightDigits(end - 16, static_cast<std::uint32_t>(v % kEight));
    if (n > 16) writeEightDigits(end - 24, static_cast<std::uint32_t>(v / kEight));
  }
  return end - n;
}

// Fixed-size copies: the room beyond the text is there to be overwritten.
constexpr std::size_t kDigitsRoom = 20;

// digits[0].digits[1..n) · 10^exponent, in the shorter of the fixed and the scientific forms,
// the fixed one on a tie, as std::to_chars chooses.
char* layOut(char* out, const char* digits, int n, int exponent) {
  const int absExponent = exponent < 0 ? -exponent : exponent;
  const int scientific = n + (n > 1 ? 1 : 0) + 2 + (absExponent >= 100 ? 3 : 2);
  const int fixed = exponent >= 0 ? (n <= exponent + 1 ? exponent + 1 : n + 1) : n + 1 - exponent;
  if (fixed <= scientific) {
    if (exponent < 0) {
      // At most four zeros after the point: more make the scientific form shorter.
      std::memcpy(out, "0.0000", 6);
      out += 1 - exponent;
      std::memcpy(out, digits, kDigitsRoom);
      return out + n;
    }
    const int whole = exponent + 1;
    std::memcpy(out, digits, kDigitsRoom);
    if (n <= whole) {
      std::memset(out + n, '0', static_cast<std::size_t>(whole - n));
      return out + whole;
    }
    out[whole] = '.';
    std::memcpy(out + whole + 1, digits + whole, kDigitsRoom);
    return out + n + 1;
  }
  *out++ = digits[0];
  if (n > 1) {
    *out++ = '.';
    std::memcpy(out, digits + 1, kDigitsRoom);
    out += n - 1;
  }
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  if (absExponent >= 100) *out++ = static_cast<char>('0' + absExponent / 100);
  std::memcpy(out, &kDigitPairs[static_cast<std::size_t>(absExponent % 100) * 2], 2);
  return out + 2;
}

// Of the texts with the fewest decimals, the one nearest x (ties to an even last digit), as the
// shortest-digit algorithms choose. Null when x is outside the direct route.
char* directShortest(char* out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int b = static_cast<int>(bits >> 52) - 1023;  // value in [2^b, 2^(b+1))
  const std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
  // At a power of two the interval is narrower below x than above: left to the general route.
  if (b < kMinBinaryExponent || b > kMaxBinaryExponent || fraction == 0) return nullptr;
  Scaled x;
  x.m = fraction | (std::uint64_t(1) << 52);
  x.s = 53 - b;
  x.mask = (std::uint64_t(1) << x.s) - 1;
  x.endsIncluded = (x.m & 1) == 0;
  // floor(b·log10 2) is the decimal exponent of x or one less (78913 / 2^18 ≈ log10 2); x with
  // 16 − that decimals tells which. With 17 significant digits the interval is wider than 1 and
  // holds a text; each digit fewer divides its integers by 10, as long as one is left.
  int f = 16 - ((b * 78913) >> 18);
  u128 scaled = u128(2 * x.m) * kPowers10[static_cast<std::size_t>(f)];
  if (quotient(scaled, x.s) >= kPowers10[17]) scaled = u128(2 * x.m) * kPowers10[static_cast<std::size_t>(--f)];
  Span span = scaledInterval(x, scaled, kPowers10[static_cast<std::size_t>(f)]);
  const int f17 = f;
  while (f > 0) {
    const std::uint64_t low = span.low / 10 + (span.low % 10 != 0 ? 1 : 0), high = span.high / 10;
    if (low > high) break;
    span = {low, high};
    --f;
  }
  if (f != f17) scaled = u128(2 * x.m) * kPowers10[static_cast<std::size_t>(f)];
  std::uint64_t v = quotient(scaled, x.s);
  const std::uint64_t rest = remainder(scaled, x.mask), half = std::uint64_t(1) << (x.s - 1);
  if (rest > half || (rest == half && (v & 1) != 0)) ++v;
  if (v < span.low) v = span.low;
  if (v > span.high) v = span.high;
  // With no decimal at all, an integer's trailing zeros are not digits of it.
  while (v % 10 == 0) {
    v /= 10;
    --f;
  }
  char buf[24 + kDigitsRoom];
  const int n = digitCount(v);
  const char* digits = writeDigits(buf + 24, v, n);
  return layOut(out, digits, n, n - 1 - f);
}

#endif

}  // namespace

char* writeShortest(char* first, double x) {
#ifdef __SIZEOF_INT128__
  char* p = first;
  if (std::signbit(x)) *p++ = '-';
  if (char* end = directShortest(p, std::fabs(x))) return end;
#endif
  return generalShortest(first, x);
}

}  // namespace obrin
