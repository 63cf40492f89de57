// obrin-cli: the calculations of the program obrin without a window, for scripts and batch work.
// It reads its request, runs the library's validation and calculations, and prints the same
// warnings the program shows.

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "calc/calculation.hpp"
#include "calc/inputs.hpp"
#include "calc/messages.hpp"
#include "cli/exit_status.hpp"
#include "cli/formats.hpp"
#include "cli/index_command.hpp"
#include "cli/options.hpp"
#include "cli/rank_command.hpp"
#include "cli/refine_command.hpp"
#include "cli/request.hpp"
#include "cli/resolve.hpp"
#include "cli/sibling.hpp"
#include "cli/version.hpp"
#include "core/textformat.hpp"
#include "io/cellfile.hpp"
#include "io/excel.hpp"
#include "io/peak_list_file.hpp"
#include "io/report.hpp"
#include "io/structure_import.hpp"
#include "core/numfield.hpp"
#include "symmetry/pot.hpp"

namespace {

using namespace obrin;
using namespace obrin::cli;

int refuse(const std::string& warning) {
  std::cerr << warning << "\n";
  return kRefused;
}

int badUsage(const std::string& problem) {
  std::cerr << "obrin-cli: " << problem << "\n" << usageText() << "Try 'obrin-cli --help'.\n";
  return kBadUsage;
}

// A refusal before the calculation, as the command reports it.
int report(const Refusal& refusal) {
  return refusal.status == kBadUsage ? badUsage(refusal.message) : refuse(refusal.message);
}

int printCellFile(const Request& in, const CalculationState& state) {
  if (!in.group) return refuse("No space group!");
  std::cout << cellFileText(cellFileData(state, in.title, *in.group));
  return kDone;
}

int printResults(const Options& opt, CalcMode mode, AngleMode angle, CalculationState& state,
                 const std::array<std::string, 6>& millerTexts) {
  std::optional<int> decimals;
  if (opt.decimals) {
    const auto read = readDecimals(*opt.decimals);
    if (!read) return refuse(read.error());
    decimals = *read;
  }
  switch (opt.format) {
    case OutputFormat::List: writeList(std::cout, state.list, angle, state.structure != nullptr); return kDone;
    case OutputFormat::Tsv:
      writeTsv(std::cout, state.list, angle, decimals, state.structure != nullptr);
      return kDone;
    case OutputFormat::Json: writeJson(std::cout, state, mode, angle); return kDone;
    case OutputFormat::Report:
    case OutputFormat::Excel: {
      ReportInputs inputs;
      inputs.dateTime = localDateTimeText();
      inputs.choices.mode = mode;
      inputs.choices.angle = angle;
      inputs.choices.millerLimitTexts = millerTexts;
      inputs.decimals = decimals.value_or(kDefaultDecimals);
      state.decimals = inputs.decimals;
      const auto text = opt.format == OutputFormat::Report ? resultsReportText(state, inputs)
                                                           : spreadsheetText(state, inputs);
      if (!text) return refuse(text.error());
      std::cout << *text;
      // The report window writes the file and then refuses to open an empty one.
      if (opt.format == OutputFormat::Report && state.list.empty()) return refuse("No calculated reflections!");
      return kDone;
    }
    case OutputFormat::Cell: break;
  }
  return kDone;
}

int runList(const Options& opt) {
  const AngleMode angle = opt.twoTheta ? AngleMode::TwoTheta : AngleMode::Theta;
  CalculationState state;
  Request in;
  if (auto refusal = readRequest(opt, angle, state, in)) return report(*refusal);
  if (auto refusal = validateRequest(in, angle, state)) return report(*refusal);
  if (opt.format == OutputFormat::Cell) return printCellFile(in, state);

  const CalcMode mode = opt.command == Command::Single ? CalcMode::SingleCrystal : CalcMode::Powder;
  std::array<std::string, 6> millerTexts{};
  if (opt.limits) millerTexts = *opt.limits;
  const CalcOutcome outcome = mode == CalcMode::SingleCrystal
                                  ? calcul_monocristaux(state, in.group, in.positionFile, millerTexts)
                                  : calcul(state, in.group, in.positionFile, CalcMode::Powder, millerTexts);
  if (!outcome.ok()) return refuse(outcome.warning);
  return printResults(opt, mode, angle, state, millerTexts);
}

int runBragg(const Options& opt) {
  const AngleMode angle = opt.twoTheta ? AngleMode::TwoTheta : AngleMode::Theta;
  CalculationState state;
  Request in;
  if (auto refusal = readRequest(opt, angle, state, in)) return report(*refusal);

  std::array<std::string, 3> hklTexts = *opt.hkl;
  // The window reads a field it cannot read as 0; words a script passed are indices or an error.
  for (const std::string& text : hklTexts)
    if (!parseWholeNumber(text)) return refuse(msg::kBadMiller);
  const BraggIndices indices = readBraggIndices(hklTexts);
  // The window does nothing for 0 0 0; a script must still learn that nothing was calculated.
  if (indices.status == BraggIndices::Status::Nothing) return refuse("No reflection: h k l reads as 0 0 0");
  if (indices.status == BraggIndices::Status::Bad) return refuse(indices.warning);
  if (auto refusal = validateRequest(in, angle, state)) return report(*refusal);

  const BraggOutcome outcome = calcul_bragg(state, in.group, in.positionFile, angle, indices.h, indices.k, indices.l);
  if (!outcome.warning.empty()) return refuse(outcome.warning);
  if (!outcome.shown) return refuse("No reflection: h k l reads as 0 0 0");
  if (opt.format == OutputFormat::Json)
    std::cout << braggJsonText(state, angle, indices.h, indices.k, indices.l, outcome);
  else
    std::cout << braggListText(indices.h, indices.k, indices.l, outcome);
  return kDone;
}

int runGroups(const Options& opt) {
  const auto system = resolveSystem(opt.words[0]);
  if (!system) return badUsage("unknown crystal system \"" + opt.words[0] + "\"");
  const auto dirs = positionFileDirectories(opt.dataDir);
  const GroupList list = loadSpaceGroupList(positionFileFor(*system, dirs, opt.dataDir));
  for (const auto& name : list.names) std::cout << name << "\n";
  if (!list.error.empty()) return refuse(list.error);
  return kDone;
}

int runConditions(const Options& opt) {
  const auto system = resolveSystem(opt.words[0]);
  if (!system) return badUsage("unknown crystal system \"" + opt.words[0] + "\"");
  const auto dirs = positionFileDirectories(opt.dataDir);
  const auto file = positionFileFor(*system, dirs, opt.dataDir);
  const auto names = loadGroupList(file);
  const auto resolved = resolveGroup(names, opt.words[1], file);
  if (!resolved) return refuse(resolved.error());
  const auto& group = *resolved;
  if (!group) return refuse("Error on space group");
  const GroupSelection selection = selectSpaceGroup(file, *system, *group);
  for (const auto& line : selection.conditionsText.value_or(std::vector<std::string>{})) std::cout << line << "\n";
  if (!selection.group) return refuse(selection.group.error());
  return kDone;
}

// The peaks of a peak list are refined here; those of a measured pattern are found by the
// program that reads patterns.
int runRefinement(const Options& opt, const std::vector<std::string>& args) {
  if (opt.pattern) return runSiblingProgram("obrin-plot", args);
  const RefineSetup setup = prepareRefine(opt);
  if (!setup.request) return setup.status == kBadUsage ? badUsage(setup.error) : refuse(setup.error);
  PeakListReading how;
  how.lambda = setup.request->lambda;  // a list of d has its 2θ at the wavelength of the refinement
  const auto peaks = readPeakList(*opt.peakFile, how);
  if (!peaks) return refuse(peaks.error());
  return runRefine(opt, *setup.request, *peaks);
}

int run(const std::vector<std::string>& args) {
  const auto parsed = parseCommandLine(args);
  if (!parsed) return badUsage(parsed.error());
  const Options& opt = *parsed;
  switch (opt.command) {
    case Command::Help: std::cout << helpText(); return kDone;
    case Command::Version: std::cout << versionText("obrin-cli", OBRIN_VERSION); return kDone;
    case Command::Groups: return runGroups(opt);
    case Command::Conditions: return runConditions(opt);
    case Command::Powder:
    case Command::Single: return runList(opt);
    case Command::Bragg: return runBragg(opt);
    // Drawing needs Qt and measured patterns their readers, which obrin-cli does without:
    // the program beside it draws and reads.
    case Command::Plot:
    case Command::Pattern:
    case Command::Peaks: return runSiblingProgram("obrin-plot", args);
    case Command::Rank: return opt.pattern ? runSiblingProgram("obrin-plot", args) : runRankCommand(opt);
    case Command::Refine: return runRefinement(opt, args);
    case Command::Index: return opt.pattern ? runSiblingProgram("obrin-plot", args) : runIndexCommand(opt);
  }
  return kDone;
}

}  // namespace

int main(int argc, char** argv) { return checkedOutput(run(std::vector<std::string>(argv + 1, argv + argc))); }
