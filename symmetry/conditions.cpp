// Decoding of the coded reflection conditions into the 'Conditions' text and the table the
// reflection test evaluates.
#include "core/textformat.hpp"
#include "symmetry/condition_codes.hpp"
#include "symmetry/pot.hpp"

namespace obrin {
namespace {

std::string notDecoded(std::string_view token) {
  return "Condition d'extinction " + std::string(token) + " non d\xc3\xa9" "cod\xc3\xa9" "e";
}

void addLatticeLines(char lattice, CrystalSystem system, std::vector<std::string>& out) {
  switch (lattice) {
    case 'A': out.push_back("k+l=2n"); break;
    case 'B': out.push_back("l+h=2n"); break;
    case 'C': out.push_back("h+k=2n"); break;
    case 'F':
      out.push_back("h+k=2n");
      out.push_back("k+l=2n");
      out.push_back("l+h=2n");
      break;
    case 'I': out.push_back("h+k+l=2n"); break;
    case 'R':
      if (system == CrystalSystem::Hexagonal) out.push_back("-h+k+l=3n");
      break;
    default: break;
  }
}

// One condition line into a table row; on failure the warning text, and the row is not used.
bool decodeLine(const std::string& line, ReflectionCondition& row, std::string& warning) {
  row = {};
  std::string text = line;
  // A code such as "AH>AK" alone on its line holds a ">" but no blank: the zone loop stops there.
  for (int round = 0; round < kMaxConditionZones + 1; ++round) {
    if (text.find_first_of("><=") == std::string::npos) break;
    const auto blank = text.find(' ');
    if (blank == std::string::npos) break;
    const std::string token = trimmed(std::string_view(text).substr(0, blank));
    text = trimmed(std::string_view(text).substr(blank + 1));
    const int zone = zoneKind(token);
    if (zone == 0) {
      warning = notDecoded(token);
      return false;
    }
    if (row.zoneCount == kMaxConditionZones) {
      warning = "Condition line \"" + line + "\" has more than " +
                std::to_string(kMaxConditionZones) + " zones";
      return false;
    }
    row.zones[row.zoneCount++] = zone;
  }
  const std::string code = trimmed(text);
  row.kind = conditionKind(code);
  if (row.kind == 0) {
    warning = notDecoded(code);
    return false;
  }
  return true;
}

}  // namespace

std::string formatConditionLine(std::string_view line) {
  std::string text(line);
  for (const auto& kind : kConditionKinds) {
    const auto at = text.find(kind.code);
    // Only a whole code is replaced: the blank (or line start) before it keeps "HN2" from
    // matching inside "L+HN2".
    if (at != std::string::npos && (at == 0 || text[at - 1] == ' '))
      text.replace(at, kind.code.size(), kind.label);
  }
  text = lowerCased(text);
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == ';')
      out += ",  ";
    else
      out += c;
  }
  return out;
}

DerivedConditions deriveReflectionConditions(char lattice, CrystalSystem system,
                                             const std::vector<std::string>& conditionLines) {
  DerivedConditions d;
  if (lattice != 'P') d.display.push_back("Bravais lattice:");
  // Rhombohedral axes: the R cell is primitive.
  if (system == CrystalSystem::Rhombohedral) lattice = 'P';
  addLatticeLines(lattice, system, d.display);
  if (lattice != 'P') d.display.push_back("  ");
  if (conditionLines.empty()) return d;

  d.display.push_back("General position:");
  for (const auto& raw : conditionLines) {
    const std::string line = trimmed(raw);
    d.display.push_back(formatConditionLine(line));
    if (static_cast<int>(d.conditions.size()) == kMaxConditions) {
      d.warning = "More than " + std::to_string(kMaxConditions) +
                  " condition lines: \"" + line + "\" and the lines after it are not used";
      d.status = 1;
      return d;
    }
    ReflectionCondition row;
    if (!decodeLine(line, row, d.warning)) {
      d.status = 1;
      return d;
    }
    d.conditions.push_back(row);
  }
  return d;
}

}  // namespace obrin
