// A CIF import as the calculations take it: the structure, the position-file group with the
// same operations (which gives the crystal system), and the unit-cell content for intensities.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "calc/intensity.hpp"
#include "io/cif_import.hpp"
#include "symmetry/group_ops.hpp"

namespace obrin {

struct StructureImport {
  CifStructure cif;
  std::optional<PositionFileGroup> group;  // none: the setting is not in the position files
  // The group's system; without a group, triclinic (no ties, no merged lines): the file's own
  // operators then give absences and multiplicities.
  CrystalSystem system = CrystalSystem::Triclinic;
  std::string settingNote;  // one line when there is no group, else empty
  std::optional<SpaceGroup> ownGroup;  // without a group: the file's operators as a group
  std::shared_ptr<const ScatteringModel> model;  // none when the file lists no atoms
};

struct StructureImportRead {
  std::optional<StructureImport> structure;
  std::string error;
};

// fileOf gives the position file of a system (as the calculations will read it).
StructureImportRead importStructure(const std::filesystem::path& file, std::string_view blockName,
                                    const std::function<std::filesystem::path(CrystalSystem)>& fileOf);
// The block at this place of a list already read (the window's choice of a block).
StructureImportRead importStructure(const CifBlockList& blocks, std::size_t index,
                                    const std::function<std::filesystem::path(CrystalSystem)>& fileOf);

// The six cell fields of the imported cell, each with every digit the file gave (the fields of
// a cell file keep four decimals, the CIF often five).
std::array<std::string, 6> cellFieldTextsOf(const UnitCell& cell);

// "The setting of P 1 1 21/b is not in the position files: the file's own operators are used."
std::string settingNoteFor(const CifStructure& cif);

}  // namespace obrin
