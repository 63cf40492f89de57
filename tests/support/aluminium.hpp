// A small finished calculation for the writers' tests: aluminium, F m -3 m, Cu Kα1.
#pragma once

#include <cstdint>

#include "calc/state.hpp"

namespace obrin::testing_support {

inline Reflection refl(int h, int k, int l, float d, float theta, int mult) {
  Reflection r;
  r.h = static_cast<std::int16_t>(h);
  r.k = static_cast<std::int16_t>(k);
  r.l = static_cast<std::int16_t>(l);
  r.d = d;
  r.theta = theta;
  r.multiplicity = mult;
  return r;
}

inline CalculationState cubicAluminium() {
  CalculationState s;
  s.system = CrystalSystem::Cubic;
  s.groupName = "Fm-3m";
  s.lattice = 'F';
  s.cell = s.cellCopy = {4.0496, 4.0496, 4.0496, 90, 90, 90};
  s.lambda = 1.5406;
  s.thetaMin = 5;
  s.thetaMax = 35;
  s.list = {refl(1, 1, 1, 2.33804f, 19.2371f, 8), refl(2, 0, 0, 2.02480f, 22.3709f, 6),
            refl(2, 2, 0, 1.43172f, 32.5528f, 12)};
  return s;
}

}  // namespace obrin::testing_support
