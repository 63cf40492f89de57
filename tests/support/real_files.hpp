// Real files from other projects: they sit beside the checkout (../shared/real), also when the
// tests run from a worktree elsewhere; tests skip without them.
#pragma once

#include <filesystem>
#include <optional>

namespace obrin::testing_support {

inline std::optional<std::filesystem::path> realFilesDir() {
  namespace fs = std::filesystem;
  for (const fs::path& dir : {fs::path(OBRIN_SOURCE_DIR) / ".." / "shared" / "real",
                              fs::path(OBRIN_SOURCE_DIR) / ".." / ".." / "shared" / "real", fs::path("/work/shared/real")})
    if (fs::is_directory(dir / "patterns")) return dir;
  return std::nullopt;
}

}  // namespace obrin::testing_support
