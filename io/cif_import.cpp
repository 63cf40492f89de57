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
#include <map>
#include <set>
#include <sstream>

#include "calc/form_factor.hpp"
#include "calc/site_symmetry.hpp"
#include "core/limits.hpp"
#include "io/cif_symmetry.hpp"
#include "symmetry/group_ops.hpp"

namespace obrin {

namespace cif = gemmi::cif;

// The parsed file, kept so that a block chosen from its list is imported without a second
// parse. The blocks are only read; gemmi's look-ups are not const, hence mutable.
class CifDocument {
 public:
  mutable cif::Document doc;
  std::string fileName;
  std::vector<std::string> notes;  // what the reading of the whole file had to mend
};

namespace {

// A fault of the block being imported; caught in parseCif and turned into its message.
struct ImportError {
  std::string what;
};

// This file compiles as C++17 with clang (CMakeLists.txt): no std::numbers here.
constexpr double kPi = 3.14159265358979323846;

std::string inQuotes(std::string_view s) { return "'" + std::string(s) + "'"; }

std::string lowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const std::string* firstValue(const cif::Block& block, std::initializer_list<const char*> tags,
                              const char** found = nullptr) {
  for (const char* tag : tags)
    if (const std::string* v = block.find_value(tag); v && !cif::is_null(*v)) {
      if (found) *found = tag;
      return v;
    }
  return nullptr;
}

std::string shortNumber(double v) {
  std::ostringstream s;
  s.precision(6);
  s << v;
  return s.str();
}

// ---- Cell -----------------------------------------------------------------------------------

bool hasCell(const cif::Block& block) { return block.find_value("_cell_length_a") != nullptr; }

constexpr const char* kAngleTags[3] = {"_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};

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

struct CellRead {
  UnitCell cell;
  std::array<bool, 3> angleGiven{};
};

CellRead readCell(const cif::Block& block) {
  if (!hasCell(block)) throw ImportError{"no cell (_cell_length_a)"};
  CellRead r;
  r.cell = {cellValue(block, "_cell_length_a", {}),     cellValue(block, "_cell_length_b", {}),
            cellValue(block, "_cell_length_c", {}),     cellValue(block, kAngleTags[0], 90.0),
            cellValue(block, kAngleTags[1], 90.0), cellValue(block, kAngleTags[2], 90.0)};
  for (int i = 0; i < 3; ++i) {
    const std::string* v = block.find_value(kAngleTags[i]);
    r.angleGiven[i] = v && !cif::is_null(*v);
  }
  if (!computeMetric(r.cell)) throw ImportError{"the cell parameters do not form a cell"};
  return r;
}

// The metric the rotations leave unchanged: RᵀGR = G for each (Giacovazzo et al.,
// Fundamentals of Crystallography, ch. 2). Its mean over the rotations is the nearest such.
Mat3 metricOf(const UnitCell& c) {
  constexpr double r = kPi / 180;
  const double ca = std::cos(c.alpha * r), cb = std::cos(c.beta * r), cg = std::cos(c.gamma * r);
  auto zero = [](double x) { return std::fabs(x) < 1e-15 ? 0.0 : x; };
  return {{{c.a * c.a, zero(c.a * c.b * cg), zero(c.a * c.c * cb)},
           {zero(c.a * c.b * cg), c.b * c.b, zero(c.b * c.c * ca)},
           {zero(c.a * c.c * cb), zero(c.b * c.c * ca), c.c * c.c}}};
}

Mat3 transformed(const Mat3& G, const SymmetryOperator& op) {
  Mat3 out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) out[i][j] += op.m[k][i] * G[k][l] * op.m[l][j];
  return out;
}

bool invariant(const Mat3& G, const std::vector<SymmetryOperator>& ops) {
  const double scale = std::max({G[0][0], G[1][1], G[2][2]});
  for (const auto& op : ops) {
    const Mat3 g = transformed(G, op);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (std::fabs(g[i][j] - G[i][j]) > 1e-9 * scale) return false;
  }
  return true;
}

UnitCell cellOf(const Mat3& G) {
  constexpr double d = 180 / kPi;
  const double a = std::sqrt(G[0][0]), b = std::sqrt(G[1][1]), c = std::sqrt(G[2][2]);
  auto angle = [&](double cosine) {
    const double v = std::acos(std::clamp(cosine, -1.0, 1.0)) * d;
    const double nice = std::round(v * 1e6) / 1e6;  // 90 and 120 without their rounding noise
    return std::fabs(v - nice) < 1e-9 ? nice : v;
  };
  return {a, b, c, angle(G[1][2] / (b * c)), angle(G[0][2] / (a * c)), angle(G[0][1] / (a * b))};
}

const char* kCellNames[6] = {"a", "b", "c", "alpha", "beta", "gamma"};

// Angles the file leaves out take the group's values (a hexagonal cell needs γ = 120°), and
// values a little off the group's symmetry (90.03° in P 1 21/a 1) are read as its own.
void fitCellToGroup(CellRead& read, const std::vector<SymmetryOperator>& ops, std::vector<std::string>& notes) {
  UnitCell& cell = read.cell;
  if (invariant(metricOf(cell), ops)) {
    for (int i = 0; i < 3; ++i) {
      if (read.angleGiven[i]) continue;
      UnitCell other = cell;
      (i == 0 ? other.alpha : i == 1 ? other.beta : other.gamma) = 95;
      if (invariant(metricOf(other), ops))  // the group does not fix it
        notes.push_back("No " + std::string(kAngleTags[i]) + ": 90° is assumed.");
    }
    return;
  }
  if (!read.angleGiven[2]) {
    UnitCell hexagonal = cell;
    hexagonal.gamma = 120;
    if (invariant(metricOf(hexagonal), ops)) {
      cell = hexagonal;
      notes.push_back("No _cell_angle_gamma: 120°, as the group's hexagonal axes require.");
      return;
    }
  }
  Mat3 mean{};
  const Mat3 G = metricOf(cell);
  for (const auto& op : ops) {
    const Mat3 g = transformed(G, op);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) mean[i][j] += g[i][j] / double(ops.size());
  }
  const UnitCell fitted = cellOf(mean);
  const auto was = cell.params(), now = fitted.params();
  std::string changes;
  for (int i = 0; i < 6; ++i) {
    const bool angle = i >= 3;
    const double off = std::fabs(now[i] - was[i]);
    if (angle ? off > kCellAngleSnap : off > kCellLengthSnap * was[i]) return;  // not rounding: left as written
    if (off > 1e-9 * std::max(1.0, was[i]))
      changes += std::string(changes.empty() ? "" : ", ") + kCellNames[i] + " " + shortNumber(was[i]) + " as " +
                 shortNumber(now[i]);
  }
  cell = fitted;
  if (!changes.empty()) notes.push_back("Cell values a little off the group's symmetry are read as its own: " + changes + ".");
}

// ---- Symmetry -------------------------------------------------------------------------------

bool hasLongNumber(const std::string& text, int maxDigits) {
  int run = 0;
  for (const char c : text) {
    run = std::isdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run > maxDigits) return true;
  }
  return false;
}

