// The containers of pattern files: zip archives (.brml, .rasx) through libzip, and gzip and
// bzip2 compression through zlib and libbz2, all in memory and bounded by the pattern limits,
// so that a small hostile file cannot unpack into the whole memory.
#include <bzlib.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

constexpr std::size_t kChunk = 1 << 16;
const std::string kTooLarge =
    "it unpacks to more than " + std::to_string(kMaxPatternFileBytes / (1024 * 1024)) + " MB";

bool startsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

zip_t* archiveOf(void* archive) { return static_cast<zip_t*>(archive); }

// Uncompressed gzip members, one after the other as `cat a.gz b.gz` leaves them.
Result<std::string> gunzip(std::string_view in) {
  z_stream s{};
  if (inflateInit2(&s, 16 + MAX_WBITS) != Z_OK) return fail("zlib cannot start");
  std::string out;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  s.avail_in = static_cast<uInt>(in.size());
  int status = Z_OK;
  while (true) {
    const std::size_t had = out.size();
    out.resize(had + kChunk);
    s.next_out = reinterpret_cast<Bytef*>(out.data() + had);
    s.avail_out = static_cast<uInt>(kChunk);
    status = inflate(&s, Z_NO_FLUSH);
    out.resize(out.size() - s.avail_out);
    if (out.size() > std::size_t(kMaxPatternFileBytes)) break;
    if (status == Z_STREAM_END) {
      if (s.avail_in == 0 || !startsWith({reinterpret_cast<const char*>(s.next_in), s.avail_in}, "\x1f\x8b")) break;
      inflateReset(&s);
      continue;
    }
    if (status != Z_OK || (s.avail_in == 0 && s.avail_out != 0)) break;
  }
  inflateEnd(&s);
  if (out.size() > std::size_t(kMaxPatternFileBytes)) return fail(kTooLarge);
  if (status != Z_STREAM_END) return fail("its gzip data are damaged or cut short");
  return out;
}

Result<std::string> bunzip2(std::string_view in) {
  bz_stream s{};
  if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return fail("bzip2 cannot start");
  std::string out;
  s.next_in = const_cast<char*>(in.data());
  s.avail_in = static_cast<unsigned>(in.size());
  int status = BZ_OK;
  while (true) {
    const std::size_t had = out.size();
    out.resize(had + kChunk);
    s.next_out = out.data() + had;
    s.avail_out = static_cast<unsigned>(kChunk);
    status = BZ2_bzDecompress(&s);
    out.resize(out.size() - s.avail_out);
    if (out.size() > std::size_t(kMaxPatternFileBytes)) break;
    if (status == BZ_STREAM_END) {
      // pbzip2 and `cat` write several streams.
      if (s.avail_in == 0 || !startsWith({s.next_in, s.avail_in}, "BZh")) break;
      char* next = s.next_in;
      const unsigned left = s.avail_in;
      BZ2_bzDecompressEnd(&s);
      s = bz_stream{};
      if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return fail("bzip2 cannot start");
      s.next_in = next;
      s.avail_in = left;
      continue;
    }
    if (status != BZ_OK || (s.avail_in == 0 && s.avail_out != 0)) break;
  }
  BZ2_bzDecompressEnd(&s);
  if (out.size() > std::size_t(kMaxPatternFileBytes)) return fail(kTooLarge);
  if (status != BZ_STREAM_END) return fail("its bzip2 data are damaged or cut short");
  return out;
}

}  // namespace

Compression compressionOf(std::string_view contents) {
  if (startsWith(contents, "\x1f\x8b")) return Compression::Gzip;
  if (contents.size() >= 10 && startsWith(contents, "BZh") && contents[3] >= '1' && contents[3] <= '9' &&
      (startsWith(contents.substr(4), "\x31\x41\x59\x26\x53\x59") || startsWith(contents.substr(4), "\x17\x72\x45\x38\x50\x90")))
    return Compression::Bzip2;
  return Compression::None;
}

std::string_view unreadCompressionOf(std::string_view contents) {
  if (startsWith(contents, "\xfd" "7zXZ")) return "xz";
  if (startsWith(contents, "\x28\xb5\x2f\xfd")) return "zstd";
  if (startsWith(contents, "\x1f\x9d")) return "compress (.Z)";
  if (startsWith(contents, "7z\xbc\xaf\x27\x1c")) return "7-Zip";
  if (startsWith(contents, "Rar!")) return "RAR";
  return {};
}

Result<std::string> uncompress(std::string_view contents, Compression compression) {
  if (contents.size() > std::size_t(UINT_MAX)) return fail(kTooLarge);
  return compression == Compression::Gzip ? gunzip(contents) : bunzip2(contents);
}

bool isZip(std::string_view contents) { return startsWith(contents, "PK\x03\x04"); }

Result<ZipArchive> ZipArchive::open(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!archive) {
    if (source) zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    return fail("its zip archive cannot be opened (" + why + ")");
  }
  zip_error_fini(&error);
  ZipArchive result(archive);
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count > kMaxPatternArchiveEntries)
    return fail("its zip archive holds more than " + std::to_string(kMaxPatternArchiveEntries) + " entries");
  for (zip_int64_t i = 0; i < count; ++i)
    if (const char* name = zip_get_name(archive, zip_uint64_t(i), 0)) result.names_.emplace_back(name);
  return result;
}

ZipArchive::ZipArchive(void* archive) : archive_(archive) {}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : archive_(std::exchange(other.archive_, nullptr)), names_(std::move(other.names_)) {}

ZipArchive::~ZipArchive() {
  if (archive_) zip_discard(archiveOf(archive_));
}

bool ZipArchive::contains(std::string_view name) const {
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

Result<std::string> ZipArchive::read(std::string_view name) const {
  const std::string entry(name);
  zip_file_t* file = zip_fopen(archiveOf(archive_), entry.c_str(), 0);
  if (!file) return fail("its entry " + entry + " cannot be read (" + zip_strerror(archiveOf(archive_)) + ")");
  std::string out;
  zip_int64_t got = 0;
  do {
    const std::size_t had = out.size();
    out.resize(had + kChunk);
    got = zip_fread(file, out.data() + had, kChunk);
    out.resize(had + std::size_t(std::max<zip_int64_t>(got, 0)));
  } while (got > 0 && out.size() <= std::size_t(kMaxPatternFileBytes));
  zip_fclose(file);
  if (out.size() > std::size_t(kMaxPatternFileBytes)) return fail(kTooLarge);
  if (got < 0) return fail("its entry " + entry + " is damaged");
  return out;
}

}  // namespace obrin::pattern_io
