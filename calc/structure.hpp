// The atoms of a crystal structure, as an imported file lists them (the asymmetric unit).
#pragma once

#include <array>
#include <optional>
#include <string>

namespace obrin {

struct AtomSite {
  std::string label;
  std::string typeSymbol;  // as written: "O2-", "Fe3+"
  std::string element;     // the element it scatters as: "O", "Fe"
  std::array<double, 3> xyz{};
  double occupancy = 1.0;
  double uIso = 0.0;  // Å²
  // U11 U22 U33 U12 U13 U23 in Å² on the axes normalised by the reciprocal lengths (the CIF
  // convention); when present it replaces uIso.
  std::optional<std::array<double, 6>> uAniso;
};

}  // namespace obrin
