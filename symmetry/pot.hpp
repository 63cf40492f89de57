// Space-group position files, the general-position triplet parser, the coded reflection
// conditions and the test of one reflection against them.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/limits.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin {

// ---- General-position triplets -------------------------------------------------------------

// One coordinate triplet: row r holds the multipliers of x, y, z in the r-th expression,
// then the translation in fractions of the cell.
struct SymmetryOperator {
  std::array<std::array<double, 4>, 3> m{};
};

// Parses "-x+1/2,y,z+1/4" (any case). None when an expression is not one of the eight
// recognised forms; then *badExpression (if given) receives that expression as written.
std::optional<SymmetryOperator> parseTriplet(std::string_view line, std::string* badExpression = nullptr);

// ---- Reflection conditions -----------------------------------------------------------------

// Zone kinds 1..18 and condition kinds 1..29 index the two code tables.
struct ReflectionCondition {
  int zoneCount = 0;
  std::array<int, kMaxConditionZones> zones{};
  int kind = 0;
};

// Everything the reflection test needs about the selected group.
struct SpaceGroupRules {
  char lattice = 'P';
  CrystalSystem system = CrystalSystem::Triclinic;
  std::vector<ReflectionCondition> conditions;
};

struct DerivedConditions {
  std::vector<std::string> display;             // the 'Conditions' list, line by line
  std::vector<ReflectionCondition> conditions;  // decoded lines, file order
  // 0 all decoded; 1 a token did not decode or the lines exceed the table. After 1 the table
  // holds only the lines before the fault: callers must not calculate with it.
  int status = 0;
  std::string warning;  // "Condition d'extinction ... non décodée" (or the excess), or empty
};

DerivedConditions deriveReflectionConditions(char lattice, CrystalSystem system,
                                             const std::vector<std::string>& conditionLines);
std::string formatConditionLine(std::string_view line);

// 1 when h k l is forbidden (0 0 0, the lattice centring, or a condition), else 0. Indices
// must lie within ±2^28, so that the sums the conditions test cannot overflow; the program's
// indices stay within ±2·32767 (images of 16-bit indices).
int isReflectionForbidden(const SpaceGroupRules& rules, int h, int k, int l);
int isReflectionForbidden(char lattice, CrystalSystem system, const std::vector<ReflectionCondition>& conditions,
                          int h, int k, int l);
// The condition table alone.
int evaluateConditions(const std::vector<ReflectionCondition>& conditions, int h, int k, int l);

// ---- Position files ------------------------------------------------------------------------

// "C.pos", "Q.pos" (tetragonal), "O.pos", "H.pos", "R.pos", "M.pos", "T.pos".
std::string positionFileName(CrystalSystem system);

// The directories searched for position files, in order: the current directory, then the
// program's own data directory (exeDir/data, then exeDir/../share/obrin/data).
std::vector<std::filesystem::path> defaultDataDirectories(const std::filesystem::path& exeDir);
// The directory of the running program (empty when it cannot be found).
std::filesystem::path programDirectory();
// The first existing file of that name in the directories; none when there is none.
std::optional<std::filesystem::path> findPositionFile(CrystalSystem system,
                                                      const std::vector<std::filesystem::path>& dirs);
// The same in defaultDataDirectories(programDirectory()). When there is none, pass the bare
// positionFileName to the readers: their error then says the file cannot be read.
std::optional<std::filesystem::path> findPositionFile(CrystalSystem system);

struct GroupList {
  std::vector<std::string> names;  // in file order, blanks trimmed; what was read before a fault
  std::string error;               // empty, or a warning naming the file and the line
};
GroupList loadSpaceGroupList(const std::filesystem::path& file);
// The same on an open stream; fileName only names the file in the error. Lines beyond
// kMaxPositionLineLength characters are refused where they would be a name.
GroupList parseSpaceGroupList(std::istream& in, std::string_view fileName);
// The space-group number of each listed name, found in one pass through the file (the names in
// file order, as the list gives them); none where the name or its number line does not read.
std::vector<std::optional<int>> readGroupNumbers(const std::filesystem::path& file,
                                                 const std::vector<std::string>& names);
// The first name that, trailing blanks removed, equals the group name (case-sensitive);
// none for an empty group name or no match.
std::optional<std::size_t> findGroupIndex(const std::vector<std::string>& names, std::string_view name);

struct SpaceGroupEntry {
  std::string name;
  int number = 0;                            // the integer line after the name
  std::vector<SymmetryOperator> operators;   // file order
  std::vector<std::string> conditionLines;   // at most kMaxConditionLineLength characters each
  long long nameLine = 0;                    // line numbers in the file, for messages
  long long firstConditionLine = 0;
};

// The first line equal (trailing blanks removed, case-sensitive) to the name starts the entry.
// A group that is not found, a count that is not an integer or exceeds the tables, or a triplet
// that does not parse is refused with a warning naming the file, the group and the line.
Result<SpaceGroupEntry> readSpaceGroupEntry(const std::filesystem::path& file, std::string_view name);
// The same on an open stream. A line beyond kMaxPositionLineLength characters never starts the
// entry, and inside it is refused.
Result<SpaceGroupEntry> parseSpaceGroupEntry(std::istream& in, std::string_view fileName, std::string_view name);

}  // namespace obrin
