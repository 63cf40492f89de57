#include "core/crystal_system.hpp"

#include <algorithm>

namespace obrin {

std::optional<CrystalSystem> systemFromCode(std::string_view code) {
  for (const auto& info : kCrystalSystems)
    if (info.code == code) return info.system;
  return std::nullopt;
}

std::optional<CrystalSystem> systemFromIndex(int row) {
  if (row < 0 || row >= kSystemCount) return std::nullopt;
  return static_cast<CrystalSystem>(row);
}

std::vector<int> freeCellParameters(CrystalSystem system) {
  std::vector<int> free;
  for (int p = 0; p < 6; ++p)
    if (systemInfo(system).cell[p].kind == CellParameterRule::Free) free.push_back(p);
  return free;
}

std::array<bool, 6> lockedCellParameters(CrystalSystem system) {
  std::array<bool, 6> locked{};
  for (int p = 0; p < 6; ++p) locked[p] = systemInfo(system).cell[p].kind != CellParameterRule::Free;
  return locked;
}

int tieRoot(CrystalSystem system, int parameter) {
  const auto& cell = systemInfo(system).cell;
  while (cell[parameter].kind == CellParameterRule::Tied) parameter = cell[parameter].source;
  return parameter;
}

std::vector<int> tiedTo(CrystalSystem system, int parameter) {
  std::vector<int> tied;
  if (systemInfo(system).cell[parameter].kind != CellParameterRule::Free) return tied;
  for (int p = 0; p < 6; ++p)
    if (p != parameter && systemInfo(system).cell[p].kind == CellParameterRule::Tied && tieRoot(system, p) == parameter)
      tied.push_back(p);
  return tied;
}

std::string cellTiesText(CrystalSystem system) {
  const auto& cell = systemInfo(system).cell;
  std::vector<std::string> parts;
  auto equation = [](const std::vector<int>& members, std::string_view last) {
    std::string text;
    for (int m : members) text.append(kCellParameterNames[m]).append(" = ");
    return text.append(last);
  };
  for (int p = 0; p < 6; ++p)
    if (const auto tied = tiedTo(system, p); !tied.empty()) parts.push_back(equation(tied, kCellParameterNames[p]));
  // Fixed angles grouped by their value, in the order the values first appear.
  std::vector<int> values;
  for (int p = 0; p < 6; ++p)
    if (cell[p].kind == CellParameterRule::Fixed && std::find(values.begin(), values.end(), cell[p].degrees) == values.end())
      values.push_back(cell[p].degrees);
  for (int v : values) {
    std::vector<int> members;
    for (int p = 0; p < 6; ++p)
      if (cell[p].kind == CellParameterRule::Fixed && cell[p].degrees == v) members.push_back(p);
    parts.push_back(equation(members, std::to_string(v)));
  }
  if (parts.empty()) return "none";
  std::string text = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) text += ", " + parts[i];
  return text;
}

}  // namespace obrin
