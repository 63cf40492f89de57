// The set of h k l already counted as equivalents during a powder calculation.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace obrin {

// Open addressing with linear probing on a packed key; grows at half load. Indices must lie
// within ±2^20 (lists hold 16-bit indices; their images under a rotation stay far inside).
class ReflectionSet {
 public:
  static std::uint64_t key(int h, int k, int l) {
    constexpr std::uint64_t bias = 1u << 20, mask = (1u << 21) - 1;
    return ((static_cast<std::uint64_t>(h + bias) & mask) << 42) |
           ((static_cast<std::uint64_t>(k + bias) & mask) << 21) | (static_cast<std::uint64_t>(l + bias) & mask);
  }

  bool contains(int h, int k, int l) const { return containsKey(key(h, k, l)); }

  bool containsKey(std::uint64_t key) const {
    if (slots_.empty()) return false;
    for (std::size_t i = slot(key);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == kEmpty) return false;
      if (slots_[i] == key) return true;
    }
  }

  void insert(std::uint64_t key) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    for (std::size_t i = slot(key);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == key) return;
      if (slots_[i] == kEmpty) {
        slots_[i] = key;
        ++size_;
        return;
      }
    }
  }

  std::size_t size() const { return size_; }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};  // no packed key has all 64 bits set

  std::size_t slot(std::uint64_t key) const {
    // Fibonacci hashing spreads the neighbouring keys of a reflection class.
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  void grow() {
    std::vector<std::uint64_t> old = std::move(slots_);
    const std::size_t capacity = old.empty() ? 1024 : 2 * old.size();
    slots_.assign(capacity, kEmpty);
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    size_ = 0;
    for (std::uint64_t k : old)
      if (k != kEmpty) insert(k);
  }

  std::vector<std::uint64_t> slots_;
  std::size_t size_ = 0;
  int shift_ = 64;
};

// The seen list of a powder calculation: a bit per h k l of the index box (the equivalents of
// a reflection in the window have its d, so they fall inside it), a hash set for any other.
class SeenReflections {
 public:
  // Boxes beyond this many bits (8 MB) use the hash set alone.
  static constexpr std::uint64_t kMaxBoxBits = std::uint64_t{1} << 26;

  SeenReflections(int nh, int nk, int nl) : nh_(nh), nk_(nk), nl_(nl) {
    const std::uint64_t bits = std::uint64_t(2 * nh + 1) * std::uint64_t(2 * nk + 1) * std::uint64_t(2 * nl + 1);
    if (nh >= 0 && nk >= 0 && nl >= 0 && bits <= kMaxBoxBits) bits_.assign((bits + 63) / 64, 0);
  }

  bool contains(int h, int k, int l) const {
    if (const auto bit = boxBit(h, k, l)) return (bits_[*bit >> 6] >> (*bit & 63)) & 1;
    return outside_.contains(h, k, l);
  }

  void insert(int h, int k, int l) {
    if (const auto bit = boxBit(h, k, l)) bits_[*bit >> 6] |= std::uint64_t{1} << (*bit & 63);
    else outside_.insert(ReflectionSet::key(h, k, l));
  }

 private:
  std::optional<std::uint64_t> boxBit(int h, int k, int l) const {
    if (bits_.empty() || h < -nh_ || h > nh_ || k < -nk_ || k > nk_ || l < -nl_ || l > nl_) return std::nullopt;
    return (std::uint64_t(h + nh_) * std::uint64_t(2 * nk_ + 1) + std::uint64_t(k + nk_)) * std::uint64_t(2 * nl_ + 1) +
           std::uint64_t(l + nl_);
  }

  int nh_, nk_, nl_;
  std::vector<std::uint64_t> bits_;
  ReflectionSet outside_;
};

}  // namespace obrin
