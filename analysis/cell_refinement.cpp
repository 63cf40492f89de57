#include "analysis/cell_refinement.hpp"

#include <Eigen/Dense>
#include <unsupported/Eigen/NonLinearOptimization>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "analysis/reciprocal_metric.hpp"

namespace obrin {

namespace {

constexpr double kDeg = 180 / std::numbers::pi;
// A residual that tells the least squares a trial step left the cells (or the angles) behind.
constexpr double kOutsideResidual = 1e6;

using Vector = Eigen::VectorXd;
using Matrix = Eigen::MatrixXd;

std::string number(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// "1 parameter", "3 parameters".
std::string counted(int n, const std::string& noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
  return text;
}

// The free cell parameter p and every parameter tied to it.
std::vector<int> membersOf(CrystalSystem system, int p) {
  std::vector<int> members{p};
  for (int t : tiedTo(system, p)) members.push_back(t);
  return members;
}

// What the least squares varies: the system's free cell parameters, then the zero shift and
// the displacement when asked for.
struct Model {
  CrystalSystem system;
  std::vector<int> cellParameters;
  bool zero = false, displacement = false;
  UnitCell start;  // fixed values, and the tied ones before the rules apply
  double zeroStart = 0, displacementStart = 0;
  double lambda = 0, radius = kDefaultGoniometerRadius;

  int size() const { return static_cast<int>(cellParameters.size()) + zero + displacement; }
  int zeroIndex() const { return static_cast<int>(cellParameters.size()); }
  int displacementIndex() const { return zeroIndex() + zero; }

  std::vector<std::string> names() const {
    std::vector<std::string> n;
    for (int p : cellParameters) n.emplace_back(kCellParameterNames[p]);
    if (zero) n.emplace_back("zero");
    if (displacement) n.emplace_back("displacement");
    return n;
  }
  Vector initial() const {
    Vector x(size());
    const auto params = start.params();
    for (std::size_t j = 0; j < cellParameters.size(); ++j) x[j] = params[cellParameters[j]];
    if (zero) x[zeroIndex()] = zeroStart;
    if (displacement) x[displacementIndex()] = displacementStart;
    return x;
  }
  UnitCell cellOf(const Vector& x) const {
    auto params = start.params();
    for (std::size_t j = 0; j < cellParameters.size(); ++j) params[cellParameters[j]] = x[j];
    return applySystemRules(system, UnitCell::fromParams(params));
  }
  Diffractometer instrumentOf(const Vector& x) const {
    return {lambda, zero ? x[zeroIndex()] : zeroStart, displacement ? x[displacementIndex()] : displacementStart, radius};
  }
  void setCell(Vector& x, const UnitCell& cell) const {
    const auto params = cell.params();
    for (std::size_t j = 0; j < cellParameters.size(); ++j) x[j] = params[cellParameters[j]];
  }
};

// An indexed peak as the least squares sees it.
struct Observation {
  Miller hkl;
  std::array<double, 6> terms;  // h², k², l², kl, hl, hk
  double twoTheta = 0;
  double sigma = 1;
};

// Residuals (2θcalc − 2θobs) / σ and their derivatives, for Eigen's Levenberg–Marquardt.
struct Residuals {
  const Model& model;
  const std::vector<Observation>& obs;

  int inputs() const { return model.size(); }
  int values() const { return static_cast<int>(obs.size()); }

  int operator()(const Vector& x, Vector& f) const {
    const UnitCell cell = model.cellOf(x);
    const auto metric = reciprocalMetric(cell);
    if (!metric) {
      f.setConstant(values(), kOutsideResidual);
      return 0;
    }
    const Diffractometer in = model.instrumentOf(x);
    for (int i = 0; i < values(); ++i) {
      double q = 0;
      for (int t = 0; t < 6; ++t) q += (*metric)[t] * obs[i].terms[t];
      const double s = in.lambda * std::sqrt(std::max(q, 0.0)) / 2;
      if (!(q > 0 && s < 1)) {
        f[i] = kOutsideResidual;
        continue;
      }
      const double theta = std::asin(s);
      const double calc = 2 * theta * kDeg + in.zero - 2 * in.displacement * std::cos(theta) / in.radius * kDeg;
      f[i] = (calc - obs[i].twoTheta) / obs[i].sigma;
    }
    return 0;
  }

  int df(const Vector& x, Matrix& jac) const {
    jac.setZero(values(), inputs());
    const UnitCell cell = model.cellOf(x);
    const auto metric = reciprocalMetric(cell);
    const auto derivatives = reciprocalMetricDerivatives(cell);
    if (!metric || !derivatives) return 0;
    // ∂(coefficients)/∂(free parameter): a tied parameter moves with its source.
    std::vector<ReciprocalMetric> dx(model.cellParameters.size(), ReciprocalMetric{});
    for (std::size_t j = 0; j < model.cellParameters.size(); ++j)
      for (int m : membersOf(model.system, model.cellParameters[j]))
        for (int t = 0; t < 6; ++t) dx[j][t] += (*derivatives)[m][t];
    const Diffractometer in = model.instrumentOf(x);
    const double k = in.displacement / in.radius;
    for (int i = 0; i < values(); ++i) {
      double q = 0;
      for (int t = 0; t < 6; ++t) q += (*metric)[t] * obs[i].terms[t];
      const double s = in.lambda * std::sqrt(std::max(q, 0.0)) / 2;
      if (!(q > 0 && s < 1)) continue;
      const double theta = std::asin(s);
      // 2θcalc = (2θ − 2 k cosθ) in degrees + zero, θ = asin(λ √Q / 2).
      const double dThetaDq = in.lambda / (4 * std::sqrt(q) * std::cos(theta));
      const double dCalcDq = (2 + 2 * k * std::sin(theta)) * dThetaDq * kDeg;
      for (std::size_t j = 0; j < dx.size(); ++j) {
        double dq = 0;
        for (int t = 0; t < 6; ++t) dq += dx[j][t] * obs[i].terms[t];
        jac(i, j) = dCalcDq * dq / obs[i].sigma;
      }
      if (model.zero) jac(i, model.zeroIndex()) = 1 / obs[i].sigma;
      if (model.displacement)
        jac(i, model.displacementIndex()) = -2 * std::cos(theta) / in.radius * kDeg / obs[i].sigma;
    }
    return 0;
  }
};

// The parameters a design matrix leaves undetermined: those of its singular direction once
// each column is scaled to the change of a natural step of its parameter (scale); empty when it
// determines them all. A column that rounding alone keeps from 0 is left undetermined too.
std::vector<std::string> undetermined(const Matrix& design, const std::vector<double>& scale,
                                      const std::vector<std::string>& names) {
  std::vector<std::string> out;
  Matrix scaled = design;
  double largest = 0;
  for (int j = 0; j < scaled.cols(); ++j) {
    scaled.col(j) *= scale[j];
    largest = std::max(largest, scaled.col(j).norm());
  }
  if (!(largest > 0) || !std::isfinite(largest)) return names;
  for (int j = 0; j < scaled.cols(); ++j) {
    const double norm = scaled.col(j).norm();
    if (!(norm > kSingularRatio * largest)) out.push_back(names[j]);
    else scaled.col(j) /= norm;
  }
  if (!out.empty()) return out;
  const Eigen::JacobiSVD<Matrix> svd(scaled, Eigen::ComputeThinV);
  const auto& sv = svd.singularValues();
  if (sv.size() == 0 || sv[sv.size() - 1] > kSingularRatio * sv[0]) return out;
  const auto v = svd.matrixV().col(sv.size() - 1);
  for (int j = 0; j < v.size(); ++j)
    if (std::fabs(v[j]) > 0.3) out.push_back(names[j]);
  return out;
}

// The natural steps: a length's own size, a radian of an angle, a degree of zero shift, a
// millimetre of displacement.
std::vector<double> naturalSteps(const std::vector<int>& cellParameters, const UnitCell& cell, bool zero,
                                 bool displacement) {
  std::vector<double> steps;
  const auto params = cell.params();
  for (int p : cellParameters) steps.push_back(p < 3 ? params[p] : kDeg);
  if (zero) steps.push_back(1);
  if (displacement) steps.push_back(1);
  return steps;
}

Failure undeterminedFailure(const std::vector<std::string>& names) {
  const bool one = names.size() == 1;
  return fail("The indexed lines leave " + joined(names) + (one ? " undetermined" : " undetermined together") +
              ": they lie in one zone or too narrow a range; index lines outside it");
}

// σ(2θ) of each peak: its s.u. floored, the largest of the list for one without; 1 for all
// when the list has none.
std::vector<double> peakSigmas(const std::vector<Peak>& peaks, bool& weighted) {
  double largest = 0;
  for (const Peak& p : peaks)
    if (p.twoThetaSu > 0 && std::isfinite(p.twoThetaSu)) largest = std::max(largest, p.twoThetaSu);
  weighted = largest > 0;
  std::vector<double> sigma(peaks.size(), 1.0);
  if (!weighted) return sigma;
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    const double su = peaks[i].twoThetaSu > 0 && std::isfinite(peaks[i].twoThetaSu) ? peaks[i].twoThetaSu : largest;
    sigma[i] = std::max(su, kMinTwoThetaSu);
  }
  return sigma;
}

// The measured 2θ of a peak; from its d where a list gives only d.
double observedTwoTheta(const Peak& p, double lambda) {
  if (p.twoTheta > 0 && p.twoTheta < 180) return p.twoTheta;
  if (p.d > 0 && lambda / (2 * p.d) < 1) return 2 * std::asin(lambda / (2 * p.d)) * kDeg;
  return std::nan("");
}

// How far the refinement went from where it started, as a refusal; none when it stayed near.
std::optional<Failure> ranAway(const Model& model, const Vector& x) {
  const UnitCell cell = model.cellOf(x);
  const auto before = model.start.params(), after = cell.params();
  for (int p : model.cellParameters) {
    const bool length = p < 3;
    const double change = length ? std::fabs(after[p] / before[p] - 1) : std::fabs(after[p] - before[p]);
    if (!(change <= (length ? kMaxRefinedLengthChange : kMaxRefinedAngleChange)))
      return fail("The refinement ran away: " + std::string(kCellParameterNames[p]) + " went from " +
                  number(before[p], 5) + " to " + number(after[p], 5) + (length ? " Å" : "°") +
                  "; check the start cell, the group and the wavelength");
  }
  const Diffractometer in = model.instrumentOf(x);
  if (!(std::fabs(in.zero - model.zeroStart) <= kMaxRefinedZeroChange))
    return fail("The refinement ran away: the zero shift went to " + number(in.zero, 4) + "°");
  if (!(std::fabs(in.displacement - model.displacementStart) <= kMaxRefinedDisplacementChange))
    return fail("The refinement ran away: the displacement went to " + number(in.displacement, 4) + " mm");
  if (!reciprocalMetric(cell)) return fail("The refinement ran away: the cell has no positive metric");
  return std::nullopt;
}

// Levenberg–Marquardt from x on the indexed lines.
Result<void> leastSquares(const Model& model, const std::vector<Observation>& obs, Vector& x) {
  Residuals residuals{model, obs};
  {
    Matrix jac;
    residuals.df(x, jac);
    const auto steps = naturalSteps(model.cellParameters, model.cellOf(x), model.zero, model.displacement);
    if (const auto missing = undetermined(jac, steps, model.names()); !missing.empty())
      return undeterminedFailure(missing);
  }
  Eigen::LevenbergMarquardt<Residuals> lm(residuals);
  lm.parameters.maxfev = kMaxRefinementEvaluations;
  const auto status = lm.minimize(x);
  if (status == Eigen::LevenbergMarquardtSpace::TooManyFunctionEvaluation)
    return fail("The refinement did not converge in " + std::to_string(kMaxRefinementEvaluations) + " steps");
  if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters || !x.allFinite())
    return fail("The refinement ran away: its parameters are no longer numbers");
  if (const auto away = ranAway(model, x)) return *away;
  return {};
}

// The linear start: the system's metric fitted to Q of the lines as indexed, each weighted as
// its 2θ is (σ(Q) = σ(2θ) dQ/d2θ), so that it starts near the least squares on 2θ.
Result<void> linearStart(const Model& model, const std::vector<Observation>& obs, Vector& x) {
  std::vector<IndexedSpacing> lines;
  const Diffractometer in = model.instrumentOf(x);
  for (const Observation& o : obs) {
    const auto d = spacingAt(o.twoTheta, in);
    if (!d) continue;
    const double twoTheta = 2 * std::asin(in.lambda / (2 * *d));
    const double slope = 2 * std::sin(twoTheta) / (in.lambda * in.lambda) / kDeg;  // dQ/d2θ per degree
    lines.push_back({o.hkl, 1 / (*d * *d), 1 / std::pow(o.sigma * slope, 2)});
  }
  const auto cell = linearCell(model.system, model.cellOf(x), lines);
  if (!cell) return cell.failure();
  model.setCell(x, *cell);
  return {};
}

}  // namespace

