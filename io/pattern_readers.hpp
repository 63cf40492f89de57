// The readers of the measured-pattern formats, one a file, and what they share. Each reader
// says whether a file's contents are its format (isX) and reads them (readX) into the file's
// 2θ scans. Their messages are what follows "Cannot read the pattern file "NAME": ".
// Internal to the pattern library: callers use io/pattern_file.hpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/measured_pattern.hpp"
#include "core/result.hpp"

namespace obrin::pattern_io {

using Scans = std::vector<MeasuredPattern>;
using ScansRead = Result<Scans>;

// Plain columns of x, y [, sigma]; and a "start step end" line followed by the counts.
ScansRead readColumns(std::string_view contents);
bool isStepCounts(std::string_view contents);
ScansRead readStepCounts(std::string_view contents);

// GSAS standard powder data (every constant-wavelength bank).
bool isGsas(std::string_view contents);
ScansRead readGsas(std::string_view contents);

// Bruker: UXD text, RAW binary (versions 1 to 4), BRML (zip of XML).
bool isUxd(std::string_view contents);
ScansRead readUxd(std::string_view contents);
bool isBrukerRaw(std::string_view contents);
ScansRead readBrukerRaw(std::string_view contents);
bool isBrml(std::string_view contents);
ScansRead readBrml(std::string_view contents);

// Stoe's binary RAW, which shares Bruker's extension; named, not read.
bool isStoeRaw(std::string_view contents);
ScansRead refuseStoeRaw(std::string_view contents);

// PANalytical XRDML, versions 1 (<intensities>) and 2 (<counts>).
bool isXrdml(std::string_view contents);
ScansRead readXrdml(std::string_view contents);

// Rigaku: RAS text and RASX (zip of a profile and its conditions).
bool isRas(std::string_view contents);
ScansRead readRas(std::string_view contents);
bool isRasx(std::string_view contents);
ScansRead readRasx(std::string_view contents);

// Powder CIF: the profile loops of every data block.
bool isPdCif(std::string_view contents);
ScansRead readPdCif(std::string_view contents);

// Through xylib: Rigaku .dat and Fit2D .chi.
bool isRigakuDat(std::string_view contents);
ScansRead readRigakuDat(std::string_view contents);
ScansRead readChiplot(std::string_view contents);

// ---- Shared by the readers ------------------------------------------------------------------

// "line 12: " for messages.
std::string atLine(long long line);

// A number of a text format: decimal point, optional sign and exponent, finite (from_chars,
// which the locale does not change).
std::optional<double> parseNumber(std::string_view text);

// Whitespace-separated numbers, as XML elements and counts blocks hold them; false when a word
// is no finite number or there are more than `limit`.
bool parseNumberList(std::string_view text, std::vector<double>& out, std::size_t limit);

// Blanks, tabs and line ends trimmed from both ends.
std::string_view trimmed(std::string_view s);

// The lines of a text, numbered from 1, without their line ends ("\n", "\r\n").
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  std::optional<std::string_view> next();
  long long number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  long long number_ = 0;
};

// The tube lines as a file stores them, kept when Kα1 is a wavelength (0 < λ ≤
// kMaxPatternWavelength); a Kα2 or a ratio that cannot be one is dropped.
std::optional<PatternWavelength> storedWavelength(double alpha1, double alpha2, double ratio);

// A scan of `count` points at start + i·step; values filled later.
MeasuredPattern steppedScan(double start, double step, std::size_t count);

// The name of the axis of a scan that is not a 2θ scan, for the message that refuses it.
std::string notTwoThetaMessage(const std::vector<std::string>& axes);
// What the reader leaves out when a file mixes 2θ scans with scans of other axes.
std::string skippedScansNote(const std::vector<std::string>& axes);

// The entries of a zip archive, read in memory; none of an entry larger than the pattern limit.
class ZipArchive {
 public:
  static Result<ZipArchive> open(std::string_view bytes);
  ZipArchive(ZipArchive&& other) noexcept;
  ZipArchive& operator=(ZipArchive&&) = delete;
  ~ZipArchive();

  const std::vector<std::string>& names() const { return names_; }
  bool contains(std::string_view name) const;
  Result<std::string> read(std::string_view name) const;

 private:
  explicit ZipArchive(void* archive);
  void* archive_;  // zip_t
  std::vector<std::string> names_;
};
bool isZip(std::string_view contents);

// gzip and bzip2: the uncompressed contents (at most kMaxPatternFileBytes), or why not.
enum class Compression { None, Gzip, Bzip2 };
Compression compressionOf(std::string_view contents);
// The name of a compression this program does not undo ("xz"), empty for none.
std::string_view unreadCompressionOf(std::string_view contents);
Result<std::string> uncompress(std::string_view contents, Compression compression);

}  // namespace obrin::pattern_io
