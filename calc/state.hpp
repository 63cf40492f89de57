// The one record that the calculations fill and the writers read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calc/intensity.hpp"
#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "calc/reflection.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

// Rows of the mode list; None when no row is current.
enum class CalcMode { None = -1, Powder = 0, SingleCrystal = 1, Bragg = 2 };
// Items of the θ/2θ choice.
enum class AngleMode { Theta = 0, TwoTheta = 1 };

// What an imported structure came with: its atoms and its own group hold for this crystal only.
struct StructureSource {
  std::string name;       // the data block
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string groupName;  // the entry of the position files it matched; empty for its own group
  UnitCell cell;
};

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
  // The group of an imported structure whose setting the position files do not hold, built
  // from its operators; the calculations take it when no group is selected.
  std::optional<SpaceGroup> importedGroup;

  std::array<int, 6> millerLimits{};   // Hmin Hmax Kmin Kmax Lmin Lmax
  ReflectionList list;
  // An imported structure: the lists then carry intensities. Its operators are the file's.
  std::shared_ptr<const ScatteringModel> structure;
  // Set by an import that holds the structure to its crystal (the window): the calculations
  // drop the structure once the inputs are another crystal's. Without it nothing is dropped.
  std::optional<StructureSource> structureSource;
  double monochromatorTwoTheta = 0;  // degrees; 0 without a monochromator
  int decimals = kDefaultDecimals;     // of the report's angle column
};

}  // namespace obrin