UnitCell applySystemRules(CrystalSystem system, const UnitCell& cell) {
  auto params = cell.params();
  const auto& rules = systemInfo(system).cell;
  for (int p = 0; p < 6; ++p) {
    if (rules[p].kind == CellParameterRule::Fixed) params[p] = rules[p].degrees;
    else if (rules[p].kind == CellParameterRule::Tied) params[p] = params[tieRoot(system, p)];
  }
  return UnitCell::fromParams(params);
}

Result<UnitCell> linearCell(CrystalSystem system, const UnitCell& like, std::span<const IndexedSpacing> lines) {
  const auto free = freeCellParameters(system);
  const int n = static_cast<int>(free.size());
  std::vector<std::string> names;
  for (int p : free) names.emplace_back(kCellParameterNames[p]);
  if (static_cast<int>(lines.size()) < n)
    return fail("Too few indexed lines: " + std::to_string(lines.size()) + " for " + counted(n, "cell parameter") + " (" +
                joined(names) + ")");
  const auto derivatives = reciprocalMetricDerivatives(applySystemRules(system, like));
  if (!derivatives) return derivatives.failure();
  // The directions in which the system lets its metric change span all of its metrics (each is
  // a linear family: cubic A(h² + k² + l²), hexagonal A(h² + hk + k²) + C l², ...).
  std::vector<ReciprocalMetric> basis(n, ReciprocalMetric{});
  for (int j = 0; j < n; ++j)
    for (int m : membersOf(system, free[j]))
      for (int t = 0; t < 6; ++t) basis[j][t] += (*derivatives)[m][t];
  Matrix design(lines.size(), n);
  Vector rhs(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double w = lines[i].weight > 0 && std::isfinite(lines[i].weight) ? std::sqrt(lines[i].weight) : 0;
    const auto terms = metricTerms(lines[i].hkl);
    for (int j = 0; j < n; ++j) {
      double v = 0;
      for (int t = 0; t < 6; ++t) v += basis[j][t] * terms[t];
      design(i, j) = w * v;
    }
    rhs[i] = w * lines[i].q;
  }
  const auto steps = naturalSteps(free, applySystemRules(system, like), false, false);
  if (const auto missing = undetermined(design, steps, names); !missing.empty()) return undeterminedFailure(missing);
  const Vector c = design.colPivHouseholderQr().solve(rhs);
  ReciprocalMetric metric{};
  for (int j = 0; j < n; ++j)
    for (int t = 0; t < 6; ++t) metric[t] += c[j] * basis[j][t];
  const auto cell = cellFromReciprocalMetric(metric);
  if (!cell) return fail("The refinement ran away: the indexed spacings give no positive metric, so no cell");
  return applySystemRules(system, *cell);
}

