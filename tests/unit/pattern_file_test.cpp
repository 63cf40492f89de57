// Measured patterns as the readers see them, from small files written here, and the sticks
// and axes the pattern view draws from a line list.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "calc/pattern_sticks.hpp"
#include "io/pattern_file.hpp"
#include "tests/support/scratch.hpp"

namespace obrin {
namespace {

namespace fs = std::filesystem;

class PatternFiles : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing_support::freshScratchDir("pattern_files"); }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }
  fs::path dir_;
};

// The five points every sample file below holds; a binary file stores the step as a float.
void expectRamp(const PatternRead& read, double xTolerance = 1e-9) {
  ASSERT_TRUE(read.ok()) << read.error();
  const MeasuredPattern& p = *read;
  ASSERT_EQ(p.x.size(), 5u) << p.format;
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(p.x[i], 10.0 + 0.02 * i, xTolerance) << p.format;
    EXPECT_NEAR(p.y[i], 100.0 + 10 * i, 1e-9) << p.format;
  }
}

TEST_F(PatternFiles, PlainColumnVariants) {
  const char* variants[][2] = {
      {"blank.xy", "10 100\n10.02 110\n10.04\t120\n  10.06   130  \n10.08 140\n"},
      {"comma.csv", "2theta,counts\n10,100\n10.02,110\n10.04,120\n10.06,130\n10.08,140\n"},
      {"semicolon.txt", "10;100\n10.02; 110\n10.04 ;120\n10.06;130\n10.08;140\n"},
      {"comments.dat", "# scan 1\n! detector\n' operator\n\n10 100\n10.02 110\n# mid\n10.04 120\n10.06 130\n10.08 +1.4e2\n"},
      {"header.xy", "Angle Intensity\n10 100\r\n10.02 110\r\n10.04 120\r\n10.06 130\r\n10.08 140"},
  };
  for (const auto& [name, text] : variants) {
    SCOPED_TRACE(name);
    expectRamp(readPattern(write(name, text)));
  }
  const PatternRead withSigma = readPattern(write("s.xye", "10 100 10\n10.02 110 10.5\n10.04 120 11\n10.06 130 11.4\n10.08 140 11.8\n"));
  expectRamp(withSigma);
  ASSERT_EQ(withSigma->sigma.size(), 5u);
  EXPECT_DOUBLE_EQ(withSigma->sigma[1], 10.5);
  EXPECT_FALSE(withSigma->wavelength);
}

TEST_F(PatternFiles, BadColumnsNameTheFileAndLine) {
  const struct {
    const char* name;
    std::string text;
    const char* expected;
  } cases[] = {
      {"threeheaders.xy", "Angle Counts\ndeg cps\nmore words\n10 100\n", "line 3 "},
      {"junk.xy", "10 100\n10.02 110\n\x7f" "ELF\x01\x02\x03 \xff\xfe\n", "line 3 "},
      {"nul.xy", std::string("10 100\n10.0\0002 110\n", 19), "line 2 "},
      {"width.xye", "10 100 3\n10.02 110\n", "line 2 does not hold 3 numbers"},
      {"one.xy", "10\n10.02\n", "line 1 "},
      {"mixedcomma.txt", "x;y\n10,5;100\n10.5;100\n", "line 2: a decimal comma"},
      {"nothing.xy", "# only comments\n\n", "no data points"},
      {"nan.xy", "10 100\n10.02 nan\n", "line 2: the value nan is not a finite number"},
  };
  for (const auto& c : cases) {
    const PatternRead read = readPattern(write(c.name, c.text));
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_NE(read.error().find(c.name), std::string::npos) << read.error();
    EXPECT_NE(read.error().find(c.expected), std::string::npos) << read.error();
  }
}

const char* kXrdml = R"(<?xml version="1.0" encoding="UTF-8"?>
<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/1.5" status="Completed">
  <xrdMeasurement measurementType="Scan" status="Completed">
    <usedWavelength intended="K-Alpha 1">
      <kAlpha1 unit="Angstrom">1.5405980</kAlpha1>
      <kAlpha2 unit="Angstrom">1.5444260</kAlpha2>
      <kBeta unit="Angstrom">1.3922500</kBeta>
      <ratioKAlpha2KAlpha1>0.5000</ratioKAlpha2KAlpha1>
    </usedWavelength>
    <scan appendNumber="0" mode="Continuous" scanAxis="Gonio" status="Completed">
      <dataPoints>
        <positions axis="2Theta" unit="deg">
          <startPosition>10.00</startPosition>
          <endPosition>10.08</endPosition>
        </positions>
        <commonCountingTime unit="seconds">1.0</commonCountingTime>
        <intensities unit="counts">100 110 120 130 140</intensities>
      </dataPoints>
    </scan>
  </xrdMeasurement>
</xrdMeasurements>
)";

TEST_F(PatternFiles, InstrumentFormats) {
  const PatternRead xrdml = readPattern(write("scan.xrdml", kXrdml));
  expectRamp(xrdml);
  ASSERT_TRUE(xrdml->wavelength);
  EXPECT_DOUBLE_EQ(xrdml->wavelength->alpha1, 1.540598);
  EXPECT_DOUBLE_EQ(xrdml->wavelength->alpha2, 1.544426);
  EXPECT_DOUBLE_EQ(xrdml->wavelength->ratio, 0.5);

  const char* files[][2] = {
      {"steps.uxd", "; Bruker\n_FILEVERSION=1\n_WL1=1.5406\n_DRIVE=COUPLED\n_STEPSIZE=0.02\n_STEPTIME=1\n"
                    "_START=10.0\n_COUNTS\n  100  110  120\n  130  140\n"},
      {"pairs.uxd", "_DRIVE=COUPLED\n_2THETACOUNTS\n10 100\n10.02 110\n10.04 120\n10.06 130\n10.08 140\n"},
      {"scan.chi", "2-Theta Angle (Degrees)\nIntensity\nFit2D\n       5\n 1.0E+01 1.0E+02\n 1.002E+01 1.1E+02\n"
                   " 1.004E+01 1.2E+02\n 1.006E+01 1.3E+02\n 1.008E+01 1.4E+02\n"},
      {"scan.cif", "data_scan\n_pd_meas_2theta_range_min 10.0\n_pd_meas_2theta_range_max 10.08\n"
                   "_pd_meas_2theta_range_inc 0.02\nloop_\n_pd_meas_counts_total\n100\n110\n120\n130\n140\n"},
      {"rigaku.dat", "*TYPE\t\t=  Raw\n*GROUP_COUNT\t\t=  1\n*BEGIN\n*START\t\t=  10.0000\n*STOP\t\t=  10.0800\n"
                     "*STEP\t\t=  0.0200\n*COUNT\t\t=  5\n100, 110, 120, 130, 140\n*END\n*EOF\n"},
  };
  // Under a decimal-comma locale, as a window sets it, where one is installed.
  const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  for (const auto& [name, text] : files) {
    SCOPED_TRACE(std::string(name) + (comma ? " (decimal comma locale)" : ""));
    const PatternRead read = readPattern(write(name, text));
    expectRamp(read);
    EXPECT_NE(read->format, "columns");
  }
  EXPECT_DOUBLE_EQ(readPattern(dir_ / "steps.uxd")->wavelength->alpha1, 1.5406);
  std::setlocale(LC_NUMERIC, "C");
}

