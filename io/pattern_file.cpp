// Which reader reads a file, the checks every point of every reader passes, and the choice
// among a file's scans.
#include "io/pattern_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <fstream>
#include <system_error>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin {

namespace {

namespace fs = std::filesystem;
using namespace pattern_io;

Failure failure(const std::string& name, const std::string& why) {
  return fail("Cannot read the pattern file \"" + name + "\": " + why);
}

struct Reader {
  std::string_view format;       // MeasuredPattern::format
  std::string_view description;  // for the user
  std::string_view extensions;   // ".a .b", lower case
  bool (*isOwn)(std::string_view);  // none: known by its extension only
  ScansRead (*read)(std::string_view);
};

// In the order their signatures are tried: the binary and XML formats first, whose signatures
// are sure, then the text formats, plain columns last.
constexpr std::array<Reader, 13> kReaders = {{
    {"brml", "Bruker BRML", ".brml", isBrml, readBrml},
    {"rasx", "Rigaku RASX", ".rasx", isRasx, readRasx},
    {"bruker_raw", "Bruker RAW", ".raw", isBrukerRaw, readBrukerRaw},
    {"stoe_raw", "Stoe RAW", "", isStoeRaw, refuseStoeRaw},
    {"xrdml", "PANalytical XRDML", ".xrdml", isXrdml, readXrdml},
    {"ras", "Rigaku RAS", ".ras", isRas, readRas},
    {"uxd", "Bruker UXD", ".uxd", isUxd, readUxd},
    {"gsas", "GSAS", ".gsa .gss .gsas .fxye .xra .cwn", isGsas, readGsas},
    {"pdcif", "powder CIF", ".cif", isPdCif, readPdCif},
    {"rigaku_dat", "Rigaku DAT", "", isRigakuDat, readRigakuDat},
    {"chiplot", "Fit2D ChiPLOT", ".chi", nullptr, readChiplot},
    {"step_counts", "start, step and end, then counts", "", isStepCounts, readStepCounts},
    {"columns", "plain columns", ".xy .xye .txt .csv .tsv .dat .asc .prn", nullptr, readColumns},
}};

std::string lowerExtension(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

const Reader* readerOfExtension(const std::string& ext) {
  if (ext.empty()) return nullptr;
  for (const Reader& r : kReaders) {
    std::string_view list = r.extensions;
    for (std::size_t i = 0; i < list.size();) {
      const std::size_t end = std::min(list.find(' ', i), list.size());
      if (list.substr(i, end - i) == ext) return &r;
      i = end + 1;
    }
  }
  return nullptr;
}

const Reader& columnsReader() { return kReaders.back(); }

// The reader of contents named name: the extension's when the contents are its format (or it
// has no signature to tell), else the first whose signature the contents bear, else the
// extension's (which names what is wrong), else plain columns.
const Reader& readerFor(std::string_view contents, const std::string& name) {
  const Reader* byExtension = readerOfExtension(lowerExtension(name));
  if (byExtension && byExtension != &columnsReader() && byExtension->isOwn && byExtension->isOwn(contents))
    return *byExtension;
  for (const Reader& r : kReaders)
    if (r.isOwn && &r != byExtension && r.isOwn(contents)) return r;
  return byExtension ? *byExtension : columnsReader();
}

// The name without a compression's extension, for the extension of what is inside.
std::string innerName(const std::string& name) {
  for (std::string_view ext : {".gz", ".bz2", ".bz", ".gzip"}) {
    if (lowerExtension(name) == ext) return fs::path(name).replace_extension().string();
  }
  return name;
}

// Every point a measurement can give: 2θ between 0 and 180, a finite intensity within a
// detector's reach, a non-negative uncertainty.
std::optional<std::string> pointFault(const MeasuredPattern& s, std::size_t scan, std::size_t scans) {
  const std::string where = scans > 1 ? "scan " + std::to_string(scan + 1) + ", " : "";
  if (s.x.size() != s.y.size() || (!s.sigma.empty() && s.sigma.size() != s.x.size()))
    return where + "its angles and counts do not pair up";
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    const std::string at = where + "point " + std::to_string(i + 1) + ": ";
    if (!std::isfinite(s.x[i]) || s.x[i] < 0 || s.x[i] > 180)
      return at + "2θ = " + std::to_string(s.x[i]) + " lies outside 0 to 180°, so it is no 2θ scan";
    if (!std::isfinite(s.y[i]) || std::abs(s.y[i]) > kMaxPatternIntensity)
      return at + "the intensity is not a finite number within ±1e15";
    if (!s.sigma.empty() && (!std::isfinite(s.sigma[i]) || s.sigma[i] < 0 || s.sigma[i] > kMaxPatternIntensity))
      return at + "the uncertainty is not a finite number from 0 to 1e15";
  }
  return std::nullopt;
}

std::string shortNumber(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

}  // namespace

PatternScansRead readPatternScansText(std::string_view contents, const std::string& name) {
  std::string uncompressed;
  std::string inner = name;
  if (const Compression c = compressionOf(contents); c != Compression::None) {
    Result<std::string> u = uncompress(contents, c);
    if (!u) return failure(name, u.error());
    uncompressed = std::move(*u);
    contents = uncompressed;
    inner = innerName(name);
    if (compressionOf(contents) != Compression::None) return failure(name, "it is compressed twice");
  }
  if (const std::string_view other = unreadCompressionOf(contents); !other.empty())
    return failure(name, "it is compressed with " + std::string(other) + ", which this program does not undo");
  const Reader& reader = readerFor(contents, inner);
  ScansRead read = reader.read(contents);
  if (!read) return failure(name, read.error());
  std::vector<MeasuredPattern>& scans = *read;
  if (scans.empty()) return failure(name, "it holds no data points");
  std::size_t points = 0;
  for (std::size_t i = 0; i < scans.size(); ++i) {
    if (scans[i].x.empty()) return failure(name, "it holds no data points");
    if (const auto fault = pointFault(scans[i], i, scans.size())) return failure(name, *fault);
    points += scans[i].x.size();
    scans[i].format = std::string(reader.format);
    scans[i].scans = int(scans.size());
    scans[i].scan = int(i + 1);
  }
  if (points > std::size_t(kMaxPatternPoints))
    return failure(name, "it holds more than " + std::to_string(kMaxPatternPoints) + " points");
  return std::move(scans);
}

PatternScansRead readPatternScans(const fs::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return failure(name, "no such file");
  if (!fs::is_regular_file(status)) return failure(name, "not a regular file");
  const auto size = fs::file_size(path, ec);
  if (ec) return failure(name, ec.message());
  if (size > std::uintmax_t(kMaxPatternFileBytes))
    return failure(name, "larger than " + std::to_string(kMaxPatternFileBytes / (1024 * 1024)) + " MB");
  std::ifstream in(path, std::ios::binary);
  if (!in) return failure(name, "it cannot be opened");
  std::string contents(std::size_t(size), '\0');
  in.read(contents.data(), std::streamsize(size));
  contents.resize(std::size_t(in.gcount()));  // the file may have shrunk since its size was read
  if (in.bad()) return failure(name, "a read error");
  return readPatternScansText(contents, name);
}

bool scansFollowEachOther(const std::vector<MeasuredPattern>& scans) {
  for (std::size_t i = 1; i < scans.size(); ++i) {
    const MeasuredPattern &before = scans[i - 1], &after = scans[i];
    if (!std::is_sorted(before.x.begin(), before.x.end()) || !std::is_sorted(after.x.begin(), after.x.end())) return false;
    if (before.x.empty() || after.x.empty() || after.x.front() < before.x.back() - kScanJoinTolerance) return false;
    const bool sameWavelength = before.wavelength.has_value() == after.wavelength.has_value() &&
                                (!before.wavelength || before.wavelength->alpha1 == after.wavelength->alpha1);
    if (!sameWavelength || before.sigma.empty() != after.sigma.empty()) return false;
  }
  return true;
}

PatternRead patternOfScans(std::vector<MeasuredPattern> scans, int scan, const std::string& name) {
  const int count = int(scans.size());
  if (count == 0) return failure(name, "it holds no data points");
  if (scan < 0 || scan > count)
    return failure(name, "it holds no scan " + std::to_string(scan) + " (it holds " + std::to_string(count) +
                             (count == 1 ? " scan)" : " scans)"));
  if (scan > 0) {
    MeasuredPattern chosen = std::move(scans[std::size_t(scan - 1)]);
    chosen.scans = count;
    chosen.scan = count == 1 ? 0 : scan;
    if (chosen.note.empty() && scan > 1) chosen.note = scans.front().note;
    return chosen;
  }
  if (!scansFollowEachOther(scans))
    return failure(name, "its " + std::to_string(count) + " scans overlap, and one of them must be chosen");
  MeasuredPattern joined = std::move(scans.front());
  for (std::size_t i = 1; i < scans.size(); ++i) {
    joined.x.insert(joined.x.end(), scans[i].x.begin(), scans[i].x.end());
    joined.y.insert(joined.y.end(), scans[i].y.begin(), scans[i].y.end());
    joined.sigma.insert(joined.sigma.end(), scans[i].sigma.begin(), scans[i].sigma.end());
  }
  joined.scans = count;
  joined.scan = 0;
  return joined;
}

PatternRead readPatternText(std::string_view contents, const std::string& name, int scan) {
  PatternScansRead scans = readPatternScansText(contents, name);
  if (!scans) return scans.failure();
  return patternOfScans(std::move(*scans), scan, name);
}

PatternRead readPattern(const fs::path& path, int scan) {
  PatternScansRead scans = readPatternScans(path);
  if (!scans) return scans.failure();
  return patternOfScans(std::move(*scans), scan, path.string());
}

std::string scanSummary(const MeasuredPattern& scan) {
  if (scan.x.empty()) return "no points";
  const auto [low, high] = std::minmax_element(scan.x.begin(), scan.x.end());
  return "2θ " + shortNumber(*low) + " to " + shortNumber(*high) + "°, " + std::to_string(scan.x.size()) +
         (scan.x.size() == 1 ? " point" : " points");
}

std::string patternFormatDescription(std::string_view format) {
  for (const Reader& r : kReaders)
    if (r.format == format) return std::string(r.description);
  return std::string(format);
}

}  // namespace obrin
