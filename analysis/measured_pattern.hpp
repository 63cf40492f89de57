// A measured powder pattern as the readers give it and the analysis reads it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace obrin {

// The tube lines stored in a file, Å; alpha2 and ratio are 0 when the file does not give them.
struct PatternWavelength {
  double alpha1 = 0;
  double alpha2 = 0;
  double ratio = 0;  // I(Kα2) / I(Kα1)
};

// The points in file order; x is 2θ in degrees.
struct MeasuredPattern {
  std::vector<double> x, y;
  std::vector<double> sigma;  // empty when the file gives no third column
  std::optional<PatternWavelength> wavelength;
  std::string format;  // "columns", "gsas" or the xylib format name ("xrdml", "uxd", ...)
};

}  // namespace obrin
