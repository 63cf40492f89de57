#include "cli/request.hpp"

#include <iostream>

#include "cli/resolve.hpp"
#include "core/textformat.hpp"
#include "io/cellfile.hpp"
#include "io/structure_import.hpp"
#include "symmetry/pot.hpp"

namespace obrin::cli {

namespace {

// The inputs of a calculation nobody has typed into: the program's defaults.
constexpr const char* kDefaultLambdaText = "1.5406";
constexpr const char* kDefaultThetaMinText = "5";
constexpr const char* kDefaultThetaMaxText = "40";

Refusal badUsage(std::string problem) { return {std::move(problem), 2}; }

// --from: the cell file's values, system and group.
std::optional<Refusal> takeCellFile(const Options& opt, AngleMode angle, const std::vector<std::filesystem::path>& dirs,
                                    Request& in, std::string& fileSymbol) {
  CellImport imported = importCellFile(*opt.from, dirs, angle);
  if (!imported.data) return Refusal{imported.error};
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
std::optional<Refusal> takeCif(const Options& opt, const std::vector<std::filesystem::path>& dirs,
                               CalculationState& state, Request& in, std::string& fileSymbol) {
  const StructureImportRead read = importStructure(
      *opt.cif, opt.block.value_or(""), [&](CrystalSystem s) { return positionFileFor(s, dirs, opt.dataDir); });
  if (!read.structure) return Refusal{read.error};
  const StructureImport& s = *read.structure;
  for (const std::string& note : s.cif.notes) std::cerr << note << "\n";
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
    const auto angle2m = readMonochromatorAngle(*opt.monochromator);
    if (!angle2m) return Refusal{angle2m.error()};
    state.monochromatorTwoTheta = *angle2m;
  }
  return std::nullopt;
}

// SYSTEM [GROUP]: a system named here replaces the file's and keeps its symbol when no group is named.
std::optional<Refusal> takeWords(const Options& opt, const std::vector<std::filesystem::path>& dirs, Request& in,
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
    if (!group) return Refusal{group.error()};
    in.group = *group;
  }
  return std::nullopt;
}

// --cell, --lambda, --theta.
std::optional<Refusal> takeValues(const Options& opt, Request& in) {
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

}  // namespace

std::vector<std::string> loadGroupList(const std::filesystem::path& file) {
  GroupList list = loadSpaceGroupList(file);
  if (!list.error.empty()) std::cerr << list.error << "\n";
  return std::move(list.names);
}

std::optional<Refusal> readRequest(const Options& opt, AngleMode angle, CalculationState& state, Request& in) {
  const auto dirs = positionFileDirectories(opt.dataDir);
  in.texts.lambda = kDefaultLambdaText;
  in.texts.theta1 = kDefaultThetaMinText;
  in.texts.theta2 = kDefaultThetaMaxText;
  std::string fileSymbol;
  if (opt.from)
    if (auto refusal = takeCellFile(opt, angle, dirs, in, fileSymbol)) return refusal;
  if (opt.cif)
    if (auto refusal = takeCif(opt, dirs, state, in, fileSymbol)) return refusal;
  if (auto refusal = takeWords(opt, dirs, in, fileSymbol)) return refusal;
  state.system = in.system;
  return takeValues(opt, in);
}

// A cell given whole must keep the ties of its system, or the calculation would apply the
// system's symmetry to a cell that does not have it.
std::optional<Refusal> validateRequest(const Request& in, AngleMode angle, CalculationState& state) {
  if (const auto error = validateInputs(in.texts, angle, state)) return Refusal{error->message};
  if (in.wholeCell && in.system && state.cell.product() != 0 && !cellFitsSystem(state.cell, *in.system))
    return Refusal{"The cell does not keep the ties of the " + std::string(systemCode(*in.system)) + " system (" +
                   cellTiesText(*in.system) + ")"};
  return std::nullopt;
}

}  // namespace obrin::cli