namespace {

// The input checks, before anything is matched.
Result<void> checkInputs(const PeakList& peaks, const UnitCell& start, double lambda, const RefinementOptions& o) {
  if (!(lambda > 0 && std::isfinite(lambda))) return fail("Error. No lambda!");
  if (!computeMetric(start)) return fail("Error on cell parameters");
  if (!(o.tolerance > 0 && std::isfinite(o.tolerance))) return fail("The matching tolerance must be a positive angle");
  if (!(o.radius > 0 && std::isfinite(o.radius))) return fail("The goniometer radius must be a positive length");
  if (!std::isfinite(o.zero) || !std::isfinite(o.displacement)) return fail("The zero shift and the displacement must be numbers");
  if (peaks.peaks.empty()) return fail("No peaks to refine against");
  for (int e : o.excluded)
    if (e < 0 || e >= static_cast<int>(peaks.peaks.size()))
      return fail("Peak " + std::to_string(e + 1) + " is left out, but the list has " +
                  std::to_string(peaks.peaks.size()) + " peaks");
  return {};
}

// The rows of the table, the figures of merit and the uncertainties of the refined model.
void describe(CellRefinement& r, const Model& model, const Vector& x, const std::vector<Observation>& obs,
              const std::vector<int>& usedPeaks, const std::vector<LineMatch>& matches, const ReflectionList& lines,
              const std::vector<double>& twoTheta, const std::vector<double>& sigma,
              const std::vector<bool>& excluded) {
  const Residuals residuals{model, obs};
  Vector f(obs.size());
  residuals(x, f);
  Matrix jac;
  residuals.df(x, jac);
  const int m = static_cast<int>(obs.size()), p = model.size();
  r.reducedChiSquare = f.squaredNorm() / (m - p);
  // The covariance of the weighted problem, (JᵀJ)⁻¹, scaled by χ²/ν.
  const Matrix normal = jac.transpose() * jac;
  const Matrix inverse = normal.ldlt().solve(Matrix::Identity(p, p));
  const Matrix covariance = inverse * r.reducedChiSquare;
  Vector su(p);
  for (int j = 0; j < p; ++j) su[j] = std::sqrt(std::max(covariance(j, j), 0.0));
  r.parameterNames = model.names();
  r.correlation.assign(static_cast<std::size_t>(p) * p, 0);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) {
      const double scale = std::sqrt(inverse(i, i) * inverse(j, j));
      r.correlation[i * p + j] = scale > 0 ? inverse(i, j) / scale : (i == j);
    }

