// The condition-line decoder and the reflection test on what it decodes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "symmetry/condition_codes.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the lattice letter, the second the crystal system; the rest is lines.
  static constexpr char kLattices[] = {'P', 'A', 'B', 'C', 'F', 'I', 'R', 'X'};
  const char lattice = kLattices[data[0] % sizeof kLattices];
  const auto system = static_cast<CrystalSystem>(data[1] % kSystemCount);
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 2; i < size && lines.size() <= static_cast<std::size_t>(kMaxConditions + 2); ++i) {
    if (data[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (line.size() < static_cast<std::size_t>(kMaxConditionLineLength)) {
      line.push_back(static_cast<char>(data[i]));
    }
  }
  if (!line.empty()) lines.push_back(line);

  const DerivedConditions d = deriveReflectionConditions(lattice, system, lines);
  if ((d.status == 0) != d.warning.empty()) std::abort();
  if (d.conditions.size() > static_cast<std::size_t>(kMaxConditions)) std::abort();
  for (const auto& c : d.conditions) {
    if (c.zoneCount < 0 || c.zoneCount > kMaxConditionZones) std::abort();
    if (c.kind < 1 || c.kind > static_cast<int>(kConditionKinds.size())) std::abort();
  }
  for (const auto& text : d.display) (void)formatConditionLine(text);

  const SpaceGroupRules rules{lattice, system, d.conditions};
  if (!isReflectionForbidden(rules, 0, 0, 0)) std::abort();
  for (int h = -4; h <= 4; ++h)
    for (int k = -4; k <= 4; ++k)
      for (int l = -4; l <= 4; ++l) (void)isReflectionForbidden(rules, h, k, l);
  // The far corners of what a list can hold, and images of them under a rotation.
  for (int h : {-2 * kMaxMillerIndex, -kMaxMillerIndex, kMaxMillerIndex, 2 * kMaxMillerIndex})
    for (int k : {-kMaxMillerIndex, 1, kMaxMillerIndex})
      for (int l : {-kMaxMillerIndex, 0, kMaxMillerIndex}) (void)isReflectionForbidden(rules, h, k, l);
  return 0;
}
