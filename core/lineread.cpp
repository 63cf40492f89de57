#include "core/lineread.hpp"

#include <istream>
#include <system_error>
#include <limits>

namespace obrin {

bool readLineCapped(std::istream& in, std::string& line, std::size_t maxLength, bool* overlong) {
  line.clear();
  if (overlong) *overlong = false;
  std::streambuf* buffer = in.rdbuf();
  if (!buffer || !in.good()) return false;
  using Traits = std::char_traits<char>;
  bool any = false;
  try {
    for (;;) {
      const Traits::int_type c = buffer->sbumpc();
      if (Traits::eq_int_type(c, Traits::eof())) {
        in.setstate(std::ios::eofbit);
        return any;
      }
      any = true;
      if (c == '\n') return true;
      if (line.size() < maxLength) {
        line.push_back(Traits::to_char_type(c));
        continue;
      }
      if (overlong) *overlong = true;
      buffer->sungetc();
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      return !in.bad();
    }
  } catch (...) {
    // A read error inside the file buffer: the stream reports it as bad().
    in.setstate(std::ios::badbit);
    line.clear();
    return false;
  }
}

std::string openRegularFile(const std::filesystem::path& file, std::ifstream& in) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    return "not a regular file";
  in.open(file, std::ios::binary);
  return in.is_open() ? std::string() : std::string("the file cannot be opened");
}

}  // namespace obrin
