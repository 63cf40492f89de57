// GSAS standard powder data files (.gsa .gss .gsas .fxye, often .raw), as GSAS and GSAS-II write
// them: a title line, optional "Instrument parameter" and "#" comment lines, then banks, each
// opened by the line
//   BANK ibank nchan nrec bintyp bcoef1 bcoef2 [bcoef3 bcoef4] [type]
// Every bank of constant-wavelength data is read as a scan (bintyp CONST or CONS: bcoef1 is the
// first 2θ and bcoef2 the step, both in centidegrees); banks of time of flight are named, not
// read. A bank's nchan points follow, by type: STD ten (I2,F6.0) fields of counter number and
// intensity a line, ESD five (F8.0,F8.0) pairs of intensity and uncertainty, FXYE one
// free-format row of 2θ (centidegrees), intensity and uncertainty. The lines are 80-column records; a file written
// without line ends is cut into records of 80 characters.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

constexpr std::size_t kRecordLength = 80;
constexpr double kCentidegrees = 100.0;

// The records of a file, one line each, or 80-character slices of a file without line ends.
class Records {
 public:
  explicit Records(std::string_view text)
      : text_(text), fixed_(text.find('\n') == std::string_view::npos && text.size() > kRecordLength) {}

  std::optional<std::string_view> next() {
    if (pos_ >= text_.size()) return std::nullopt;
    std::size_t end = fixed_ ? std::min(pos_ + kRecordLength, text_.size()) : text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view record = text_.substr(pos_, end - pos_);
    pos_ = fixed_ ? end : end + 1;
    ++number_;
    if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
    return record;
  }
  long long number() const { return number_; }

 private:
  std::string_view text_;
  bool fixed_;
  std::size_t pos_ = 0;
  long long number_ = 0;
};

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < s.size();) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

// A Fortran F field: blank reads as zero.
std::optional<double> fortranField(std::string_view field) {
  field = trimmed(field);
  return field.empty() ? std::optional<double>(0.0) : parseNumber(field);
}

bool isBankLine(std::string_view record) {
  return record.substr(0, 4) == "BANK" && (record.size() == 4 || record[4] == ' ' || record[4] == '\t');
}

enum class DataType { Std, Esd, Fxye };

struct Bank {
  long long points = 0;
  double start = 0, step = 0;  // centidegrees
  DataType type = DataType::Std;
  std::string bintyp;          // CONST, or the time-of-flight kind of a bank that is not read
};

// The bank line, or why it cannot be read.
Result<Bank> readBankLine(std::string_view record, long long line) {
  const std::vector<std::string_view> w = words(record);
  const std::string at = "line " + std::to_string(line) + ": ";
  if (w.size() < 5) return fail(at + "the BANK line is incomplete");
  const std::string bintyp(w[4]);
  if (bintyp != "CONST" && bintyp != "CONS") {
    Bank other;
    other.bintyp = bintyp;
    return other;
  }
  if (w.size() < 7) return fail(at + "the BANK line gives no start and step");
  const std::optional<double> count = parseNumber(w[2]), start = parseNumber(w[5]), step = parseNumber(w[6]);
  if (!count || !start || !step) return fail(at + "the BANK line holds a value that is no number");
  if (*count < 1 || *count > kMaxPatternPoints || *count != std::floor(*count))
    return fail(at + "the number of points is not between 1 and " + std::to_string(kMaxPatternPoints));
  if (*step <= 0) return fail(at + "the step is not positive");
  if (!std::isfinite(*start + *step * (*count - 1))) return fail(at + "the scan ends beyond any angle");
  Bank bank{static_cast<long long>(*count), *start, *step, DataType::Std, bintyp};
  const std::string_view type = w.back();
  if (w.size() > 7 && !parseNumber(type)) {
    if (type == "ESD") bank.type = DataType::Esd;
    else if (type == "FXYE") bank.type = DataType::Fxye;
    else if (type != "STD") return fail(at + "its data type " + std::string(type) + " is not one this program reads");
  }
  return bank;
}

// The values of one record of fixed fields, width characters each, the value in the
// valueWidth characters that end a field; fields past the end of a shortened record are absent.
// A record that is not in columns is read as blank-separated values, as some programs write it.
std::optional<std::vector<double>> fieldValues(std::string_view record, std::size_t width, std::size_t valueWidth,
                                               std::size_t perRecord) {
  std::vector<double> values;
  bool columns = true;
  for (std::size_t k = 0; k < perRecord && k * width < record.size(); ++k) {
    const std::string_view field = record.substr(k * width, width);
    const std::string_view prefix = field.substr(0, width - valueWidth);
    const std::optional<double> v = fortranField(field.substr(std::min(field.size(), width - valueWidth)));
    if (!v || !fortranField(prefix)) {
      columns = false;
      break;
    }
    values.push_back(*v);
  }
  if (columns) return values;
  values.clear();
  for (std::string_view word : words(record)) {
    const std::optional<double> v = parseNumber(word);
    if (!v) return std::nullopt;
    values.push_back(*v);
  }
  if (values.size() > perRecord) return std::nullopt;
  return values;
}

