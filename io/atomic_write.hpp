// Whole-or-nothing text files: a reader never sees half a report, and a failed write leaves
// the previous file as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace obrin {

// Writes the text to a fresh file beside the target and renames it over the target once every
// byte is on disk (the folder is synced after the rename). The new file keeps the permissions of
// the one it replaces; a target that is a symbolic link has the file it points to replaced.
// A character device or a FIFO (/dev/null, /dev/stdout, a pipe) is written directly, as it
// cannot be replaced; a block device or a socket is refused.
// Refused with "Cannot write <file name>: <reason>"; then the target is untouched and no
// temporary file remains.
Result<void> writeFileAtomically(const std::filesystem::path& target, std::string_view text);

}  // namespace obrin