TEST_F(PatternFiles, BadInstrumentFilesAndNonRegularFiles) {
  const std::string xrdml = kXrdml;
  const std::string truncated = xrdml.substr(0, xrdml.find("</intensities>") + 5);
  const std::string junk("\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe\x10 10 20\n\x01", 20);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {{"cut.xrdml", truncated},
               {"cutwavelength.xrdml", xrdml.substr(0, xrdml.find("<ratioKAlpha2"))},
               {"junk.xrdml", junk},
               {"junk.raw", junk},
               {"empty.uxd", ""},
               // 26 bytes that once announced 10^21 points, and the reader reserved them.
               {"huge.chi", "\n\n\n1,0888888888888888888860"},
               {"more.chi", "title\nx\ny\n3\n1 2\n"}};
  for (const auto& c : cases) {
    const PatternRead read = readPattern(write(c.name, c.text));
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_NE(read.error().find(c.name), std::string::npos) << read.error();
  }
  EXPECT_NE(readPattern(write("cut2.xrdml", truncated)).error().find("line "), std::string::npos);

  ASSERT_EQ(::mkfifo((dir_ / "pipe.xy").c_str(), 0600), 0);
  for (const fs::path& p : {dir_ / "pipe.xy", fs::path("/dev/zero"), dir_}) {
    const PatternRead read = readPattern(p);
    ASSERT_FALSE(read.ok());
    EXPECT_NE(read.error().find(p.string()), std::string::npos);
    EXPECT_NE(read.error().find("not a regular file"), std::string::npos);
  }
  EXPECT_NE(readPattern(dir_ / "absent.xy").error().find("no such file"), std::string::npos);
}

// GSAS files: 2θ start 1000 and step 2 centidegrees; the STD and ESD records are 80 columns.
std::string record(const std::string& fields) { return fields + std::string(80 - fields.size(), ' ') + "\n"; }

TEST_F(PatternFiles, GsasLayouts) {
  const std::string header = "Scan of a test sample\nInstrument parameter      inst.prm\n# a comment\n";
  const std::string standard = header + record("BANK 1 5 1 CONST 1000 2 0 0 STD") +
                          record(" 1  100. 1  110.    120. 1 1.3E2 1  140.");
  const std::string esd = header + record("BANK 1 5 1 CONS 1000.0 2.0 0 0 ESD") +
                          record("    100.     10.    110.    10.5    120.     11.    130.    11.4    140.    11.8");
  const std::string fxye = "title\r\nBANK 1 5 5 CONST 1000 2 0 0 FXYE\r\n1000 100 10\r\n1002 110 10.5\r\n"
                           "1004.0 120 11\r\n1006 130 11.4\r\n1.008e3 140 11.8\r\n";
  // Blank-separated counts after a short BANK line, and a time-of-flight bank that is not read.
  const std::string loose = "title\nBANK 1 5 1 CONST 1000 2\n100 110 120 130 140\nBANK 2 1 1 RALF 5000 2\n7\n";
  std::string unbroken;  // records without line ends, as GSAS writes them on Unix
  for (const char* line : {"Scan", "BANK 1 5 1 CONST 1000 2 0 0 STD", "    100.    110.    120.    130.    140."})
    unbroken += record(line).substr(0, 80);
  const char* names[] = {"std.gsa", "esd.gss", "scan.raw", "loose.gsas", "unbroken.fxye"};
  const std::string* texts[] = {&standard, &esd, &fxye, &loose, &unbroken};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(names[i]);
    const PatternRead read = readPattern(write(names[i], *texts[i]));
    ASSERT_TRUE(read.ok()) << read.error();
    expectRamp(read);
    EXPECT_EQ(read->format, "gsas");
    EXPECT_EQ(read->sigma.size(), i == 1 || i == 2 ? 5u : 0u);
  }
  const PatternRead esdRead = readPattern(dir_ / "esd.gss");
  ASSERT_TRUE(esdRead.ok()) << esdRead.error();
  ASSERT_EQ(esdRead->sigma.size(), 5u);
  EXPECT_DOUBLE_EQ(esdRead->sigma[4], 11.8);
  const PatternRead raw = readPattern(dir_ / "scan.raw");
  ASSERT_TRUE(raw.ok()) << raw.error();
  ASSERT_GE(raw->sigma.size(), 2u);
  EXPECT_DOUBLE_EQ(raw->sigma[1], 10.5);
  // The same text under a plain-column extension is still GSAS.
  expectRamp(readPattern(write("std.dat", standard)));
}

TEST_F(PatternFiles, BadGsasFilesNameTheFileAndReason) {
  const struct {
    const char* name;
    std::string text;
    const char* expected;
  } cases[] = {
      {"tof.gsa", "t\nBANK 1 5 1 RALF 48008 64 64331 0.001 FXYE\n1 2 3\n", "RALF data"},
      {"map.gss", "t\nTIME_MAP 1 2 1 0.5\nBANK 1 5 1 TIME_MAP 1\n", "TIME_MAP data"},
      {"word.gsa", "t\nBANK 1 3 1 CONST 1000 2 0 0 STD\n  100.  1x0.  120.\n", "line 3 "},
      {"short.gsa", "t\nBANK 1 5 1 CONST 1000 2 0 0 STD\n  100.  110.  120.\nBANK 2 5 1 CONST 1000 2\n",
       "ends after 3 of its 5 points"},
      {"fxye.gsa", "t\nBANK 1 2 2 CONST 1000 2 0 0 FXYE\n1000 100 1\n1002\n", "line 4 "},
      {"nobank.gss", "t\n# nothing\n", "no BANK line"},
      {"zero.gsa", "t\nBANK 1 5 1 CONST 1000 0 0 0 STD\n", "step is not positive"},
      {"far.gsa", "t\nBANK 1 5 1 CONST 1e308 1e308 0 0 STD\n", "beyond any angle"},
      {"huge.gsa", "t\nBANK 1 9999999999 1 CONST 1000 2 0 0 STD\n", "number of points"},
      {"alt.gsa", "t\nBANK 1 2 1 CONST 1000 2 0 0 ALT\n", "ALT is not one"},
  };
  for (const auto& c : cases) {
    const PatternRead read = readPattern(write(c.name, c.text));
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_NE(read.error().find(c.name), std::string::npos) << read.error();
    EXPECT_NE(read.error().find(c.expected), std::string::npos) << read.error();
  }
}