  r.cell = model.cellOf(x);
  r.volume = cellVolume(r.cell);
  std::array<double, 6> cellSu{};
  for (std::size_t j = 0; j < model.cellParameters.size(); ++j)
    for (int member : membersOf(model.system, model.cellParameters[j])) cellSu[member] = su[j];
  r.cellSu = UnitCell::fromParams(cellSu);
  // σ(V)² = g C gᵀ, g = ∂V/∂(free parameters) by central differences.
  Vector g = Vector::Zero(p);
  for (std::size_t j = 0; j < model.cellParameters.size(); ++j) {
    const double h = 1e-6 * std::max(1.0, std::fabs(x[j]));
    Vector up = x, down = x;
    up[j] += h;
    down[j] -= h;
    g[j] = (cellVolume(model.cellOf(up)) - cellVolume(model.cellOf(down))) / (2 * h);
  }
  r.volumeSu = std::sqrt(std::max(double(g.transpose() * covariance * g), 0.0));

  const Diffractometer in = model.instrumentOf(x);
  r.zero = in.zero;
  r.displacement = in.displacement;
  if (model.zero) r.zeroSu = su[model.zeroIndex()];
  if (model.displacement) r.displacementSu = su[model.displacementIndex()];
  if (model.zero && model.displacement) {
    const double rho = r.correlation[model.zeroIndex() * p + model.displacementIndex()];
    r.zeroDisplacementCorrelation = rho;
    if (std::fabs(rho) > kStrongCorrelation)
      r.warnings.push_back("Zero shift and displacement are correlated (" + number(rho, 3) +
                           "): their values trade off; refine one of them, or index lines to higher angles");
  }

