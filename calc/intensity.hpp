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

// The unit-cell content, ready for structure factors: each atom of the asymmetric unit once,
// placed on its site (calc/site_symmetry.hpp), and the group's operators that carry it over
// the cell. The sum runs over the atoms and the operators; a centring and an inversion centre
// are taken out of it, so a large structure costs atoms × rotations / 2 terms per reflection.
struct ScatteringModel {
  struct Site {  // one atom of the asymmetric unit
    FormFactor f;
    // Occupancy over the order of the site's symmetry: the operators that map the atom onto
    // itself would otherwise count it that many times.
    double weight = 1;
    double bIso = 0;  // Å², used when the atom is isotropic
    bool anisotropic = false;
    std::array<double, 3> xyz{};  // the mean of the images that fall on the site
    Mat3 beta{};                  // exp(−hᵀβh), averaged likewise, for anisotropic atoms
  };
  // One operator of each rotation; with an inversion centre only one of R and −R, the other
  // added through the inversion's translation.
  struct Operator {
    std::array<std::array<int, 3>, 3> r{};  // h' = Rᵀh, the reflection whose phase it takes
    std::array<double, 3> t{};
  };
  std::vector<Site> sites;
  std::vector<Operator> operators;
  std::vector<std::array<double, 3>> centring{{0, 0, 0}};
  bool centrosymmetric = false;
  std::array<double, 3> inversionTranslation{};  // of the operator −x + t
  double cellAtoms = 0;  // distinct atom images in the cell (occupancies aside)
};

// The element of every atom must have a form factor (the importer makes sure), and the
// operators must form a group; the images of an atom closer than kSameSiteDistance are one.
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
