// Powder CIF (the pdCIF dictionary, as GSAS2CIF, GSAS-II, FullProf and COD write it): every
// loop of every data block that holds an intensity, its columns chosen by their tags:
//   intensity  _pd_meas_counts_total, _pd_meas_intensity_total, _pd_proc_intensity_total, their
//              s.u. in parentheses "5540(160)" or in a column of the tag with "_su";
//   2θ         _pd_meas_2theta_scan, _pd_meas_angle_2theta, _pd_proc_2theta_corrected (the
//              processed angle first for a processed intensity), else the block's range
//              _pd_meas_2theta_range_min/_max/_inc (or _pd_proc_2theta_range_*).
// The wavelength is _diffrn_radiation_wavelength (with _wt the Kα2/Kα1 ratio of a second one)
// or _pd_proc_wavelength. DDLm spellings (_pd_meas.counts_total) are read alike.
#include <gemmi/cif.hpp>

#include <algorithm>
#include <array>
#include <cmath>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

namespace cif = gemmi::cif;

constexpr std::array<std::string_view, 3> kMeasuredIntensities = {"_pd_meas_counts_total", "_pd_meas_intensity_total",
                                                                  "_pd_proc_intensity_total"};
constexpr std::array<std::string_view, 3> kMeasuredAngles = {"_pd_meas_2theta_scan", "_pd_meas_angle_2theta",
                                                             "_pd_proc_2theta_corrected"};
constexpr std::array<std::string_view, 3> kProcessedAngles = {"_pd_proc_2theta_corrected", "_pd_meas_2theta_scan",
                                                              "_pd_meas_angle_2theta"};
// Profiles along other axes, named when a file holds nothing else.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kOtherAxes = {
    {{"_pd_meas_time_of_flight", "time of flight"},
     {"_pd_proc_d_spacing", "d-spacing"},
     {"_pd_meas_position", "detector position"},
     {"_pd_proc_energy_incident", "energy"}}};

// "_pd_meas_counts_total" or its DDLm spelling "_pd_meas.counts_total".
std::string dotted(std::string_view tag) {
  std::string d(tag);
  d[std::string_view("_pd_meas").size()] = '.';
  return d;
}

int columnOf(const cif::Loop& loop, std::string_view tag) {
  const int c = loop.find_tag(std::string(tag));
  return c >= 0 ? c : loop.find_tag(dotted(tag));
}

const std::string* pairValue(const cif::Block& block, std::string_view tag) {
  if (const std::string* v = block.find_value(std::string(tag))) return v;
  return block.find_value(dotted(tag));
}

// A CIF number with its standard uncertainty in parentheses: "1.234(5)" is 1.234 ± 0.005.
struct CifNumber {
  double value = 0;
  std::optional<double> su;
};

std::optional<CifNumber> cifNumber(std::string_view text) {
  const auto open = text.find('(');
  CifNumber n;
  const std::optional<double> value = parseNumber(text.substr(0, open));
  if (!value) return std::nullopt;
  n.value = *value;
  if (open == std::string_view::npos) return n;
  if (text.back() != ')') return std::nullopt;
  const std::optional<double> digits = parseNumber(text.substr(open + 1, text.size() - open - 2));
  if (!digits || *digits < 0) return std::nullopt;
  // The s.u. counts in units of the value's last decimal place, exponent included.
  const std::string_view mantissa = text.substr(0, std::min(open, text.find_first_of("eE")));
  const auto point = mantissa.find('.');
  const int decimals = point == std::string_view::npos ? 0 : int(mantissa.size() - point - 1);
  double exponent = 0;
  if (const auto e = text.substr(0, open).find_first_of("eE"); e != std::string_view::npos)
    exponent = parseNumber(text.substr(e + 1, open - e - 1)).value_or(0);
  n.su = *digits * std::pow(10.0, exponent - decimals);
  return n;
}

std::optional<double> pairNumber(const cif::Block& block, std::string_view tag) {
  const std::string* v = pairValue(block, tag);
  if (!v) return std::nullopt;
  const auto n = cifNumber(*v);
  return n ? std::optional<double>(n->value) : std::nullopt;
}

// _diffrn_radiation_wavelength, one value or a loop whose second row (with its weight) is Kα2.
std::optional<PatternWavelength> wavelengthOf(cif::Block& block) {
  cif::Table t = block.find("_diffrn_radiation_", {"wavelength", "?wavelength_wt"});
  if (t.ok() && t.length() > 0) {
    auto value = [&](std::size_t row, int col) {
      const std::string& text = t[int(row)][std::size_t(col)];
      const auto n = cifNumber(text);
      return n ? n->value : 0.0;
    };
    const double alpha1 = value(0, 0);
    double alpha2 = 0, ratio = 0;
    if (t.length() > 1) {
      alpha2 = value(1, 0);
      if (t.has_column(1) && value(0, 1) > 0) ratio = value(1, 1) / value(0, 1);
    }
    if (auto w = storedWavelength(alpha1, alpha2, ratio)) return w;
  }
  if (const auto processed = pairNumber(block, "_pd_proc_wavelength")) return storedWavelength(*processed, 0, 0);
  return std::nullopt;
}