// One FXYE row: 2θ in centidegrees, intensity and, mostly, its uncertainty.
bool addFxyeRow(std::string_view record, MeasuredPattern& p, bool& everySigma) {
  const std::vector<std::string_view> w = words(record);
  std::array<std::optional<double>, 3> v;
  for (std::size_t i = 0; i < std::min<std::size_t>(3, w.size()); ++i) v[i] = parseNumber(w[i]);
  if (w.size() < 2 || !v[0] || !v[1] || (w.size() > 2 && !v[2])) return false;
  p.x.push_back(*v[0] / kCentidegrees);
  p.y.push_back(*v[1]);
  p.sigma.push_back(v[2].value_or(0));
  everySigma = everySigma && v[2];
  return true;
}

// One STD or ESD record, up to the points the bank announces.
bool addFieldRecord(std::string_view record, const Bank& bank, std::size_t wanted, MeasuredPattern& p) {
  const bool esd = bank.type == DataType::Esd;
  const std::optional<std::vector<double>> values = esd ? fieldValues(record, 8, 8, 10) : fieldValues(record, 8, 6, 10);
  if (!values || (esd && values->size() % 2 != 0)) return false;
  for (std::size_t i = 0; i < values->size() && p.y.size() < wanted; i += esd ? 2 : 1) {
    p.x.push_back((bank.start + bank.step * double(p.y.size())) / kCentidegrees);
    p.y.push_back((*values)[i]);
    if (esd) p.sigma.push_back((*values)[i + 1]);
  }
  return true;
}

}  // namespace

bool isGsas(std::string_view contents) {
  Records records(contents);
  records.next();  // the title, which may say anything
  for (int i = 1; i < kGsasHeaderLinesScanned; ++i) {
    const std::optional<std::string_view> record = records.next();
    if (!record) return false;
    if (isBankLine(*record)) return true;
  }
  return false;
}

namespace {

// The points of a constant-wavelength bank, from the records after its BANK line up to the next.
Result<MeasuredPattern> readBankPoints(Records& records, const Bank& bank, std::size_t room,
                                       std::optional<std::string_view>& record, std::size_t bankNumber) {
  MeasuredPattern p;
  p.format = "gsas";
  const auto wanted = std::size_t(bank.points);
  if (wanted > room) return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
  // A point takes at least two characters: a short file cannot make us reserve for millions.
  const std::size_t reserve = std::min(wanted, room / 2);
  p.x.reserve(reserve);
  p.y.reserve(reserve);
  if (bank.type != DataType::Std) p.sigma.reserve(reserve);
  bool everySigma = true;
  while ((record = records.next()) && !isBankLine(*record)) {
    if (p.y.size() >= wanted) continue;  // what follows the bank's points, up to the next bank
    const std::string_view text = trimmed(*record);
    if (text.empty() || text.front() == '#') continue;
    const bool read = bank.type == DataType::Fxye ? addFxyeRow(*record, p, everySigma)
                                                  : addFieldRecord(*record, bank, wanted, p);
    if (!read) return fail("line " + std::to_string(records.number()) + " does not hold the numbers of its points");
  }
  if (p.y.size() < wanted)
    return fail("bank " + std::to_string(bankNumber) + " ends after " + std::to_string(p.y.size()) + " of its " +
                std::to_string(wanted) + " points");
  if (!everySigma) p.sigma.clear();
  return p;
}

}  // namespace

ScansRead readGsas(std::string_view contents) {
  Records records(contents);
  records.next();  // the title, which may say anything
  Scans scans;
  std::vector<std::string> otherBanks;
  std::size_t points = 0, banks = 0;
  std::optional<std::string_view> record = records.next();
  while (record) {
    if (!isBankLine(*record)) {
      record = records.next();
      continue;
    }
    if (++banks > std::size_t(kMaxPatternScans)) return fail("it holds more banks than are read");
    const Result<Bank> bank = readBankLine(*record, records.number());
    if (!bank.ok()) return bank.failure();
    if (bank->bintyp != "CONST" && bank->bintyp != "CONS") {
      otherBanks.push_back(bank->bintyp);
      while ((record = records.next()) && !isBankLine(*record)) {
      }
      continue;
    }
    Result<MeasuredPattern> scan = readBankPoints(records, *bank, std::size_t(kMaxPatternPoints) - points, record, banks);
    if (!scan) return scan.failure();
    points += scan->x.size();
    scans.push_back(std::move(*scan));
  }
  if (banks == 0) return fail("it holds no BANK line");
  if (scans.empty())
    return fail("its banks hold " + otherBanks.front() + " data; only constant-wavelength banks (CONST) are read");
  if (!otherBanks.empty())
    scans.front().note = std::to_string(otherBanks.size()) + " bank(s) of " + otherBanks.front() +
                         " data left out (not constant wavelength)";
  return scans;
}

}  // namespace obrin::pattern_io