// Bruker RAW files of the three versions xylib reads, built byte by byte from the layouts of
// the DIFFRAC-AT and DIFFRAC plus manuals (little-endian).
class RawBytes {
 public:
  template <class T>
  RawBytes& put(std::size_t at, T value) {
    if (bytes_.size() < at + sizeof(T)) bytes_.resize(at + sizeof(T), '\0');
    std::memcpy(bytes_.data() + at, &value, sizeof(T));
    return *this;
  }
  RawBytes& text(std::size_t at, std::string_view s) {
    if (bytes_.size() < at + s.size()) bytes_.resize(at + s.size(), '\0');
    std::memcpy(bytes_.data() + at, s.data(), s.size());
    return *this;
  }
  RawBytes& counts(std::size_t at) {
    for (int i = 0; i < 5; ++i) put(at + 4 * i, float(100 + 10 * i));
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

TEST_F(PatternFiles, BrukerRawVersions) {
  const RawBytes v1 = RawBytes().text(0, "RAW ").put(4, 5u).put(12, 0.02f).put(24, 10.0f).put(152, 0u).counts(156);
  const RawBytes v2 = RawBytes().text(0, "RAW2").put<std::uint16_t>(4, 1).put<std::uint16_t>(256, 52)
                          .put<std::uint16_t>(258, 5).put(268, 0.02f).put(272, 10.0f).counts(308);
  const RawBytes v3 = RawBytes().text(0, "RAW1.01").put(12, 1u).put(712, 304u).put(716, 5u).put(720, 5.0)
                          .put(728, 10.0).put(888, 0.02).put(968, 0u).counts(1016);
  const std::pair<const char*, const RawBytes*> files[] = {{"v1.raw", &v1}, {"v2.raw", &v2}, {"v3.raw", &v3}};
  for (const auto& [name, raw] : files) {
    SCOPED_TRACE(name);
    const PatternRead read = readPattern(write(name, raw->bytes()));
    ASSERT_TRUE(read.ok()) << read.error();
    expectRamp(read, 1e-6);
    EXPECT_EQ(read->format, "bruker_raw");
  }
  const std::string cut = v3.bytes().substr(0, v3.bytes().size() - 6);
  const PatternRead read = readPattern(write("cut.raw", cut));
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().find("cut.raw"), std::string::npos) << read.error();
}

// A DIFFRAC plus (v3) file of several ranges, each {start 2θ, step, counts}, with CuKα1, Kα2
// and their ratio in its header.
struct RawRange {
  double start, step;
  std::vector<float> counts;
};
std::string rawVersion3(const std::vector<RawRange>& ranges) {
  RawBytes b;
  b.text(0, "RAW1.01").put(12, std::uint32_t(ranges.size())).put(624, 1.5406).put(632, 1.54439).put(648, 0.5);
  std::size_t at = 712;
  for (const RawRange& r : ranges) {
    b.put(at, 304u).put(at + 4, std::uint32_t(r.counts.size())).put(at + 16, r.start).put(at + 176, r.step).put(at + 256, 0u);
    at += 304;
    for (float c : r.counts) b.put(at, c), at += 4;
  }
  return b.bytes();
}

// A DIFFRAC.SUITE (v4) file: the header, a segment of the tube lines, then ranges of the given
// scan types, each with one extra header (the 2Theta drive) and the five counts of the ramp as
// data of datum bytes.
std::string rawVersion4(const std::vector<std::string>& scanTypes, std::uint32_t datum = 4) {
  RawBytes b;
  b.text(0, "RAW4.00").put(61, 30u).put(65, 136u).put(61 + 80, 1.5406).put(61 + 88, 1.54439).put(61 + 104, 0.5);
  std::size_t at = 197;
  for (const std::string& type : scanTypes) {
    b.put(at, 0u).text(at + 32, type).put(at + 72, 10.0).put(at + 80, 0.02).put(at + 88, 5u).put(at + 136, datum);
    b.put(at + 140, 92u).put(at + 160, 50u).put(at + 164, 92u).text(at + 172, "2Theta");
    at += 160 + 92;
    for (std::uint32_t i = 0; i < 5; ++i) {
      b.put(at + datum * i, float(100 + 10 * i));
      if (datum > 4) b.put(at + datum * i + 4, 1u);  // what DIFFRAC.EVA writes beside each count
    }
    at += 5 * datum;
  }
  return b.bytes();
}

// XRDML 2 (Data Collector 6 and 7) writes <counts>, which are times the attenuation factors.
const char* kXrdml2 = R"(<?xml version="1.0" encoding="UTF-8"?>
<xrdMeasurements xmlns="http://www.xrdml.com/XRDMeasurement/2.1" status="Completed">
  <xrdMeasurement measurementType="Scan" status="Completed">
    <usedWavelength intended="K-Alpha 1">
      <kAlpha1 unit="Angstrom">1.5405980</kAlpha1>
      <kAlpha2 unit="Angstrom">1.5444260</kAlpha2>
      <ratioKAlpha2KAlpha1>0.5000</ratioKAlpha2KAlpha1>
    </usedWavelength>
    <scan appendNumber="0" mode="Continuous" scanAxis="2Theta-Omega" status="Completed">
      <dataPoints>
        <positions axis="2Theta" unit="deg"><startPosition>10.00</startPosition><endPosition>10.08</endPosition></positions>
        <positions axis="Omega" unit="deg"><startPosition>5.00</startPosition><endPosition>5.04</endPosition></positions>
        <beamAttenuationFactors>1.00 1.00 2.00 1.00 1.00</beamAttenuationFactors>
        <commonCountingTime unit="seconds">0.50</commonCountingTime>
        <counts unit="counts">100 110 60 130 140</counts>
      </dataPoints>
    </scan>
  </xrdMeasurement>
</xrdMeasurements>
)";

// An XRDML scan along an axis: 2θ moving from..to, or standing at 53.686 while φ moves.
std::string xrdmlScan(const std::string& axis, double from = 10, double to = 10.08) {
  const std::string twoTheta = axis == "Phi" ? "<commonPosition>53.686</commonPosition>"
                                             : "<startPosition>" + std::to_string(from) + "</startPosition><endPosition>" +
                                                   std::to_string(to) + "</endPosition>";
  return "<scan scanAxis=\"" + axis + "\"><dataPoints><positions axis=\"2Theta\" unit=\"deg\">" + twoTheta +
         "</positions><positions axis=\"Phi\" unit=\"deg\"><startPosition>-180</startPosition><endPosition>180"
         "</endPosition></positions><intensities unit=\"counts\">100 110 120 130 140</intensities></dataPoints></scan>";
}
std::string xrdmlOf(const std::string& scans) {
  return "<?xml version=\"1.0\"?><xrdMeasurements xmlns=\"http://www.xrdml.com/XRDMeasurement/1.5\"><xrdMeasurement>" +
         scans + "</xrdMeasurement></xrdMeasurements>";
}

