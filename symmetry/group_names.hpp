// How a user names a group of a position file: its name as listed, its compact symbol in any
// case ("pnma", "fd-3m", with or without the "(N)" suffix), its space-group number, or for the
// window's list filter a part of its name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obrin {

// The name without blanks, in upper case, and without a trailing "(N)" when asked.
std::string groupKey(std::string_view name, bool dropNumberSuffix);

// The space-group number a bare number names ("62"); none for anything else.
std::optional<int> groupNumberWord(std::string_view word);

// The word is the listed name, or its compact symbol with or without the "(N)" suffix.
bool isGroupSymbol(std::string_view name, std::string_view word);

// The list filter: a blank word keeps every entry; a number keeps the entries of that
// space-group number (none when the number is unknown); anything else keeps the entries whose
// compact name contains the word's.
bool groupFilterKeeps(std::string_view name, std::optional<int> number, std::string_view word);

}  // namespace obrin
