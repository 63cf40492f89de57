// Symbols, numbers and operators of the CIF tags through gemmi's table of settings.
#include "io/cif_symmetry.hpp"

#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "calc/site_symmetry.hpp"
#include "core/limits.hpp"
#include "symmetry/group_ops.hpp"

namespace obrin {
namespace {

std::string inQuotes(std::string_view s) { return "'" + std::string(s) + "'"; }

SymmetryOperator fromGemmi(const gemmi::Op& op) {
  SymmetryOperator s;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) s.m[i][j] = op.rot[i][j] / double(gemmi::Op::DEN);
    s.m[i][3] = op.tran[i] / double(gemmi::Op::DEN);
  }
  return s;
}

std::vector<SymmetryOperator> operatorsOf(const gemmi::SpaceGroup& sg) {
  std::vector<SymmetryOperator> ops;
  for (const gemmi::Op& op : sg.operations()) ops.push_back(fromGemmi(op));
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

// ---- gemmi's settings ------------------------------------------------------------------------

// The distinct rotations of a group, sorted: settings with other rotations are told apart
// without a look at their translations.
using RotationKey = std::vector<std::array<int, 9>>;

RotationKey rotationKey(const std::vector<SymmetryOperator>& ops) {
  RotationKey key;
  for (const SymmetryOperator& op : ops) {
    std::array<int, 9> r{};
    for (int i = 0; i < 9; ++i) r[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(op.m[i / 3][i % 3]));
    key.push_back(r);
  }
  std::sort(key.begin(), key.end());
  key.erase(std::unique(key.begin(), key.end()), key.end());
  return key;
}

struct TableEntry {
  const gemmi::SpaceGroup* sg;
  std::vector<SymmetryOperator> ops;
  RotationKey rotations;
};

const std::vector<TableEntry>& tableEntries() {
  static const std::vector<TableEntry> entries = [] {
    std::vector<TableEntry> v;
    for (const gemmi::SpaceGroup& sg : gemmi::spacegroup_tables::main) {
      auto ops = operatorsOf(sg);
      auto key = rotationKey(ops);
      v.push_back({&sg, std::move(ops), std::move(key)});
    }
    return v;
  }();
  return entries;
}

// The setting of gemmi's table with these operators, up to an origin shift.
const gemmi::SpaceGroup* settingOf(const std::vector<SymmetryOperator>& ops) {
  const RotationKey key = rotationKey(ops);
  for (const TableEntry& e : tableEntries())
    if (e.ops.size() == ops.size() && e.rotations == key && sameSettingUpToOrigin(e.ops, ops)) return e.sg;
  return nullptr;
}

// The other origin choice of a two-origin setting.
const gemmi::SpaceGroup* otherOrigin(const gemmi::SpaceGroup& sg) {
  if (sg.ext != '1' && sg.ext != '2') return nullptr;
  for (const gemmi::SpaceGroup& o : gemmi::spacegroup_tables::main)
    if (o.number == sg.number && std::string_view(o.hm) == sg.hm && o.ext != sg.ext && (o.ext == '1' || o.ext == '2'))
      return &o;
  return nullptr;
}

// ---- Spellings of Hermann-Mauguin symbols ------------------------------------------------------

std::vector<std::string> tokens(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> t;
  for (std::string w; in >> w;) t.push_back(w);
  return t;
}

std::string joined(const std::vector<std::string>& t) {
  std::string s;
  for (const auto& w : t) s += (s.empty() ? "" : " ") + w;
  return s;
}

// SHELX and plain-text subscripts: "P2(1)/c", "P2_1/c" → "P21/c"; other underscores part symbols.
std::string withoutSubscriptMarks(const std::string& name) {
  std::string s;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool afterDigit = i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]));
    if (c == '(' && afterDigit && i + 2 < name.size() && std::isdigit(static_cast<unsigned char>(name[i + 1])) &&
        name[i + 2] == ')') {
      s += name[i + 1];
      i += 2;
    } else if (c == '_') {
      const bool beforeDigit = i + 1 < name.size() && std::isdigit(static_cast<unsigned char>(name[i + 1]));
      if (!(afterDigit && beforeDigit)) s += ' ';
    } else {
      s += c;
    }
  }
  return s;
}