  // Leverage: the diagonal of J (JᵀJ)⁻¹ Jᵀ.
  std::vector<double> leverage(r.lines.size(), 0);
  for (int i = 0; i < m; ++i) leverage[usedPeaks[i]] = jac.row(i) * inverse * jac.row(i).transpose();
  const double fitSigma = std::sqrt(r.reducedChiSquare);
  std::vector<IndexedValue> byQ, by2Theta;
  for (std::size_t i = 0; i < r.lines.size(); ++i) {
    RefinedLine& row = r.lines[i];
    row.peak = static_cast<int>(i);
    row.twoThetaObs = twoTheta[i];
    row.excluded = excluded[i];
    if (const auto d = spacingAt(twoTheta[i], in)) row.dObs = *d;
    const LineMatch& match = matches[i];
    if (!match.indexed()) continue;
    const Reflection& line = lines[match.line];
    row.indexed = true;
    row.hkl = line.hkl();
    row.multiplicity = line.multiplicity;
    row.ambiguous = match.ambiguous();
    row.dCalc = line.d;
    row.twoThetaCalc = lineTwoTheta(line.d, in).value_or(0);
    row.delta = row.twoThetaObs - row.twoThetaCalc;
    if (!row.used()) continue;
    row.sigma = r.weighted ? sigma[i] : 0;
    row.weight = r.weighted ? 1 / (sigma[i] * sigma[i]) : 1;
    row.leverage = leverage[i];
    row.outlier = std::fabs(row.delta) > kOutlierSigmas * (r.weighted ? sigma[i] : fitSigma);
    byQ.push_back({qOfSpacing(row.dObs), qOfSpacing(row.dCalc)});
    by2Theta.push_back({row.twoThetaObs, row.twoThetaCalc});
  }
  for (const RefinedLine& row : r.lines) {
    r.used += row.used();
    r.unindexed += !row.indexed;
    r.ambiguous += row.used() && row.ambiguous;
    r.outliers += row.outlier;
  }
  std::vector<double> possibleQ, possibleTwoTheta;
  for (const Reflection& line : lines) {
    possibleQ.push_back(qOfSpacing(line.d));
    if (const auto t = lineTwoTheta(line.d, in)) possibleTwoTheta.push_back(*t);
  }
  if (auto m20 = deWolffFigure(byQ, possibleQ, kDeWolffLines)) r.m20 = *m20;
  if (auto fN = smithSnyderFigure(by2Theta, possibleTwoTheta)) r.fN = *fN;
}

}  // namespace

