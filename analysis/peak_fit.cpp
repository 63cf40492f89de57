#include "analysis/peak_fit.hpp"

#include <Eigen/Dense>
#include <unsupported/Eigen/LevenbergMarquardt>

#include <algorithm>
#include <cmath>

#include "core/limits.hpp"

namespace obrin {

namespace {

constexpr int kBackgroundParameters = 2;
constexpr int kPeakParameters = 5;  // position, height, FWHM, η, asymmetry

// The parameters a peak has in a fit: position and height, then FWHM and η, then asymmetry.
int parametersOf(const PeakStart& s) { return s.fixedShape ? 2 : s.fixedAsymmetry ? 4 : kPeakParameters; }

// The solver works on bounded images of the peak's parameters: the height the square of its
// parameter, the position within kMaxPeakShiftFwhm of its start, the FWHM within a factor
// kMaxPeakWidthChange of its start, η = (1 + sin u) / 2 within 0..1, the asymmetry within
// ±kMaxPeakAsymmetry. A weak peak cannot then run off to fit a neighbour's flank, nor two of
// them cancel each other with heights of opposite sign, nor a width collapse or spread over the
// window. The covariance is taken in the peak's own parameters.
double etaOf(double u) { return 0.5 * (1 + std::sin(u)); }
// A start at 0 or 1 would sit where the mixing's derivative vanishes, and stay there.
double uOf(double eta) { return std::asin(std::clamp(2 * eta - 1, -0.9, 0.9)); }
const double kLogWidthChange = std::log(kMaxPeakWidthChange);

// The split pseudo-Voigt of height 1 and its derivatives at x.
struct ProfileTerms {
  double value = 0, dPosition = 0, dFwhm = 0, dEta = 0, dAsymmetry = 0;
};

ProfileTerms profileTerms(double x, double position, double fwhm, double eta, double asymmetry) {
  const double d = x - position;
  const double side = d < 0 ? 1 : -1;  // the half's width is fwhm (1 + side · asymmetry)
  const double width = fwhm * (1 + side * asymmetry);
  const double q = d / width;
  const double lorentz = 1 / (1 + 4 * q * q);
  const double gauss = gaussianPart(q);
  ProfileTerms t;
  t.value = eta * lorentz + (1 - eta) * gauss;
  // dL/dx0 = 8 d L² / w², dG/dx0 = 8 ln2 d G / w²; dL/dw = 8 d² L² / w³, dG/dw = 8 ln2 d² G / w³.
  const double mix = eta * 8 * lorentz * lorentz + (1 - eta) * 2 * kFourLn2 * gauss;
  t.dPosition = mix * d / (width * width);
  const double byWidth = mix * d * d / (width * width * width);
  t.dFwhm = byWidth * (1 + side * asymmetry);
  t.dAsymmetry = byWidth * side * fwhm;
  t.dEta = lorentz - gauss;
  return t;
}

// One peak of a group in its own parameters, with its companion's position.
struct GroupPeak {
  double position = 0, height = 0, fwhm = 0, eta = 0, asymmetry = 0;
  std::optional<double> position2;
  double dPosition2 = 0;  // d(2θ₂)/d(2θ₁)
};

GroupPeak groupPeak(double position, double height, double fwhm, double eta, double asymmetry,
                    const std::optional<Doublet>& doublet) {
  GroupPeak g{position, height, fwhm, eta, asymmetry, std::nullopt, 0};
  if (doublet) {
    g.position2 = alpha2Position(position, doublet->lambdaRatio);
    if (g.position2)
      g.dPosition2 = doublet->lambdaRatio * std::cos(position * std::numbers::pi / 360) /
                     std::cos(*g.position2 * std::numbers::pi / 360);
  }
  return g;
}

// The model of a peak at one point and its derivatives by its own parameters, Kα2 companion
// included.
struct PeakTerms {
  double value = 0, dPosition = 0, dHeight = 0, dFwhm = 0, dEta = 0, dAsymmetry = 0;
};

PeakTerms peakTerms(double x, const GroupPeak& g, double ratio) {
  const ProfileTerms a = profileTerms(x, g.position, g.fwhm, g.eta, g.asymmetry);
  PeakTerms t{0, a.dPosition, a.value, a.dFwhm, a.dEta, a.dAsymmetry};
  if (g.position2) {
    const ProfileTerms b = profileTerms(x, *g.position2, g.fwhm, g.eta, g.asymmetry);
    t.dHeight += ratio * b.value;
    t.dPosition += ratio * b.dPosition * g.dPosition2;
    t.dFwhm += ratio * b.dFwhm;
    t.dEta += ratio * b.dEta;
    t.dAsymmetry += ratio * b.dAsymmetry;
  }
  t.value = g.height * t.dHeight;
  t.dPosition *= g.height;
  t.dFwhm *= g.height;
  t.dEta *= g.height;
  t.dAsymmetry *= g.height;
  return t;
}

// The weighted residuals (model − y) / σ of a group, for Eigen's Levenberg–Marquardt. The
// parameters are the background's two, then for each peak the images of its position and
// height and, unless its shape is held, of its FWHM and η, and of its asymmetry unless that
// is held.
struct GroupResiduals : Eigen::DenseFunctor<double> {
  GroupResiduals(const FitPoints& p, double centre, const std::vector<PeakStart>& starts, const std::optional<Doublet>& d)
      : Eigen::DenseFunctor<double>(parameterCount(starts), int(p.x.size())),
        points(p), centre(centre), starts(starts), doublet(d), weight(p.x.size()) {
    for (std::size_t i = 0; i < p.x.size(); ++i) weight[i] = 1 / std::sqrt(p.variance[i]);
    Eigen::Index k = kBackgroundParameters;
    for (const PeakStart& s : starts) {
      offset.push_back(k);
      k += parametersOf(s);
    }
  }
  static int parameterCount(const std::vector<PeakStart>& starts) {
    int n = kBackgroundParameters;
    for (const PeakStart& s : starts) n += parametersOf(s);
    return n;
  }