SymmetryOperator parseOperator(const std::string& text, bool& decimals) {
  const std::string bad = "symmetry operator " + inQuotes(text) + " does not read";
  std::string triplet = text;
  if (triplet.find('.') != std::string::npos) {
    const auto fractions = withFractions(triplet);
    if (!fractions) throw ImportError{bad};
    triplet = *fractions;
    decimals = true;
  }
  // gemmi multiplies the numbers of an operator in long and stores them in int; real
  // operators hold one or two digits, so longer numbers are refused before they overflow.
  if (hasLongNumber(triplet, kMaxOperatorNumberDigits)) throw ImportError{bad};
  try {
    const gemmi::Op op = gemmi::parse_triplet(triplet);
    SymmetryOperator s;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) s.m[i][j] = op.rot[i][j] / double(gemmi::Op::DEN);
      s.m[i][3] = op.tran[i] / double(gemmi::Op::DEN);
    }
    return s;
  } catch (const std::exception&) {
    throw ImportError{bad};
  }
}

// A magnetic operator "x,y,z,+1": the time reversal left out, the nuclear structure's own.
std::string withoutTimeReversal(const std::string& text) {
  const std::size_t comma = text.rfind(',');
  if (comma == std::string::npos || std::count(text.begin(), text.end(), ',') != 3) return text;
  return text.substr(0, comma);
}

std::vector<SymmetryOperator> operatorColumn(cif::Column col, bool magnetic, bool& decimals) {
  std::vector<SymmetryOperator> ops;
  for (const std::string& raw : col) {
    if (cif::is_null(raw)) continue;
    const std::string text = cif::as_string(raw);
    if (ops.size() >= std::size_t(kMaxGroupOperators))
      throw ImportError{"more than " + std::to_string(kMaxGroupOperators) + " symmetry operators"};
    ops.push_back(parseOperator(magnetic ? withoutTimeReversal(text) : text, decimals));
  }
  return ops;
}

void addUnique(std::vector<SymmetryOperator>& ops, const SymmetryOperator& op) {
  if (std::none_of(ops.begin(), ops.end(), [&](const SymmetryOperator& o) { return sameOperation(o, op); })) {
    if (ops.size() >= std::size_t(kMaxGroupOperators))
      throw ImportError{"more than " + std::to_string(kMaxGroupOperators) + " symmetry operators"};
    ops.push_back(op);
  }
}

