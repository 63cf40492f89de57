// Peak lists as plain text: the table the program writes, and lists of `2theta [intensity]` or
// `d [intensity]` rows from other programs or typed by hand.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/peak.hpp"
#include "core/result.hpp"

namespace obrin {

enum class PeakPosition { TwoTheta, D };

struct PeakListReading {
  // What the first column holds when the file does not say (it says so in a column header
  // line, whose first word is 2theta or d); 2θ when neither says.
  std::optional<PeakPosition> position;
  // Å: d from 2θ where the file gives no wavelength, and 2θ from d (where the caller's wins).
  std::optional<double> lambda;
};

// Rows of numbers separated by blanks, tabs, commas or semicolons; lines starting with # are
// comments, and "# wavelength L", "# kalpha2 L2 ratio R", "# background METHOD" and
// "# note TEXT" among them give what the program writes there.
// Without a header the first column is the position and the second the height; further ones
// are left out with a note. A header line of words names the columns: its first the position
// (2theta, 2θ, tth or twotheta; d, d-spacing or dspacing), then the program's own column names
// or intensity. The peaks come back sorted by 2θ (by decreasing d for a d list without
// wavelength, whose 2θ stay 0), d or 2θ filled where λ allows. Refused, naming the file and the
// line, for a row that is not numbers, a 2θ outside 0..180, a d not positive or beyond the
// reach of λ, a negative height or s.u., or an η outside 0..1.
Result<PeakList> readPeakListText(std::string_view contents, const std::string& name, const PeakListReading& how = {});
Result<PeakList> readPeakList(const std::filesystem::path& file, const PeakListReading& how = {});

// The whole table under a header that gives the wavelengths, the background, the notes and the
// units: 2θ, FWHM and their s.u. in degrees 2θ, d in Å, heights in counts, areas in counts ×
// degrees 2θ. Every number with the digits that read back the same.
std::string peakListText(const PeakList& list);
// Written whole or not at all.
Result<void> writePeakList(const std::filesystem::path& file, const PeakList& list);

}  // namespace obrin
