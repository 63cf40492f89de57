#include "symmetry/operator_group.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace obrin {
namespace {

using FlatRotation = std::array<int, 9>;

constexpr double kWholeNumberTolerance = 1e-6;

std::optional<FlatRotation> integerRotation(const SymmetryOperator& op) {
  FlatRotation r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double v = op.m[i][j];
      if (!std::isfinite(v) || std::abs(v - std::round(v)) > kWholeNumberTolerance) return std::nullopt;
      r[3 * i + j] = static_cast<int>(std::lround(v));
    }
  return r;
}

int determinant(const FlatRotation& r) {
  return r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) +
         r[2] * (r[3] * r[7] - r[4] * r[6]);
}

FlatRotation product(const FlatRotation& a, const FlatRotation& b) {
  FlatRotation p{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) p[3 * i + j] += a[3 * i + k] * b[3 * k + j];
  return p;
}

}  // namespace

std::optional<OperatorFault> findRotationGroupFault(const std::vector<SymmetryOperator>& operators) {
  std::vector<FlatRotation> rotations;
  rotations.reserve(operators.size());
  for (std::size_t i = 0; i < operators.size(); ++i) {
    const auto r = integerRotation(operators[i]);
    if (!r) return OperatorFault{i, "its rotation is not made of whole numbers"};
    const int det = determinant(*r);
    if (det != 1 && det != -1)
      return OperatorFault{i, "its rotation has determinant " + std::to_string(det) + ", not 1 or -1"};
    rotations.push_back(*r);
  }
  std::vector<FlatRotation> sorted = rotations;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < rotations.size(); ++i)
    for (std::size_t j = 0; j < rotations.size(); ++j)
      if (!std::binary_search(sorted.begin(), sorted.end(), product(rotations[i], rotations[j])))
        return OperatorFault{std::max(i, j), (i == j ? std::string("applied twice")
                                                     : "combined with operator " + std::to_string(std::min(i, j) + 1)) +
                                                 " it gives a rotation that is not in the list"};
  return std::nullopt;
}

}  // namespace obrin
