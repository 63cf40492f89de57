// One line of a reflection list, as the calculations fill it and the writers read it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/miller.hpp"

namespace obrin {

// Indices in 16 bits keep a long list small; d and θ in double, so that reflections of equal
// d print equal digits.
struct Reflection {
  std::int16_t h = 0, k = 0, l = 0;
  double d = 0;      // Å
  double theta = 0;  // degrees; always θ, 2θ only when shown or written
  std::int32_t multiplicity = 0;
  double intensity = 0;

  Miller hkl() const { return {h, k, l}; }
};
static_assert(sizeof(Reflection) <= 64, "a list line must stay small");

// In display order.
using ReflectionList = std::vector<Reflection>;

}  // namespace obrin
