#include "io/atomic_write.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace obrin {

namespace {

std::string failure(const std::filesystem::path& target, const std::string& reason) {
  return "Cannot write " + target.filename().string() + ": " + reason;
}

std::string errnoText(int err) { return err != 0 ? std::strerror(err) : "unknown error"; }

// A name in the target's own folder, so that the final rename never crosses file systems.
std::filesystem::path temporaryName(const std::filesystem::path& target, std::mt19937_64& rng) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%012llx.tmp",
                static_cast<unsigned long long>(rng() & 0xffffffffffffULL));
  std::filesystem::path tmp = target;
  tmp += suffix;
  return tmp;
}

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& target, std::string_view text) {
  static std::mt19937_64 rng{std::random_device{}()};

  std::filesystem::path tmp;
  std::FILE* f = nullptr;
  int openError = 0;
  // "x": never reuse a file that someone else is writing at this moment.
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    tmp = temporaryName(target, rng);
    errno = 0;
    f = std::fopen(tmp.c_str(), "wbx");
    openError = errno;
    if (!f && openError != EEXIST) break;
  }
  if (!f) return fail(failure(target, errnoText(openError)));

  errno = 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = ok && std::fflush(f) == 0;
  int writeError = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  std::error_code ec;
  if (!ok) {
    std::filesystem::remove(tmp, ec);
    return fail(failure(target, errnoText(writeError)));
  }
  std::filesystem::rename(tmp, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return fail(failure(target, ec.message()));
  }
  return {};
}

}  // namespace obrin
