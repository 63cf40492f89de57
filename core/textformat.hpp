// Numbers as the program writes them: right-aligned in a minimum width with a fixed number of
// decimals; a wider number widens its field and is never cut.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace obrin {

std::string fixedText(double x, int width, int decimals);  // x:w:d
std::string intText(long long i, int width);               // i:w
// Appends a number written by fixedText or intText to a line of columns. A number that fills
// its field (a 5-digit index in a 3-wide column) gets one separating blank so that it never
// runs into the one before; narrower numbers keep their exact field.
void appendField(std::string& line, std::string_view number);
// fixedText and intText appended in place, digit for digit the same: long lists are written
// without a string per number.
void appendFixed(std::string& out, double x, int width, int decimals);
void appendInt(std::string& out, long long i, int width);
// appendField of fixedText or intText, in place.
void appendFixedField(std::string& line, double x, int width, int decimals);
void appendIntField(std::string& line, long long i, int width);

// A field of a line of columns: an integer, or a number with decimals, in a minimum width.
struct Column {
  bool isInteger = false;
  long long integer = 0;
  double value = 0;
  int width = 0;
  int decimals = 0;
};
inline Column intColumn(long long i, int width) { return {true, i, 0, width, 0}; }
inline Column fixedColumn(double x, int width, int decimals) { return {false, 0, x, width, decimals}; }
// The columns appended as appendIntField and appendFixedField append them one by one (joined:
// a column that fills its field after a number gets its blank), laid out in one go.
void appendColumns(std::string& line, std::initializer_list<Column> columns, bool joined = true);

std::string trimmed(std::string_view s);        // blanks removed at both ends
std::string trimmedRight(std::string_view s);   // trailing blanks removed
std::string upperCased(std::string_view s);
std::string lowerCased(std::string_view s);

}  // namespace obrin
