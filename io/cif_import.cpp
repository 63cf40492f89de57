// The one place that includes gemmi's CIF parser: it is slow to compile, and the rest of the
// program sees only the plain types of cif_import.hpp.
#include "io/cif_import.hpp"

#include <gemmi/cif.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

#include "calc/form_factor.hpp"
#include "core/limits.hpp"
#include "symmetry/group_ops.hpp"

namespace obrin {
namespace {

namespace cif = gemmi::cif;

// A fault of the block being imported; caught in parseCif and turned into its message.
struct ImportError {
  std::string what;
};

std::string inQuotes(std::string_view s) { return "'" + std::string(s) + "'"; }

const std::string* firstValue(const cif::Block& block, std::initializer_list<const char*> tags) {
  for (const char* tag : tags)
    if (const std::string* v = block.find_value(tag); v && !cif::is_null(*v)) return v;
  return nullptr;
}

// ---- Cell -----------------------------------------------------------------------------------

bool hasCell(const cif::Block& block) { return block.find_value("_cell_length_a") != nullptr; }

double cellValue(const cif::Block& block, const char* tag, std::optional<double> fallback) {
  const std::string* v = block.find_value(tag);
  if (!v || cif::is_null(*v)) {
    if (fallback) return *fallback;
    throw ImportError{"no " + std::string(tag)};
  }
  const double x = cif::as_number(*v);
  if (!std::isfinite(x)) throw ImportError{std::string(tag) + " is not a number: " + inQuotes(*v)};
  return x;
}

UnitCell readCell(const cif::Block& block) {
  if (!hasCell(block)) throw ImportError{"no cell (_cell_length_a)"};
  UnitCell cell{cellValue(block, "_cell_length_a", {}),     cellValue(block, "_cell_length_b", {}),
                cellValue(block, "_cell_length_c", {}),     cellValue(block, "_cell_angle_alpha", 90.0),
                cellValue(block, "_cell_angle_beta", 90.0), cellValue(block, "_cell_angle_gamma", 90.0)};
  if (!computeMetric(cell)) throw ImportError{"the cell parameters do not form a cell"};
  return cell;
}

// ---- Symmetry -------------------------------------------------------------------------------

SymmetryOperator fromGemmi(const gemmi::Op& op) {
  SymmetryOperator s;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) s.m[i][j] = op.rot[i][j] / double(gemmi::Op::DEN);
    s.m[i][3] = op.tran[i] / double(gemmi::Op::DEN);
  }
  return s;
}

std::vector<SymmetryOperator> fromGroupOps(const gemmi::GroupOps& g) {
  std::vector<SymmetryOperator> ops;
  for (const gemmi::Op& op : g) ops.push_back(fromGemmi(op));
  return ops;
}

// gemmi adds a screw translation along the principal axis of its rotation symbol, and indexes
// out of bounds when the symbol has none ("P 31*", or a digit on a later symbol without x, y
// or z). Only the first symbol may leave its axis (z) implicit, and a diagonal one has none.
bool hallScrewsHaveAnAxis(const std::string& hall) {
  std::size_t i = hall.find_first_not_of(" \t_-");
  if (i == std::string::npos) return true;  // gemmi names what is missing
  ++i;                                      // the lattice letter
  for (int symbol = 0;; ++symbol) {
    i = hall.find_first_not_of(" \t_", i);
    if (i == std::string::npos || hall[i] == '(') return true;
    std::size_t end = hall.find_first_of(" \t_(", i);
    if (end == std::string::npos) end = hall.size();
    const std::string token = hall.substr(i, end - i);
    const std::size_t order = token.find_first_of("123456");
    const bool screw = order != std::string::npos &&
                       token.find_first_of("12345", order + 1) != std::string::npos;
    const bool axis = token.find_first_of("xyz") != std::string::npos;
    const bool diagonal = token.find_first_of("'\"*") != std::string::npos;
    if (screw && !axis && (diagonal || symbol > 0)) return false;
    i = end;
  }
}

