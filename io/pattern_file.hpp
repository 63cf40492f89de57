// Measured powder patterns: plain x y [sigma] columns, read here, and the instrument formats,
// read through xylib (the wavelength of an .xrdml file through pugixml, as xylib skips it).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/measured_pattern.hpp"
#include "core/result.hpp"

namespace obrin {

// A pattern, or the message that names the file (and the line where one applies).
using PatternRead = Result<MeasuredPattern>;

// Reads a regular file of at most kMaxPatternFileBytes. The format follows the extension:
// .xy .xye .txt .csv and .dat (unless it is a Rigaku .dat) are plain columns, .gsa .gss .gsas
// .fxye are GSAS files (and so is a .raw, .dat or .txt whose header opens a GSAS bank); the
// others are handed to xylib, which recognises the instrument format from the contents.
PatternRead readPattern(const std::filesystem::path& path);

// The same on contents already in memory; name stands for the file in messages and gives the
// extension.
PatternRead readPatternText(std::string_view contents, const std::string& name);

// Plain columns: 2 or 3 numbers a row, separated by blanks, commas or semicolons; blank lines
// and comment lines (#, !, ') skipped, and one header line before the first row.
PatternRead readColumns(std::string_view contents, const std::string& name);

// A Bruker UXD text file: its first range, and its wavelengths when given.
PatternRead readUxd(std::string_view contents, const std::string& name);

// A GSAS standard powder data file: the points of its first bank, which must be of constant
// wavelength (CONST), in the STD, ESD or FXYE layout.
PatternRead readGsas(std::string_view contents, const std::string& name);

// Whether one of the first lines after the title opens a GSAS bank ("BANK ...").
bool looksLikeGsas(std::string_view contents);

// The usedWavelength element of an .xrdml document; none when it has none. error receives the
// parser's complaint when the document is not well-formed XML.
std::optional<PatternWavelength> xrdmlWavelength(std::string_view contents, std::string* error);

}  // namespace obrin
