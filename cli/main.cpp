// obrin-cli: the calculations of the program obrin without a window, for scripts and batch work.
// It reads its request, runs the library's validation and calculations, and prints the same
// warnings the program shows.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <array>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "calc/calculation.hpp"
#include "calc/inputs.hpp"
#include "calc/messages.hpp"
#include "cli/formats.hpp"
#include "cli/options.hpp"
#include "cli/resolve.hpp"
#include "cli/sibling.hpp"
#include "core/textformat.hpp"
#include "io/cellfile.hpp"
#include "io/excel.hpp"
#include "io/report.hpp"
#include "io/structure_import.hpp"
#include "core/numfield.hpp"
#include "symmetry/pot.hpp"

namespace {

using namespace obrin;
using namespace obrin::cli;

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kBadUsage = 2;

int refuse(const std::string& warning) {
  std::cerr << warning << "\n";
  return kRefused;
}

int badUsage(const std::string& problem) {
  std::cerr << "obrin-cli: " << problem << "\n" << usageText() << "Try 'obrin-cli --help'.\n";
  return kBadUsage;
}

// What the command line asks for: the system and its group list, the group, and the inputs as
// texts, which the calculations' own validation reads with its own messages.
struct Request {
  InputTexts texts;
  std::optional<CrystalSystem> system;
  std::vector<std::string> groupNames;
  std::optional<std::string> group;  // the entry of the group list
  std::filesystem::path positionFile;
  std::string title;                 // of the imported cell file
  bool wholeCell = false;            // the cell was given as six values
};

// The inputs of a calculation nobody has typed into: the program's defaults.
constexpr const char* kDefaultLambdaText = "1.5406";
constexpr const char* kDefaultThetaMinText = "5";
constexpr const char* kDefaultThetaMaxText = "40";

// The group list of the system; its fault is a warning, and the names read before it stay listed.
std::vector<std::string> loadGroupList(const std::filesystem::path& file) {
  GroupList list = loadSpaceGroupList(file);
  if (!list.error.empty()) std::cerr << list.error << "\n";
  return std::move(list.names);
}

// --from: the cell file's values, system and group. Returns an exit status when it refused.
std::optional<int> takeCellFile(const Options& opt, AngleMode angle, const std::vector<std::filesystem::path>& dirs,
                                Request& in, std::string& fileSymbol) {
  CellImport imported = importCellFile(*opt.from, dirs, angle);
  if (!imported.data) return refuse(imported.error);
  if (!imported.warning.empty()) std::cerr << imported.warning << "\n";
  in.title = imported.data->title;
  fileSymbol = imported.data->symbol;
  in.system = imported.system;
  in.groupNames = std::move(imported.groupNames);
  if (imported.selectedGroup) in.group = in.groupNames[*imported.selectedGroup];
  in.texts.cell = imported.fields.cell;
  in.texts.lambda = imported.fields.lambda;
  in.texts.theta1 = imported.fields.thetaMin;
  in.texts.theta2 = imported.fields.thetaMax;
  // A system or group named after --from must fit the file's cell as a typed one would.
  in.wholeCell = true;
  return std::nullopt;
}

// --cif: the system, the group and the cell of a structure, and its atoms for intensities.
std::optional<int> takeCif(const Options& opt, const std::vector<std::filesystem::path>& dirs, CalculationState& state,
                           Request& in, std::string& fileSymbol) {
  const StructureImportRead read = importStructure(
      *opt.cif, opt.block.value_or(""), [&](CrystalSystem s) { return positionFileFor(s, dirs, opt.dataDir); });
  if (!read.structure) return refuse(read.error);
  const StructureImport& s = *read.structure;
  in.system = s.system;
  in.groupNames = loadGroupList(positionFileFor(s.system, dirs, opt.dataDir));
  if (s.group) {
    in.group = s.group->name;
    fileSymbol = s.group->name;
  } else {
    std::cerr << s.settingNote << "\n";
    state.importedGroup = s.ownGroup;
  }
  in.title = s.cif.blockName;
  in.texts.cell = cellFieldTextsOf(s.cif.cell);
  in.wholeCell = true;
  state.structure = s.model;
  if (opt.monochromator) {
    const auto angle2m = parseNumber(*opt.monochromator);
    if (!angle2m || !(*angle2m >= 0 && *angle2m < 180)) return refuse("Error on monochromator angle");
    state.monochromatorTwoTheta = *angle2m;
  }
  return std::nullopt;
}

// SYSTEM [GROUP]: a system named here replaces the file's and keeps its symbol when no group is named.
std::optional<int> takeWords(const Options& opt, const std::vector<std::filesystem::path>& dirs, Request& in,
                             const std::string& fileSymbol) {
  if (!opt.words.empty()) {
    const auto system = resolveSystem(opt.words[0]);
    if (!system) return badUsage("unknown crystal system \"" + opt.words[0] + "\"");
    in.system = system;
    in.groupNames = loadGroupList(positionFileFor(*system, dirs, opt.dataDir));
    in.group.reset();
    if (opt.words.size() < 2 && (opt.from || opt.cif)) {
      if (auto listed = findListedSymbol(in.groupNames, fileSymbol))
        if (auto index = findGroupIndex(in.groupNames, trimmedRight(*listed))) in.group = in.groupNames[*index];
    }
  }
  if (in.system) in.positionFile = positionFileFor(*in.system, dirs, opt.dataDir);
  if (opt.words.size() >= 2 && in.system) {
    auto group = resolveGroup(in.groupNames, opt.words[1], in.positionFile);
    if (!group) return refuse(group.error());
    in.group = *group;
  }
  return std::nullopt;
}

// --cell, --lambda, --theta.
std::optional<int> takeValues(const Options& opt, Request& in) {
  if (opt.cell.size() == 6) {
    std::copy(opt.cell.begin(), opt.cell.end(), in.texts.cell.begin());
    in.wholeCell = true;
  } else if (!opt.cell.empty()) {
    if (!in.system) return badUsage("--cell with fewer than six numbers needs a SYSTEM");
    if (opt.cell.size() != freeCellParameters(*in.system).size())
      return badUsage("--cell takes six numbers or the free parameters of " + std::string(systemCode(*in.system)) +
                      ": " + freeCellParameterNames(*in.system));
    in.texts.cell = cellTexts(*in.system, opt.cell);
  }
  if (opt.lambda) in.texts.lambda = lambdaFieldText(*opt.lambda);
  if (opt.theta) {
    in.texts.theta1 = (*opt.theta)[0];
    in.texts.theta2 = (*opt.theta)[1];
  }
  return std::nullopt;
}

// The request from the cell file and the command line. Returns an exit status when it refused.
std::optional<int> readRequest(const Options& opt, AngleMode angle, CalculationState& state, Request& in) {
  const auto dirs = positionFileDirectories(opt.dataDir);
  in.texts.lambda = kDefaultLambdaText;
  in.texts.theta1 = kDefaultThetaMinText;
  in.texts.theta2 = kDefaultThetaMaxText;
  std::string fileSymbol;
  if (opt.from)
    if (auto status = takeCellFile(opt, angle, dirs, in, fileSymbol)) return status;
  if (opt.cif)
    if (auto status = takeCif(opt, dirs, state, in, fileSymbol)) return status;
  if (auto status = takeWords(opt, dirs, in, fileSymbol)) return status;
  state.system = in.system;
  return takeValues(opt, in);
}

// The calculations' validation, then the ties of the system: a cell given whole must keep
// them, or the calculation would apply the system's symmetry to a cell that does not have it.
std::optional<int> validate(const Request& in, AngleMode angle, CalculationState& state) {
  if (const auto error = validateInputs(in.texts, angle, state)) return refuse(error->message);
  if (in.wholeCell && in.system && state.cell.product() != 0 && !cellFitsSystem(state.cell, *in.system))
    return refuse("The cell does not keep the ties of the " + std::string(systemCode(*in.system)) +
                  " system (" + cellTiesText(*in.system) + ")");
  return std::nullopt;
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
    case OutputFormat::Json: std::cout << jsonText(state, mode, angle); return kDone;
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
  if (auto status = readRequest(opt, angle, state, in)) return *status;
  if (auto status = validate(in, angle, state)) return *status;
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
  if (auto status = readRequest(opt, angle, state, in)) return *status;

  std::array<std::string, 3> hklTexts = *opt.hkl;
  // The window reads a field it cannot read as 0; words a script passed are indices or an error.
  for (const std::string& text : hklTexts)
    if (!parseWholeNumber(text)) return refuse(msg::kBadMiller);
  const BraggIndices indices = readBraggIndices(hklTexts);
  // The window does nothing for 0 0 0; a script must still learn that nothing was calculated.
  if (indices.status == BraggIndices::Status::Nothing) return refuse("No reflection: h k l reads as 0 0 0");
  if (indices.status == BraggIndices::Status::Bad) return refuse(indices.warning);
  if (auto status = validate(in, angle, state)) return *status;

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

// Output that did not reach its destination (a full disk, a closed pipe) is a failure, not a
// result: the exit status must say so.
int checkedOutput(int status) {
  if (std::cout) {
    errno = 0;
    std::cout.flush();
  }
  if (std::cout) return status;
  const int error = errno;
  std::cerr << "Cannot write the output: " << (error != 0 ? std::strerror(error) : "write error") << "\n";
  return kRefused;
}

int run(const std::vector<std::string>& args) {
  const auto parsed = parseCommandLine(args);
  if (!parsed) return badUsage(parsed.error());
  const Options& opt = *parsed;
  switch (opt.command) {
    case Command::Help: std::cout << helpText(); return kDone;
    case Command::Version: std::cout << "obrin-cli " << OBRIN_VERSION << "\n"; return kDone;
    case Command::Groups: return runGroups(opt);
    case Command::Conditions: return runConditions(opt);
    case Command::Powder:
    case Command::Single: return runList(opt);
    case Command::Bragg: return runBragg(opt);
    // Drawing needs Qt and measured patterns their readers, which obrin-cli does without:
    // the program beside it draws and reads.
    case Command::Plot:
    case Command::Pattern: return runSiblingProgram("obrin-plot", args);
  }
  return kDone;
}

}  // namespace

int main(int argc, char** argv) { return checkedOutput(run(std::vector<std::string>(argv + 1, argv + argc))); }