// 'F m 3 m' and 'Fm3m' for F m -3 m: the bar of the cubic 3 left out, as older files do.
std::optional<std::string> withCubicBar(const std::string& name) {
  std::string compact;
  for (char c : name)
    if (c != ' ' && c != '\t') compact += c;
  if (compact.size() >= 3 && std::string("mnad").find(compact[1]) != std::string::npos && compact[2] == '3')
    return compact.substr(0, 2) + "-" + compact.substr(2);
  return std::nullopt;
}

// Full symbols for the short ones: 'P 4/m 2/m 2/m' → 'P 4/m m m', 'F 4/m -3 2/m' → 'F m -3 m',
// 'R -3 2/m' → 'R -3 m'. Monoclinic full symbols ('P 1 21/c 1') are gemmi's own.
std::optional<std::string> shortSymbol(const std::string& name) {
  std::vector<std::string> t = tokens(name);
  if (t.size() < 3) return std::nullopt;
  if (std::count(t.begin() + 1, t.end(), "1") >= 2) return std::nullopt;
  auto reduce = [](std::string& s) {
    const auto slash = s.find('/');
    if (slash != std::string::npos && slash + 1 < s.size()) s = s.substr(slash + 1);
  };
  const bool cubic = t.size() >= 3 && (t[2] == "3" || t[2] == "-3");
  bool changed = false;
  for (std::size_t i = 1; i < t.size(); ++i) {
    const bool twofold = t[i].rfind("2/", 0) == 0 || t[i].rfind("21/", 0) == 0;
    const bool first = i == 1;
    // The first symbol stays, except a cubic one or an orthorhombic 2/m.
    if (t[i].find('/') == std::string::npos) continue;
    if (first && !cubic && !(twofold && t.size() == 4 && t[2].find('/') != std::string::npos)) continue;
    if (!first && !twofold) continue;
    reduce(t[i]);
    changed = true;
  }
  if (!changed) return std::nullopt;
  return joined(t);
}

struct SymbolText {
  std::string name;            // without the suffixes below
  std::optional<char> origin;  // '2' for the ICSD suffixes Z and S
  std::string suffix;          // as written, for the note
};

// ICSD writes the origin choice as a last word "Z" or "S" and the axes of a rhombohedral group
// as "H" or "R".
SymbolText readSuffixes(const std::string& text) {
  std::vector<std::string> t = tokens(text);
  SymbolText out;
  if (t.size() > 2 && (t.back() == "Z" || t.back() == "S")) {
    out.origin = '2';
    out.suffix = t.back();
    t.pop_back();
  }
  if (t.size() > 2 && (t.back() == "H" || t.back() == "R")) {
    const std::string axes = t.back();
    t.pop_back();
    out.name = joined(t) + ":" + axes;
    return out;
  }
  out.name = joined(t);
  return out;
}

std::vector<std::string> spellingsOf(const std::string& name) {
  std::vector<std::string> names{name};
  auto add = [&](const std::optional<std::string>& s) {
    if (s && std::find(names.begin(), names.end(), *s) == names.end()) names.push_back(*s);
  };
  const std::string plain = withoutSubscriptMarks(name);
  add(plain);
  add(withCubicBar(plain));
  if (const auto shortName = shortSymbol(plain)) {
    add(shortName);
    add(withCubicBar(*shortName));
  }
  return names;
}

// ---- Readings of each tag -------------------------------------------------------------------

struct Reading {
  SymmetrySource source = SymmetrySource::Operators;
  bool present = false;
  std::string fault;                                   // present but unreadable
  std::vector<std::vector<SymmetryOperator>> choices;  // one, or origin choices 1 and 2
  const gemmi::SpaceGroup* setting = nullptr;          // of the first choice, when tabulated
  std::optional<char> explicitOrigin;                  // the suffix or the code chose it
  std::string originReason;
  std::string what;  // "the Hall symbol '-P 2ybc'"
  bool plural = false;
};