  // The solver's start values.
  Eigen::VectorXd start() const {
    Eigen::VectorXd v = Eigen::VectorXd::Zero(inputs());
    for (std::size_t j = 0; j < starts.size(); ++j) {
      const Eigen::Index k = offset[j];
      v[k + 1] = std::sqrt(std::max(starts[j].height, 0.0));
      if (starts[j].fixedShape) continue;
      v[k + 3] = uOf(starts[j].eta);
      if (!starts[j].fixedAsymmetry) v[k + 4] = std::asin(std::clamp(starts[j].asymmetry / kMaxPeakAsymmetry, -0.9, 0.9));
    }
    return v;
  }

  // The solver's parameters to the peak's own.
  GroupPeak peakAt(const InputType& v, std::size_t j) const {
    const Eigen::Index k = offset[j];
    const PeakStart& s = starts[j];
    const double position = s.position + kMaxPeakShiftFwhm * s.fwhm * std::sin(v[k]);
    const double height = v[k + 1] * v[k + 1];
    if (s.fixedShape) return groupPeak(position, height, s.fwhm, s.eta, s.asymmetry, doublet);
    return groupPeak(position, height, s.fwhm * std::exp(kLogWidthChange * std::sin(v[k + 2])), etaOf(v[k + 3]),
                     s.fixedAsymmetry ? s.asymmetry : kMaxPeakAsymmetry * std::sin(v[k + 4]), doublet);
  }
  double ratio() const { return doublet ? doublet->ratio : 0; }

