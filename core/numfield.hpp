// Numbers typed into the input fields: the accepted syntax and the repairs made to a text
// before it is read when the user leaves a field.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace obrin {

// Optional leading blanks, an optional sign, digits with an optional "." and decimals, and an
// optional exponent (E or e, optional sign, at least one digit); nothing may follow. "." alone
// reads as 0. None for empty or blank text, a decimal comma, trailing characters, or a value
// too large to be represented.
std::optional<double> parseNumber(std::string_view text);

// The repairs made on leaving a field, each at its first match only: empty text becomes "0";
// a blank just before a "." becomes "0"; a blank just after a "." becomes "0"; "-." becomes
// "-0."; a trailing "." gets a "0". Blanks stand for zeros, as on a fixed-format card.
std::string normalizeNumberText(std::string_view text);

}  // namespace obrin
