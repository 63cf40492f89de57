// How surely a measured pattern shows that no line stands at a position: the weight the
// space-group ranking gives a missing line there.
#pragma once

#include <memory>

#include "analysis/measured_pattern.hpp"
#include "analysis/peak_search.hpp"
#include "analysis/space_group_ranking.hpp"

namespace obrin {

// The least-squares height of a Gaussian peak of the given FWHM (degrees 2θ) at the spot,
// above the background (the peak search's curve where given and reaching the spot, else the
// counts beside the spot on either side, peaks clipped off), over
// its standard uncertainty (the file's σ, else √counts): the spot's significance. The weight
// is 1 − significance / minSignificance, kept within [0, 1]: 1 where the pattern is flat, 0
// where it shows a bump a peak search would keep. Where the pattern does not reach, it shows
// nothing: 0.
AbsenceWeight absenceWeightFromPattern(std::shared_ptr<const MeasuredPattern> pattern, double fwhm,
                                       double minSignificance,
                                       std::shared_ptr<const BackgroundCurve> background = nullptr);

}  // namespace obrin
