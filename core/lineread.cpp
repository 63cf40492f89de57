#include "core/lineread.hpp"

#include <istream>
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

}  // namespace obrin