bool hasLongNumber(const std::string& text, int maxDigits) {
  int run = 0;
  for (const char c : text) {
    run = std::isdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run > maxDigits) return true;
  }
  return false;
}

std::optional<std::vector<SymmetryOperator>> listedOperators(cif::Block& block) {
  for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz",
                          "_space_group_symop.operation_xyz"}) {
    cif::Column col = block.find_values(tag);
    if (!col.item()) continue;
    std::vector<SymmetryOperator> ops;
    for (const std::string& raw : col) {
      const std::string text = cif::as_string(raw);
      if (ops.size() >= std::size_t(kMaxGroupOperators))
        throw ImportError{"more than " + std::to_string(kMaxGroupOperators) + " symmetry operators"};
      // gemmi multiplies the numbers of an operator in long and stores them in int; real
      // operators hold one or two digits, so longer numbers are refused before they overflow.
      if (hasLongNumber(text, kMaxOperatorNumberDigits))
        throw ImportError{"symmetry operator " + inQuotes(text) + " does not read"};
      try {
        ops.push_back(fromGemmi(gemmi::parse_triplet(text)));
      } catch (const std::exception&) {
        throw ImportError{"symmetry operator " + inQuotes(text) + " does not read"};
      }
    }
    return ops;
  }
  return std::nullopt;
}

// Older files write 'P m 3 m' for P m -3 m and 'R -3 c R' for the rhombohedral setting.
std::vector<std::string> namesToTry(const std::string& name) {
  std::vector<std::string> names{name};
  std::istringstream in(name);
  std::vector<std::string> t;
  for (std::string w; in >> w;) t.push_back(w);
  if (t.size() > 2 && (t.back() == "R" || t.back() == "H")) {
    std::string s;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) s += (i ? " " : "") + t[i];
    names.push_back(s + ":" + t.back());
  }
  if (t.size() >= 3 && t[2] == "3" && t[1].size() == 1 && std::string("mnad").find(t[1][0]) != std::string::npos) {
    t[2] = "-3";
    std::string s;
    for (std::size_t i = 0; i < t.size(); ++i) s += (i ? " " : "") + t[i];
    names.push_back(s);
  }
  return names;
}

