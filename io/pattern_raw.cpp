// Bruker (Siemens) RAW files, little-endian binary, every range of the four versions:
//   "RAW "     DIFFRAC-AT v1: ranges one after another, each a 152-byte header (steps,
//              step, start 2θ as float, Kα1, Kα2, then whether another range follows) and its
//              counts as float; later ranges may repeat "RAW ".
//   "RAW2"     v2: the range count and the tube lines (Kα1, Kα2, ratio) in a 256-byte file
//              header, then each range's header (its length, steps, step, start) and counts.
//   "RAW1.01"  DIFFRAC plus v3: a 712-byte file header (range count at 12, Kα1, Kα2 and their
//              ratio as double at 624, 632 and 648), then each range: a 304-byte header (steps
//              at 4, start 2θ at 16, step at 176, a supplementary header's length at 256), that
//              header and the counts.
//   "RAW4.00"  DIFFRAC.SUITE v4: a 61-byte header, tagged segments (type, length; type 30
//              holds the tube lines at +80, +88 and +104) up to the first range (type 0 or 160);
//              each range a 160-byte header (scan type at +32, start at +72, step at +80, steps
//              at +88, the size of a datum at +136 and of the extra headers at +140), those
//              headers and one datum a step, whose first four bytes are the count as float.
// Layouts from the DIFFRAC plus XCH manual (appendix A) and xylib's reader (version 4).
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

// Little-endian fields of a byte string, each read only when it lies inside it.
class Bytes {
 public:
  explicit Bytes(std::string_view b) : b_(b) {}
  std::size_t size() const { return b_.size(); }
  bool has(std::size_t at, std::size_t n) const { return at <= b_.size() && n <= b_.size() - at; }

  std::uint64_t unsignedAt(std::size_t at, std::size_t n) const {
    std::uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b_[at + i]);
    return v;
  }
  std::uint32_t u32(std::size_t at) const { return std::uint32_t(unsignedAt(at, 4)); }
  std::uint16_t u16(std::size_t at) const { return std::uint16_t(unsignedAt(at, 2)); }
  float f32(std::size_t at) const { return std::bit_cast<float>(u32(at)); }
  double f64(std::size_t at) const { return std::bit_cast<double>(unsignedAt(at, 8)); }
  // A float field, and a double field that may hold a widened float, as their decimals.
  double real32(std::size_t at) const;
  double real64(std::size_t at) const;
  std::string_view text(std::size_t at, std::size_t n) const {
    const std::string_view t = b_.substr(at, n);
    return t.substr(0, t.find('\0'));
  }

 private:
  std::string_view b_;
};

// A value the instrument wrote as a float, as the decimal it stands for (the shortest that reads
// back as that float): 15.985 rather than 15.984999656677246.
double fromFloat(float f) {
  if (!std::isfinite(f) || f == std::trunc(f)) return f;
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, f);
  double d = f;
  if (ec == std::errc()) std::from_chars(text, end, d);
  return d;
}

// A double some versions fill from a float (1.5405999422073364 for 1.5406), as that float's
// decimal; a double that is no float stays as it is.
double fromWidenedFloat(double d) {
  const auto f = static_cast<float>(d);
  return std::isfinite(d) && double(f) == d ? fromFloat(f) : d;
}

bool startsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

double Bytes::real32(std::size_t at) const { return fromFloat(f32(at)); }
double Bytes::real64(std::size_t at) const { return fromWidenedFloat(f64(at)); }

std::string rangeAt(std::size_t range) { return "range " + std::to_string(range + 1) + ": "; }

