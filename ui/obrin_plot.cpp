// obrin-plot: the picture of `obrin-cli plot`, the points of `obrin-cli pattern` and the peaks of
// `obrin-cli peaks`, which run this program with their own command line. It needs no display: without a chosen Qt platform
// it draws offscreen.
#include <QApplication>

#include <iostream>

#include "cli/exit_status.hpp"
#include "cli/options.hpp"
#include "cli/pattern_commands.hpp"
#include "cli/version.hpp"
#include "pattern_drawing.h"

namespace {

using obrin::cli::checkedOutput;
using obrin::cli::kBadUsage;
using obrin::cli::kRefused;

// Offscreen drawing has no session: Qt's note about the missing runtime folder is no fault of
// the command and would only clutter a script's error output.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg && text.startsWith("QStandardPaths:")) return;
  std::cerr << qPrintable(qFormatLogMessage(type, context, text)) << "\n";
}

int badUsage(const std::string& problem) {
  std::cerr << "obrin-cli: " << problem << "\n" << obrin::cli::usageText() << "Try 'obrin-cli --help'.\n";
  return kBadUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = obrin::cli::parseCommandLine(args);
  if (!parsed) return badUsage(parsed.error());
  if (parsed->command == obrin::cli::Command::Version) {
    std::cout << obrin::cli::versionText("obrin-plot", OBRIN_VERSION);
    return checkedOutput(obrin::cli::kDone);
  }
  if (parsed->command == obrin::cli::Command::Pattern) return checkedOutput(obrin::cli::runPatternCommand(*parsed));
  if (parsed->command == obrin::cli::Command::Peaks) return checkedOutput(obrin::cli::runPeaksCommand(*parsed));
  if (parsed->command == obrin::cli::Command::Rank) return checkedOutput(obrin::cli::runRankOnPattern(*parsed));
  if (parsed->command == obrin::cli::Command::Refine && parsed->pattern)
    return checkedOutput(obrin::cli::runRefinePatternCommand(*parsed));
  if (parsed->command == obrin::cli::Command::Index && parsed->pattern)
    return checkedOutput(obrin::cli::runIndexPatternCommand(*parsed));
  if (parsed->command != obrin::cli::Command::Plot)
    return badUsage(
        "obrin-plot only runs 'plot', 'pattern', 'peaks', 'refine --pattern', 'rank --pattern' and 'index --pattern'");
  const obrin::cli::PlotSetup setup = obrin::cli::preparePlot(*parsed);
  if (!setup.request) {
    if (setup.status == kBadUsage) return badUsage(setup.error);
    std::cerr << setup.error << "\n";
    return kRefused;
  }

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quietMessages);
  QApplication app(argc, argv);
  const obrin::cli::PlotRequest& r = *setup.request;
  PatternPlot plot;
  plot.resize(r.width, r.height);
  if (const auto drawn = drawPlotRequest(plot, r); !drawn) {
    std::cerr << drawn.error() << "\n";
    return kRefused;
  }
  // Written whole or not at all; the reason names the file (a full disk, a missing folder).
  if (const auto written = plot.exportTo(QString::fromStdString(r.output), r.width, r.height); !written) {
    std::cerr << written.error() << "\n";
    return kRefused;
  }
  return 0;
}
