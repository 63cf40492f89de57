#include "symmetry/group_names.hpp"

#include <cctype>
#include <fstream>

#include "core/textformat.hpp"
#include "symmetry/pot.hpp"

namespace obrin {

namespace {

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

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

std::optional<int> groupNumberWord(std::string_view word) {
  const std::string number = trimmed(word);
  // Nine digits always fit an int.
  if (!allDigits(number) || number.size() > 9) return std::nullopt;
  return std::stoi(number);
}

bool isGroupSymbol(std::string_view name, std::string_view word) {
  if (name == word) return true;
  const std::string wanted = groupKey(word, false);
  return !wanted.empty() && (groupKey(name, true) == wanted || groupKey(name, false) == wanted);
}

bool groupFilterKeeps(std::string_view name, std::optional<int> number, std::string_view word) {
  const std::string wanted = groupKey(word, false);
  if (wanted.empty()) return true;
  if (const auto wantedNumber = groupNumberWord(word)) return number == wantedNumber;
  return isGroupSymbol(name, word) || groupKey(name, false).find(wanted) != std::string::npos;
}

}  // namespace obrin
