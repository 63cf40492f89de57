#include "cli/resolve.hpp"

#include <cctype>

#include "calc/inputs.hpp"
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
    const EntryRead read = readSpaceGroupEntry(positionFile, n);
    if (read.entry && read.entry->number == wantedNumber) return n;
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

std::array<std::string, 6> cellTextsFromFreeParameters(CrystalSystem system, const std::vector<std::string>& values,
                                                      CalculationState& state) {
  std::array<std::string, 6> texts;
  state.system = system;
  const auto free = freeCellParameters(system);
  // The fixed fields as choosing the system writes them; a is not typed yet.
  const CellFieldLayout layout = cellFieldLayout(system, state.cell, "");
  for (int i = 0; i < 6; ++i)
    if (layout.text[i]) texts[i] = *layout.text[i];
  for (std::size_t n = 0; n < free.size() && n < values.size(); ++n) {
    const int i = free[n];
    texts[i] = values[n];
    const FieldExit exit = checkFieldExit(static_cast<InputField>(i + 1), values[n], state);
    // A refused text stays in its field, untied, for the validation to report.
    if (!exit.accepted) continue;
    for (InputField tied : exit.copies) texts[static_cast<int>(tied) - 1] = exit.text;
  }
  return texts;
}

}  // namespace obrin::cli