// Each reader knows its own files: an extension that names no format, or a column format's,
// does not decide (the GSAS-II tutorial's PbSO4 data as .XRA and .CWN, a "start step end"
// .dat, a UXD named .txt), and the format read is reported.
TEST_F(PatternFiles, FormatFollowsTheContents) {
  const std::string gsas = record("10.0    0.02    10.08   CPD RRRR   PbSO4  Cu Ka X-ray data  22.9.89") +
                           record("BANK 1 5 1 CONST 1000 2 0 0 STD") + record("     100     110     120     130     140");
  const struct {
    const char* name;
    std::string text;
    const char* format;
  } files[] = {
      {"PBSO4.XRA", gsas, "gsas"},
      {"PBSO4.CWN", gsas, "gsas"},
      {"scan.dat", "10.000   0.020   10.080\n     100     110     120\n     130     140\n", "step_counts"},
      {"scan.tsv", "10\t100\r\n10.02\t110\r\n10.04\t120\r\n10.06\t130\r\n10.08\t140\r\n", "columns"},
      {"units.csv", "Angle,Counts\r\ndeg,cps\r\n10,100\r\n10.02,110\r\n10.04,120\r\n10.06,130\r\n10.08,140\r\n", "columns"},
      {"wide.xy", "10 100 99 1\n10.02 110 111 -1\n10.04 120 120 0\n10.06 130 128 2\n10.08 140 141 -1\n", "columns"},
      {"scan.txt", "; from a Bruker\n_DRIVE='COUPLED'\n_START=10\n_STEPSIZE=0.02\n_COUNTS\n100 110 120 130 140\n", "uxd"},
      {"scan", xrdmlOf(xrdmlScan("Gonio")), "xrdml"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const PatternRead read = readPattern(write(f.name, f.text));
    expectRamp(read, 1e-6);
    EXPECT_EQ(read->format, f.format);
    EXPECT_TRUE(read->sigma.empty());
  }
  EXPECT_EQ(patternFormatDescription("xrdml"), "PANalytical XRDML");
  // Beside x, y and more, the name row says which column is the uncertainty.
  const PatternRead named = readPattern(write("named.xy", "2theta yobs sigma ycalc\n10 100 10 99\n20 200 14 201\n"));
  ASSERT_TRUE(named.ok()) << named.error();
  EXPECT_EQ(named->sigma, (std::vector<double>{10, 14}));
  // A "start step end" line whose counts do not add up is no such file, nor plain columns.
  EXPECT_NE(readPattern(write("short.dat", "10 0.02 10.2\n100 110 120 130 140 150 160 170\n")).error().find("line 2"),
            std::string::npos);
}

TEST_F(PatternFiles, XrdmlTwoAndRawFourWithTheirWavelengths) {
  const PatternRead xrdml = readPattern(write("counts.xrdml", kXrdml2));
  expectRamp(xrdml);
  ASSERT_TRUE(xrdml->wavelength);
  EXPECT_DOUBLE_EQ(xrdml->wavelength->alpha1, 1.540598);
  EXPECT_DOUBLE_EQ(xrdml->wavelength->ratio, 0.5);

  for (std::uint32_t datum : {4u, 8u}) {
    SCOPED_TRACE(datum);
    const PatternRead raw = readPattern(write("v4.raw", rawVersion4({"Locked Coupled"}, datum)));
    expectRamp(raw, 1e-9);
    EXPECT_EQ(raw->format, "bruker_raw");
    ASSERT_TRUE(raw->wavelength);
    EXPECT_DOUBLE_EQ(raw->wavelength->alpha1, 1.5406);
    EXPECT_DOUBLE_EQ(raw->wavelength->alpha2, 1.54439);
    EXPECT_DOUBLE_EQ(raw->wavelength->ratio, 0.5);
  }
  std::string cut = rawVersion4({"Locked Coupled"});
  cut.resize(cut.size() - 3);
  EXPECT_NE(readPattern(write("cut4.raw", cut)).error().find("ends before its 5 points"), std::string::npos);
}

// The profile's columns by their tags: a loop of both 2θ columns before the counts, where the
// second 2θ column was once taken for the intensity; s.u. from the parentheses.
TEST_F(PatternFiles, PowderCifColumnsByTheirTags) {
  const std::string bothAngles =
      "data_profile\n_diffrn_radiation_wavelength 1.5406\nloop_\n_pd_proc_2theta_corrected\n_pd_meas_2theta_scan\n"
      "_pd_meas_counts_total\n_pd_calc_intensity_total\n"
      "10.01 10.00 100(10) .\n10.03 10.02 110(10) .\n10.05 10.04 120(11) .\n10.07 10.06 130(11) .\n"
      "10.09 10.08 140(12) .\n";
  const PatternRead read = readPattern(write("both.cif", bothAngles));
  expectRamp(read);
  EXPECT_EQ(read->format, "pdcif");
  EXPECT_EQ(read->sigma, (std::vector<double>{10, 10, 11, 11, 12}));
  EXPECT_DOUBLE_EQ(read->wavelength->alpha1, 1.5406);

  // A processed intensity on the processed angle; a range; Kα1 and Kα2 by weight.
  const std::string processed = "data_p\nloop_\n_pd_meas_2theta_scan\n_pd_proc_2theta_corrected\n_pd_proc_intensity_total\n"
                                "9.99 10.00 100\n10.01 10.02 110\n10.03 10.04 120\n10.05 10.06 130\n10.07 10.08 1.4e2\n";
  expectRamp(readPattern(write("processed.cif", processed)));
  const std::string ranged =
      "data_r\n_pd_meas_2theta_range_min 10.0\n_pd_meas_2theta_range_max 10.08\n_pd_meas_2theta_range_inc 0.02\n"
      "loop_\n_diffrn_radiation_wavelength\n_diffrn_radiation_wavelength_wt\n1.540598 1.0\n1.544390 0.5\n"
      "loop_\n_pd_meas_intensity_total\n_pd_proc_ls_weight\n100 1\n110 1\n120 1\n130 1\n140 1\n";
  const PatternRead r = readPattern(write("ranged.cif", ranged));
  expectRamp(r);
  ASSERT_TRUE(r->wavelength);
  EXPECT_DOUBLE_EQ(r->wavelength->alpha2, 1.54439);
  EXPECT_DOUBLE_EQ(r->wavelength->ratio, 0.5);

  const struct {
    const char* name;
    std::string text;
    const char* expected;
  } bad[] = {
      {"tof.cif", "data_t\nloop_\n_pd_meas_time_of_flight\n_pd_meas_intensity_total\n1000 5\n", "time of flight"},
      {"structure.cif", "data_s\n_pd_phase_name x\n_cell_length_a 4\n", "no powder profile"},
      {"count.cif", ranged.substr(0, ranged.find("130 1")), "holds 3 points where _pd_meas_2theta_range_min"},
      {"word.cif", "data_w\nloop_\n_pd_meas_2theta_scan\n_pd_meas_counts_total\n10 abc\n", "the intensity \"abc\""},
  };
  for (const auto& c : bad) {
    const PatternRead b = readPattern(write(c.name, c.text));
    ASSERT_FALSE(b.ok()) << c.name;
    EXPECT_NE(b.error().find(c.expected), std::string::npos) << b.error();
  }
}

// Ranges that follow each other are one pattern; ranges that overlap are a choice; scans of
// other axes are named; angles beyond 0–180 (a time-of-flight .xye) are refused.
TEST_F(PatternFiles, SeveralScansJoinedChosenOrRefused) {
  const std::vector<float> five = {100, 110, 120, 130, 140};
  const fs::path consecutive = write("three.raw", rawVersion3({{10, 0.02, five}, {10.1, 0.02, five}, {20, 0.5, five}}));
  const PatternRead joined = readPattern(consecutive);
  ASSERT_TRUE(joined.ok()) << joined.error();
  EXPECT_EQ(joined->x.size(), 15u);
  EXPECT_EQ(joined->scans, 3);
  EXPECT_EQ(joined->scan, 0);
  EXPECT_DOUBLE_EQ(joined->x[5], 10.1);
  EXPECT_DOUBLE_EQ(joined->x.back(), 22);
  ASSERT_TRUE(joined->wavelength);  // the v3 header's tube lines, as an .xrdml gives them
  EXPECT_DOUBLE_EQ(joined->wavelength->alpha2, 1.54439);
  EXPECT_DOUBLE_EQ(joined->wavelength->ratio, 0.5);

  const fs::path overlapping = write("two.raw", rawVersion3({{10, 0.02, five}, {10.04, 0.02, five}}));
  const PatternRead unchosen = readPattern(overlapping);
  ASSERT_FALSE(unchosen.ok());
  EXPECT_NE(unchosen.error().find("2 scans overlap"), std::string::npos) << unchosen.error();
  const PatternScansRead scans = readPatternScans(overlapping);
  ASSERT_TRUE(scans.ok());
  EXPECT_FALSE(scansFollowEachOther(*scans));
  EXPECT_EQ(scanSummary((*scans)[1]), "2θ 10.04 to 10.12°, 5 points");
  const PatternRead second = readPattern(overlapping, 2);
  ASSERT_TRUE(second.ok()) << second.error();
  EXPECT_DOUBLE_EQ(second->x.front(), 10.04);
  EXPECT_EQ(second->scan, 2);
  EXPECT_NE(readPattern(overlapping, 3).error().find("no scan 3"), std::string::npos);

  // A pole figure's φ scans are no 2θ scans; beside a 2θ scan they are left out with a note.
  const PatternRead pole = readPattern(write("pole.xrdml", xrdmlOf(xrdmlScan("Phi") + xrdmlScan("Phi"))));
  ASSERT_FALSE(pole.ok());
  EXPECT_NE(pole.error().find("along Phi, not 2θ"), std::string::npos) << pole.error();
  const PatternRead mixed = readPattern(write("mixed.xrdml", xrdmlOf(xrdmlScan("Phi") + xrdmlScan("2Theta"))));
  expectRamp(mixed);
  EXPECT_NE(mixed->note.find("1 scan along Phi left out"), std::string::npos) << mixed->note;
  const PatternRead rocking = readPattern(write("rock.raw", rawVersion4({"Rocking Curve", "Locked Coupled"})));
  expectRamp(rocking);
  EXPECT_NE(rocking->note.find("Rocking Curve"), std::string::npos);
  const PatternRead twoScans = readPattern(write("two.xrdml", xrdmlOf(xrdmlScan("2Theta") + xrdmlScan("2Theta", 9, 9.08))), 2);
  ASSERT_TRUE(twoScans.ok()) << twoScans.error();
  EXPECT_DOUBLE_EQ(twoScans->x.front(), 9);

  // Ranges of a UXD file and banks of a GSAS file follow each other too.
  const PatternRead uxd = readPattern(write("ranges.uxd", "_DRIVE='COUPLED'\n_START=10\n_STEPSIZE=0.02\n_COUNTS\n100 110\n"
                                                          "_DRIVE='COUPLED'\n_START=10.04\n_STEPSIZE=0.02\n_COUNTS\n120 130 140\n"
                                                          "_DRIVE='PHI'\n_START=0\n_STEPSIZE=1\n_COUNTS\n1 2\n"));
  expectRamp(uxd);
  EXPECT_EQ(uxd->scans, 2);
  EXPECT_NE(uxd->note.find("PHI"), std::string::npos);
  expectRamp(readPattern(write("banks.gsa", "t\nBANK 1 2 1 CONST 1000 2\n100 110\nBANK 2 3 1 CONST 1004 2\n120 130 140\n")));

  const PatternRead tof = readPattern(write("tof.xye", "# TOF\n1000.0 5 1\n51000.5 7 1\n102618.0 3 1\n"));
  ASSERT_FALSE(tof.ok());
  EXPECT_NE(tof.error().find("line 2: 2θ = 1000.0 lies outside 0 to 180°"), std::string::npos) << tof.error();
  const PatternRead negative = readPattern(write("neg.raw", rawVersion3({{-5, 0.02, five}})));
  EXPECT_NE(negative.error().find("point 1: 2θ = -5"), std::string::npos) << negative.error();
}

// A zip archive of the given entries, written with libzip.
void writeZip(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, text] : entries) {
    zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

// Rigaku's .ras (two ranges, as a radial scan of a layer gives them) and .rasx, Bruker's .brml,
// built as those programs write them; Stoe's RAW is named.
TEST_F(PatternFiles, RigakuRasRasxAndBrukerBrml) {
  auto rasScan = [](double start, std::string_view axis) {
    std::string s = "*RAS_HEADER_START\n*HW_XG_WAVE_LENGTH_ALPHA1 \"1.540593\"\n*HW_XG_WAVE_LENGTH_ALPHA2 \"1.544414\"\n"
                    "*MEAS_SCAN_AXIS_X_INTERNAL \"" + std::string(axis) + "\"\n*RAS_HEADER_END\n*RAS_INT_START\n";
    for (int i = 0; i < 5; ++i) s += std::to_string(start + 0.02 * i) + " " + std::to_string(50 + 5 * i) + " 2.0000\n";
    return s + "*RAS_INT_END\n";
  };
  const PatternRead ras = readPattern(write("scan.ras", "*RAS_DATA_START\n" + rasScan(10, "TwoThetaTheta") +
                                                           rasScan(50, "Omega") + "*RAS_DATA_END\n"));
  expectRamp(ras, 1e-6);
  EXPECT_EQ(ras->format, "ras");
  EXPECT_DOUBLE_EQ(ras->wavelength->alpha1, 1.540593);
  EXPECT_NE(ras->note.find("Omega"), std::string::npos);
  const PatternRead layer = readPattern(write("layer.ras", "*RAS_DATA_START\n" + rasScan(26, "TwoThetaOmega") +
                                                             rasScan(56, "TwoThetaOmega") + "*RAS_DATA_END\n"));
  ASSERT_TRUE(layer.ok()) << layer.error();
  EXPECT_EQ(layer->x.size(), 10u);

  std::string profile = "\xef\xbb\xbf";
  for (int i = 0; i < 5; ++i) profile += std::to_string(10 + 0.02 * i) + "\t" + std::to_string(100 + 10 * i) + "\t1\r\n";
  const std::string conditions = "<?xml version=\"1.0\"?><MeasurementConditions><HWConfigurations><XrayGenerator>"
                                 "<WavelengthKalpha1>1.540593</WavelengthKalpha1><WavelengthKalpha2>1.544414"
                                 "</WavelengthKalpha2></XrayGenerator></HWConfigurations><ScanInformation><AxisName>"
                                 "TwoTheta</AxisName></ScanInformation></MeasurementConditions>";
  writeZip(dir_ / "scan.rasx", {{"Data0/Profile0.txt", profile}, {"Data0/MesurementConditions0.xml", conditions},
                                {"root.xml", "<Root/>"}});
  const PatternRead rasx = readPattern(dir_ / "scan.rasx");
  expectRamp(rasx, 1e-6);
  EXPECT_EQ(rasx->format, "rasx");
  EXPECT_DOUBLE_EQ(rasx->wavelength->alpha2, 1.544414);

  std::string raw = "<?xml version=\"1.0\"?><RawData><DataRoutes><DataRoute RouteFlag=\"Measured\"><ScanInformation>"
                    "<ScanAxes><ScanAxisInfo AxisId=\"TwoTheta\"/><ScanAxisInfo AxisId=\"Theta\"/></ScanAxes>"
                    "</ScanInformation>";
  for (int i = 0; i < 5; ++i)
    raw += "<Datum>96,1," + std::to_string(10 + 0.02 * i) + "," + std::to_string(5 + 0.01 * i) + "," +
           std::to_string(100 + 10 * i) + "</Datum>";
  raw += "</DataRoute></DataRoutes><FixedInformation><Tube><WaveLengthAlpha1 Unit=\"A\" Value=\"0.55941\"/>"
         "<WaveLengthAlpha2 Unit=\"A\" Value=\"0.5638\"/><WaveLengthRatio Value=\"0.5\"/></Tube></FixedInformation></RawData>";
  writeZip(dir_ / "scan.brml", {{"experimentCollection.xml", "<ExperimentCollection/>"}, {"Experiment0/RawData0.xml", raw}});
  const PatternRead brml = readPattern(dir_ / "scan.brml");
  expectRamp(brml, 1e-6);
  EXPECT_EQ(brml->format, "brml");
  EXPECT_DOUBLE_EQ(brml->wavelength->alpha1, 0.55941);
  EXPECT_DOUBLE_EQ(brml->wavelength->ratio, 0.5);

  writeZip(dir_ / "other.brml", {{"word/document.xml", "<w/>"}});
  EXPECT_NE(readPattern(dir_ / "other.brml").error().find("no Experiment*/RawData*.xml"), std::string::npos);
  const PatternRead stoe = readPattern(write("stoe.raw", std::string("RAW_1.06Powdat\0\0\0\0", 18) + std::string(200, '\0')));
  ASSERT_FALSE(stoe.ok());
  EXPECT_NE(stoe.error().find("Stoe RAW file, which this program does not read"), std::string::npos) << stoe.error();
}

std::string gzipped(const std::string& text) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&s, uLong(text.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  s.avail_in = uInt(text.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string bzipped(const std::string& text) {
  std::string out(text.size() + text.size() / 100 + 600, '\0');
  auto length = unsigned(out.size());
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(text.data()), unsigned(text.size()), 9, 0, 0),
            BZ_OK);
  out.resize(length);
  return out;
}

// Decimal commas where every row is separated by semicolons or tabs; rows that read two ways,
// values that are no finite number, compressed files.
TEST_F(PatternFiles, DecimalCommasNonFiniteRowsAndCompressedFiles) {
  expectRamp(readPattern(write("comma.csv", "2θ;I\n10,00;100\n10,02;110\n10,04;120\n10,06;130\n10,08;140\n")));
  expectRamp(readPattern(write("comma.txt", "10\t100\n10,02\t110\n10,04\t120,0\n10,06\t130\n10,08\t140\n")));
  const struct {
    const char* name;
    std::string text;
    const char* expected;
  } bad[] = {
      {"blank.txt", "20,02 1234\n20,04 1240\n", "line 1: its commas may be decimal commas or separators"},
      {"mixed.csv", "10;100\n10,5 110\n", "line 2: its commas may be"},
      {"nan.xy", "nan 10\n10 100\n", "line 1: the value nan is not a finite number"},
      {"inf.xy", "10 100\n10.02 -inf\n", "line 2: the value -inf"},
      {"overflow.xy", "10 100\n10.02 1e400\n", "line 2: the value 1e400"},
      {"huge.xy", "10 1e308\n10.02 -1e308\n", "line 1: a value beyond ±1e15"},
      {"negative.xye", "10 100 -1\n", "line 1: the uncertainty -1 is negative"},
  };
  for (const auto& c : bad) {
    const PatternRead read = readPattern(write(c.name, c.text));
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_NE(read.error().find(c.expected), std::string::npos) << read.error();
  }

  const std::string columns = "10 100\n10.02 110\n10.04 120\n10.06 130\n10.08 140\n";
  expectRamp(readPattern(write("scan.xy.gz", gzipped(columns))));
  expectRamp(readPattern(write("scan.xy.bz2", bzipped(columns))));
  const PatternRead xrdml = readPattern(write("scan.xrdml.bz2", bzipped(kXrdml2)));
  expectRamp(xrdml);
  EXPECT_EQ(xrdml->format, "xrdml");
  expectRamp(readPattern(write("twice.xy.gz", gzipped(columns.substr(0, 14)) + gzipped(columns.substr(14)))));
  const std::string gz = gzipped(columns);
  EXPECT_NE(readPattern(write("cut.xy.gz", gz.substr(0, gz.size() / 2))).error().find("gzip data are damaged or cut"),
            std::string::npos);
  EXPECT_NE(readPattern(write("scan.xy.xz", std::string("\xfd" "7zXZ\0\0\x04", 8))).error().find("compressed with xz"),
            std::string::npos);
}

// An XML reader that recurses runs out of stack on a document nested tens of thousands deep
// (xylib's did); the nesting is checked before anything walks the document.
TEST_F(PatternFiles, DeeplyNestedXmlIsRefused) {
  std::string xml = kXrdml;
  std::string nest = "<comment>";
  for (int i = 0; i < 30000; ++i) nest += "<a>";
  for (int i = 0; i < 30000; ++i) nest += "</a>";
  xml.insert(xml.find("<xrdMeasurement "), nest + "</comment>\n");
  const PatternRead read = readPattern(write("nested.xrdml", xml));
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.error().find("nests deeper than 256 levels"), std::string::npos) << read.error();
  writeZip(dir_ / "nested.brml", {{"Experiment0/RawData0.xml", xml}});
  EXPECT_NE(readPattern(dir_ / "nested.brml").error().find("nests deeper"), std::string::npos);
}

