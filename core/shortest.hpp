// The shortest decimal text that reads back as the same double, character for character as
// std::to_chars(first, last, x) writes it, in a fraction of its time for the values of a list.
#pragma once

namespace obrin {

// The longest such text is 24 characters ("-2.2250738585072014e-308"); the writer may use a
// little more room before it knows the length, up to this.
inline constexpr int kShortestRoom = 48;

// Writes x at first, which has room for kShortestRoom characters, and returns the end.
char* writeShortest(char* first, double x);

}  // namespace obrin
