#include "calc/intensity.hpp"

#include "calc/site_symmetry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace obrin {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kTwoPiSquared = 2 * std::numbers::pi * std::numbers::pi;

constexpr double kExtinctFraction = 1e-12;

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

using IntRotation = std::array<std::array<int, 3>, 3>;

IntRotation rotationOf(const SymmetryOperator& op) {
  IntRotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<int>(std::lround(op.m[i][j]));
  return r;
}

IntRotation negated(IntRotation r) {
  for (auto& row : r)
    for (int& v : row) v = -v;
  return r;
}

std::array<double, 3> translationOf(const SymmetryOperator& op) { return {op.m[0][3], op.m[1][3], op.m[2][3]}; }

// The operators as the sum takes them: one of each rotation, the centring translations apart,
// and with −x + t among them only one of each pair R, −R. Operators that do not split so
// (not a group) are all kept, each on its own.
void splitOperators(const std::vector<SymmetryOperator>& ops, ScatteringModel& model) {
  std::vector<std::pair<IntRotation, std::array<double, 3>>> firsts;
  std::vector<std::array<double, 3>> centring;
  const IntRotation identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  for (const SymmetryOperator& op : ops) {
    const IntRotation r = rotationOf(op);
    if (r == identity) centring.push_back(translationOf(op));
    if (std::none_of(firsts.begin(), firsts.end(), [&](const auto& f) { return f.first == r; }))
      firsts.emplace_back(r, translationOf(op));
  }
  auto transposed = [](const IntRotation& r) {
    IntRotation t{};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) t[i][j] = r[j][i];
    return t;
  };
  if (centring.empty() || firsts.size() * centring.size() != ops.size()) {
    for (const SymmetryOperator& op : ops) model.operators.push_back({transposed(rotationOf(op)), translationOf(op)});
    return;
  }
  model.centring = centring;
  const auto inversion =
      std::find_if(firsts.begin(), firsts.end(), [&](const auto& f) { return f.first == negated(identity); });
  model.centrosymmetric = inversion != firsts.end();
  if (model.centrosymmetric) model.inversionTranslation = inversion->second;
  std::vector<IntRotation> taken;
  for (const auto& [r, t] : firsts) {
    if (model.centrosymmetric && std::find(taken.begin(), taken.end(), negated(r)) != taken.end()) continue;
    taken.push_back(r);
    model.operators.push_back({transposed(r), t});
  }
}

double dot(const std::array<double, 3>& a, const double h[3]) { return a[0] * h[0] + a[1] * h[1] + a[2] * h[2]; }

std::complex<double> phaseFactor(double turns) {
  const double p = kTwoPi * turns;
  return {std::cos(p), std::sin(p)};
}

}  // namespace

ScatteringModel expandStructure(const std::vector<AtomSite>& atoms, const std::vector<SymmetryOperator>& ops,
                                const Metric& metric) {
  ScatteringModel model;
  splitOperators(ops, model);
  // The direct cell is the reciprocal of the reciprocal one.
  const auto direct = computeMetric(metric.reciprocal);
  const Mat3 G = directMetric(direct ? direct->reciprocal : UnitCell{1, 1, 1, 90, 90, 90});
  for (const AtomSite& atom : atoms) {
    const SitePlacement place = placeOnSite(atom.xyz, ops, G);
    ScatteringModel::Site site;
    site.f = formFactorOf(atom.element).value_or(FormFactor{});
    site.weight = atom.occupancy / std::max<std::size_t>(1, place.stabiliser.size());
    site.bIso = 8 * std::numbers::pi * std::numbers::pi * atom.uIso;
    site.anisotropic = atom.uAniso.has_value();
    site.xyz = place.xyz;
    if (atom.uAniso) {
      // Tensors that break the site symmetry (rounded or refined without its constraints) are
      // averaged over the images that fall on the site, as the position is.
      const Mat3 beta = betaOf(*atom.uAniso, metric);
      for (int k : place.stabiliser) {
        const Mat3 b = rotated(beta, ops[static_cast<std::size_t>(k)]);
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) site.beta[i][j] += b[i][j];
      }
      const double n = static_cast<double>(std::max<std::size_t>(1, place.stabiliser.size()));
      for (auto& row : site.beta)
        for (double& v : row) v /= n;
      if (place.stabiliser.empty()) site.beta = beta;
    }
    model.cellAtoms += place.multiplicity;
    model.sites.push_back(site);
  }
  return model;
}

std::complex<double> structureFactor(const ScatteringModel& model, int h, int k, int l, double stol2) {
  const double hkl[3] = {double(h), double(k), double(l)};
  std::complex<double> centring = 0;
  for (const auto& c : model.centring) centring += phaseFactor(dot(c, hkl));
  // A reflection the centring extinguishes: its sum is 0 up to rounding.
  if (std::abs(centring) < 1e-9) return 0;

  // Form factor, occupancy and isotropic Debye–Waller factor once per atom.
  thread_local std::vector<double> weight;
  weight.resize(model.sites.size());
  for (std::size_t i = 0; i < model.sites.size(); ++i) {
    const auto& s = model.sites[i];
    weight[i] = s.f.at(stol2) * s.weight * (s.anisotropic ? 1.0 : std::exp(-s.bIso * stol2));
  }
  std::complex<double> F = 0;
  for (const auto& op : model.operators) {
    const double hr[3] = {double(op.r[0][0] * h + op.r[0][1] * k + op.r[0][2] * l),
                          double(op.r[1][0] * h + op.r[1][1] * k + op.r[1][2] * l),
                          double(op.r[2][0] * h + op.r[2][1] * k + op.r[2][2] * l)};
    double re = 0, im = 0;
    for (std::size_t i = 0; i < model.sites.size(); ++i) {
      const auto& s = model.sites[i];
      double w = weight[i];
      if (s.anisotropic) {
        double q = 0;
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b) q += hr[a] * s.beta[a][b] * hr[b];
        w *= std::exp(-q);
      }
      const double phase = kTwoPi * dot(s.xyz, hr);
      re += w * std::cos(phase);
      im += w * std::sin(phase);
    }
    // The image −(Rx) + t₀ − t of each term is its conjugate, shifted by its own translation.
    F += phaseFactor(dot(op.t, hkl)) * std::complex<double>(re, im);
    if (model.centrosymmetric) {
      std::array<double, 3> t{};
      for (int a = 0; a < 3; ++a) t[a] = model.inversionTranslation[a] - op.t[a];
      F += phaseFactor(dot(t, hkl)) * std::complex<double>(re, -im);
    }
  }
  return F * centring;
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
