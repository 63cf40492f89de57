// What the words of the command line name: the crystal system, the space group in its list,
// the wavelength, the position files, and the cell fields the system fills in.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/state.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin::cli {

// The four-letter code or the name of the system list, any case; the usual English spellings
// "Orthorhombic" and "Rhombohedral" too.
std::optional<CrystalSystem> resolveSystem(std::string_view word);

// The entry of the group list the word names, in this order: the exact name; the name, or the
// name without its "(N)" suffix, compared without letter case and blanks; for a bare number,
// the first entry with that space-group number (read from the position file). That entry must
// read: a damaged one is refused with the position file's message, never passed over for the
// next entry of the same number. None when nothing matches.
Result<std::optional<std::string>> resolveGroup(const std::vector<std::string>& names, std::string_view word,
                                                const std::filesystem::path& positionFile);

// What the wavelength field holds after --lambda: a row of the wavelength table (any case) is
// written as the window writes a chosen row; anything else is taken as typed.
std::string lambdaFieldText(std::string_view word);

// --data-dir DIR searches DIR only; otherwise the window's directories.
std::vector<std::filesystem::path> positionFileDirectories(const std::optional<std::string>& dataDir);
// The position file of the system. When none is found the readers get a path that names what
// is missing, so that their message says so: the bare name for the window's search (as the
// window does), DIR/name under --data-dir (never a file of the current directory).
std::filesystem::path positionFileFor(CrystalSystem system, const std::vector<std::filesystem::path>& dirs,
                                      const std::optional<std::string>& dataDir);

// The free cell parameters of the system, in the order --cell takes them.
std::string freeCellParameterNames(CrystalSystem system);  // "a c", ...

// The six cell texts from the free parameters, in cell order: a tied parameter repeats the
// text it is tied to, a fixed angle is its value.
std::array<std::string, 6> cellTexts(CrystalSystem system, const std::vector<std::string>& values);

}  // namespace obrin::cli
