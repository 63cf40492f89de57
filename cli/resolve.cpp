#include "cli/resolve.hpp"

#include <cctype>

#include "calc/wavelengths.hpp"
#include "core/textformat.hpp"
#include "symmetry/pot.hpp"

namespace obrin::cli {

namespace {

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::optional<CrystalSystem> resolveSystem(std::string_view word) {
  const std::string upper = upperCased(trimmed(word));
  for (int i = 0; i < kSystemCount; ++i) {
    const auto system = static_cast<CrystalSystem>(i);
    if (upper == systemCode(system) || upper == upperCased(systemName(system))) return system;
  }
  if (upper == "ORTHORHOMBIC") return CrystalSystem::Orthorhombic;
  if (upper == "RHOMBOHEDRAL") return CrystalSystem::Rhombohedral;
  return std::nullopt;
}

std::string groupKey(std::string_view name, bool dropNumberSuffix) {
  std::string key;
  for (char c : name)
    if (c != ' ' && c != '\t') key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (dropNumberSuffix && key.size() > 2 && key.back() == ')') {
    const auto open = key.rfind('(');
    if (open != std::string::npos && open > 0 && allDigits(std::string_view(key).substr(open + 1, key.size() - open - 2)))
      key.erase(open);
  }
  return key;
}

std::optional<std::string> resolveGroup(const std::vector<std::string>& names, std::string_view word,
                                        const std::filesystem::path& positionFile) {
  for (const auto& n : names)
    if (n == word) return n;
  const std::string wanted = groupKey(word, false);
  if (wanted.empty()) return std::nullopt;
  for (const auto& n : names)
    if (groupKey(n, true) == wanted || groupKey(n, false) == wanted) return n;

  const std::string number = trimmed(word);
  if (!allDigits(number) || number.size() > 9) return std::nullopt;
  const int wantedNumber = std::stoi(number);
  for (const auto& n : names) {
    const auto read = readSpaceGroupEntry(positionFile, n);
    if (read && read->number == wantedNumber) return n;
  }
  return std::nullopt;
}

std::string lambdaFieldText(std::string_view word) {
  const std::string upper = upperCased(trimmed(word));
  for (const XrayLine& line : kXrayLines)
    if (upperCased(line.name) == upper) return fixedText(line.lambda, 8, 5);
  return std::string(word);
}

std::vector<std::filesystem::path> positionFileDirectories(const std::optional<std::string>& dataDir) {
  if (dataDir) return {std::filesystem::path(*dataDir)};
  return defaultDataDirectories(programDirectory());
}

std::filesystem::path positionFileFor(CrystalSystem system, const std::vector<std::filesystem::path>& dirs,
                                      const std::optional<std::string>& dataDir) {
  if (auto found = findPositionFile(system, dirs)) return *found;
  if (dataDir) return std::filesystem::path(*dataDir) / positionFileName(system);
  return positionFileName(system);
}

std::string freeCellParameterNames(CrystalSystem system) {
  std::string s;
  for (int i : freeCellParameters(system)) {
    if (!s.empty()) s += ' ';
    s += kCellParameterNames[i];
  }
  return s;
}

std::array<std::string, 6> cellTexts(CrystalSystem system, const std::vector<std::string>& values) {
  std::array<std::string, 6> texts;
  const auto& rules = systemInfo(system).cell;
  std::size_t typed = 0;
  // Cell order puts every tied parameter after the one it repeats.
  for (int p = 0; p < 6; ++p) {
    switch (rules[p].kind) {
      case CellParameterRule::Free: texts[p] = typed < values.size() ? values[typed++] : std::string(); break;
      case CellParameterRule::Tied: texts[p] = texts[rules[p].source]; break;
      case CellParameterRule::Fixed: texts[p] = std::to_string(rules[p].degrees); break;
    }
  }
  return texts;
}

}  // namespace obrin::cli