  int operator()(const InputType& v, ValueType& f) const {
    for (std::size_t i = 0; i < points.x.size(); ++i)
      f[Eigen::Index(i)] = v[0] + v[1] * (points.x[i] - centre) - points.y[i];
    for (std::size_t j = 0; j < starts.size(); ++j) {
      const GroupPeak g = peakAt(v, j);
      for (std::size_t i = 0; i < points.x.size(); ++i) {
        const double x = points.x[i];
        double value = pseudoVoigt(x, g.position, g.fwhm, g.eta, g.asymmetry);
        if (g.position2) value += ratio() * pseudoVoigt(x, *g.position2, g.fwhm, g.eta, g.asymmetry);
        f[Eigen::Index(i)] += g.height * value;
      }
    }
    for (std::size_t i = 0; i < points.x.size(); ++i) f[Eigen::Index(i)] *= weight[i];
    return f.allFinite() ? 0 : -1;
  }

  // By the solver's parameters when solver is true, else by the peaks' own.
  void jacobian(const InputType& v, JacobianType& J, bool solver) const {
    for (std::size_t i = 0; i < points.x.size(); ++i) {
      J(Eigen::Index(i), 0) = weight[i];
      J(Eigen::Index(i), 1) = (points.x[i] - centre) * weight[i];
    }
    for (std::size_t j = 0; j < starts.size(); ++j) {
      const GroupPeak g = peakAt(v, j);
      const Eigen::Index k = offset[j];
      const bool free = !starts[j].fixedShape;
      const double byPosition = solver ? kMaxPeakShiftFwhm * starts[j].fwhm * std::cos(v[k]) : 1;
      const double byHeight = solver ? 2 * v[k + 1] : 1;
      const double byFwhm = solver && free ? g.fwhm * kLogWidthChange * std::cos(v[k + 2]) : 1;
      const double byEta = solver && free ? 0.5 * std::cos(v[k + 3]) : 1;
      const bool asymmetric = free && !starts[j].fixedAsymmetry;
      const double byAsymmetry = solver && asymmetric ? kMaxPeakAsymmetry * std::cos(v[k + 4]) : 1;
      for (std::size_t i = 0; i < points.x.size(); ++i) {
        const Eigen::Index r = Eigen::Index(i);
        const PeakTerms t = peakTerms(points.x[i], g, ratio());
        const double w = weight[i];
        J(r, k) = t.dPosition * byPosition * w;
        J(r, k + 1) = t.dHeight * byHeight * w;
        if (!free) continue;
        J(r, k + 2) = t.dFwhm * byFwhm * w;
        J(r, k + 3) = t.dEta * byEta * w;
        if (asymmetric) J(r, k + 4) = t.dAsymmetry * byAsymmetry * w;
      }
    }
  }
  int df(const InputType& v, JacobianType& J) const {
    jacobian(v, J, true);
    return J.allFinite() ? 0 : -1;
  }

