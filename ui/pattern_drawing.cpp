#include "pattern_drawing.h"

obrin::Result<void> drawPlotRequest(PatternPlot& plot, const obrin::cli::PlotRequest& r) {
  auto sticks = obrin::sticksFromList(r.list, r.lambda, r.zero);
  auto companions = r.ka2Ratio ? obrin::alpha2Companions(sticks, r.lambda2, *r.ka2Ratio, r.zero)
                               : std::vector<obrin::Stick>{};
  std::vector<obrin::ProfilePoint> profile;
  if (r.profile) {
    auto simulated = obrin::stickProfile(sticks, companions, *r.profile);
    if (!simulated) return simulated.failure();
    profile = std::move(*simulated);
  }
  plot.setAxis(r.axis);
  if (r.pattern) plot.setMeasured(*r.pattern);
  if (r.peaks) plot.setPeaks(r.peaks->peaks);
  plot.setLines(std::move(sticks), std::move(companions), r.lambda, std::move(profile));
  plot.fitView();
  plot.setTwoThetaRange(2 * r.thetaMin, 2 * r.thetaMax);
  return {};
}
