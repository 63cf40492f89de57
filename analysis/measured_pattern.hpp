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
  // A ratio the file gives that no tube gives (outside 0 to 1): not used, kept to be named.
  double unusableRatio = 0;
};

// The points in file order; x is 2θ in degrees, between 0 and 180.
struct MeasuredPattern {
  std::vector<double> x, y;
  std::vector<double> sigma;  // empty when the file gives no uncertainties
  std::optional<PatternWavelength> wavelength;
  std::string format;  // the format it was read as: "columns", "xrdml", "bruker_raw", "gsas", ...
  int scans = 1;       // the 2θ scans (ranges) of the file
  int scan = 0;        // the one these points are, from 1; 0 when they are every scan, joined
  std::string note;    // what of the file was left out, for the user; empty when nothing was
};

}  // namespace obrin