void readSymmetry(cif::Block& block, CifStructure& out) {
  out.hall = cif::as_string(firstValue(block, {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"}));
  out.hermannMauguin =
      cif::as_string(firstValue(block, {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"}));
  std::string numberText;
  if (const std::string* n = firstValue(block, {"_space_group_IT_number", "_symmetry_Int_Tables_number"})) {
    numberText = cif::as_string(*n);
    // Only 1 to 230 name a group; any other value, however large, stays "not a group number".
    const double v = cif::as_number(*n, 0);
    out.number = v >= 1 && v <= 230 && v == std::floor(v) ? static_cast<int>(v) : (v == 0 ? 0 : -1);
  }

  if (auto ops = listedOperators(block)) {
    out.operators = std::move(*ops);
    out.source = SymmetrySource::Operators;
  } else if (!out.hall.empty()) {
    if (!hallScrewsHaveAnAxis(out.hall)) throw ImportError{"unknown Hall symbol " + inQuotes(out.hall)};
    try {
      out.operators = fromGroupOps(gemmi::symops_from_hall(out.hall.c_str()));
    } catch (const std::exception&) {
      throw ImportError{"unknown Hall symbol " + inQuotes(out.hall)};
    }
    out.source = SymmetrySource::Hall;
  } else if (!out.hermannMauguin.empty() || out.number != 0) {
    const gemmi::SpaceGroup* sg = nullptr;
    for (const std::string& name : namesToTry(out.hermannMauguin))
      if (!sg && !name.empty()) sg = gemmi::find_spacegroup_by_name(name, out.cell.alpha, out.cell.gamma);
    out.source = SymmetrySource::HermannMauguin;
    if (!sg && out.number > 0 && out.number <= 230) {
      sg = gemmi::find_spacegroup_by_number(out.number);
      out.source = SymmetrySource::Number;
    }
    if (!sg)
      throw ImportError{out.hermannMauguin.empty() ? "unknown space-group number " + inQuotes(numberText)
                                                   : "unknown space-group symbol " + inQuotes(out.hermannMauguin)};
    out.operators = fromGroupOps(sg->operations());
  } else {
    throw ImportError{"no symmetry (operators, Hall or Hermann-Mauguin symbol, or group number)"};
  }
  if (const std::string fault = groupClosureFault(out.operators); !fault.empty())
    throw ImportError{"the symmetry operators do not form a group: " + fault};
}

// ---- Atoms ----------------------------------------------------------------------------------

// "Fe3+" → "Fe", "O2-" → "O", "OW1" → "O": a two-letter element when the second letter makes
// one, else the first letter alone. Empty when neither is an element with a form factor.
std::string elementOf(const std::string& symbol) {
  if (symbol.empty() || !std::isalpha(static_cast<unsigned char>(symbol[0]))) return {};
  std::string two = symbol.substr(0, 2);
  if (two.size() == 2 && std::isalpha(static_cast<unsigned char>(two[1]))) {
    two[0] = char(std::toupper(static_cast<unsigned char>(two[0])));
    two[1] = char(std::tolower(static_cast<unsigned char>(two[1])));
    if (formFactorOf(two)) return two;
  }
  const std::string one(1, char(std::toupper(static_cast<unsigned char>(symbol[0]))));
  return formFactorOf(one) ? one : std::string();
}

double numberOr(const std::string& v, double fallback, const std::string& what) {
  if (cif::is_null(v)) return fallback;
  const double x = cif::as_number(v);
  if (!std::isfinite(x)) throw ImportError{what + " is not a number: " + inQuotes(v)};
  return x;
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kUFromB = 1.0 / (8.0 * kPi * kPi);  // B = 8π²U

void readAnisotropic(cif::Block& block, std::vector<AtomSite>& atoms) {
  for (const char* kind : {"U", "B"}) {
    const std::string k(kind);
    cif::Table t = block.find("_atom_site_aniso_", {"label", k + "_11", k + "_22", k + "_33", k + "_12", k + "_13",
                                                    k + "_23"});
    const double scale = k == "B" ? kUFromB : 1.0;
    for (auto row : t) {
      const std::string label = cif::as_string(row[0]);
      auto site = std::find_if(atoms.begin(), atoms.end(), [&](const AtomSite& a) { return a.label == label; });
      if (site == atoms.end()) throw ImportError{"anisotropic parameters for an unknown atom " + inQuotes(label)};
      std::array<double, 6> u{};
      for (int i = 0; i < 6; ++i) u[i] = scale * numberOr(row[i + 1], 0.0, label + " " + k + "ij");
      site->uAniso = u;
    }
  }
}

std::vector<AtomSite> readAtoms(cif::Block& block) {
  // The parser wants a first column that must be there: the label, else the type symbol.
  const bool labelled = block.find_values("_atom_site_label").item() != nullptr;
  const int kLabel = labelled ? 0 : 1, kSymbol = labelled ? 1 : 0;
  enum { kX = 2, kY, kZ, kUiso, kBiso, kOcc };
  cif::Table t = block.find("_atom_site_", {labelled ? "label" : "type_symbol", labelled ? "?type_symbol" : "?label",
                                            "?fract_x", "?fract_y", "?fract_z", "?U_iso_or_equiv",
                                            "?B_iso_or_equiv", "?occupancy"});
  std::vector<AtomSite> atoms;
  if (!t.ok()) return atoms;
  for (auto row : t) {
    if (atoms.size() >= std::size_t(kMaxCifAtomSites))
      throw ImportError{"more than " + std::to_string(kMaxCifAtomSites) + " atom sites"};
    AtomSite a;
    a.label = row.has(kLabel) ? cif::as_string(row[kLabel]) : std::string();
    a.typeSymbol = row.has2(kSymbol) ? cif::as_string(row[kSymbol]) : a.label;
    const std::string name = a.label.empty() ? a.typeSymbol : a.label;
    a.element = elementOf(a.typeSymbol);
    if (a.element.empty()) throw ImportError{"unknown atom type " + inQuotes(a.typeSymbol) + " (atom " + name + ")"};
    for (int i = 0; i < 3; ++i) {
      if (!row.has2(kX + i)) throw ImportError{"atom " + name + " has no fractional coordinates"};
      a.xyz[i] = numberOr(row[kX + i], 0.0, "coordinate of " + name);
    }
    a.occupancy = row.has(kOcc) ? numberOr(row[kOcc], 1.0, "occupancy of " + name) : 1.0;
    if (row.has2(kUiso)) a.uIso = numberOr(row[kUiso], 0.0, "Uiso of " + name);
    else if (row.has2(kBiso)) a.uIso = kUFromB * numberOr(row[kBiso], 0.0, "Biso of " + name);
    atoms.push_back(std::move(a));
  }
  readAnisotropic(block, atoms);
  return atoms;
}

// ---- Blocks ---------------------------------------------------------------------------------

cif::Document parseDocument(std::string_view text, std::string_view fileName) {
  const std::string name(fileName);
  // A CIF is text. gemmi keeps a NUL inside a value, and its symbol parsers, which read up to
  // the first one, would then see another text than the checks made before them.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
    throw ImportError{"syntax error: " + name + ":" + std::to_string(line) + ": a NUL character"};
  }
  try {
    return cif::read_memory(text.data(), text.size(), name.c_str());
  } catch (const std::exception& e) {
    // The parser's message begins with "name:line:column:".
    throw ImportError{std::string("syntax error: ") + e.what()};
  }
}

cif::Block* chooseBlock(cif::Document& doc, std::string_view blockName) {
  for (cif::Block& b : doc.blocks) {
    if (blockName.empty() ? hasCell(b) : b.name == blockName) return &b;
  }
  if (blockName.empty()) throw ImportError{"no data block with a cell (_cell_length_a)"};
  throw ImportError{"no data block " + inQuotes(blockName)};
}

std::string messageFor(std::string_view fileName, const std::string& what) {
  return "Cannot import " + std::string(fileName) + ": " + what;
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return std::move(s).str();
}

}  // namespace

CifRead parseCif(std::string_view text, std::string_view fileName, std::string_view blockName) {
  try {
    cif::Document doc = parseDocument(text, fileName);
    cif::Block& block = *chooseBlock(doc, blockName);
    CifStructure s;
    s.fileName = std::string(fileName);
    s.blockName = block.name;
    s.cell = readCell(block);
    readSymmetry(block, s);
    s.atoms = readAtoms(block);
    return {std::move(s), {}};
  } catch (const ImportError& e) {
    return {std::nullopt, messageFor(fileName, e.what)};
  } catch (const std::exception& e) {
    return {std::nullopt, messageFor(fileName, e.what())};
  }
}

CifRead readCif(const std::filesystem::path& file, std::string_view blockName) {
  const auto text = readWhole(file);
  if (!text) return {std::nullopt, messageFor(file.string(), "the file cannot be read")};
  return parseCif(*text, file.string(), blockName);
}

CifBlockList parseCifBlockNames(std::string_view text, std::string_view fileName) {
  CifBlockList list;
  try {
    cif::Document doc = parseDocument(text, fileName);
    for (const cif::Block& b : doc.blocks)
      if (hasCell(b)) list.names.push_back(b.name);
    if (list.names.empty()) list.error = messageFor(fileName, "no data block with a cell (_cell_length_a)");
  } catch (const ImportError& e) {
    list.error = messageFor(fileName, e.what);
  } catch (const std::exception& e) {
    list.error = messageFor(fileName, e.what());
  }
  return list;
}

CifBlockList readCifBlockNames(const std::filesystem::path& file) {
  const auto text = readWhole(file);
  if (!text) return {{}, messageFor(file.string(), "the file cannot be read")};
  return parseCifBlockNames(*text, file.string());
}

}  // namespace obrin