// The listed operators, or those of a magnetic CIF (operations times centrings). None when the
// block lists none.
std::optional<std::vector<SymmetryOperator>> listedOperators(cif::Block& block, std::vector<std::string>& notes) {
  bool decimals = false;
  std::optional<std::vector<SymmetryOperator>> out;
  for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz",
                          "_space_group_symop.operation_xyz"}) {
    cif::Column col = block.find_values(tag);
    if (!col.item()) continue;
    out = operatorColumn(col, false, decimals);
    break;
  }
  if (!out) {
    cif::Column ops = block.find_values("_space_group_symop_magn_operation.xyz");
    if (!ops.item()) ops = block.find_values("_space_group_symop.magn_operation_xyz");
    if (ops.item()) {
      cif::Column centrings = block.find_values("_space_group_symop_magn_centering.xyz");
      if (!centrings.item()) centrings = block.find_values("_space_group_symop.magn_centering_xyz");
      std::vector<SymmetryOperator> operations = operatorColumn(ops, true, decimals);
      std::vector<SymmetryOperator> shifts;
      if (centrings.item()) shifts = operatorColumn(centrings, true, decimals);
      if (shifts.empty()) shifts.push_back(SymmetryOperator{{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}}});
      std::vector<SymmetryOperator> all;
      for (const auto& c : shifts)
        for (const auto& o : operations) addUnique(all, compose(c, o));
      out = std::move(all);
      notes.push_back("A magnetic CIF: the nuclear structure is read (the operators without their time reversal), the "
                      "magnetic moments are left out.");
    }
  }
  if (out && decimals) notes.push_back("Symmetry operators with decimal translations are read as fractions.");
  return out;
}

SymmetryTags readSymmetryTags(cif::Block& block, std::vector<std::string>& notes) {
  SymmetryTags t;
  try {
    t.operators = listedOperators(block, notes);
    if (t.operators) {
      if (const std::string fault = groupClosureFault(*t.operators); !fault.empty()) {
        t.operatorFault = "the symmetry operators do not form a group: " + fault;
        t.operators.reset();
      }
    }
  } catch (const ImportError& e) {
    t.operatorFault = e.what;
    t.operators.reset();
  }
  t.hall = cif::as_string(firstValue(block, {"_space_group_name_Hall", "_symmetry_space_group_name_Hall",
                                             "_space_group.name_Hall", "_symmetry.space_group_name_Hall"}));
  const char* hmTag = nullptr;
  t.hermannMauguin = cif::as_string(firstValue(
      block, {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M", "_space_group.name_H-M_alt",
              "_symmetry.space_group_name_H-M", "_space_group_name_H-M_ref", "_space_group_name_H-M_full"},
      &hmTag));
  if (hmTag) t.hermannMauguinTag = hmTag;
  if (hmTag && (std::string_view(hmTag) == "_space_group_name_H-M_ref" ||
                std::string_view(hmTag) == "_space_group_name_H-M_full") &&
      !t.operators && t.hall.empty())
    notes.push_back("The Hermann-Mauguin symbol is read from " + std::string(hmTag) + ".");
  if (const std::string* n = firstValue(block, {"_space_group_IT_number", "_symmetry_Int_Tables_number",
                                                "_space_group.IT_number", "_symmetry.Int_Tables_number"})) {
    t.numberText = cif::as_string(*n);
    // Only 1 to 230 name a group; any other value, however large, stays "not a group number".
    const double v = cif::as_number(*n, 0);
    t.number = v >= 1 && v <= 230 && v == std::floor(v) ? static_cast<int>(v) : (v == 0 ? 0 : -1);
  }
  t.coordinateSystemCode = cif::as_string(
      firstValue(block, {"_space_group_IT_coordinate_system_code", "_space_group.IT_coordinate_system_code"}));
  return t;
}

// ---- Atoms ----------------------------------------------------------------------------------

std::string elementCase(std::string s) {
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = char(i == 0 ? std::toupper(static_cast<unsigned char>(s[i])) : std::tolower(static_cast<unsigned char>(s[i])));
  return s;
}

// Deuterium scatters X-rays as hydrogen does.
std::string scatterer(const std::string& element) { return element == "D" ? "H" : element; }

bool isElement(const std::string& s) { return s == "D" || formFactorOf(s).has_value(); }

