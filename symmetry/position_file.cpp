// The position files: one per crystal system, holding the names, general positions and coded
// reflection conditions of its space groups.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <istream>
#include <system_error>

#include "core/lineread.hpp"
#include "core/textformat.hpp"
#include "symmetry/operator_group.hpp"
#include "symmetry/pot.hpp"

namespace obrin {
namespace fs = std::filesystem;

std::string positionFileName(CrystalSystem system) {
  // The tetragonal file takes "Q": "T" is the triclinic one.
  if (system == CrystalSystem::Tetragonal) return "Q.pos";
  return std::string(1, systemCode(system)[0]) + ".pos";
}

std::vector<fs::path> defaultDataDirectories(const fs::path& exeDir) {
  std::error_code ec;
  fs::path current = fs::current_path(ec);
  if (ec) current = ".";
  std::vector<fs::path> dirs{current};
  if (!exeDir.empty()) {
    dirs.push_back(exeDir / "data");
    dirs.push_back((exeDir / ".." / "share" / "obrin" / "data").lexically_normal());
  }
  return dirs;
}

fs::path programDirectory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

std::optional<fs::path> findPositionFile(CrystalSystem system, const std::vector<fs::path>& dirs) {
  const std::string name = positionFileName(system);
  for (const auto& dir : dirs) {
    std::error_code ec;
    fs::path candidate = dir / name;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

std::optional<fs::path> findPositionFile(CrystalSystem system) {
  return findPositionFile(system, defaultDataDirectories(programDirectory()));
}

std::optional<size_t> findGroupIndex(const std::vector<std::string>& names, std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (size_t i = 0; i < names.size(); ++i)
    if (trimmedRight(names[i]) == name) return i;
  return std::nullopt;
}

namespace {

// Lines with their numbers; a trailing carriage return (files written on Windows) is dropped.
// A line is kept up to kMaxPositionLineLength characters and the rest of it skipped, so that a
// file that is not a position file (or one huge line) costs no more memory than a short line.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in) {}
  bool failed() const { return in_.bad(); }
  bool next(std::string& line) {
    if (!readLineCapped(in_, line, kMaxPositionLineLength, &overlong_)) return false;
    ++number_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  long long number() const { return number_; }
  // The last line read was longer than the cap: what next() gave is only its beginning.
  bool overlong() const { return overlong_; }

 private:
  std::istream& in_;
  long long number_ = 0;
  bool overlong_ = false;
};

std::string cannotOpen(const fs::path& file) {
  return file.filename().string() + ": the position file cannot be read (" + file.string() + ")";
}

// A folder, a FIFO or a device is no position file: refuse it by name rather than list nothing
// or wait for ever. Empty text when the file is open.
std::string openPositionFile(const fs::path& file, std::ifstream& in) {
  const std::string reason = openRegularFile(file, in);
  if (reason.empty()) return {};
  if (reason == "not a regular file")
    return file.filename().string() + ": not a regular file (" + file.string() + ")";
  return cannotOpen(file);
}

std::string tooLong(const std::string& where, long long line) {
  return where + ", line " + std::to_string(line) + ": the line is longer than " +
         std::to_string(kMaxPositionLineLength) + " characters";
}

std::string inQuotes(std::string_view s) {
  std::string q;
  q.reserve(s.size() + 2);
  q.append(1, '"').append(s).append(1, '"');
  return q;
}

// Reads an integer the way the files were written to be read: blanks and empty lines before
// it are skipped and the rest of its line is ignored, but the first word must be a number.
// The error names the line that should have held it.
struct IntegerRead {
  std::optional<long> value;
  std::string error;
};
IntegerRead readInteger(LineReader& reader, const std::string& where, std::string_view what) {
  std::string line;
  while (reader.next(line)) {
    const std::string text = trimmed(line);
    if (text.empty()) continue;
    if (reader.overlong()) return {std::nullopt, tooLong(where, reader.number())};
    const std::string word = text.substr(0, text.find_first_of(" \t"));
    const char* begin = word.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
      return {std::nullopt, where + ", line " + std::to_string(reader.number()) + ": " +
                                inQuotes(line) + " is not an integer (" + std::string(what) + ")"};
    return {value, {}};
  }
  return {std::nullopt, where + ": the file ends before " + std::string(what)};
}

// An entry is found by its name, so a second entry of a name could never be used: the list
// stops before it. Sorting by hash keeps a million names cheap.
void refuseRepeatedName(GroupList& list, const std::vector<long long>& lines, std::string_view fileName) {
  std::vector<std::pair<std::size_t, std::size_t>> keys;  // hash, index
  keys.reserve(list.names.size());
  for (std::size_t i = 0; i < list.names.size(); ++i)
    if (!list.names[i].empty()) keys.emplace_back(std::hash<std::string>{}(list.names[i]), i);
  std::sort(keys.begin(), keys.end());
  std::size_t repeat = list.names.size(), first = 0;
  for (std::size_t j = 0; j < keys.size(); ++j)
    for (std::size_t i = j + 1; i < keys.size() && keys[i].first == keys[j].first; ++i)
      if (keys[i].second < repeat && list.names[keys[i].second] == list.names[keys[j].second]) {
        repeat = keys[i].second;
        first = keys[j].second;
      }
  if (repeat == list.names.size()) return;
  list.error = std::string(fileName) + ", line " + std::to_string(lines[repeat]) + ": the group " +
               inQuotes(list.names[repeat]) + " is already listed at line " + std::to_string(lines[first]);
  list.names.resize(repeat);
}

}  // namespace

GroupList parseSpaceGroupList(std::istream& in, std::string_view fileName) {
  GroupList list;
  std::vector<long long> nameLines;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    if (!trimmedRight(line).empty() || reader.overlong()) continue;
    // A blank line announces a group name; a blank last line announces an empty one.
    std::string name;
    if (!reader.next(name)) name.clear();
    if (reader.overlong()) {
      list.error = tooLong(std::string(fileName), reader.number());
      return list;
    }
    if (list.names.size() == static_cast<std::size_t>(kMaxGroupsInList)) {
      list.error = std::string(fileName) + ", line " + std::to_string(reader.number()) +
                   ": more than " + std::to_string(kMaxGroupsInList) + " groups; the rest is not listed";
      return list;
    }
    list.names.push_back(trimmed(name));
    nameLines.push_back(reader.number());
  }
  if (reader.failed())
    list.error = std::string(fileName) + ", line " + std::to_string(reader.number() + 1) +
                 ": the position file could not be read to its end";
  else if (std::all_of(list.names.begin(), list.names.end(), [](const std::string& n) { return n.empty(); }))
    list.error = std::string(fileName) + ": no space group found; this is not a position file";
  else
    refuseRepeatedName(list, nameLines, fileName);
  return list;
}

GroupList loadSpaceGroupList(const fs::path& file) {
  std::ifstream in;
  if (std::string error = openPositionFile(file, in); !error.empty()) {
    GroupList list;
    list.error = std::move(error);
    return list;
  }
  return parseSpaceGroupList(in, file.filename().string());
}

std::vector<std::optional<int>> readGroupNumbers(const fs::path& file, const std::vector<std::string>& names) {
  std::vector<std::optional<int>> numbers(names.size());
  std::ifstream in;
  if (!openPositionFile(file, in).empty()) return numbers;
  LineReader reader(in);
  std::string line;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    bool found = false;
    while (!found && reader.next(line)) found = !reader.overlong() && trimmedRight(line) == names[i];
    if (!found) break;
    if (const auto number = readInteger(reader, {}, {}); number.value) numbers[i] = static_cast<int>(*number.value);
  }
  return numbers;
}

Result<SpaceGroupEntry> readSpaceGroupEntry(const fs::path& file, std::string_view name) {
  const std::string fileName = file.filename().string();
  std::ifstream in;
  if (std::string error = name.empty() ? std::string() : openPositionFile(file, in); !error.empty())
    return fail(std::move(error));
  return parseSpaceGroupEntry(in, fileName, name);
}

namespace {

// A count, then that many lines, each handed to take(line, line number) in turn.
struct CountedLines {
  std::string_view countName;   // "the number of coordinate triplets"
  std::string_view items;       // "coordinate triplets"
  long least, most;
  std::string_view belowLeast;  // what a count under least is told
  bool refuseOverlong;          // a line beyond the cap is refused rather than cut
};

template <class Take>
Result<void> readCountedLines(LineReader& reader, const std::string& where, const CountedLines& what, Take take) {
  const auto count = readInteger(reader, where, what.countName);
  if (!count.value) return fail(count.error);
  const std::string countAt = where + ", line " + std::to_string(reader.number()) + ": " +
                              std::to_string(*count.value) + " " + std::string(what.items);
  if (*count.value < what.least) return fail(countAt + std::string(what.belowLeast));
  if (*count.value > what.most)
    return fail(countAt + ": the program holds " + std::to_string(what.most) + " at most");
  std::string line;
  for (long n = 0; n < *count.value; ++n) {
    if (!reader.next(line))
      return fail(where + ": the file ends after " + std::to_string(n) + " of " + std::to_string(*count.value) + " " +
                  std::string(what.items));
    if (what.refuseOverlong && reader.overlong()) return fail(tooLong(where, reader.number()));
    if (auto taken = take(line, reader.number()); !taken) return taken;
  }
  return {};
}

constexpr CountedLines kTriplets{"the number of coordinate triplets", "coordinate triplets", 1, kMaxOperators,
                                 ": a group has at least one", true};
constexpr CountedLines kConditionLines{"the number of condition lines", "condition lines", 0, kMaxConditions,
                                       " is not a count", false};

}  // namespace

Result<SpaceGroupEntry> parseSpaceGroupEntry(std::istream& in, std::string_view fileNameView, std::string_view name) {
  const std::string fileName(fileNameView);
  if (name.empty()) return fail(fileName + ": no space group is selected");
  LineReader reader(in);
  const std::string where = fileName + ", group " + inQuotes(name);

  // The first line equal to the name starts the entry, even inside free text.
  std::string line;
  bool found = false;
  while (!found && reader.next(line)) found = !reader.overlong() && trimmedRight(line) == name;
  if (!found)
    return fail(reader.failed() ? fileName + ": the position file could not be read to its end"
                                : where + ": the group is not in the position file");

  SpaceGroupEntry entry;
  entry.name = std::string(name);
  entry.nameLine = reader.number();
  const auto number = readInteger(reader, where, "the group number");
  if (!number.value) return fail(number.error);
  entry.number = static_cast<int>(*number.value);

  long long firstTripletLine = 0;
  std::vector<std::string> triplets;
  auto triplet = [&](const std::string& text, long long lineNumber) -> Result<void> {
    if (triplets.empty()) firstTripletLine = lineNumber;
    triplets.push_back(trimmed(text));
    std::string bad;
    auto op = parseTriplet(text, &bad);
    if (!op)
      return fail(where + ", line " + std::to_string(lineNumber) + ": " + inQuotes(trimmed(text)) +
                  " is not a coordinate triplet (" + inQuotes(bad) + " is not understood)");
    entry.operators.push_back(*op);
    return {};
  };
  if (auto read = readCountedLines(reader, where, kTriplets, triplet); !read) return read.failure();
  // Multiplicities come from the rotations: a stray or singular one would silently change them.
  if (const auto fault = findRotationGroupFault(entry.operators))
    return fail(where + ", line " + std::to_string(firstTripletLine + static_cast<long long>(fault->index)) + ": " +
                inQuotes(triplets[fault->index]) + " does not belong to a space group: " + fault->reason);

  auto condition = [&](const std::string& text, long long lineNumber) -> Result<void> {
    if (trimmedRight(text).size() > static_cast<std::size_t>(kMaxConditionLineLength))
      return fail(where + ", line " + std::to_string(lineNumber) + ": the condition line is longer than " +
                  std::to_string(kMaxConditionLineLength) + " characters");
    if (entry.conditionLines.empty()) entry.firstConditionLine = lineNumber;
    entry.conditionLines.push_back(text.substr(0, kMaxConditionLineLength));
    return {};
  };
  if (auto read = readCountedLines(reader, where, kConditionLines, condition); !read) return read.failure();
  return entry;
}

}  // namespace obrin
