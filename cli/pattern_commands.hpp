// The commands of measured patterns. What `plot` draws is prepared here, without a window: the powder lines of the inputs, the measured
// pattern and the picture's settings. obrin-plot only draws what this returns.
#pragma once

#include <optional>
#include <string>

#include "analysis/peak.hpp"
#include "calc/pattern_sticks.hpp"
#include "calc/state.hpp"
#include "cli/options.hpp"
#include "io/pattern_file.hpp"

namespace obrin::cli {

struct PlotRequest {
  ReflectionList list;
  double lambda = 0;
  double thetaMin = 0, thetaMax = 0;  // degrees θ: the picture shows this window
  std::optional<MeasuredPattern> pattern;
  PatternAxis axis = PatternAxis::TwoTheta;
  std::optional<double> ka2Ratio;     // draw the Kα2 companions at lambda2
  double lambda2 = 0;
  double zero = 0;                    // degrees 2θ
  std::optional<ProfileShape> profile;  // draw the simulated profile of the lines
  std::optional<PeakList> peaks;        // the peaks of the pattern, marked
  int width = 1000, height = 600;
  std::string output;
};

struct PlotSetup {
  std::optional<PlotRequest> request;
  std::string error;
  int status = 0;  // with an error: 1 refused, 2 a usage fault
};

PlotSetup preparePlot(const Options& options);

// "WxH" with both sides between kMinPlotSide and kMaxPlotSide.
std::optional<std::pair<int, int>> parsePlotSize(std::string_view text);

// `pattern FILE [--scan N]`: prints the points read, or the reader's message (exit status 1).
int runPatternCommand(const Options& options);

// `rank ... --pattern FILE`: the peaks found in the pattern ranked, each missing line weighed
// by what the pattern shows at it, over the pattern's whole range; the exit status.
int runRankOnPattern(const Options& options);

// `refine ... --pattern FILE`: the peaks of the pattern found, then refined and printed as
// `refine --peaks` prints them.
int runRefinePatternCommand(const Options& options);

// `index --pattern FILE`: the peaks of the pattern found, then indexed and printed as
// `index --peaks` prints them.
int runIndexPatternCommand(const Options& options);

// The pattern of a file: scan number `scan` (from 1), or with 0 its scans joined; scans that
// overlap are refused with a list of them to choose from with --scan.
PatternRead readMeasuredPattern(const std::string& file, int scan);

// What `pattern` prints: tsv (a "# wavelength" line when stored, a header, a point a row) or json.
std::string patternText(const MeasuredPattern& pattern, const std::string& file, OutputFormat format);

// `peaks FILE`: the peaks of the pattern; the reader's message (exit status 1), or a usage fault
// of the options (2).
int runPeaksCommand(const Options& options);

// What `peaks` prints: the list (a table, then the notes), tsv (the peak-list file) or json.
std::string peaksText(const PeakList& list, const std::string& file, OutputFormat format);

}  // namespace obrin::cli
