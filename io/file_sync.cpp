#include "io/file_sync.hpp"

#include <cerrno>

#if defined(_WIN32)
#include <io.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#define OBRIN_HAVE_FSYNC 1
#endif

namespace obrin {

int syncFileToDisk(std::FILE* file) {
#if defined(_WIN32)
  return _commit(_fileno(file)) == 0 ? 0 : errno;
#elif defined(OBRIN_HAVE_FSYNC)
  return fsync(fileno(file)) == 0 ? 0 : errno;
#else
  (void)file;
  return 0;
#endif
}

void syncFolderToDisk(const std::filesystem::path& folder) {
#if defined(OBRIN_HAVE_FSYNC)
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
#else
  (void)folder;
#endif
}

}  // namespace obrin