// The measured patterns of other projects beside the checkout (../shared/real/patterns), each
// as the table below says it reads: points, first and last 2θ, Kα1 (0 when the file stores
// none) and scans; or the reason it is refused. A file the table does not know fails the test,
// so that every new file is looked at. Skipped without the folder.
struct RealPattern {
  const char* file;
  std::size_t points;
  double first, last, alpha1;
  int scans;
  const char* refusal;  // what the message says, for a file that is no pattern this program reads
};

constexpr RealPattern kRealPatterns[] = {
    {"DSMO/dsmo.csv", 5501, 10, 120, 0, 1, nullptr},
    {"LiCoO2/LiCoO2.RAW", 4001, 15.985, 135.985, 1.5406, 1, nullptr},
    {"LiCoO2/LiCoO2.UXD", 4001, 15.985, 135.985, 1.5406, 1, nullptr},
    {"LiCoO2/LiCoO2.dat", 4001, 16, 136, 0, 1, nullptr},
    {"PBSO4.CWN", 2919, 10, 155.9, 0, 1, nullptr},
    {"Y2O3/Y2O3.csv", 7351, 3, 150, 0, 1, nullptr},
    {"chameleon__standard.brml", 1757, 4, 39.9962, 0.55941, 1, nullptr},
    {"cod__1516218.cif", 3955, 3, 89.988, 1.540598, 1, nullptr},
    {"dioptas__CeO2_Pilatus1M.xy", 1512, 0.01019698551, 30.82548718, 0, 1, nullptr},
    {"gsas2__PBSO4.XRA", 6001, 10, 160, 0, 1, nullptr},
    {"gsastut__Er2Ge2O7_op2112_Ge113_2K.gss", 2459, 2.025, 124.925, 0, 1, nullptr},
    {"gsastut__Keokuk_kaolinite.RAW", 4001, 10, 90, 1.5406, 2, nullptr},  // overlapping: scan 1
    {"gsastut__LaB6_Jan2018.raw", 3040, 10, 70.0044472, 1.5406, 1, nullptr},
    {"gsastut__LaMnO3_50k.gsas", 3296, 3, 167.75, 0, 1, nullptr},
    {"gsastut__NIST660CBI.gsas", 8378, 15.0066, 124.9991231, 0, 1, nullptr},
    {"gsastut__x3lactos.xye", 4776, 3, 26.875, 0, 1, nullptr},
    {"nomad__TwoTheta_scan_powder.rasx", 2726, 10, 119, 1.540593, 1, nullptr},
    {"nomad__TwoTheta_scan_scrambled.raw", 7134, 10, 85.0412999, 1.5406, 1, nullptr},
    {"nomad__XRD-918-16_10.xrdml", 5027, 4.00656514, 69.99936587, 1.540598, 1, nullptr},
    {"nomad__m54313_om2th_10.xrdml", 1800, 26.025, 79.995, 1.540598, 1, nullptr},
    {"xerus__HoB21.ras", 3001, 10, 70, 1.540593, 1, nullptr},
    {"xrdauto__TiO2.xy", 9001, 10, 100, 0, 1, nullptr},
    {"xrdpattern__bruker.raw", 4059, 37.0001, 120.0046435, 1.5406, 1, nullptr},
    {"xru__inas_layer_radial_002_004.ras.bz2", 4002, 26.5, 66, 1.540593, 2, nullptr},
    {"xru__rsm_1.xrdml.bz2", 255, 67.67550446, 69.58109554, 1.540598, 401, nullptr},  // scan 1 of a map
    {"xru__simpack_xrd_AlGaAs.xrdml", 2999, 65.46, 66.6592, 1.540598, 1, nullptr},
    {"xylib__1517474.cif", 3296, 1.5, 166.25, 2.0785, 1, nullptr},
    {"xylib__BT86.raw", 2374, 3, 40.0002906, 1.5406, 1, nullptr},
    {"xylib__BT86_.UXD", 2374, 3, 40, 1.5406, 1, nullptr},
    {"xylib__empyrean.xrdml", 196, 30.05, 41.75, 1.540598, 1, nullptr},
    {"xylib__format1.raw", 178, 10, 45, 1.5406, 3, nullptr},
    {"xylib__small.tsv", 5, 10, 10.06, 0, 1, nullptr},
    // Refused, and why.
    {"DSMO/INST_XRY.PRM", 0, 0, 0, 0, 0, "line 2 does not hold numbers"},  // GSAS instrument parameters
    {"Y2O3/INST_XRY.PRM", 0, 0, 0, 0, 0, "line 2 does not hold numbers"},
    {"DSMO/dsmo.sum", 0, 0, 0, 0, 0, "line 5 does not hold 2 or 3 numbers"},  // FullProf output
    {"Y2O3/Y2O3.sum", 0, 0, 0, 0, 0, "line 5 does not hold 2 or 3 numbers"},
    {"Y2O3/Y2O3.pcr", 0, 0, 0, 0, 0, "line 4 does not hold 2 or 3 numbers"},
    {"DSMO/dsmo-raw.cif", 0, 0, 0, 0, 0, "not a well-formed CIF: line 149"},  // "data_ A single-crystal..."
    {"DSMO/dsmo.cif", 0, 0, 0, 0, 0, "no powder profile"},  // structures, not patterns
    {"LiCoO2/1533825.cif", 0, 0, 0, 0, 0, "no powder profile"},
    {"LiCoO2/1550397.cif", 0, 0, 0, 0, 0, "no powder profile"},
    {"LiCoO2/4505482.cif", 0, 0, 0, 0, 0, "no powder profile"},
    {"PbSO4-Wyckoff.cif", 0, 0, 0, 0, 0, "no powder profile"},
    {"Y2O3/Y2O3.cif", 0, 0, 0, 0, 0, "no powder profile"},
    {"dioptas__pattern_001.chi", 0, 0, 0, 0, 0, "line 4 announces 1455 points, more than the file holds"},  // cut
    {"xrdpattern__stoe.raw", 0, 0, 0, 0, 0, "Stoe RAW file, which this program does not read"},
    {"xru__polefig_Ge113.xrdml.bz2", 0, 0, 0, 0, 0, "its scans run along Phi, not 2θ"},
    {"xylib__test1.csv", 0, 0, 0, 0, 0, "line 3: 2θ = 610 lies outside 0 to 180°"},  // a spectrum in nm
    {"xylib__test3.csv", 0, 0, 0, 0, 0, "line 10: 2θ = -3. lies outside 0 to 180°"},  // xylib's CSV test
};