// A type symbol by the CIF rules: an element, then at most a charge ("Fe3+", "O2-", "O-2",
// "Li1+"; digits alone, "C0", are read too). Empty when it is not one.
std::string elementOfTypeSymbol(const std::string& symbol) {
  auto charge = [](std::string_view rest) {
    return std::all_of(rest.begin(), rest.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) ||
           (std::count_if(rest.begin(), rest.end(), [](char c) { return c == '+' || c == '-'; }) == 1 &&
            std::all_of(rest.begin(), rest.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-'; }));
  };
  for (std::size_t n : {std::size_t(2), std::size_t(1)}) {
    if (symbol.size() < n || !std::all_of(symbol.begin(), symbol.begin() + static_cast<std::ptrdiff_t>(n),
                                          [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
      continue;
    const std::string el = elementCase(symbol.substr(0, n));
    if (isElement(el) && charge(std::string_view(symbol).substr(n))) return el;
  }
  return {};
}

// A label names its element as labels are written: "Si11", "NaI", "O3w", "Hw"; a second
// letter counts only in lower case ("HO1" is a hydrogen), and water written "Wat" is no
// element at all (not tungsten).
std::string elementOfLabel(const std::string& label) {
  auto alpha = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  auto lowerCase = [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; };
  if (label.empty() || !alpha(label[0])) return {};
  if (elementCase(label.substr(0, 3)) == "Wat") return {};
  if (label.size() >= 2 && lowerCase(label[1])) {
    const std::string two = elementCase(label.substr(0, 2));
    if (isElement(two)) return two;
  }
  const std::string one = elementCase(label.substr(0, 1));
  return isElement(one) ? one : std::string();
}

double numberOr(const std::string& v, double fallback, const std::string& what) {
  if (cif::is_null(v)) return fallback;
  const double x = cif::as_number(v);
  if (!std::isfinite(x)) throw ImportError{what + " is not a number: " + inQuotes(v)};
  return x;
}

constexpr double kUFromB = 1.0 / (8.0 * kPi * kPi);  // B = 8π²U

std::string atomName(const AtomSite& a) { return a.label.empty() ? a.typeSymbol : a.label; }

void checkIsotropic(const AtomSite& a, double written, const char* tag) {
  const bool b = std::string_view(tag) == "Biso";
  const double limit = b ? kMaxDisplacementU / kUFromB : kMaxDisplacementU;
  if (written < 0) throw ImportError{"atom " + atomName(a) + ": " + tag + " " + shortNumber(written) + " is negative"};
  if (written > limit)
    throw ImportError{"atom " + atomName(a) + ": " + tag + " " + shortNumber(written) + " Å² is beyond " +
                      shortNumber(limit) + " Å²"};
}

// U11 U22 U33 U12 U13 U23 of a real atom form a positive-definite tensor (its leading minors
// are positive), each displacement within the limit.
void checkAnisotropic(const AtomSite& a, const std::array<double, 6>& u, const std::string& kind, double scale) {
  const double m1 = u[0], m2 = u[0] * u[1] - u[3] * u[3];
  const double m3 = u[0] * (u[1] * u[2] - u[5] * u[5]) - u[3] * (u[3] * u[2] - u[5] * u[4]) +
                    u[4] * (u[3] * u[5] - u[1] * u[4]);
  std::string values;
  for (double v : u) values += (values.empty() ? "" : " ") + shortNumber(v / scale);
  const std::string what = "atom " + atomName(a) + ": the anisotropic " + kind + "ij (" + values + ")";
  if (!(m1 > 0 && m2 > 0 && m3 > 0)) throw ImportError{what + " are not positive definite"};
  if (std::max({u[0], u[1], u[2]}) > kMaxDisplacementU)
    throw ImportError{what + " are beyond " + shortNumber(kMaxDisplacementU * scale) + " Å²"};
}

void readAnisotropic(cif::Block& block, std::vector<AtomSite>& atoms, std::vector<std::string>& notes) {
  for (const char* kind : {"U", "B"}) {
    const std::string k(kind);
    cif::Table t = block.find("_atom_site_aniso_", {"label", k + "_11", k + "_22", k + "_33", k + "_12", k + "_13",
                                                    k + "_23"});
    const double scale = k == "B" ? kUFromB : 1.0;
    std::vector<std::string> unknown, incomplete;
    // A label given to two atoms (AMCSD files repeat some) takes its rows in their order.
    std::map<std::string, int> rowsOfLabel;
    for (auto row : t) {
      const std::string label = cif::as_string(row[0]);
      int skip = rowsOfLabel[label]++;
      auto site = std::find_if(atoms.begin(), atoms.end(), [&](const AtomSite& a) { return a.label == label && skip-- == 0; });
      int given = 0;
      for (int i = 1; i <= 6; ++i) given += cif::is_null(row[i]) ? 0 : 1;
      if (site == atoms.end() || label.empty()) {
        if (given > 0 || !label.empty()) unknown.push_back(label.empty() ? "?" : label);
        continue;
      }
      if (given < 6) {
        incomplete.push_back(label);
        continue;
      }
      std::array<double, 6> u{};
      for (int i = 0; i < 6; ++i) u[i] = scale * numberOr(row[i + 1], 0.0, label + " " + k + "ij");
      if (std::all_of(u.begin(), u.end(), [](double v) { return v == 0; })) {  // a placeholder row
        incomplete.push_back(label);
        continue;
      }
      checkAnisotropic(*site, u, k, scale);
      site->uAniso = u;
    }
    auto list = [](const std::vector<std::string>& v) {
      std::string s;
      for (std::size_t i = 0; i < v.size() && i < 5; ++i) s += (i ? ", " : "") + v[i];
      if (v.size() > 5) s += " and " + std::to_string(v.size() - 5) + " more";
      return s;
    };
    if (!unknown.empty())
      notes.push_back("Anisotropic " + k + "ij of atoms not in the atom list are left out: " + list(unknown) + ".");
    if (!incomplete.empty())
      notes.push_back("Anisotropic " + k + "ij not given (or all 0): " + list(incomplete) + " keep" +
                      (incomplete.size() == 1 ? "s its" : " their") + " isotropic value.");
  }
}

struct AtomsRead {
  std::vector<AtomSite> atoms;
  std::vector<std::optional<double>> multiplicities;
};

AtomsRead readAtoms(cif::Block& block, std::vector<std::string>& notes) {
  // The parser wants a first column that must be there: the label, else the type symbol.
  const bool labelled = block.find_values("_atom_site_label").item() != nullptr;
  const int kLabel = labelled ? 0 : 1, kSymbol = labelled ? 1 : 0;
  enum { kX = 2, kY, kZ, kUiso, kBiso, kOcc, kMult, kCalc, kAdp, kAdpOld };
  cif::Table t = block.find("_atom_site_", {labelled ? "label" : "type_symbol", labelled ? "?type_symbol" : "?label",
                                            "?fract_x", "?fract_y", "?fract_z", "?U_iso_or_equiv",
                                            "?B_iso_or_equiv", "?occupancy", "?symmetry_multiplicity",
                                            "?calc_flag", "?adp_type", "?thermal_displace_type"});
  AtomsRead out;
  if (!t.ok()) return out;
  std::vector<std::string> fromLabel, dummies, bInUColumn;
  bool deuterium = false;
  for (auto row : t) {
    // A dummy site (a centroid, a marker) has no atom and meaningless coordinates.
    if (row.has2(kCalc) && lowerCase(cif::as_string(row[kCalc])) == "dum") {
      dummies.push_back(row.has(kLabel) ? cif::as_string(row[kLabel]) : std::string("?"));
      continue;
    }
    if (out.atoms.size() >= std::size_t(kMaxCifAtomSites))
      throw ImportError{"more than " + std::to_string(kMaxCifAtomSites) + " atom sites"};
    AtomSite a;
    a.label = row.has(kLabel) ? cif::as_string(row[kLabel]) : std::string();
    const bool typed = row.has2(kSymbol);
    a.typeSymbol = typed ? cif::as_string(row[kSymbol]) : a.label;
    const std::string name = atomName(a);
    std::string element = typed ? elementOfTypeSymbol(a.typeSymbol) : elementOfLabel(a.label);
    if (element.empty()) {
      if (typed) throw ImportError{"unknown atom type " + inQuotes(a.typeSymbol) + " (atom " + name + ")"};
      throw ImportError{"atom " + name + ": no _atom_site_type_symbol, and its label names no element"};
    }
    if (!typed) fromLabel.push_back(a.label + " as " + element);
    deuterium = deuterium || element == "D";
    a.element = scatterer(element);
    for (int i = 0; i < 3; ++i) {
      if (!row.has2(kX + i)) throw ImportError{"atom " + name + " has no fractional coordinates"};
      a.xyz[i] = numberOr(row[kX + i], 0.0, "coordinate of " + name);
    }
    a.occupancy = row.has(kOcc) ? numberOr(row[kOcc], 1.0, "occupancy of " + name) : 1.0;
    if (!(a.occupancy >= 0 && a.occupancy <= 1 + 1e-9))
      throw ImportError{"atom " + name + ": occupancy " + shortNumber(a.occupancy) + " is outside 0 to 1"};
    const std::string adp = lowerCase(row.has2(kAdp) ? cif::as_string(row[kAdp])
                                      : row.has2(kAdpOld) ? cif::as_string(row[kAdpOld]) : std::string());
    if (row.has2(kUiso) && !row.has2(kBiso) && adp == "biso") {
      // The U column holds B values, as the atom's displacement type says.
      const double b = numberOr(row[kUiso], 0.0, "Biso of " + name);
      checkIsotropic(a, b, "Biso");
      a.uIso = kUFromB * b;
      bInUColumn.push_back(name);
    } else if (row.has2(kUiso)) {
      const double u = numberOr(row[kUiso], 0.0, "Uiso of " + name);
      checkIsotropic(a, u, "Uiso");
      a.uIso = u;
    } else if (row.has2(kBiso)) {
      const double b = numberOr(row[kBiso], 0.0, "Biso of " + name);
      checkIsotropic(a, b, "Biso");
      a.uIso = kUFromB * b;
    }
    std::optional<double> m;
    if (row.has2(kMult)) {
      const double v = cif::as_number(row[kMult]);
      if (std::isfinite(v) && v > 0) m = v;
    }
    out.multiplicities.push_back(m);
    out.atoms.push_back(std::move(a));
  }
  if (!fromLabel.empty()) {
    std::string list;
    for (std::size_t i = 0; i < fromLabel.size() && i < 4; ++i) list += (i ? ", " : "") + fromLabel[i];
    if (fromLabel.size() > 4) list += ", …";
    notes.push_back("No _atom_site_type_symbol: the elements are read from the labels (" + list + ").");
  }
  if (deuterium) notes.push_back("Deuterium (D) scatters as hydrogen.");
  if (!dummies.empty())
    notes.push_back("Dummy sites (_atom_site_calc_flag dum) are left out: " + dummies.front() +
                    (dummies.size() > 1 ? " and " + std::to_string(dummies.size() - 1) + " more." : "."));
  if (!bInUColumn.empty())
    notes.push_back("_atom_site_U_iso_or_equiv is read as B for the atoms whose displacement type is Biso (" +
                    bInUColumn.front() + (bInUColumn.size() > 1 ? " and " + std::to_string(bInUColumn.size() - 1) + " more)." : ")."));
  readAnisotropic(block, out.atoms, notes);
  return out;
}

// ---- Formula ----------------------------------------------------------------------------------

// "Mn O2", "(Na1.5 K.5) Mg.25 H26": element symbols with their counts. None for a text that
// is not one (a multiplier after a parenthesis, a word that is no element).
std::optional<std::map<std::string, double>> readFormula(const std::string& text) {
  std::map<std::string, double> f;
  std::size_t i = 0;
  auto at = [&](std::size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(') {
      ++i;
      continue;
    }
    if (c == ')') {
      if (std::isdigit(static_cast<unsigned char>(at(i + 1))) || at(i + 1) == '.') return std::nullopt;
      ++i;
      continue;
    }
    if (!std::isupper(static_cast<unsigned char>(c))) return std::nullopt;
    std::string el(1, c);
    if (std::islower(static_cast<unsigned char>(at(i + 1)))) el += at(++i);
    ++i;
    std::size_t end = i;
    while (std::isdigit(static_cast<unsigned char>(at(end))) || at(end) == '.') ++end;
    double n = 1;
    if (end > i) {
      n = std::strtod(text.substr(i, end - i).c_str(), nullptr);
      if (!std::isfinite(n) || n < 0) return std::nullopt;
    }
    i = end;
    if (!isElement(el)) return std::nullopt;
    f[scatterer(el)] += n;
  }
  if (f.empty()) return std::nullopt;
  return f;
}

std::optional<std::map<std::string, double>> formulaInCell(const cif::Block& block) {
  const std::string* sum = firstValue(block, {"_chemical_formula_sum", "_chemical_formula.sum"});
  const std::string* z = firstValue(block, {"_cell_formula_units_Z", "_cell.formula_units_Z"});
  if (!sum || !z) return std::nullopt;
  const double Z = cif::as_number(*z);
  if (!std::isfinite(Z) || !(Z > 0) || Z > 1e6) return std::nullopt;
  auto f = readFormula(cif::as_string(*sum));
  if (!f) return std::nullopt;
  for (auto& [el, n] : *f) n *= Z;
  return f;
}

// ---- Blocks ---------------------------------------------------------------------------------

// Tags given twice in a block, which gemmi's own check refuses: PyXtal writes a second, empty
// _chemical_formula_sum. The first value stands.
std::vector<std::string> repeatedTags(const cif::Block& block) {
  std::set<std::string> seen, repeated;
  auto see = [&](const std::string& tag) {
    if (!seen.insert(lowerCase(tag)).second) repeated.insert(tag);
  };
  for (const cif::Item& item : block.items) {
    if (item.type == cif::ItemType::Pair) see(item.pair[0]);
    if (item.type == cif::ItemType::Loop)
      for (const std::string& t : item.loop.tags) see(t);
  }
  return {repeated.begin(), repeated.end()};
}

std::shared_ptr<CifDocument> parseDocument(std::string_view text, std::string_view fileName) {
  auto parsed = std::make_shared<CifDocument>();
  parsed->fileName = std::string(fileName);
  const std::string& name = parsed->fileName;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
    parsed->notes.push_back("A UTF-8 byte-order mark at the start of the file is skipped.");
  }
  // A CIF is text. gemmi keeps a NUL inside a value, and its symbol parsers, which read up to
  // the first one, would then see another text than the checks made before them.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
    throw ImportError{"syntax error: " + name + ":" + std::to_string(line) + ": a NUL character"};
  }
  try {
    tao::pegtl::memory_input<> in(text.data(), text.size(), name);
    parsed->doc.source = name;
    cif::parse_input(parsed->doc, in);
    cif::check_for_missing_values(parsed->doc);
  } catch (const std::exception& e) {
    // The parser's message begins with "name:line:column:".
    throw ImportError{std::string("syntax error: ") + e.what()};
  }
  std::set<std::string> names;
  for (const cif::Block& b : parsed->doc.blocks) {
    if (!names.insert(lowerCase(b.name)).second && !b.name.empty())
      parsed->notes.push_back("The block name " + b.name + " is given twice: each block is read on its own.");
    for (const std::string& tag : repeatedTags(b))
      parsed->notes.push_back("The tag " + tag + " is given twice in block " + b.name + ": the first value is read.");
  }
  return parsed;
}

cif::Block* chooseBlock(cif::Document& doc, std::string_view blockName) {
  const std::string wanted = lowerCase(std::string(blockName));
  for (cif::Block& b : doc.blocks) {
    // Block names are case-insensitive, as every CIF name is.
    if (blockName.empty() ? hasCell(b) : lowerCase(b.name) == wanted) return &b;
  }
  if (blockName.empty()) throw ImportError{"no data block with a cell (_cell_length_a)"};
  throw ImportError{"no data block " + inQuotes(blockName)};
}

std::string messageFor(std::string_view fileName, const std::string& what) {
  return "Cannot import " + std::string(fileName) + ": " + what;
}

// The file's bytes: a regular file of at most kMaxCifFileBytes (a FIFO would wait for a
// writer forever, /dev/zero never end).
std::string readWhole(const std::filesystem::path& file, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) {
    error = "the file cannot be read";
    return {};
  }
  if (!fs::is_regular_file(status)) {
    error = "not a regular file";
    return {};
  }
  const std::string tooLarge = "larger than " + std::to_string(kMaxCifFileBytes / (1024 * 1024)) + " MB";
  const auto size = fs::file_size(file, ec);
  if (ec) {
    error = "the file cannot be read";
    return {};
  }
  if (size > std::uintmax_t(kMaxCifFileBytes)) {
    error = tooLarge;
    return {};
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "the file cannot be read";
    return {};
  }
  std::string text(std::size_t(size), '\0');
  in.read(text.data(), std::streamsize(size));
  text.resize(std::size_t(in.gcount()));  // the file may have shrunk since its size was read
  if (in.bad()) {
    error = "the file cannot be read";
    return {};
  }
  return text;
}

CifStructure importBlock(cif::Block& block, const CifDocument& parsed) {
  CifStructure s;
  s.fileName = parsed.fileName;
  s.blockName = block.name;
  s.notes = parsed.notes;
  CellRead cell = readCell(block);
  AtomsRead atoms = readAtoms(block, s.notes);
  const SymmetryTags tags = readSymmetryTags(block, s.notes);
  s.hall = tags.hall;
  s.hermannMauguin = tags.hermannMauguin;
  s.number = tags.number;

  StructureFacts facts{atoms.atoms, cell.cell, formulaInCell(block), atoms.multiplicities};
  SymmetryChoice symmetry = chooseSymmetry(tags, facts);
  if (!symmetry.error.empty()) throw ImportError{symmetry.error};
  s.operators = std::move(symmetry.operators);
  s.source = symmetry.source;
  s.notes.insert(s.notes.end(), symmetry.notes.begin(), symmetry.notes.end());

  fitCellToGroup(cell, s.operators, s.notes);
  if (!computeMetric(cell.cell)) throw ImportError{"the cell parameters do not form a cell"};
  s.cell = cell.cell;

  const long long images = static_cast<long long>(atoms.atoms.size()) * static_cast<long long>(s.operators.size());
  if (images > kMaxAtomImages)
    throw ImportError{std::to_string(atoms.atoms.size()) + " atom sites times " + std::to_string(s.operators.size()) +
                      " symmetry operators make " + std::to_string(images) + " atom images, more than " +
                      std::to_string(kMaxAtomImages)};
  s.atoms = std::move(atoms.atoms);
  if (facts.formulaInCell && !s.atoms.empty()) {
    const auto content = cellContent(s.atoms, s.operators, s.cell);
    if (!contentAgrees(content, *facts.formulaInCell))
      s.notes.push_back("The cell holds " + formulaText(content) + " where _chemical_formula_sum × _cell_formula_units_Z gives " +
                        formulaText(*facts.formulaInCell) + ".");
  }
  return s;
}

CifRead importParsed(const CifDocument& parsed, cif::Block& block) {
  try {
    return {importBlock(block, parsed), {}};
  } catch (const ImportError& e) {
    return {std::nullopt, messageFor(parsed.fileName, e.what)};
  } catch (const std::exception& e) {
    return {std::nullopt, messageFor(parsed.fileName, e.what())};
  }
}

std::string numberText(const cif::Block& block, const char* tag) {
  const std::string* v = block.find_value(tag);
  if (!v || cif::is_null(*v)) return "?";
  std::string s = cif::as_string(*v);
  if (const auto paren = s.find('('); paren != std::string::npos) s.erase(paren);
  return s;
}

CifBlockSummary summaryOf(const cif::Block& b) {
  CifBlockSummary s;
  s.name = b.name;
  s.formula = cif::as_string(firstValue(b, {"_chemical_formula_sum", "_chemical_formula.sum"}));
  s.group = cif::as_string(firstValue(b, {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M",
                                          "_space_group_name_H-M_ref", "_space_group_name_Hall",
                                          "_symmetry_space_group_name_Hall"}));
  if (s.group.empty())
    if (const std::string* n = firstValue(b, {"_space_group_IT_number", "_symmetry_Int_Tables_number"}))
      s.group = "number " + cif::as_string(*n);
  for (const char* tag : {"_cell_length_a", "_cell_length_b", "_cell_length_c", kAngleTags[0], kAngleTags[1],
                          kAngleTags[2]})
    s.cell += (s.cell.empty() ? "" : " ") + numberText(b, tag);
  return s;
}

}  // namespace

std::string CifBlockSummary::description() const {
  std::string d = name;
  for (const std::string& part : {formula, group}) d += "  |  " + (part.empty() ? std::string("?") : part);
  return d + "  |  " + cell;
}

CifRead parseCif(std::string_view text, std::string_view fileName, std::string_view blockName) {
  try {
    const auto parsed = parseDocument(text, fileName);
    return importParsed(*parsed, *chooseBlock(parsed->doc, blockName));
  } catch (const ImportError& e) {
    return {std::nullopt, messageFor(fileName, e.what)};
  } catch (const std::exception& e) {
    return {std::nullopt, messageFor(fileName, e.what())};
  }
}

CifRead readCif(const std::filesystem::path& file, std::string_view blockName) {
  std::string error;
  const std::string text = readWhole(file, error);
  if (!error.empty()) return {std::nullopt, messageFor(file.string(), error)};
  return parseCif(text, file.string(), blockName);
}

CifBlockList parseCifBlockNames(std::string_view text, std::string_view fileName) {
  CifBlockList list;
  try {
    auto parsed = parseDocument(text, fileName);
    for (std::size_t i = 0; i < parsed->doc.blocks.size(); ++i) {
      const cif::Block& b = parsed->doc.blocks[i];
      if (!hasCell(b)) continue;
      list.names.push_back(b.name);
      list.blocks.push_back(summaryOf(b));
      list.blockIndex.push_back(i);
    }
    if (list.names.empty()) list.error = messageFor(fileName, "no data block with a cell (_cell_length_a)");
    list.document = std::move(parsed);
  } catch (const ImportError& e) {
    list.error = messageFor(fileName, e.what);
  } catch (const std::exception& e) {
    list.error = messageFor(fileName, e.what());
  }
  return list;
}

CifBlockList readCifBlockNames(const std::filesystem::path& file) {
  std::string error;
  const std::string text = readWhole(file, error);
  if (!error.empty()) return {{}, {}, {}, messageFor(file.string(), error), nullptr};
  return parseCifBlockNames(text, file.string());
}

CifRead importCifBlock(const CifBlockList& list, std::size_t index) {
  if (!list.document || index >= list.blockIndex.size())
    return {std::nullopt, list.error.empty() ? messageFor("the file", "no such data block") : list.error};
  return importParsed(*list.document, list.document->doc.blocks[list.blockIndex[index]]);
}

}  // namespace obrin
