// The direct metric of a cell as an Eigen matrix, and the cell of a metric: shared by the
// analysis sources that work on metrics. Private to the analysis library (its public headers
// keep Eigen out), with π/180: the analysis works on measured angles.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include <Eigen/Dense>

#include "core/mathhkl.hpp"

namespace obrin::metric_matrix {

inline constexpr double kRad = std::numbers::pi / 180;

// G_ij = a_i · a_j.
inline Eigen::Matrix3d directMetric(const UnitCell& c) {
  const double ca = std::cos(c.alpha * kRad), cb = std::cos(c.beta * kRad), cg = std::cos(c.gamma * kRad);
  Eigen::Matrix3d g;
  g << c.a * c.a, c.a * c.b * cg, c.a * c.c * cb,
       c.a * c.b * cg, c.b * c.b, c.b * c.c * ca,
       c.a * c.c * cb, c.b * c.c * ca, c.c * c.c;
  return g;
}

// The lengths and angles of a direct metric.
inline UnitCell cellOfMetric(const Eigen::Matrix3d& g) {
  UnitCell c;
  c.a = std::sqrt(g(0, 0));
  c.b = std::sqrt(g(1, 1));
  c.c = std::sqrt(g(2, 2));
  c.alpha = std::acos(std::clamp(g(1, 2) / (c.b * c.c), -1.0, 1.0)) / kRad;
  c.beta = std::acos(std::clamp(g(0, 2) / (c.a * c.c), -1.0, 1.0)) / kRad;
  c.gamma = std::acos(std::clamp(g(0, 1) / (c.a * c.b), -1.0, 1.0)) / kRad;
  return c;
}

}  // namespace obrin::metric_matrix