fs::path realPatternsFolder() {
  for (const fs::path& p : {fs::path(OBRIN_SOURCE_DIR) / ".." / "shared" / "real" / "patterns",
                            fs::path("/work/shared/real/patterns")})
    if (fs::is_directory(p)) return p;
  return {};
}

TEST(RealPatternFiles, EveryFileReadsAsTabled) {
  const fs::path folder = realPatternsFolder();
  if (folder.empty()) GTEST_SKIP() << "no ../shared/real/patterns beside the checkout";
  int read = 0, refused = 0;
  std::vector<std::string> reasons;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string file = entry.path().lexically_relative(folder).generic_string();
    SCOPED_TRACE(file);
    const auto row = std::find_if(std::begin(kRealPatterns), std::end(kRealPatterns),
                                  [&](const RealPattern& r) { return file == r.file; });
    ASSERT_NE(row, std::end(kRealPatterns)) << "a file the table does not know";
    const PatternScansRead scans = readPatternScans(entry.path());
    if (row->refusal) {
      ASSERT_FALSE(scans.ok());
      EXPECT_NE(scans.error().find(row->refusal), std::string::npos) << scans.error();
      ++refused;
      reasons.push_back(file + ": " + scans.error().substr(scans.error().find("\": ") + 3));
      continue;
    }
    ASSERT_TRUE(scans.ok()) << scans.error();
    ++read;
    EXPECT_EQ(int(scans->size()), row->scans);
    const PatternRead p = patternOfScans(*scans, scansFollowEachOther(*scans) ? 0 : 1, file);
    ASSERT_TRUE(p.ok()) << p.error();
    EXPECT_EQ(p->x.size(), row->points);
    EXPECT_NEAR(p->x.front(), row->first, 1e-6);
    EXPECT_NEAR(p->x.back(), row->last, 1e-6);
    EXPECT_NEAR(p->wavelength ? p->wavelength->alpha1 : 0.0, row->alpha1, 1e-9);
  }
  EXPECT_EQ(read + refused, int(std::size(kRealPatterns)));
  std::cout << "Real patterns: " << read << " read, " << refused << " refused\n";
  for (const std::string& r : reasons) std::cout << "  refused " << r << "\n";
}

