#include "calc/intensity.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace obrin {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kTwoPiSquared = 2 * std::numbers::pi * std::numbers::pi;

constexpr double kExtinctFraction = 1e-12;

double wrap(double t) { return t - std::floor(t); }

bool samePosition(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  for (int i = 0; i < 3; ++i) {
    const double d = std::fabs(a[i] - b[i]);
    if (d > kSamePositionTolerance && d < 1.0 - kSamePositionTolerance) return false;
  }
  return true;
}

// β = 2π²·N·U·N with N = diag(a*, b*, c*): Uij in the CIF convention (Trueblood et al. 1996,
// Acta Cryst. A52, 770).
Mat3 betaOf(const std::array<double, 6>& u, const Metric& metric) {
  const double n[3] = {metric.reciprocal.a, metric.reciprocal.b, metric.reciprocal.c};
  const double U[3][3] = {{u[0], u[3], u[4]}, {u[3], u[1], u[5]}, {u[4], u[5], u[2]}};
  Mat3 beta{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) beta[i][j] = kTwoPiSquared * n[i] * U[i][j] * n[j];
  return beta;
}

// The tensor of the image x' = Rx + t: its displacements are R times the atom's, so β' = R·β·Rᵀ.
Mat3 rotated(const Mat3& beta, const SymmetryOperator& op) {
  Mat3 t{}, out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) t[i][j] += op.m[i][k] * beta[k][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) out[i][j] += t[i][k] * op.m[j][k];
  return out;
}

}  // namespace

ScatteringModel expandStructure(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                const Metric& metric) {
  ScatteringModel model;
  for (const AtomSite& atom : atoms) {
    const int kind = static_cast<int>(model.kinds.size());
    model.kinds.push_back({formFactorOf(atom.element).value_or(FormFactor{}), atom.occupancy,
                           8 * std::numbers::pi * std::numbers::pi * atom.uIso, atom.uAniso.has_value()});
    const Mat3 beta = atom.uAniso ? betaOf(*atom.uAniso, metric) : Mat3{};
    const std::size_t first = model.positions.size();
    for (const SymmetryOperator& op : ops) {
      std::array<double, 3> x{};
      for (int i = 0; i < 3; ++i)
        x[i] = wrap(op.m[i][0] * atom.xyz[0] + op.m[i][1] * atom.xyz[1] + op.m[i][2] * atom.xyz[2] + op.m[i][3]);
      const bool seen = std::any_of(model.positions.begin() + first, model.positions.end(),
                                    [&](const ScatteringModel::Position& p) { return samePosition(p.xyz, x); });
      if (!seen) model.positions.push_back({x, kind, atom.uAniso ? rotated(beta, op) : Mat3{}});
    }
  }
  return model;
}

std::complex<double> structureFactor(const ScatteringModel& model, int h, int k, int l, double stol2) {
  // Form factor, occupancy and isotropic Debye–Waller factor once per atom of the asymmetric unit.
  std::vector<double> weight(model.kinds.size());
  for (std::size_t i = 0; i < model.kinds.size(); ++i) {
    const auto& kd = model.kinds[i];
    weight[i] = kd.f.at(stol2) * kd.occupancy * (kd.anisotropic ? 1.0 : std::exp(-kd.bIso * stol2));
  }
  const double hkl[3] = {double(h), double(k), double(l)};
  double re = 0, im = 0;
  for (const auto& p : model.positions) {
    double w = weight[p.kind];
    if (model.kinds[p.kind].anisotropic) {
      double q = 0;
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) q += hkl[i] * p.beta[i][j] * hkl[j];
      w *= std::exp(-q);
    }
    const double phase = kTwoPi * (h * p.xyz[0] + k * p.xyz[1] + l * p.xyz[2]);
    re += w * std::cos(phase);
    im += w * std::sin(phase);
  }
  return {re, im};
}

double lorentzPolarisation(double theta, double twoThetaMonochromator) {
  const double t = theta * kRadPerDeg;
  const double c2t = std::cos(2 * t), c2m = std::cos(twoThetaMonochromator * kRadPerDeg);
  const double s = std::sin(t);
  return (1 + c2t * c2t * c2m * c2m) / (s * s * std::cos(t) * (1 + c2m * c2m));
}

double lineIntensity(const ScatteringModel& model, int h, int k, int l, double d, double theta, int multiplicity,
                     double twoThetaMonochromator) {
  if (!(d > 0) || !(theta > 0)) return 0;
  const double f2 = std::norm(structureFactor(model, h, k, l, 1.0 / (4 * d * d)));
  return multiplicity * f2 * lorentzPolarisation(theta, twoThetaMonochromator);
}

LineIntensity structureIntensity(std::shared_ptr<const ScatteringModel> model, double twoThetaMonochromator) {
  return [model = std::move(model), twoThetaMonochromator](const Reflection& r) {
    return lineIntensity(*model, r.h, r.k, r.l, r.d, r.theta, r.multiplicity, twoThetaMonochromator);
  };
}

void normaliseIntensities(ReflectionList& list) {
  std::vector<double> v(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) v[i] = list[i].intensity;
  normaliseToHundred(v);
  for (std::size_t i = 0; i < list.size(); ++i) list[i].intensity = v[i];
}

void normaliseToHundred(std::vector<double>& intensities) {
  const double top = intensities.empty() ? 0 : *std::max_element(intensities.begin(), intensities.end());
  if (!(top > 0)) return;
  // What the structure extinguishes (silicon 222) leaves rounding noise, not a weak line.
  for (double& v : intensities) v = v < kExtinctFraction * top ? 0.0 : v * 100.0 / top;
}

}  // namespace obrin
