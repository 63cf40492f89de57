// Puts a prepared plot request on a pattern plot: what obrin-plot draws and its tests check.
#pragma once

#include "cli/pattern_commands.hpp"
#include "pattern_plot.h"

// The lines (with their Kα2 companions and their simulated profile when asked), the measured
// pattern, the axis, and the calculation's angle window as the visible range. Refused when the
// profile's widths are; the plot then shows nothing new.
obrin::Result<void> drawPlotRequest(PatternPlot& plot, const obrin::cli::PlotRequest& request);
