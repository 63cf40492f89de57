#include "io/structure_import.hpp"

#include <charconv>

namespace obrin {

std::array<std::string, 6> cellFieldTextsOf(const UnitCell& cell) {
  std::array<std::string, 6> texts;
  const auto p = cell.params();
  for (int i = 0; i < 6; ++i) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, p[i]);
    texts[i] = ec == std::errc() ? std::string(buf, end) : std::string("0");
  }
  return texts;
}

namespace {

// The name a group of the file's own operators goes by in the outputs.
std::string ownGroupName(const CifStructure& cif) {
  if (!cif.hermannMauguin.empty()) return cif.hermannMauguin;
  if (!cif.hall.empty()) return "Hall " + cif.hall;
  return "operators of " + cif.blockName;
}

}  // namespace

std::string settingNoteFor(const CifStructure& cif) {
  const std::string what = !cif.hermannMauguin.empty() ? cif.hermannMauguin
                           : !cif.hall.empty()         ? "Hall " + cif.hall
                                                       : std::string("the file's symmetry");
  return "The setting of " + what + " is not in the position files: the file's own operators are used.";
}

namespace {

StructureImportRead importRead(CifRead read, const std::function<std::filesystem::path(CrystalSystem)>& fileOf) {
  if (!read.structure) return {std::nullopt, read.error};
  StructureImport s;
  s.cif = std::move(*read.structure);
  s.group = matchPositionFileGroup(s.cif.operators, fileOf);
  if (s.group) {
    s.system = s.group->system;
  } else {
    s.settingNote = settingNoteFor(s.cif);
    auto own = spaceGroupFromOperators(ownGroupName(s.cif), s.cif.operators);
    if (!own) return {std::nullopt, "Cannot import " + s.cif.fileName + ": " + own.error()};
    s.ownGroup = std::move(*own);
  }
  if (!s.cif.atoms.empty())
    s.model = std::make_shared<const ScatteringModel>(
        expandStructure(s.cif.atoms, s.cif.operators, *computeMetric(s.cif.cell)));
  return {std::move(s), {}};
}

}  // namespace

StructureImportRead importStructure(const std::filesystem::path& file, std::string_view blockName,
                                    const std::function<std::filesystem::path(CrystalSystem)>& fileOf) {
  return importRead(readCif(file, blockName), fileOf);
}

StructureImportRead importStructure(const CifBlockList& blocks, std::size_t index,
                                    const std::function<std::filesystem::path(CrystalSystem)>& fileOf) {
  return importRead(importCifBlock(blocks, index), fileOf);
}

}  // namespace obrin