// The counts of a range: `steps` values of `datum` bytes from `at`, the count a float in the
// first four bytes of each.
Result<MeasuredPattern> rangeCounts(const Bytes& b, std::size_t at, std::size_t steps, std::size_t datum,
                                    double start, double step, std::size_t range) {
  if (steps == 0) return fail(rangeAt(range) + "it holds no points");
  if (steps > std::size_t(kMaxPatternPoints)) return fail(rangeAt(range) + "it announces more points than are read");
  if (!(std::isfinite(start) && std::isfinite(step) && step != 0)) return fail(rangeAt(range) + "its start or step is no angle");
  if (datum < 4 || !b.has(at, steps * datum))
    return fail(rangeAt(range) + "the file ends before its " + std::to_string(steps) + " points");
  MeasuredPattern scan = steppedScan(start, step, steps);
  for (std::size_t i = 0; i < steps; ++i) scan.y.push_back(b.real32(at + i * datum));
  return scan;
}

using RangeRead = Result<MeasuredPattern>;

ScansRead version1(const Bytes& b) {
  Scans scans;
  const std::uint32_t rawMagic = Bytes("RAW ").u32(0);
  std::size_t pos = 4;
  for (bool more = true; more;) {
    if (scans.size() >= std::size_t(kMaxPatternScans)) return fail("it holds more ranges than are read");
    if (!scans.empty() && b.has(pos, 4) && b.u32(pos) == rawMagic) pos += 4;
    if (!b.has(pos, 152)) return fail(rangeAt(scans.size()) + "the file ends inside its header");
    const std::size_t steps = b.u32(pos);
    RangeRead range = rangeCounts(b, pos + 152, steps, 4, b.real32(pos + 20), b.real32(pos + 8), scans.size());
    if (!range) return range.failure();
    range->wavelength = storedWavelength(b.real32(pos + 68), b.real32(pos + 72), 0);
    more = b.u32(pos + 148) != 0;
    pos += 152 + 4 * steps;
    scans.push_back(std::move(*range));
  }
  return scans;
}

ScansRead version2(const Bytes& b) {
  if (!b.has(0, 256)) return fail("the file ends inside its header");
  const std::size_t ranges = b.u16(4);
  const auto wavelength = storedWavelength(b.real32(190), b.real32(194), b.real32(198));
  Scans scans;
  std::size_t pos = 256;
  for (std::size_t r = 0; r < ranges; ++r) {
    if (!b.has(pos, 48)) return fail(rangeAt(r) + "the file ends inside its header");
    const std::size_t header = b.u16(pos), steps = b.u16(pos + 2);
    if (header < 48) return fail(rangeAt(r) + "its header is too short");
    RangeRead range = rangeCounts(b, pos + header, steps, 4, b.real32(pos + 16), b.real32(pos + 12), r);
    if (!range) return range.failure();
    range->wavelength = wavelength;
    pos += header + 4 * steps;
    scans.push_back(std::move(*range));
  }
  return scans;
}

ScansRead version3(const Bytes& b) {
  if (!b.has(0, 712)) return fail("the file ends inside its header");
  const std::size_t ranges = b.u32(12);
  if (ranges > std::size_t(kMaxPatternScans)) return fail("it announces more ranges than are read");
  const auto wavelength = storedWavelength(b.real64(624), b.real64(632), b.real64(648));
  Scans scans;
  std::size_t pos = 712;
  for (std::size_t r = 0; r < ranges; ++r) {
    if (!b.has(pos, 304)) return fail(rangeAt(r) + "the file ends inside its header");
    const std::size_t header = b.u32(pos), steps = b.u32(pos + 4), supplement = b.u32(pos + 256);
    if (header != 304) return fail(rangeAt(r) + "its header is not the 304 bytes of the format");
    if (!b.has(pos + header, supplement)) return fail(rangeAt(r) + "the file ends inside its header");
    const std::size_t data = pos + header + supplement;
    RangeRead range = rangeCounts(b, data, steps, 4, b.real64(pos + 16), b.real64(pos + 176), r);
    if (!range) return range.failure();
    range->wavelength = wavelength;
    pos = data + 4 * steps;
    scans.push_back(std::move(*range));
  }
  return scans;
}

bool isRangeStart(std::uint32_t type) { return type == 0 || type == 160; }