// Silicon 111 (d = 5.4309 / √3 = 3.135532 Å) with CuKα1 and CuKα2, and a line that only
// Kα1 reaches (d = 0.7715 Å); values by hand from Bragg's law.
TEST(PatternSticks, PositionsCompanionsAndAxes) {
  const ReflectionList list = {{1, 1, 1, 3.135532, 14.2209, 8}, {8, 4, 1, 0.7715, 86.8, 48}};
  const auto sticks = sticksFromList(list, 1.54056, 0.1);
  ASSERT_EQ(sticks.size(), 2u);
  EXPECT_NEAR(sticks[0].twoTheta, 28.44188 + 0.1, 1e-4);
  EXPECT_EQ(sticks[0].height, 8);
  EXPECT_EQ(sticks[1].row, 1);
  ReflectionList withIntensities = list;
  withIntensities[1].intensity = 7.5;
  EXPECT_EQ(sticksFromList(withIntensities, 1.54056, 0)[0].height, 0);
  EXPECT_EQ(sticksFromList(withIntensities, 1.54056, 0)[1].height, 7.5);

  // λ₂ / 2d = 1.00090 for d = 0.7715 Å: no companion; 111 at 2θ₂ = 28.51409.
  const auto companions = alpha2Companions(sticks, 1.54439, 0.5, 0.1);
  ASSERT_EQ(companions.size(), 1u);
  EXPECT_NEAR(companions[0].twoTheta, 28.51409 + 0.1, 1e-4);
  EXPECT_DOUBLE_EQ(companions[0].height, 4);
  EXPECT_EQ(companions[0].row, -1);

  EXPECT_DOUBLE_EQ(*alpha2Of(1.5406), 1.54439);  // the field's CuKa1
  EXPECT_FALSE(alpha2Of(0.7107));                // MoKmean: no doublet of its own
  EXPECT_FALSE(alpha2Of(1.39222));               // CukBet
  EXPECT_FALSE(alpha2Of(1.0));

  const double lambda = 1.54056, twoTheta = 28.441882;
  EXPECT_NEAR(*axisValue(PatternAxis::D, twoTheta, lambda), 3.135532, 1e-5);
  EXPECT_NEAR(*axisValue(PatternAxis::Q, twoTheta, lambda), 2 * M_PI / 3.135532, 1e-5);
  EXPECT_DOUBLE_EQ(*axisValue(PatternAxis::Theta, twoTheta, lambda), twoTheta / 2);
  EXPECT_FALSE(axisValue(PatternAxis::D, 0, lambda));
  for (PatternAxis axis : {PatternAxis::TwoTheta, PatternAxis::Theta, PatternAxis::D, PatternAxis::Q})
    EXPECT_NEAR(*twoThetaOf(axis, *axisValue(axis, twoTheta, lambda), lambda), twoTheta, 1e-9);
  EXPECT_FALSE(twoThetaOf(PatternAxis::D, 0.5, lambda));  // beyond the reach of λ
}

