// Measured patterns as the readers see them, from small files written here, and the sticks
// and axes the pattern view draws from a line list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

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
      {"twoheaders.xy", "Angle Counts\nmore words\n10 100\n", "line 2 "},
      {"junk.xy", "10 100\n10.02 110\n\x7f" "ELF\x01\x02\x03 \xff\xfe\n", "line 3 "},
      {"nul.xy", std::string("10 100\n10.0\0002 110\n", 19), "line 2 "},
      {"width.xye", "10 100 3\n10.02 110\n", "line 2 does not hold 3 numbers"},
      {"four.xy", "10 100 1 2\n", "line 1 "},
      {"decimalcomma.txt", "x;y\n10,5;100\n", "line 2 "},
      {"nothing.xy", "# only comments\n\n", "no data points"},
      {"nan.xy", "10 100\n10.02 nan\n", "line 2 "},
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
      {"pairs.uxd", "_DRIVE=COUPLED\n_2THETACOUNTS\n10 100\n10.02 110\n10.04 120\n10.06 130\n10.08 140\n"
                    "_DRIVE=COUPLED\n_2THETACOUNTS\n50 1\n"},
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
  // Blank-separated counts after a short BANK line, and a second bank that is not read.
  const std::string loose = "title\nBANK 1 5 1 CONST 1000 2\n100 110 120 130 140\nBANK 2 1 1 CONST 5000 2\n7\n";
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
