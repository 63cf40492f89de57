// The set of h k l already counted as equivalents during a powder calculation.
#pragma once

#include <cstdint>
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

}  // namespace obrin