Result<CellRefinement> refineCell(const PeakList& peaks, CrystalSystem system, const UnitCell& start,
                                  const SpaceGroup& group, double lambda, const RefinementOptions& options) {
  const UnitCell startCell = applySystemRules(system, start);
  if (auto ok = checkInputs(peaks, startCell, lambda, options); !ok) return ok.failure();
  Model model{system, freeCellParameters(system), options.refineZero, options.refineDisplacement, startCell,
              options.zero, options.displacement, lambda, options.radius};
  const std::size_t n = peaks.peaks.size();
  std::vector<double> twoTheta(n);
  double highest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    twoTheta[i] = observedTwoTheta(peaks.peaks[i], lambda);
    if (std::isfinite(twoTheta[i])) highest = std::max(highest, twoTheta[i]);
  }
  if (!(highest > 0)) return fail("No peak has a 2θ or a d the wavelength reaches");
  std::vector<bool> excluded(n, false);
  for (int e : options.excluded) excluded[e] = true;
  CellRefinement r;
  r.system = system;
  r.zeroRefined = options.refineZero;
  r.displacementRefined = options.refineDisplacement;
  r.radius = options.radius;
  r.lambda = lambda;
  r.tolerance = options.tolerance;
  const std::vector<double> sigma = peakSigmas(peaks.peaks, r.weighted);

  // Lines a little beyond the last peak: the shifts and the refined cell move them.
  const double reach = highest + options.tolerance + std::fabs(options.zero) +
                       2 * std::fabs(options.displacement) / options.radius * kDeg + 1;
  auto lines = allowedLines(startCell, group, lambda, std::min(reach, 180.0));
  if (!lines) return lines.failure();

  Vector x = model.initial();
  std::vector<int> assignment, previous;
  std::vector<LineMatch> matches;
  std::vector<Observation> obs;
  std::vector<int> usedPeaks;
  bool settled = false;
  for (int round = 1; round <= kMaxMatchRounds; ++round) {
    respaceLines(*lines, model.cellOf(x), lambda);
    matches = matchPeaks(twoTheta, *lines, model.instrumentOf(x), options.tolerance);
    assignment.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i)
      if (!excluded[i]) assignment[i] = matches[i].line;
    if (round > 1 && assignment == previous) {
      settled = true;
      break;
    }
    r.rounds = round;
    obs.clear();
    usedPeaks.clear();
    for (std::size_t i = 0; i < n; ++i) {
      if (assignment[i] < 0) continue;
      const Miller hkl = (*lines)[assignment[i]].hkl();
      obs.push_back({hkl, metricTerms(hkl), twoTheta[i], sigma[i]});
      usedPeaks.push_back(static_cast<int>(i));
    }
    if (static_cast<int>(obs.size()) <= model.size())
      return fail("Too few indexed lines: " + std::to_string(obs.size()) + " for " + counted(model.size(), "parameter") +
                  " (" + joined(model.names()) + "); at least " + std::to_string(model.size() + 1) +
                  " are needed within " + number(options.tolerance, 3) + "° of a line");
    if (round == 1)
      if (auto ok = linearStart(model, obs, x); !ok) return ok.failure();
    if (auto ok = leastSquares(model, obs, x); !ok) return ok.failure();
    previous = assignment;
  }
  if (!settled) {
    // The last assignment is the one refined: match it once more for the table.
    respaceLines(*lines, model.cellOf(x), lambda);
    matches = matchPeaks(twoTheta, *lines, model.instrumentOf(x), options.tolerance);
    for (std::size_t i = 0; i < n; ++i)
      if (!excluded[i] && matches[i].line != previous[i]) matches[i].line = previous[i];
    r.warnings.push_back("The assignment of peaks to lines still changed after " + std::to_string(kMaxMatchRounds) +
                         " rounds; the last one is refined");
  }
  r.lines.resize(n);
  describe(r, model, x, obs, usedPeaks, matches, *lines, twoTheta, sigma, excluded);
  return r;
}

}  // namespace obrin