// Scans of 2θ: coupled θ/2θ (locked or not) and detector scans.
bool isTwoThetaScan(std::string_view type) {
  for (std::string_view word : {"Coupled", "2Theta", "TwoTheta", "Detector"})
    if (type.find(word) != std::string_view::npos) return true;
  return false;
}

ScansRead version4(const Bytes& b) {
  std::size_t pos = 61;
  std::optional<PatternWavelength> wavelength;
  while (true) {
    if (!b.has(pos, 4)) return fail("the file ends before its first range");
    if (isRangeStart(b.u32(pos))) break;
    if (!b.has(pos, 8)) return fail("the file ends inside its header");
    const std::size_t length = b.u32(pos + 4);
    if (length < 8 || !b.has(pos, length)) return fail("a segment of its header runs past the end of the file");
    if (b.u32(pos) == 30 && length >= 120) wavelength = storedWavelength(b.real64(pos + 80), b.real64(pos + 88), b.real64(pos + 104));
    pos += length;
  }
  Scans scans;
  std::vector<std::string> otherAxes;
  for (std::size_t r = 0; b.has(pos, 4) && isRangeStart(b.u32(pos)); ++r) {
    if (r >= std::size_t(kMaxPatternScans)) return fail("it holds more ranges than are read");
    const std::size_t head = pos;
    if (!b.has(head, 160)) return fail(rangeAt(r) + "the file ends inside its header");
    const std::string type(b.text(head + 32, 24));
    const std::size_t steps = b.u32(head + 88), datum = b.u32(head + 136), extra = b.u32(head + 140);
    if (!b.has(head + 160, extra)) return fail(rangeAt(r) + "the file ends inside its header");
    const std::size_t data = head + 160 + extra;
    if (datum != 0 && steps > (b.size() - data) / datum)
      return fail(rangeAt(r) + "the file ends before its " + std::to_string(steps) + " points");
    pos = data + datum * steps;
    if (!isTwoThetaScan(type)) {
      otherAxes.push_back(type.empty() ? "an unnamed axis" : type);
      continue;
    }
    RangeRead range = rangeCounts(b, data, steps, datum, b.real64(head + 72), b.real64(head + 80), r);
    if (!range) return range.failure();
    range->wavelength = wavelength ? wavelength : storedWavelength(b.real64(head + 112), 0, 0);
    scans.push_back(std::move(*range));
  }
  if (scans.empty()) {
    if (!otherAxes.empty()) return fail(notTwoThetaMessage(otherAxes));
    return fail("it holds no range");
  }
  if (!otherAxes.empty()) scans.front().note = skippedScansNote(otherAxes);
  return scans;
}

}  // namespace

bool isBrukerRaw(std::string_view c) {
  // "RAW " opens a v1 file, whose binary header follows at once; a text may begin so too.
  if (startsWith(c, "RAW ")) return c.size() >= 156 && c.substr(0, 156).find('\0') != std::string_view::npos;
  return startsWith(c, "RAW2") || startsWith(c, "RAW1.01") || startsWith(c, "RAW4.00");
}

ScansRead readBrukerRaw(std::string_view contents) {
  const Bytes b(contents);
  ScansRead read = fail("it is not a Bruker RAW file (it does not begin with RAW, RAW2, RAW1.01 or RAW4.00)");
  if (startsWith(contents, "RAW4.00")) read = version4(b);
  else if (startsWith(contents, "RAW1.01")) read = version3(b);
  else if (startsWith(contents, "RAW2")) read = version2(b);
  else if (startsWith(contents, "RAW ")) read = version1(b);
  if (read)
    for (MeasuredPattern& scan : *read) scan.format = "bruker_raw";
  return read;
}

bool isStoeRaw(std::string_view c) { return startsWith(c, "RAW_"); }

ScansRead refuseStoeRaw(std::string_view) {
  return fail("it is a Stoe RAW file, which this program does not read; export it from WinXPOW as .xy columns");
}

}  // namespace obrin::pattern_io
