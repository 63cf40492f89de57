#include "pattern_drawing.h"

void drawPlotRequest(PatternPlot& plot, const obrin::cli::PlotRequest& r) {
  plot.setAxis(r.axis);
  if (r.pattern) plot.setMeasured(*r.pattern);
  auto sticks = obrin::sticksFromList(r.list, r.lambda, r.zero);
  auto companions = r.ka2Ratio ? obrin::alpha2Companions(sticks, r.lambda2, *r.ka2Ratio, r.zero)
                               : std::vector<obrin::Stick>{};
  plot.setLines(std::move(sticks), std::move(companions), r.lambda);
  plot.fitView();
  plot.setTwoThetaRange(2 * r.thetaMin, 2 * r.thetaMax);
}
