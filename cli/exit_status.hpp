// The exit statuses of obrin-cli and of obrin-plot, which runs some of its commands, and the
// check that their standard output reached its destination.
#pragma once

#include <cerrno>
#include <cstring>
#include <iostream>

namespace obrin::cli {

inline constexpr int kDone = 0;
inline constexpr int kRefused = 1;
inline constexpr int kBadUsage = 2;

// Output that did not reach its destination (a full disk, a closed pipe) is a failure, not a
// result: the exit status must say so.
inline int checkedOutput(int status) {
  if (std::cout) {
    errno = 0;
    std::cout.flush();
  }
  if (std::cout) return status;
  const int error = errno;
  std::cerr << "Cannot write the output: " << (error != 0 ? std::strerror(error) : "write error") << "\n";
  return kRefused;
}

}  // namespace obrin::cli
