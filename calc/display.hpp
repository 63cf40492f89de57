// The texts of the result list, its heading, the angle-limit fields and the count line.
#pragma once

#include <string>
#include <vector>

#include "calc/state.hpp"

namespace obrin {

// h k l (3 each), d (7:3), the angle (8:3; θ or 2θ), the multiplicity (3), no separators.
std::string formatResultLine(const Reflection& r, AngleMode mode);
// The same line appended to out, which is empty or ends in a newline.
void appendResultLine(std::string& out, const Reflection& r, AngleMode mode);
// One line per entry of the list, first to last: what the result list shows.
// With a structure loaded (intensities) each line ends in its relative intensity (8:1).
std::vector<std::string> resultLines(const ReflectionList& list, AngleMode mode, bool intensities = false);

// "h  k  l    d    theta  Mult" or "h  k  l    d   2theta  Mult".
// With intensities the heading ends in "       I".
std::string resultHeading(AngleMode mode, bool intensities = false);
// A stored θ limit as its field shows it: θ or 2θ, 7:2.
std::string limitText(double thetaLimit, AngleMode mode);
// "Nb of calculated reflections: " and the count.
std::string countText(std::size_t count);

// The labels that follow the angle mode: the two limit fields and the Bragg-equation angle.
struct AngleLabels {
  std::string lower, upper, angle;  // "θ1" "θ2" "θ", or "2θ1" "2θ2" "2θ"
};
AngleLabels angleLabels(AngleMode mode);

// The Bragg-equation outputs: d 8:4; the angle 8:3, followed by " F" when forbidden.
std::string braggDText(double d);
std::string braggAngleText(double angle, bool forbidden);

}  // namespace obrin