  const FitPoints& points;
  double centre;
  const std::vector<PeakStart>& starts;
  std::optional<Doublet> doublet;
  std::vector<double> weight;
  std::vector<Eigen::Index> offset;  // of each peak's parameters
};

PeakGroupFit failed(std::string why) {
  PeakGroupFit fit;
  fit.failure = std::move(why);
  return fit;
}

// Start of the background: a straight line through the lowest points of either end, clipped
// where a start peak reaches.
void startBackground(const FitPoints& p, double centre, double& b0, double& b1) {
  const std::size_t n = p.x.size(), edge = std::max<std::size_t>(1, n / 10);
  const double left = *std::min_element(p.y.begin(), p.y.begin() + long(edge));
  const double right = *std::min_element(p.y.end() - long(edge), p.y.end());
  const double span = p.x.back() - p.x.front();
  b1 = span > 0 ? (right - left) / span : 0;
  b0 = left + b1 * (centre - p.x.front());
}

bool converged(Eigen::LevenbergMarquardtSpace::Status status) {
  using namespace Eigen::LevenbergMarquardtSpace;
  switch (status) {
    case RelativeReductionTooSmall:
    case RelativeErrorTooSmall:
    case RelativeErrorAndReductionTooSmall:
    case CosinusTooSmall:
    // The tolerances cannot be met in floating point: the minimum is as good as it gets.
    case FtolTooSmall:
    case XtolTooSmall:
    case GtolTooSmall: return true;
    default: return false;
  }
}

}  // namespace

std::vector<HeightEstimate> fixedShapeHeights(const FitPoints& points, const std::vector<PeakStart>& shapes,
                                              const std::optional<Doublet>& doublet, int backgroundTerms) {
  const Eigen::Index n = Eigen::Index(points.x.size()), k = Eigen::Index(shapes.size()), b = backgroundTerms;
  std::vector<HeightEstimate> out(shapes.size());
  if (n < k + b + 1 || points.x.back() <= points.x.front()) return out;
  const double centre = 0.5 * (points.x.front() + points.x.back()), half = 0.5 * (points.x.back() - points.x.front());
  Eigen::MatrixXd design(n, b + k);
  Eigen::VectorXd y(n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const double x = points.x[std::size_t(i)], w = 1 / std::sqrt(points.variance[std::size_t(i)]);
    double power = w;
    for (Eigen::Index j = 0; j < b; ++j, power *= (x - centre) / half) design(i, j) = power;
    for (Eigen::Index j = 0; j < k; ++j) {
      const PeakStart& s = shapes[std::size_t(j)];
      design(i, b + j) = peakValue(x, s.position, 1, s.fwhm, s.eta, s.asymmetry, doublet) * w;
    }
    y[i] = points.y[std::size_t(i)] * w;
  }
  const Eigen::VectorXd norms = design.colwise().norm().transpose();
  if ((norms.array() <= 0).any()) return out;
  const Eigen::MatrixXd scaled = design * norms.cwiseInverse().asDiagonal();
  const Eigen::LDLT<Eigen::MatrixXd> ldlt(scaled.transpose() * scaled);
  if (ldlt.info() != Eigen::Success) return out;
  const Eigen::VectorXd solution = ldlt.solve(scaled.transpose() * y);
  const Eigen::MatrixXd inverse = ldlt.solve(Eigen::MatrixXd::Identity(b + k, b + k));
  for (Eigen::Index j = 0; j < k; ++j) {
    const Eigen::Index c = b + j;
    const double height = solution[c] / norms[c], variance = inverse(c, c) / (norms[c] * norms[c]);
    if (std::isfinite(height) && variance > 0 && std::isfinite(variance))
      out[std::size_t(j)] = {height, height / std::sqrt(variance)};
  }
  return out;
}

PeakGroupFit fitPeakGroup(const FitPoints& points, const std::vector<PeakStart>& starts,
                          const std::optional<Doublet>& doublet) {
  const std::size_t n = points.x.size();
  if (starts.empty()) return failed("no peak to fit");
  const int parameters = GroupResiduals::parameterCount(starts);
  if (int(n) <= parameters) return failed("too few points to determine its parameters");

  const double centre = 0.5 * (points.x.front() + points.x.back());
  GroupResiduals residuals(points, centre, starts, doublet);
  Eigen::VectorXd v = residuals.start();
  startBackground(points, centre, v[0], v[1]);
  if (!v.allFinite()) return failed("its start values are not numbers");

  Eigen::LevenbergMarquardt<GroupResiduals> solver(residuals);
  solver.setMaxfev(std::max(kMinPeakFitEvaluations, kPeakFitEvaluationsPerParameter * parameters));
  // χ² to a part in 10⁷ is far below its own scatter of ±√(2ν).
  solver.setFtol(1e-7);
  solver.setXtol(1e-7);
  const auto status = solver.minimize(v);
  // Near the edge of its range a parameter has gone as far as it may: a peak there has left its
  // start. (The images flatten there, so a fit that ends near an edge seldom reaches it.)
  auto atLimit = [&](std::size_t j) {
    const Eigen::Index k = residuals.offset[j];
    const double edge = 0.97;
    return std::abs(std::sin(v[k])) > edge || (!starts[j].fixedShape && std::abs(std::sin(v[k + 2])) > edge);
  };
  if (!converged(status) || !v.allFinite()) {
    PeakGroupFit fit = failed(status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation
                                  ? "the fit did not converge"
                                  : "the fit failed");
    if (v.allFinite())
      for (std::size_t j = 0; j < starts.size(); ++j) fit.atLimit.push_back(atLimit(j));
    return fit;
  }

  // Covariance in the peaks' own parameters: (JᵀJ)⁻¹ of the weighted residuals, with the
  // columns of J brought to one length first, as background, positions and heights differ by
  // orders of magnitude.
  Eigen::MatrixXd J(Eigen::Index(n), parameters);
  residuals.jacobian(v, J, false);
  if (!J.allFinite()) return failed("the fit gave a value that is not a number");
  const Eigen::VectorXd norms = J.colwise().norm().transpose();
  if ((norms.array() <= 0).any()) return failed("the points do not determine its parameters");
  const Eigen::MatrixXd scaled = J * norms.cwiseInverse().asDiagonal();
  const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(scaled.transpose() * scaled);
  if (!qr.isInvertible()) return failed("the points do not determine its parameters");
  const Eigen::MatrixXd covariance =
      norms.cwiseInverse().asDiagonal() * qr.inverse() * norms.cwiseInverse().asDiagonal();
  Eigen::VectorXd f(static_cast<Eigen::Index>(n));
  if (residuals(v, f) < 0) return failed("the fit failed");
  const double chi2PerDof = f.squaredNorm() / (double(n) - parameters);

  PeakGroupFit fit;
  fit.centre = centre;
  fit.background0 = v[0];
  fit.background1 = v[1];
  fit.chi2PerDof = chi2PerDof;
  auto su = [&](Eigen::Index i) { return std::sqrt(std::max(0.0, covariance(i, i) * chi2PerDof)); };
  for (std::size_t j = 0; j < starts.size(); ++j) {
    const Eigen::Index k = residuals.offset[j];
    const bool free = !starts[j].fixedShape;
    const GroupPeak fitted = residuals.peakAt(v, j);
    Peak peak;
    peak.twoTheta = fitted.position;
    peak.height = fitted.height;
    peak.fwhm = fitted.fwhm;
    peak.eta = fitted.eta;
    peak.asymmetry = fitted.asymmetry;
    peak.twoThetaSu = su(k);
    peak.heightSu = su(k + 1);
    if (free) {
      peak.fwhmSu = su(k + 2);
      peak.etaSu = su(k + 3);
    }
    peak.area = pseudoVoigtArea(peak.height, peak.fwhm, peak.eta);
    // The area's s.u. through its derivatives by height, FWHM and η, correlations included.
    const double shapeArea = pseudoVoigtArea(1, peak.fwhm, peak.eta);
    if (free) {
      const Eigen::Vector3d g(shapeArea, peak.height * shapeArea / peak.fwhm,
                              peak.height * peak.fwhm * (kLorentzianAreaFactor - kGaussianAreaFactor));
      const Eigen::Matrix3d c = covariance.block(k + 1, k + 1, 3, 3);
      peak.areaSu = std::sqrt(std::max(0.0, g.dot(c * g) * chi2PerDof));
    } else {
      peak.areaSu = shapeArea * peak.heightSu;
    }
    const double counting = std::sqrt(std::max(0.0, covariance(k + 1, k + 1)));
    peak.significance = counting > 0 ? peak.height / counting : 0;
    const double values[] = {peak.twoTheta, peak.twoThetaSu, peak.height, peak.heightSu, peak.area,
                             peak.areaSu, peak.fwhm, peak.fwhmSu, peak.eta, peak.etaSu, peak.significance};
    if (!std::all_of(std::begin(values), std::end(values), [](double x) { return std::isfinite(x); }))
      return failed("the fit gave a value that is not a number");
    fit.peaks.push_back(peak);
    fit.atLimit.push_back(atLimit(j));
  }
  fit.ok = true;
  return fit;
}

}  // namespace obrin
