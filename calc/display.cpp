#include "calc/display.hpp"

#include "core/textformat.hpp"

namespace obrin {

namespace {
double shownAngle(double theta, AngleMode mode) { return mode == AngleMode::TwoTheta ? 2 * theta : theta; }
}  // namespace

std::string formatResultLine(const Reflection& r, AngleMode mode) {
  std::string s;
  s.reserve(32);
  appendResultLine(s, r, mode);
  return s;
}

void appendResultLine(std::string& out, const Reflection& r, AngleMode mode) {
  appendColumns(out, {intColumn(r.h, 3), intColumn(r.k, 3), intColumn(r.l, 3), fixedColumn(r.d, 7, 3),
                      fixedColumn(shownAngle(r.theta, mode), 8, 3), intColumn(r.multiplicity, 3)});
}

std::vector<std::string> resultLines(const ReflectionList& list, AngleMode mode, bool intensities) {
  std::vector<std::string> lines;
  lines.reserve(list.size());
  for (const Reflection& r : list) {
    lines.push_back(formatResultLine(r, mode));
    if (intensities) appendFixedField(lines.back(), r.intensity, 8, 1);
  }
  return lines;
}

std::string resultHeading(AngleMode mode, bool intensities) {
  const std::string s = mode == AngleMode::TwoTheta ? "h  k  l    d   2theta  Mult" : "h  k  l    d    theta  Mult";
  return intensities ? s + "       I" : s;
}

std::string limitText(double thetaLimit, AngleMode mode) { return fixedText(shownAngle(thetaLimit, mode), 7, 2); }

std::string countText(std::size_t count) { return "Nb of calculated reflections: " + std::to_string(count); }

AngleLabels angleLabels(AngleMode mode) {
  if (mode == AngleMode::TwoTheta) return {"2θ1", "2θ2", "2θ"};
  return {"θ1", "θ2", "θ"};
}

std::string braggDText(double d) { return fixedText(d, 8, 4); }

std::string braggAngleText(double angle, bool forbidden) {
  std::string s = fixedText(angle, 8, 3);
  if (forbidden) s += " F";
  return s;
}

}  // namespace obrin