void takeSetting(Reading& r, const gemmi::SpaceGroup* sg, std::optional<char> origin, const std::string& reason) {
  r.setting = sg;
  const gemmi::SpaceGroup* other = otherOrigin(*sg);
  if (other && origin) {
    const gemmi::SpaceGroup* chosen = sg->ext == *origin ? sg : other;
    r.setting = chosen;
    r.choices = {operatorsOf(*chosen)};
    r.explicitOrigin = origin;
    r.originReason = reason;
    return;
  }
  if (other) {
    const gemmi::SpaceGroup* first = sg->ext == '1' ? sg : other;
    r.setting = first;
    r.choices = {operatorsOf(*first), operatorsOf(*(sg->ext == '1' ? other : sg))};
    return;
  }
  r.choices = {operatorsOf(*sg)};
}

// The coordinate-system code: an origin choice (1, 2), rhombohedral axes (h, r) or a setting
// of a monoclinic or orthorhombic group (b1, -cba, …).
std::optional<char> originOfCode(const std::string& code) {
  if (code == "1" || code == "2") return code[0];
  return std::nullopt;
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const gemmi::SpaceGroup* settingOfCode(int number, const std::string& code) {
  const std::string c = lower(code);
  for (const gemmi::SpaceGroup& sg : gemmi::spacegroup_tables::main) {
    if (sg.number != number) continue;
    if (c.size() == 1 && std::tolower(static_cast<unsigned char>(sg.ext)) == c[0]) return &sg;
    if (!c.empty() && lower(sg.qualifier) == c) return &sg;
  }
  return nullptr;
}

Reading readOperators(const SymmetryTags& tags) {
  Reading r;
  r.source = SymmetrySource::Operators;
  r.what = "the symmetry operators";
  r.plural = true;
  r.present = tags.operators || !tags.operatorFault.empty();
  if (!tags.operatorFault.empty()) {
    r.fault = tags.operatorFault;
    return r;
  }
  if (tags.operators) {
    r.choices = {*tags.operators};
    r.setting = settingOf(*tags.operators);
  }
  return r;
}

Reading readHall(const SymmetryTags& tags) {
  Reading r;
  r.source = SymmetrySource::Hall;
  r.present = !tags.hall.empty();
  r.what = "the Hall symbol " + inQuotes(tags.hall);
  if (!r.present) return r;
  r.fault = "unknown Hall symbol " + inQuotes(tags.hall);
  if (!hallScrewsHaveAnAxis(tags.hall)) return r;
  try {
    std::vector<SymmetryOperator> ops;
    for (const gemmi::Op& op : gemmi::symops_from_hall(tags.hall.c_str())) ops.push_back(fromGemmi(op));
    if (ops.size() > std::size_t(kMaxGroupOperators) || !groupClosureFault(ops).empty()) return r;
    r.setting = settingOf(ops);
    r.choices = {std::move(ops)};
    r.fault.clear();
  } catch (const std::exception&) {
  }
  return r;
}

// A centred setting the table lacks ('B 1 21 1'): the primitive symbol's operators with the
// centring translations of the letter, when they form a group.
std::optional<std::vector<SymmetryOperator>> centredVariant(const std::string& name, double alpha, double gamma) {
  std::size_t i = name.find_first_not_of(" \t");
  if (i == std::string::npos) return std::nullopt;
  const char lattice = char(std::toupper(static_cast<unsigned char>(name[i])));
  if (std::string("ABCIF").find(lattice) == std::string::npos) return std::nullopt;
  std::string primitive = name;
  primitive[i] = 'P';
  const gemmi::SpaceGroup* sg = nullptr;
  for (const std::string& n : spellingsOf(primitive))
    if (!sg) sg = gemmi::find_spacegroup_by_name(n, alpha, gamma);
  if (!sg) return std::nullopt;
  std::vector<SymmetryOperator> ops;
  for (const Translation& t : latticeCentring(lattice, CrystalSystem::Triclinic))
    for (SymmetryOperator op : operatorsOf(*sg)) {
      for (int k = 0; k < 3; ++k) op.m[k][3] = std::fmod(op.m[k][3] + t[k], 1.0);
      ops.push_back(op);
    }
  if (!groupClosureFault(ops).empty()) return std::nullopt;
  return ops;
}

Reading readHermannMauguin(const SymmetryTags& tags, const UnitCell& cell) {
  Reading r;
  r.source = SymmetrySource::HermannMauguin;
  r.present = !tags.hermannMauguin.empty();
  r.what = "the Hermann-Mauguin symbol " + inQuotes(tags.hermannMauguin);
  if (!r.present) return r;
  const SymbolText text = readSuffixes(tags.hermannMauguin);
  std::string name = text.name;
  const std::string code = lower(tags.coordinateSystemCode);
  if ((code == "h" || code == "r") && name.find(':') == std::string::npos) name += ":" + std::string(1, char(std::toupper(code[0])));
  const gemmi::SpaceGroup* sg = nullptr;
  for (const std::string& n : spellingsOf(name))
    if (!sg) sg = gemmi::find_spacegroup_by_name(n, cell.alpha, cell.gamma);
  if (sg) {
    std::optional<char> origin;
    std::string reason;
    if (name.find(':') != std::string::npos && (sg->ext == '1' || sg->ext == '2')) {
      origin = sg->ext;
      reason = "the symbol says";
    } else if (const auto o = originOfCode(code)) {
      origin = o;
      reason = "_space_group_IT_coordinate_system_code says";
    } else if (text.origin) {
      origin = text.origin;
      reason = "the symbol's suffix " + inQuotes(text.suffix) + " says";
    }
    takeSetting(r, sg, origin, reason);
    return r;
  }
  if (auto ops = centredVariant(name, cell.alpha, cell.gamma)) {
    r.choices = {std::move(*ops)};
    r.setting = settingOf(r.choices[0]);
    return r;
  }
  r.fault = "unknown space-group symbol " + inQuotes(tags.hermannMauguin);
  return r;
}

Reading readNumber(const SymmetryTags& tags) {
  Reading r;
  r.source = SymmetrySource::Number;
  r.present = tags.number != 0;
  r.what = "the group number " + tags.numberText;
  if (!r.present) return r;
  const gemmi::SpaceGroup* sg = tags.number > 0 ? gemmi::find_spacegroup_by_number(tags.number) : nullptr;
  if (!sg) {
    r.fault = "unknown space-group number " + inQuotes(tags.numberText);
    return r;
  }
  std::optional<char> origin = originOfCode(tags.coordinateSystemCode);
  std::string reason = origin ? "_space_group_IT_coordinate_system_code says" : "";
  if (!origin && !tags.coordinateSystemCode.empty())
    if (const gemmi::SpaceGroup* coded = settingOfCode(tags.number, tags.coordinateSystemCode)) sg = coded;
  takeSetting(r, sg, origin, reason);
  return r;
}

// ---- The origin of a symbol with two --------------------------------------------------------

// The closest contact beyond which two atoms are taken for a wrong origin, and the cell
// content up to which the contacts are measured (pair by pair).
constexpr double kWrongOriginContact = 0.5;  // Å
constexpr std::size_t kMaxContactAtoms = 4000;

struct OriginVerdict {
  int index = 1;  // into the choices: 0 origin 1, 1 origin 2
  std::string reason;
};

std::string shortNumber(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

OriginVerdict chooseOrigin(const std::vector<std::vector<SymmetryOperator>>& choices, const StructureFacts& facts) {
  std::array<std::map<std::string, double>, 2> content;
  std::array<double, 2> atoms{};
  std::array<bool, 2> formula{}, multiplicity{}, noContact{};
  const Mat3 G = directMetric(facts.cell);
  for (int i = 0; i < 2; ++i) {
    content[i] = cellContent(facts.atoms, choices[i], facts.cell);
    formula[i] = facts.formulaInCell && contentAgrees(content[i], *facts.formulaInCell);
    multiplicity[i] = std::any_of(facts.multiplicities.begin(), facts.multiplicities.end(),
                                  [](const auto& m) { return m.has_value(); });
    for (std::size_t a = 0; a < facts.atoms.size(); ++a) {
      const double m = placeOnSite(facts.atoms[a].xyz, choices[i], G).multiplicity;
      atoms[i] += m;
      if (a < facts.multiplicities.size() && facts.multiplicities[a] && std::fabs(*facts.multiplicities[a] - m) > 0.01)
        multiplicity[i] = false;
    }
    const auto contact = shortestContact(facts.atoms, choices[i], facts.cell, kMaxContactAtoms);
    noContact[i] = !contact || *contact >= kWrongOriginContact;
  }
  auto only = [](const std::array<bool, 2>& v) { return v[0] != v[1] ? (v[0] ? 0 : 1) : -1; };
  if (const int i = only(formula); i >= 0)
    return {i, "its cell content agrees with _chemical_formula_sum × _cell_formula_units_Z"};
  if (const int i = only(multiplicity); i >= 0)
    return {i, "its site multiplicities agree with _atom_site_symmetry_multiplicity"};
  if (const int i = only(noContact); i >= 0) {
    const auto contact = shortestContact(facts.atoms, choices[1 - i], facts.cell, kMaxContactAtoms);
    return {i, "origin choice " + std::to_string(2 - i) + " puts two atoms " + shortNumber(*contact, 2) + " Å apart"};
  }
  if (std::fabs(atoms[0] - atoms[1]) > 0.5) {
    const int i = atoms[0] < atoms[1] ? 0 : 1;
    return {i, "it puts the atoms on sites of higher symmetry (" + shortNumber(atoms[i], 2) + " atoms in the cell, not " +
                   shortNumber(atoms[1 - i], 2) + ")"};
  }
  return {1, "nothing in the file tells the two apart"};
}

// ---- Notes ------------------------------------------------------------------------------------

std::string capitalised(std::string s) {
  if (!s.empty()) s[0] = char(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

std::string settingText(const gemmi::SpaceGroup* sg) {
  if (!sg) return {};
  return sg->xhm() + ", number " + std::to_string(sg->number);
}

bool agrees(const Reading& chosen, const Reading& other, const SymmetryTags& tags) {
  if (other.source == SymmetrySource::Number) {
    const gemmi::SpaceGroup* sg = chosen.setting;
    return !sg || sg->number == tags.number;
  }
  return std::any_of(other.choices.begin(), other.choices.end(), [&](const auto& ops) {
    return sameSettingUpToOrigin(ops, chosen.choices.front());
  });
}

}  // namespace

std::optional<std::string> withFractions(const std::string& triplet) {
  std::string out;
  for (std::size_t i = 0; i < triplet.size();) {
    const char c = triplet[i];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.')) {
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < triplet.size() && (std::isdigit(static_cast<unsigned char>(triplet[end])) || triplet[end] == '.')) ++end;
    const std::string number = triplet.substr(i, end - i);
    i = end;
    if (number.find('.') == std::string::npos) {
      out += number;
      continue;
    }
    if (number == "." || std::count(number.begin(), number.end(), '.') > 1) return std::nullopt;
    const double v = std::strtod(number.c_str(), nullptr);
    const double twentyFourths = std::round(v * 24);
    if (!(std::fabs(v * 24 - twentyFourths) < 0.005 * 24) || twentyFourths > 24 * 99) return std::nullopt;
    const long k = std::lround(twentyFourths);
    out += k % 24 == 0 ? std::to_string(k / 24) : std::to_string(k) + "/24";
  }
  return out;
}

bool contentAgrees(const std::map<std::string, double>& content, const std::map<std::string, double>& expected) {
  const bool hydrogen = content.count("H") && content.at("H") > 0;
  auto count = [](const std::map<std::string, double>& m, const std::string& el) {
    const auto it = m.find(el);
    return it == m.end() ? 0.0 : it->second;
  };
  auto close = [](double a, double b) { return std::fabs(a - b) <= std::max(0.05, 0.02 * std::max(a, b)); };
  for (const auto& [el, n] : expected)
    if ((el != "H" || hydrogen) && !close(count(content, el), n)) return false;
  for (const auto& [el, n] : content)
    if (!close(n, count(expected, el))) return false;
  return true;
}

std::string formulaText(const std::map<std::string, double>& content) {
  std::string s;
  for (const auto& [el, n] : content) {
    if (!s.empty()) s += ' ';
    s += el;
    const std::string count = shortNumber(n, 3);
    if (count != "1") s += count;
  }
  return s;
}

SymmetryChoice chooseSymmetry(const SymmetryTags& tags, const StructureFacts& facts) {
  std::vector<Reading> readings{readOperators(tags), readHall(tags), readHermannMauguin(tags, facts.cell),
                                readNumber(tags)};
  SymmetryChoice out;
  const auto chosen = std::find_if(readings.begin(), readings.end(),
                                   [](const Reading& r) { return r.present && r.fault.empty(); });
  if (chosen == readings.end()) {
    const auto broken = std::find_if(readings.begin(), readings.end(), [](const Reading& r) { return r.present; });
    out.error = broken != readings.end()
                    ? broken->fault
                    : std::string("no symmetry (operators, Hall or Hermann-Mauguin symbol, or group number)");
    return out;
  }
  out.source = chosen->source;
  for (auto r = readings.begin(); r != chosen; ++r)
    if (r->present) out.notes.push_back(capitalised(r->fault) + ": " + chosen->what + (chosen->plural ? " are" : " is") + " used.");
  if (chosen->source == SymmetrySource::Number && readings[2].present)
    out.notes.back() = capitalised(readings[2].fault) + ": the group number " + tags.numberText + " is used, in the setting " +
                       (chosen->setting ? chosen->setting->xhm() : std::string("of its number")) + ".";

  int index = 0;
  const bool beyondLimit = static_cast<long long>(facts.atoms.size()) *
                               static_cast<long long>(chosen->choices.front().size()) > kMaxAtomImages;
  if (chosen->choices.size() == 2 && beyondLimit) {
    index = 1;  // the import refuses the structure: no need to weigh the origins
  } else if (chosen->choices.size() == 2) {
    const OriginVerdict verdict = chooseOrigin(chosen->choices, facts);
    index = verdict.index;
    const std::string symbol = chosen->setting ? chosen->setting->hm : std::string("The group");
    out.notes.push_back(symbol + " has two origin choices: origin choice " + std::to_string(index + 1) + " is taken, as " +
                        verdict.reason + ".");
    if (index == 1 && chosen->setting)
      if (const gemmi::SpaceGroup* other = otherOrigin(*chosen->setting)) chosen->setting = other;
  } else if (chosen->explicitOrigin && !chosen->originReason.empty() && chosen->originReason != "the symbol says") {
    out.notes.push_back(std::string(chosen->setting ? chosen->setting->hm : "The group") + ": origin choice " +
                        std::string(1, *chosen->explicitOrigin) + " is taken, as " + chosen->originReason + ".");
  }
  out.operators = chosen->choices[static_cast<std::size_t>(index)];
  chosen->choices = {out.operators};

  // Tags that name another group or setting than the one taken.
  std::vector<std::string> disagreeing;
  bool plural = false;
  for (auto r = chosen + 1; r != readings.end(); ++r) {
    if (!r->present || !r->fault.empty() || agrees(*chosen, *r, tags)) continue;
    disagreeing.push_back(r->what);
    plural = plural || r->plural;
  }
  if (!disagreeing.empty()) {
    std::string list;
    for (std::size_t i = 0; i < disagreeing.size(); ++i)
      list += (i == 0 ? "" : i + 1 == disagreeing.size() ? " and " : ", ") + disagreeing[i];
    plural = plural || disagreeing.size() > 1;
    const std::string detail = settingText(chosen->setting);
    out.notes.push_back(capitalised(list) + (plural ? " disagree" : " disagrees") + " with " + chosen->what +
                        (detail.empty() ? "" : " (" + detail + ")") + (chosen->plural ? ", which are used." : ", which is used."));
  }
  return out;
}

}  // namespace obrin
