// Least-squares refinement of a cell against measured peak positions: the free parameters of
// the crystal system, optionally the zero shift and the specimen displacement, with standard
// uncertainties and figures of merit. The peaks are matched to the allowed lines of the group,
// the cell refined, and the matching repeated until the assignment no longer changes.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/figures_of_merit.hpp"
#include "analysis/line_matching.hpp"
#include "analysis/peak.hpp"
#include "core/crystal_system.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"
#include "symmetry/space_group.hpp"

namespace obrin {

struct RefinementOptions {
  double tolerance = kDefaultMatchTolerance;  // degrees 2θ, for the matching
  bool refineZero = false;
  bool refineDisplacement = false;
  // Starting values, and the values used when not refined.
  double zero = 0;          // degrees 2θ
  double displacement = 0;  // mm
  double radius = kDefaultGoniometerRadius;  // mm
  std::vector<int> excluded;  // peaks (indices in the list) the user leaves out
};

// One peak of the list after the refinement; every peak has a row, in list order.
struct RefinedLine {
  int peak = 0;                 // index in the peak list
  Miller hkl;                   // 0 0 0 when unindexed
  int multiplicity = 0;
  double twoThetaObs = 0;       // degrees, as measured
  double twoThetaCalc = 0;      // of the refined cell, zero and displacement included
  double delta = 0;             // obs − calc
  double dObs = 0;              // Å, of the measured 2θ with zero and displacement taken off
  double dCalc = 0;             // Å, of the refined cell
  double sigma = 0;             // σ(2θ) the weight came from (the floor applied); 0 unweighted
  double weight = 0;            // 1/σ², 1 unweighted, 0 when not used
  double leverage = 0;          // diagonal of the hat matrix; the sum over used lines is the
                                // number of parameters
  bool indexed = false;
  bool ambiguous = false;       // lines of two or more distinct d within the tolerance
  bool excluded = false;        // left out by the user
  bool outlier = false;         // |Δ| > 3σ (σ of the fit when unweighted)
  bool used() const { return indexed && !excluded; }
};

struct CellRefinement {
  CrystalSystem system = CrystalSystem::Triclinic;
  UnitCell cell;
  UnitCell cellSu;      // a tied parameter carries its source's, a fixed one 0
  double volume = 0, volumeSu = 0;
  double zero = 0, zeroSu = 0;                  // s.u. 0 when not refined
  double displacement = 0, displacementSu = 0;  // mm
  bool zeroRefined = false, displacementRefined = false;
  double radius = kDefaultGoniometerRadius;
  double lambda = 0;
  double tolerance = kDefaultMatchTolerance;
  std::optional<double> zeroDisplacementCorrelation;  // when both are refined
  std::vector<std::string> parameterNames;  // in the order of the least squares
  std::vector<double> correlation;          // parameters², row by row
  std::vector<RefinedLine> lines;
  int used = 0, unindexed = 0, ambiguous = 0, outliers = 0;
  bool weighted = false;
  double reducedChiSquare = 0;  // χ²/ν, which scales the covariance
  int rounds = 0;               // matching rounds until the assignment held
  std::optional<FigureOfMerit> m20, fN;
  std::vector<std::string> warnings;  // one line each, for every output

  Diffractometer instrument() const { return {lambda, zero, displacement, radius}; }
};

// Peaks of the list refined from the start cell (which must obey the system's rules: tied and
// fixed parameters are taken from the free ones) with the group's allowed lines at λ (Å).
// Weights 1/σ² from the peaks' 2θ s.u., floored at kMinTwoThetaSu; a peak without one takes the
// largest σ of the list; unweighted when no peak has one. Refused, naming what is missing,
// with fewer indexed lines than parameters plus one, when the lines leave a parameter
// undetermined, or when the refinement runs away; the inputs are never changed.
Result<CellRefinement> refineCell(const PeakList& peaks, CrystalSystem system, const UnitCell& start,
                                  const SpaceGroup& group, double lambda, const RefinementOptions& options = {});

// The cell of the system whose reciprocal metric fits Q = 1/d² of the indexed lines by linear
// least squares (weights per line, empty for equal ones): the start of the refinement, and of a
// trial cell in indexing. like is any cell of the system (it gives the directions in which the
// system's metric may change). Refused for too few lines, undetermined parameters or no metric.
struct IndexedSpacing {
  Miller hkl;
  double q = 0;  // 1/d², Å⁻²
  double weight = 1;
};
Result<UnitCell> linearCell(CrystalSystem system, const UnitCell& like, std::span<const IndexedSpacing> lines);

// The cell with its tied and fixed parameters set from the free ones.
UnitCell applySystemRules(CrystalSystem system, const UnitCell& cell);

}  // namespace obrin
