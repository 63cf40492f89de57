// Relative intensities of powder lines from a crystal structure: I = m·|F|²·LP(θ).
#pragma once

#include <complex>
#include <memory>
#include <vector>

#include "calc/form_factor.hpp"
#include "calc/lines.hpp"
#include "calc/structure.hpp"
#include "core/mathhkl.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

// The unit-cell content, ready for structure factors: every atom of the asymmetric unit
// expanded over the group, an atom on a special position once.
struct ScatteringModel {
  struct Kind {  // one atom of the asymmetric unit
    FormFactor f;
    double occupancy = 1;
    double bIso = 0;   // Å², used when the atom is isotropic
    bool anisotropic = false;
  };
  struct Position {
    std::array<double, 3> xyz{};
    int kind = 0;
    Mat3 beta{};  // exp(−hᵀβh), for anisotropic atoms
  };
  std::vector<Kind> kinds;
  std::vector<Position> positions;
};

// The element of every atom must have a form factor (the importer makes sure).
ScatteringModel expandStructure(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                const Metric& metric);

// F(h k l) with s² = (sin θ/λ)² = 1/(4d²); no anomalous dispersion.
std::complex<double> structureFactor(const ScatteringModel& model, int h, int k, int l, double stol2);

// Lorentz-polarisation factor, θ and the monochromator angle 2θm in degrees:
// (1 + cos²2θ·cos²2θm) / (sin²θ·cosθ·(1 + cos²2θm)).
double lorentzPolarisation(double theta, double twoThetaMonochromator);

// m·|F|²·LP of one line of the given hkl, d (Å) and θ (degrees). |F| is the same for every
// reflection of a powder line: they are related by the Laue class, and without anomalous
// dispersion Friedel's law holds.
double lineIntensity(const ScatteringModel& model, int h, int k, int l, double d, double theta, int multiplicity,
                     double twoThetaMonochromator);

// Scales the values so the largest is 100; all zero stay zero.
void normaliseToHundred(std::vector<double>& intensities);

// What the list calculations call for each line (calc/lines.hpp), and the scaling of the list
// they gave: the strongest line 100.
LineIntensity structureIntensity(std::shared_ptr<const ScatteringModel> model, double twoThetaMonochromator);
void normaliseIntensities(ReflectionList& list);

}  // namespace obrin
