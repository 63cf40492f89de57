#include "cli/resolve.hpp"

#include "calc/wavelengths.hpp"
#include "core/textformat.hpp"
#include "symmetry/group_names.hpp"
#include "symmetry/pot.hpp"

namespace obrin::cli {

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

Result<std::optional<std::string>> resolveGroup(const std::vector<std::string>& names, std::string_view word,
                                                const std::filesystem::path& positionFile) {
  using Found = std::optional<std::string>;
  for (const auto& n : names)
    if (n == word) return Found(n);
  for (const auto& n : names)
    if (isGroupSymbol(n, word)) return Found(n);

  const auto wantedNumber = groupNumberWord(word);
  if (!wantedNumber) return Found();
  const auto numbers = readGroupNumbers(positionFile, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (numbers[i] != wantedNumber) continue;
    if (const auto read = readSpaceGroupEntry(positionFile, names[i]); !read) return read.failure();
    return Found(names[i]);
  }
  return Found();
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
