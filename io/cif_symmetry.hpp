// The symmetry of an imported structure out of the tags that may give it: the listed
// operators, the Hall symbol, the Hermann-Mauguin symbol and the group number, preferred in
// that order. What the choice had to decide (a source that does not read, tags that disagree,
// the origin of a symbol with two) is said in notes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "calc/structure.hpp"
#include "core/mathhkl.hpp"
#include "io/cif_import.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

struct SymmetryTags {
  // The listed operators when they read and form a group; else operatorFault says why.
  std::optional<std::vector<SymmetryOperator>> operators;
  std::string operatorFault;
  std::string hall;
  std::string hermannMauguin;
  std::string hermannMauguinTag;  // the tag it came from
  std::string numberText;         // as written, or empty
  int number = 0;                 // 1 to 230, 0 when not given, -1 when not a group number
  std::string coordinateSystemCode;
};

// What tells two origin choices apart.
struct StructureFacts {
  std::vector<AtomSite> atoms;
  UnitCell cell;
  std::optional<std::map<std::string, double>> formulaInCell;  // _chemical_formula_sum × Z
  std::vector<std::optional<double>> multiplicities;            // _atom_site_symmetry_multiplicity
};

struct SymmetryChoice {
  std::vector<SymmetryOperator> operators;
  SymmetrySource source = SymmetrySource::Operators;
  std::vector<std::string> notes;
  std::string error;  // nothing read: what is wrong, without the file's name
};

SymmetryChoice chooseSymmetry(const SymmetryTags& tags, const StructureFacts& facts);

// "-X,.5+Y,-Z" → "-X,12/24+Y,-Z": decimals within 0.005 of a multiple of 1/24 (every
// translation of a space group is one) as fractions, whole numbers as integers. Empty when a
// decimal is neither.
std::optional<std::string> withFractions(const std::string& triplet);

// Cell content against a formula: equal to 2 % (or 0.05 atoms) for every element. Hydrogen
// counts only when the atoms give some: structures without located hydrogen are common.
bool contentAgrees(const std::map<std::string, double>& content, const std::map<std::string, double>& expected);
// "Mn2 O20", the counts to three decimals without trailing zeros.
std::string formulaText(const std::map<std::string, double>& content);

}  // namespace obrin
