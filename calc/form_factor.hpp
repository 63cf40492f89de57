// X-ray form factors of the neutral atoms: four Gaussians and a constant (International Tables
// for Crystallography vol. C, 1992, Table 6.1.1.4).
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace obrin {

struct FormFactor {
  std::array<double, 4> a{}, b{};
  double c = 0;

  // f(s) with s² = (sin θ / λ)² = 1 / (4 d²).
  double at(double stol2) const {
    double f = c;
    for (int i = 0; i < 4; ++i) f += a[i] * std::exp(-b[i] * stol2);
    return f;
  }
};

// The coefficients of an element symbol ("Fe", case as written in tables); none for a symbol
// that is not an element of the table. Ions take their element's: the table is of neutral atoms.
std::optional<FormFactor> formFactorOf(std::string_view element);

}  // namespace obrin
