// Scratch folders for tests. ctest runs test cases side by side in separate processes, so a
// folder's name carries the process id.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace obrin::testing_support {

// An empty folder under the system's temporary folder, new for this process.
inline std::filesystem::path freshScratchDir(std::string_view tag) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("obrin_" + std::string(tag) + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace obrin::testing_support
