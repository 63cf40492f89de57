// Numbers as the program writes them: right-aligned in a minimum width with a fixed number of
// decimals; a wider number widens its field and is never cut.
#pragma once

#include <string>
#include <string_view>

namespace obrin {

std::string fixedText(double x, int width, int decimals);  // x:w:d
std::string intText(long long i, int width);               // i:w

std::string trimmed(std::string_view s);        // blanks removed at both ends
std::string trimmedRight(std::string_view s);   // trailing blanks removed
std::string upperCased(std::string_view s);
std::string lowerCased(std::string_view s);

}  // namespace obrin
