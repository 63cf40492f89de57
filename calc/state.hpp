// The one record that the calculations fill and the writers read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "calc/reflection.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// Rows of the mode list; None when no row is current.
enum class CalcMode { None = -1, Powder = 0, SingleCrystal = 1, Bragg = 2 };
// Items of the θ/2θ choice.
enum class AngleMode { Theta = 0, TwoTheta = 1 };

struct CalculationState {
  std::optional<CrystalSystem> system;  // none until a system is chosen
  std::string groupName;                // the selected space-group symbol
  char lattice = 'P';                   // its first character

  UnitCell cell;        // the validated cell
  UnitCell cellCopy;    // the second copy kept for the writers
  UnitCell reciprocal;
  Mat3 B{};

  double thetaMin = kDefaultThetaMin;  // degrees, always θ
  double thetaMax = kDefaultThetaMax;
  double lambda = 0;                   // Å

  SpaceGroup group;                    // the group of the last calculation

  std::array<int, 6> millerLimits{};   // Hmin Hmax Kmin Kmax Lmin Lmax
  ReflectionList list;
  int decimals = kDefaultDecimals;     // of the report's angle column
};

}  // namespace obrin
