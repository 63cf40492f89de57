// Flushing written data to the storage device. The one place that calls the operating system
// directly: POSIX fsync where it exists, the C runtime's commit on Windows, else nothing.
#pragma once

#include <cstdio>
#include <filesystem>

namespace obrin {

// Waits until the open file's bytes are on the device. Returns 0, or the errno of the failure.
int syncFileToDisk(std::FILE* file);

// Makes a rename or creation inside the folder durable. Failures are ignored: some file
// systems cannot sync a folder, and the file itself is already on disk.
void syncFolderToDisk(const std::filesystem::path& folder);

}  // namespace obrin
