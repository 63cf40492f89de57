// Measured powder patterns: plain columns and the instrument formats of today's diffractometers,
// each read by a reader of its own (xylib's for Rigaku .dat and Fit2D .chi), from the file as it
// is or compressed with gzip or bzip2. The format follows the contents; the extension only
// settles what the contents leave open.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/measured_pattern.hpp"
#include "core/result.hpp"

namespace obrin {

// A pattern, or the message that names the file (and the line where one applies).
using PatternRead = Result<MeasuredPattern>;
// Every 2θ scan of a file in file order, each with the file's format and its wavelength; or
// the message. A file whose scans all run along another axis is refused with the axis named.
using PatternScansRead = Result<std::vector<MeasuredPattern>>;

// Reads a regular file of at most kMaxPatternFileBytes (uncompressed as well).
PatternScansRead readPatternScans(const std::filesystem::path& path);
// The same on contents already in memory; name stands for the file in messages and gives the
// extension.
PatternScansRead readPatternScansText(std::string_view contents, const std::string& name);

// Whether each scan begins where the one before it ends, on the same wavelength: then they are
// one pattern measured in pieces.
bool scansFollowEachOther(const std::vector<MeasuredPattern>& scans);

// The pattern of a file's scans: scan number `scan` (from 1), or with 0 every scan joined, which
// is refused when they do not follow each other.
PatternRead patternOfScans(std::vector<MeasuredPattern> scans, int scan, const std::string& name);

// readPatternScans, then patternOfScans.
PatternRead readPattern(const std::filesystem::path& path, int scan = 0);
PatternRead readPatternText(std::string_view contents, const std::string& name, int scan = 0);

// One line on a scan for a choice among them: "2θ 10 to 90°, 4001 points".
std::string scanSummary(const MeasuredPattern& scan);

// What a format name of MeasuredPattern::format stands for: "PANalytical XRDML"; the name
// itself for an unknown one.
std::string patternFormatDescription(std::string_view format);

}  // namespace obrin