// The simulated profile of the sticks: a peak as wide at half height as Caglioti's formula
// gives (U = 0.04, W = 0.01 at 2θ = 90°: √(0.04 + 0.01) = 0.2236°), with its stick's height as
// area, Kα2 companions included; a shape that gives a line no width is refused naming the line.
TEST(PatternSticks, SimulatedProfile) {
  Stick a, b, companion;
  a.twoTheta = 40;
  a.height = 10;
  b.twoTheta = 90;
  b.height = 30;
  companion.twoTheta = 42;
  companion.height = 5;
  const auto profile = stickProfile({a, b}, {companion}, {0.04, 0, 0.01});
  ASSERT_TRUE(profile) << profile.error();
  const auto& p = *profile;
  const double step = p[1].twoTheta - p[0].twoTheta;
  auto area = [&](double from, double to) {
    double sum = 0;
    for (const auto& point : p)
      if (point.twoTheta >= from && point.twoTheta <= to) sum += point.intensity * step;
    return sum;
  };
  EXPECT_NEAR(area(38, 41), 10, 0.1);
  EXPECT_NEAR(area(41, 44), 5, 0.1);
  EXPECT_NEAR(area(88, 92), 30, 0.3);

  // The width at half height around 90°, between the points that straddle it.
  std::size_t top = 0;
  for (std::size_t i = 0; i < p.size(); ++i)
    if (p[i].twoTheta > 80 && p[i].intensity > p[top].intensity) top = i;
  const double half = p[top].intensity / 2;
  auto crossing = [&](std::size_t i, int direction) {
    while (p[i].intensity > half) i += direction;
    const auto& inside = p[i - direction];
    return p[i].twoTheta + (half - p[i].intensity) / (inside.intensity - p[i].intensity) * (inside.twoTheta - p[i].twoTheta);
  };
  EXPECT_NEAR(crossing(top, 1) - crossing(top, -1), std::sqrt(0.05), 0.003);
  EXPECT_NEAR(p[top].twoTheta, 90, step);

  const auto none = stickProfile({a, b}, {}, {0, 0, -0.01});
  ASSERT_FALSE(none);
  EXPECT_NE(none.error().find("at 2θ = 40.000°"), std::string::npos) << none.error();
  EXPECT_FALSE(stickProfile({a}, {}, {0, 0, 200}));  // a FWHM of 14°
  EXPECT_TRUE(stickProfile({}, {}, {})->empty());
}

}  // namespace
}  // namespace obrin
