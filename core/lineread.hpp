// Reading text files line by line with a bounded line length.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>

namespace obrin {

// Reads the next line (without its "\n") into line, keeping at most maxLength characters and
// skipping the rest of a longer line; *overlong then says so. False at the end of the stream
// with nothing read, or on a read error (the stream's bad() tells which).
bool readLineCapped(std::istream& in, std::string& line, std::size_t maxLength, bool* overlong);

// Opens a file for reading only when it is a regular file (links followed): a FIFO would wait
// for a writer forever and a device such as /dev/zero never ends. Returns an empty text, or
// "not a regular file" or "the file cannot be opened".
std::string openRegularFile(const std::filesystem::path& file, std::ifstream& in);

}  // namespace obrin