// The 2θ of n rows from the block's range: min + i·inc, ending at max.
Result<std::vector<double>> rangeAngles(const cif::Block& block, bool processed, std::size_t n, const std::string& at) {
  for (std::string_view prefix : processed ? std::array{"_pd_proc_2theta_range_", "_pd_meas_2theta_range_"}
                                           : std::array{"_pd_meas_2theta_range_", "_pd_proc_2theta_range_"}) {
    const std::string p(prefix);
    const auto min = pairNumber(block, p + "min"), max = pairNumber(block, p + "max"), inc = pairNumber(block, p + "inc");
    if (!min || !max || !inc) continue;
    if (*inc == 0) return fail(at + p + "inc is 0");
    const double expected = (*max - *min) / *inc + 1;
    if (std::abs(expected - double(n)) > 0.5)
      return fail(at + "it holds " + std::to_string(n) + " points where " + p + "min, _max and _inc give " +
                  std::to_string(std::llround(expected)));
    return steppedScan(*min, *inc, n).x;
  }
  return fail(at + "it gives no 2θ column (_pd_meas_2theta_scan, _pd_proc_2theta_corrected) and no 2θ range");
}

struct Profile {
  int intensity = -1, su = -1, angle = -1;
  bool processed = false;
};

Profile profileOf(const cif::Loop& loop) {
  Profile p;
  for (std::string_view tag : kMeasuredIntensities)
    if ((p.intensity = columnOf(loop, tag)) >= 0) {
      p.processed = tag.substr(0, 8) == "_pd_proc";
      p.su = columnOf(loop, std::string(tag) + "_su");
      break;
    }
  if (p.intensity < 0) return p;
  for (std::string_view tag : p.processed ? kProcessedAngles : kMeasuredAngles)
    if ((p.angle = columnOf(loop, tag)) >= 0) break;
  return p;
}

Result<MeasuredPattern> readProfile(cif::Block& block, const cif::Item& item, std::size_t points) {
  const cif::Loop& loop = item.loop;
  const Profile p = profileOf(loop);
  const std::string at = "block " + block.name + ", the loop at line " + std::to_string(item.line_number) + ": ";
  const std::size_t rows = loop.length();
  if (rows == 0) return fail(at + "it holds no points");
  if (rows > std::size_t(kMaxPatternPoints) - points)
    return fail("it holds more than " + std::to_string(kMaxPatternPoints) + " points");
  MeasuredPattern scan;
  scan.format = "pdcif";
  bool everySu = true;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::string& text = loop.val(r, std::size_t(p.intensity));
    const auto n = cifNumber(text);
    if (!n) return fail(at + "row " + std::to_string(r + 1) + ": the intensity \"" + text.substr(0, 40) + "\" is no number");
    scan.y.push_back(n->value);
    std::optional<double> su = n->su;
    if (p.su >= 0)
      if (const auto s = cifNumber(loop.val(r, std::size_t(p.su)))) su = s->value;
    everySu = everySu && su;
    scan.sigma.push_back(su.value_or(0));
    if (p.angle >= 0) {
      const std::string& angle = loop.val(r, std::size_t(p.angle));
      const auto a = cifNumber(angle);
      if (!a) return fail(at + "row " + std::to_string(r + 1) + ": the 2θ \"" + angle.substr(0, 40) + "\" is no number");
      scan.x.push_back(a->value);
    }
  }
  if (!everySu) scan.sigma.clear();
  if (p.angle < 0) {
    auto angles = rangeAngles(block, p.processed, rows, at);
    if (!angles) return angles.failure();
    scan.x = std::move(*angles);
  }
  scan.wavelength = wavelengthOf(block);
  return scan;
}

ScansRead profilesOf(cif::Document& doc) {
  Scans scans;
  std::vector<std::string> otherAxes;
  std::size_t points = 0;
  for (cif::Block& block : doc.blocks) {
    for (const cif::Item& item : block.items) {
      if (item.type != cif::ItemType::Loop) continue;
      const Profile profile = profileOf(item.loop);
      if (profile.intensity < 0) continue;
      if (profile.angle < 0) {
        const auto other = std::find_if(kOtherAxes.begin(), kOtherAxes.end(),
                                        [&](const auto& a) { return columnOf(item.loop, a.first) >= 0; });
        if (other != kOtherAxes.end()) {
          otherAxes.emplace_back(other->second);
          continue;
        }
      }
      if (scans.size() >= std::size_t(kMaxPatternScans)) return fail("it holds more profiles than are read");
      Result<MeasuredPattern> scan = readProfile(block, item, points);
      if (!scan) return scan.failure();
      points += scan->x.size();
      scans.push_back(std::move(*scan));
    }
  }
  if (!scans.empty()) return scans;
  if (!otherAxes.empty()) return fail(notTwoThetaMessage(otherAxes));
  return fail("it holds no powder profile (no loop of _pd_meas_counts_total, _pd_meas_intensity_total or "
              "_pd_proc_intensity_total)");
}

}  // namespace

bool isPdCif(std::string_view c) {
  const bool data = c.substr(0, 5) == "data_" || c.find("\ndata_") != std::string_view::npos;
  return data && c.find("_pd_") != std::string_view::npos;
}

ScansRead readPdCif(std::string_view contents) {
  // A CIF is text; gemmi would keep a NUL inside a value.
  if (const auto nul = contents.find('\0'); nul != std::string_view::npos)
    return fail(atLine(1 + std::count(contents.begin(), contents.begin() + std::ptrdiff_t(nul), '\n')) +
                "a NUL character, which no CIF holds");
  cif::Document doc;
  try {
    doc = cif::read_memory(contents.data(), contents.size(), "cif");
  } catch (const std::exception& e) {
    // gemmi's message begins with "cif:LINE:COLUMN" or "cif:LINE".
    std::string why = e.what();
    if (why.rfind("cif:", 0) == 0) why = "line " + why.substr(4);
    return fail("it is not a well-formed CIF: " + why);
  }
  try {
    return profilesOf(doc);
  } catch (const std::exception& e) {
    return fail(std::string("its CIF cannot be read: ") + e.what());
  }
}

}  // namespace obrin::pattern_io
