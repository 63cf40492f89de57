// Crystal structures from CIF files: the cell, the symmetry operators and the atom sites of one
// data block, in plain types of the program (the CIF parser stays inside cif_import.cpp).
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/structure.hpp"
#include "core/mathhkl.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

// Where the operators came from, in the order they are preferred.
enum class SymmetrySource { Operators, Hall, HermannMauguin, Number };

struct CifStructure {
  std::string fileName;   // as given, for messages
  std::string blockName;  // without "data_"
  UnitCell cell;
  std::vector<SymmetryOperator> operators;  // the whole group, centring translations included
  SymmetrySource source = SymmetrySource::Operators;
  std::string hall;            // as written, or empty
  std::string hermannMauguin;  // as written, or empty
  int number = 0;              // International Tables number, 0 when not given, -1 when not 1 to 230
  std::vector<AtomSite> atoms;  // the asymmetric unit as listed
  // What the reading had to decide or mend (a symbol that did not read, an origin choice, a
  // repeated tag, a cell content that disagrees with the formula), one sentence each.
  std::vector<std::string> notes;
};

struct CifRead {
  std::optional<CifStructure> structure;  // none on any fault: nothing is half-imported
  std::string error;                      // names the file and what is missing or wrong
};

// A data block as the choice of a block shows it: the formula, group and cell as written
// (without their standard uncertainties), "?" for what is not given.
struct CifBlockSummary {
  std::string name;
  std::string formula;
  std::string group;
  std::string cell;  // "a b c alpha beta gamma"
  // "NaCl  |  Na Cl  |  F m -3 m  |  5.6402 5.6402 5.6402 90 90 90"
  std::string description() const;
};

// The parsed file, for the import of a block chosen from its list (cif_import.cpp).
class CifDocument;

// The data blocks of a CIF that give a cell, in file order, for the choice of a block.
struct CifBlockList {
  std::vector<std::string> names;
  std::vector<CifBlockSummary> blocks;
  std::vector<std::size_t> blockIndex;  // of each among all the file's blocks
  std::string error;
  std::shared_ptr<const CifDocument> document;  // none on an error
};

// One block of the CIF text: the named one (the case of the name aside), or the first with a
// cell when blockName is empty. fileName only names the file in the messages. A file is read
// when it is a regular file of at most kMaxCifFileBytes.
CifRead parseCif(std::string_view text, std::string_view fileName, std::string_view blockName = {});
CifRead readCif(const std::filesystem::path& file, std::string_view blockName = {});

CifBlockList parseCifBlockNames(std::string_view text, std::string_view fileName);
CifBlockList readCifBlockNames(const std::filesystem::path& file);
// The block at this place of the list, from the file as the list read it (no second parse).
CifRead importCifBlock(const CifBlockList& list, std::size_t index);

}  // namespace obrin
