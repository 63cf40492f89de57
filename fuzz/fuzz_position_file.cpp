// The position-file reader: the group list and one group's entry, on any text.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "symmetry/pot.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::istringstream listStream(text);
  const GroupList list = parseSpaceGroupList(listStream, "F.pos");
  if (list.names.size() > static_cast<std::size_t>(kMaxGroupsInList)) std::abort();
  for (const auto& name : list.names)
    if (name.size() > static_cast<std::size_t>(kMaxPositionLineLength)) std::abort();

  // Read the entries of the first two names listed (and of one name that is no line).
  std::size_t tried = 0;
  for (const auto& name : list.names) {
    if (tried++ == 2) break;
    std::istringstream entryStream(text);
    const auto read = parseSpaceGroupEntry(entryStream, "F.pos", name);
    if (read.ok() == !read.error().empty()) std::abort();
    if (!read) continue;
    const SpaceGroupEntry& e = *read;
    if (e.operators.empty() || e.operators.size() > static_cast<std::size_t>(kMaxOperators)) std::abort();
    if (e.conditionLines.size() > static_cast<std::size_t>(kMaxConditions)) std::abort();
    for (const auto& line : e.conditionLines)
      if (line.size() > static_cast<std::size_t>(kMaxConditionLineLength)) std::abort();
  }
  std::istringstream absent(text);
  (void)parseSpaceGroupEntry(absent, "F.pos", "\x01 no such group");
  return 0;
}
