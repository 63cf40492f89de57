#include "io/atomic_write.hpp"

#include "io/file_sync.hpp"

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

// A symbolic link is written through: the file it points to is replaced and the link stays.
// A chain of links is followed to its end (at most a few dozen, as the system would).
std::filesystem::path resolveLinks(std::filesystem::path path) {
  constexpr int kMaxLinkDepth = 40;
  std::error_code ec;
  for (int depth = 0; depth < kMaxLinkDepth && std::filesystem::is_symlink(path, ec); ++depth) {
    const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

// The replacement keeps the permissions of the file it replaces (a shared report stays shared,
// a private cell file private).
void copyPermissions(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  const auto status = std::filesystem::status(from, ec);
  if (ec || !std::filesystem::is_regular_file(status)) return;
  std::filesystem::permissions(to, status.permissions(), std::filesystem::perm_options::replace, ec);
}

// A device or a pipe (/dev/null, /dev/stdout, a FIFO) cannot be replaced by a file: the bytes
// go to it directly, and a failure is still reported. Replacing it instead would, for root,
// put a regular file where the device was.
Result<void> writeThrough(const std::filesystem::path& target, std::string_view text) {
  errno = 0;
  std::FILE* f = std::fopen(target.c_str(), "wb");
  if (!f) return fail(failure(target, errnoText(errno)));
  errno = 0;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = ok && std::fflush(f) == 0;
  int error = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) return fail(failure(target, errnoText(error)));
  return {};
}

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& target, std::string_view text) {
  static std::mt19937_64 rng{std::random_device{}()};
  // The system follows the links here, the magic ones of /proc (/dev/stdout to a pipe) too.
  std::error_code statusError;
  const auto status = std::filesystem::status(target, statusError);
  if (std::filesystem::is_character_file(status) || std::filesystem::is_fifo(status))
    return writeThrough(target, text);
  if (std::filesystem::is_block_file(status) || std::filesystem::is_socket(status))
    return fail(failure(target, "not a regular file"));
  const std::filesystem::path file = resolveLinks(target);

  std::filesystem::path tmp;
  std::FILE* f = nullptr;
  int openError = 0;
  // "x": never reuse a file that someone else is writing at this moment.
  for (int attempt = 0; attempt < 8 && !f; ++attempt) {
    tmp = temporaryName(file, rng);
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
  if (ok && (writeError = syncFileToDisk(f)) != 0) ok = false;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  std::error_code ec;
  if (!ok) {
    std::filesystem::remove(tmp, ec);
    return fail(failure(target, errnoText(writeError)));
  }
  copyPermissions(file, tmp);
  std::filesystem::rename(tmp, file, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(tmp, ignored);
    return fail(failure(target, ec.message()));
  }
  syncFolderToDisk(file.parent_path());
  return {};
}

}  // namespace obrin
