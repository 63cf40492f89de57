// Whether a list of symmetry operators can be the general position of a space group: checked
// before anything is calculated with it, whether it comes from a position file or elsewhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "symmetry/pot.hpp"

namespace obrin {

struct OperatorFault {
  std::size_t index = 0;  // the operator at fault, 0-based in list order
  std::string reason;     // what is wrong with it, in words
};

// None when every rotation is a matrix of whole numbers with determinant ±1 and the rotations
// are closed under composition (translations are not compared: a list may omit the centring).
std::optional<OperatorFault> findRotationGroupFault(const std::vector<SymmetryOperator>& operators);

}  // namespace obrin
