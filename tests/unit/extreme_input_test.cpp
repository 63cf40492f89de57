// Extreme and hostile input: every case ends in a list, an empty list or a message, quickly and
// in bounded memory; nothing wraps, hangs or crashes.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "calc/calculation.hpp"
#include "calc/display.hpp"
#include "core/lineread.hpp"
#include "io/cellfile.hpp"
#include "io/excel.hpp"
#include "io/report.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

const std::string kDir = OBRIN_TEST_DATA_DIR "/calc/";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr const char* kTooMany1 = "Too many reflections (1)! Decrease the Theta range...";

CalculationState cubic(double a, double lambda = 1.5406, double thetaMin = 5, double thetaMax = 40) {
  CalculationState st;
  st.system = CrystalSystem::Cubic;
  st.cell = st.cellCopy = {a, a, a, 90, 90, 90};
  st.lambda = lambda;
  st.thetaMin = thetaMin;
  st.thetaMax = thetaMax;
  return st;
}

CalcOutcome powder(CalculationState& st, const std::string& group = "P M -3 M", const std::string& file = "C.pos") {
  std::array<std::string, 6> miller{};
  return calcul(st, group, kDir + file, CalcMode::Powder, miller);
}

CalcOutcome single(CalculationState& st, std::array<std::string, 6> limits, const std::string& group = "P M -3 M") {
  return calcul_monocristaux(st, group, kDir + "C.pos", limits);
}

BraggOutcome bragg(CalculationState& st, int h, int k, int l) {
  return calcul_bragg(st, std::string("P M -3 M"), kDir + "C.pos", AngleMode::Theta, h, k, l);
}

long peakMemoryKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

long multiplicitySum(const ReflectionList& list) {
  long n = 0;
  for (const auto& r : list) n += r.multiplicity;
  return n;
}

// A scratch folder removed afterwards.
struct Scratch {
  fs::path dir;
  explicit Scratch(const std::string& name)
      : dir(fs::temp_directory_path() / ("obrin_extreme_" + name + "_" + std::to_string(::getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() { fs::remove_all(dir); }
};

}  // namespace

// ---- Cell ------------------------------------------------------------------------------------

TEST(ExtremeCell, LengthsFromAMillionthToAMillionAngstrom) {
  // A cell far below any wavelength has no line in the window.
  auto tiny = cubic(1e-6);
  ASSERT_TRUE(powder(tiny).ok());
  EXPECT_TRUE(tiny.list.empty());
  std::array<std::string, 6> all{"-5", "5", "-5", "5", "-5", "5"};
  ASSERT_TRUE(single(tiny, all).ok());
  EXPECT_TRUE(tiny.list.empty());

  // Huge cells have countless lines, and beyond 16-bit indices the list could not even hold
  // them: a message at once, never a wrapped index or hours of looping.
  for (UnitCell cell : {UnitCell{1e6, 1e6, 1e6, 90, 90, 90}, UnitCell{1e5, 1, 1, 90, 90, 90},
                        UnitCell{7e4, 7e4, 7e4, 90, 90, 90}, UnitCell{3e3, 3e3, 3e3, 90, 90, 90},
                        UnitCell{1e100, 1e100, 1e100, 90, 90, 90}}) {
    SCOPED_TRACE(cell.a);
    auto st = cubic(1);
    st.cell = cell;
    st.system = CrystalSystem::Triclinic;
    const auto out = powder(st, "P 1", "T.pos");
    EXPECT_EQ(out.warning.rfind("Too many reflections (", 0), 0u) << out.warning;
  }
  // Just inside 16 bits along one axis: the list is complete and its indices are exact.
  auto needle = cubic(1);
  needle.system = CrystalSystem::Triclinic;
  needle.cell = {2e4, 0.5, 0.5, 90, 90, 90};
  needle.thetaMin = 39.9;
  ASSERT_TRUE(powder(needle, "P 1", "T.pos").ok());
  ASSERT_FALSE(needle.list.empty());
  for (const auto& r : needle.list) {
    EXPECT_EQ(r.k, 0);
    EXPECT_EQ(r.l, 0);
    EXPECT_NEAR(r.d, 2e4 / std::abs(r.h), 1e-6 * r.d);
  }
}

TEST(ExtremeCell, AnglesThatFormNoCell) {
  for (double angle : {0.0, 180.0, 181.0, 360.0, -90.0, 1e300, kNaN, kInf}) {
    SCOPED_TRACE(angle);
    auto st = cubic(4);
    st.system = CrystalSystem::Monoclinic;
    st.cell.beta = angle;
    EXPECT_EQ(powder(st, "P 21/C", "M.pos").warning, "Error on cell parameters");
    EXPECT_EQ(single(st, {"0", "1", "0", "1", "0", "1"}, "P 21/C").warning, "Error on cell parameters");
  }
  // Three angles that each pass but together are flat.
  auto flat = cubic(4);
  flat.system = CrystalSystem::Triclinic;
  flat.cell = {4, 5, 6, 100, 120, 140};
  EXPECT_EQ(powder(flat, "P 1", "T.pos").warning, "Error on cell parameters");
  EXPECT_EQ(bragg(flat, 1, 0, 0).warning, "Error on cell parameters");
}

TEST(ExtremeCell, LengthsADoubleCannotTurnIntoACell) {
  for (double a : {-4.0, 1e-200, 1e200, kInf, kNaN}) {
    SCOPED_TRACE(a);
    auto st = cubic(a);
    EXPECT_EQ(powder(st).warning, "Error on cell parameters");
  }
}

// ---- Wavelength ------------------------------------------------------------------------------

TEST(ExtremeLambda, NegativeOrNotFiniteIsRefusedEverywhere) {
  for (double lambda : {-1.5406, -1e-9, kInf, -kInf, kNaN}) {
    SCOPED_TRACE(lambda);
    auto st = cubic(4, lambda);
    EXPECT_EQ(powder(st).warning, " Error on lambda");
    EXPECT_EQ(single(st, {"0", "3", "0", "3", "0", "3"}).warning, " Error on lambda");
    const auto b = bragg(st, 1, 1, 1);
    EXPECT_EQ(b.warning, " Error on lambda");
    EXPECT_FALSE(b.shown);
  }
  auto zero = cubic(4, 0);
  EXPECT_EQ(powder(zero).warning, "Error. No lambda!");
}

TEST(ExtremeLambda, HugeGivesAnEmptyListTinyGivesTooMany) {
  auto huge = cubic(4, 1e6);
  ASSERT_TRUE(powder(huge).ok());
  EXPECT_TRUE(huge.list.empty());
  EXPECT_EQ(bragg(huge, 1, 0, 0).warning, "Not possible reflection");

  for (double lambda : {1e-6, 1e-300, 5e-324}) {
    SCOPED_TRACE(lambda);
    auto tiny = cubic(4, lambda);
    EXPECT_EQ(powder(tiny).warning, kTooMany1);
    EXPECT_EQ(single(tiny, {"-32767", "32767", "-32767", "32767", "-32767", "32767"}).warning,
              "Too many reflections! Decrease the range...");
  }
}

// ---- Bragg-angle limits ----------------------------------------------------------------------

TEST(ExtremeTheta, LimitsThatHoldNoWindowAreRefused) {
  struct Case {
    double t1, t2;
    const char* warning;
  };
  for (const Case& c : {Case{-5, 20, " Error on theta1"}, Case{20, 5, " Error on theta2"},
                        Case{5, -20, " Error on theta2"}, Case{0, 0, " Error on theta2"},
                        Case{5, 95, "Error on theta2 (>90)"}, Case{95, 96, " Error on theta1"},
                        Case{kNaN, 20, " Error on theta1"}, Case{5, kNaN, " Error on theta2"},
                        Case{5, kInf, " Error on theta2"}}) {
    SCOPED_TRACE(std::to_string(c.t1) + " " + std::to_string(c.t2));
    auto st = cubic(4, 1.5406, c.t1, c.t2);
    EXPECT_EQ(powder(st).warning, c.warning);
  }
  // Equal limits are a window of one angle; 0 stands for 0.01 as always.
  auto equal = cubic(4, 1.5406, 20, 20);
  EXPECT_TRUE(powder(equal).ok());
  auto fromZero = cubic(4, 1.5406, 0, 90);
  ASSERT_TRUE(powder(fromZero).ok());
  EXPECT_EQ(fromZero.thetaMin, 0.01);
  EXPECT_FALSE(fromZero.list.empty());
}

TEST(ExtremeTheta, RefusalLeavesThePreviousList) {
  auto st = cubic(4);
  ASSERT_TRUE(powder(st).ok());
  const auto before = resultLines(st.list, AngleMode::Theta);
  st.thetaMin = 30;
  st.thetaMax = 10;
  EXPECT_FALSE(powder(st).ok());
  EXPECT_EQ(resultLines(st.list, AngleMode::Theta), before);
}

// ---- Miller-index limits ---------------------------------------------------------------------

TEST(ExtremeMiller, LimitsBeyondSixteenBitsAreRefusedWhereReflectionsReachThem) {
  // A cell so large that indices beyond 32767 still have d ≥ dmin.
  auto big = cubic(1e6);
  EXPECT_EQ(single(big, {"0", "0", "0", "0", "-40000", "40000"}).warning, "Miller indices error");
  EXPECT_EQ(single(big, {"32768", "32768", "0", "0", "0", "0"}).warning, "Miller indices error");
  // Texts beyond an int, or not whole numbers.
  for (const char* text : {"99999999999", "-2147483649", "1e3", "0x10", "3.0", " 1 ", ""}) {
    SCOPED_TRACE(text);
    auto st = cubic(4);
    std::array<std::string, 6> m{"0", "0", "0", "0", text, "0"};
    if (std::string(text).empty()) m[5] = "0";
    EXPECT_EQ(single(st, m).warning, "Miller indices error");
  }
  // The widest limits a 16-bit index holds, on a small cell: the reachable part only, at once.
  auto st = cubic(4);
  ASSERT_TRUE(single(st, {"-32767", "32767", "-32767", "32767", "-32767", "32767"}).ok());
  const auto wide = resultLines(st.list, AngleMode::Theta);
  ASSERT_TRUE(single(st, {"-10", "10", "-10", "10", "-10", "10"}).ok());
  EXPECT_EQ(resultLines(st.list, AngleMode::Theta), wide);
}

TEST(ExtremeMiller, LargeCellInsideNarrowLimitsFinishesAtOnce) {
  // Every index of the limits has d above 10000 Å: nothing to list, and no row-by-row crawl.
  auto st = cubic(1e8);
  ASSERT_TRUE(single(st, {"-1500", "1500", "-1500", "1500", "-1500", "1500"}).ok());
  EXPECT_TRUE(st.list.empty());
}

TEST(ExtremeMiller, BraggIndicesBeyondSixteenBitsAreBad) {
  // Sums such as −(h + k) of the reflection test overflowed for indices near 2^31.
  for (const char* text : {"32768", "-32768", "2000000000", "-2147483648"}) {
    SCOPED_TRACE(text);
    std::array<std::string, 3> hkl{text, text, "1"};
    const auto read = readBraggIndices(hkl);
    EXPECT_EQ(read.status, BraggIndices::Status::Bad);
    EXPECT_EQ(read.warning, "Bad Miller indices");
  }
  std::array<std::string, 3> edge{"32767", "-32767", "0"};
  EXPECT_EQ(readBraggIndices(edge).status, BraggIndices::Status::Ok);
  // A caller that skips the reading gets the same refusal, before anything is calculated.
  auto hex = cubic(4);
  hex.system = CrystalSystem::Hexagonal;
  hex.cell = {4, 4, 6, 90, 90, 120};
  const auto out = calcul_bragg(hex, std::string("P 63/M M C"), kDir + "H.pos", AngleMode::Theta, 2000000000,
                                2000000000, 1);
  EXPECT_EQ(out.warning, "Bad Miller indices");
  EXPECT_FALSE(out.shown);
  // Within 16 bits a huge cell still gives d for a high index.
  auto far = cubic(1e6);
  const auto f = bragg(far, 32000, 0, 0);
  ASSERT_TRUE(f.shown) << f.warning;
  EXPECT_NEAR(f.d, 1e6 / 32000, 1e-9);
}

// ---- Narrow windows and huge cells: the pruned loops list exactly what a full box does ------

TEST(ExtremeWindow, PrunedLoopsMissNothing) {
  // Oblique and nearly flat cells, narrow and wide windows, against a brute-force count.
  struct Case {
    UnitCell cell;
    double t1, t2;
  };
  for (const Case& c : {Case{{5.1, 6.3, 7.7, 70, 125, 100}, 5, 40}, Case{{5.1, 6.3, 7.7, 70, 125, 100}, 29.9, 30.1},
                        Case{{4, 4.5, 30, 90, 168, 90}, 10, 25}, Case{{3, 3.2, 3.4, 119, 118, 122}, 5, 89},
                        Case{{12, 3, 5, 91, 92, 150}, 19.99, 20.01}}) {
    auto st = cubic(1, 1.5406, c.t1, c.t2);
    st.system = CrystalSystem::Triclinic;
    st.cell = c.cell;
    const auto out = powder(st, "P 1", "T.pos");
    ASSERT_TRUE(out.ok()) << out.warning;
    const double dmin = st.lambda / (2 * std::sin(st.thetaMax * kRadPerDeg));
    const double dmax = st.lambda / (2 * std::sin(st.thetaMin * kRadPerDeg));
    long expected = 0;
    const int box = 60;
    for (int h = -box; h <= box; ++h)
      for (int k = -box; k <= box; ++k)
        for (int l = -box; l <= box; ++l) {
          const double d = dSpacing(st.B, h, k, l);
          if ((h || k || l) && d >= dmin && d <= dmax) ++expected;
        }
    EXPECT_EQ(multiplicitySum(st.list), expected) << c.cell.a << " " << c.t1;

    std::array<std::string, 6> limits{"-20", "20", "-20", "20", "-20", "20"};
    ASSERT_TRUE(calcul_monocristaux(st, std::string("P 1"), kDir + "T.pos", limits).ok());
    long inLimits = 0;
    for (int h = -20; h <= 20; ++h)
      for (int k = -20; k <= 20; ++k)
        for (int l = -20; l <= 20; ++l) {
          const double d = dSpacing(st.B, h, k, l);
          if ((h || k || l) && d >= 1.01 * st.lambda / 2 && d <= 10000) ++inLimits;
        }
    EXPECT_EQ(static_cast<long>(st.list.size()), inLimits);
  }
}

TEST(ExtremeWindow, RowRootsFarBeyondAnyIndexAreCutBeforeConversion) {
  // A needle-thin oblique cell: the roots of a row lie near 1e12, beyond an int. They once
  // wrapped into a loop start far outside the box, and the calculation ran for seconds.
  auto st = cubic(1, 7.4505805969238281e-09, 8192, 7.4505805969238281e-09);
  st.cell = {7.4505805969238281e-09, 7.4505805969238281e-09, 8192, 39.882352941176471, 30.000150792738971,
             40.310819738051492};
  std::array<std::string, 6> miller{"-7", "-7", "-7", "-7", "-28", "33"};
  const auto out = calcul(st, std::string("F M -3 M"), kDir + "C.pos", CalcMode::SingleCrystal, miller);
  ASSERT_TRUE(out.ok()) << out.warning;
  EXPECT_EQ(st.list.size(), 142u);
}

TEST(ExtremeWindow, AWindowThinnerThanAnIndexStepOnAHugeCellIsRefusedAtOnce) {
  // Equal limits on a cell of 30000 Å: hundreds of millions of rows would each hold no index
  // of the window. The rows are counted first.
  auto st = cubic(30000, 1.5406, 20, 20);
  EXPECT_EQ(powder(st).warning, kTooMany1);
  // A needle-thin triclinic cell seen at a tiny wavelength and angle, as it was found.
  auto needle = cubic(1, 8.8817841970012523e-16, 2.9103830456733704e-11, 2.9103830456733704e-11);
  needle.system = CrystalSystem::Triclinic;
  needle.cell = {12.234014354050156, 19.047058821578602, 3.4694469519536142e-18, 30.939403281492346,
                 59.647988656011449, 85.530179838061514};
  EXPECT_EQ(powder(needle, "P 1", "T.pos").warning, kTooMany1);
  // Single crystal: a wavelength that leaves only d between 9999 and 10000 Å.
  auto thin = cubic(3e8, 19800);
  EXPECT_EQ(single(thin, {"-32767", "32767", "-32767", "32767", "0", "0"}).warning,
            "Too many reflections! Decrease the range...");
}

TEST(ExtremeWindow, ADenseListMergesItsCoincidentLinesAtOnce) {
  // A hexagonal group on a needle cell at a tiny wavelength, as it was found: 178,066 lines within
  // 0.0008 Å, each within the coincidence distance of some 20,000 others. Comparing every such
  // pair took 40 s; the list is the same.
  auto st = cubic(1, 0.001953125, 8.827130199606259, 10.00000000004227);
  st.system = CrystalSystem::Hexagonal;
  st.cell = st.cellCopy = {0.000244140625, 16, 16, 16, 16, 16};
  ASSERT_TRUE(powder(st, "P 6/M", "H.pos").ok());
  EXPECT_EQ(st.list.size(), 178066u);
  long long multiplicities = 0;
  for (const Reflection& r : st.list) multiplicities += r.multiplicity;
  EXPECT_EQ(multiplicities, 2135528);
}

// ---- Report decimals -------------------------------------------------------------------------

TEST(ExtremeDecimals, AThousandIsRefusedAndNeverReachesTheText) {
  EXPECT_NE(readDecimals("1000").error().find("from 0 to 30"), std::string::npos);
  EXPECT_FALSE(readDecimals("99999999999999999999"));
  EXPECT_FALSE(readDecimals("-1"));
  EXPECT_EQ(readDecimals("30").value_or(-1), 30);
  // Even a caller that skips the check gets bounded columns.
  auto st = cubic(4);
  ASSERT_TRUE(powder(st).ok());
  ReportInputs in;
  in.decimals = 1000;
  const auto report = resultsReportText(st, in);
  ASSERT_TRUE(report);
  EXPECT_LT(report->size(), 200 * (st.list.size() + 40));
  EXPECT_LT(spreadsheetText(st, in)->size(), 200 * (st.list.size() + 40));
}

// ---- Position files --------------------------------------------------------------------------

TEST(ExtremePositionFile, AHundredMegabyteLineCostsNoMemory) {
  Scratch s("longline");
  const fs::path file = s.dir / "T.pos";
  {
    std::ofstream out(file, std::ios::binary);
    out << "Title\n\nP 1\n1\n1\nx,y,z\n0\n\n";
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << chunk;  // a 100 MB group name
    out << "\n1\n1\nx,y,z\n0\n";
  }
  const long before = peakMemoryKb();
  const auto list = loadSpaceGroupList(file);
  EXPECT_EQ(list.names, std::vector<std::string>{"P 1"});
  EXPECT_EQ(list.error, "T.pos, line 9: the line is longer than 1024 characters");
  // The entry before the long line reads; the search for another one passes the long line by.
  EXPECT_TRUE(readSpaceGroupEntry(file, "P 1"));
  EXPECT_EQ(readSpaceGroupEntry(file, "P 2").error(), "T.pos, group \"P 2\": the group is not in the position file");
  EXPECT_LT(peakMemoryKb() - before, 20 * 1024);  // kB: far below the line's 100 MB
}

TEST(ExtremePositionFile, ALongLineInsideAnEntryIsNamed) {
  std::istringstream in("\nP 1\n1\n1\nx,y,z" + std::string(5000, ' ') + "\n0\n");
  EXPECT_EQ(parseSpaceGroupEntry(in, "T.pos", "P 1").error(),
            "T.pos, group \"P 1\", line 5: the line is longer than 1024 characters");
  std::istringstream count("\nP 1\n1\n" + std::string(2000, '1') + "\n");
  EXPECT_EQ(parseSpaceGroupEntry(count, "T.pos", "P 1").error(),
            "T.pos, group \"P 1\", line 4: the line is longer than 1024 characters");
}

TEST(ExtremePositionFile, AMillionEntriesLoadInLinearTime) {
  Scratch s("million");
  const fs::path file = s.dir / "T.pos";
  auto write = [&](int entries) {
    std::ofstream out(file, std::ios::binary);
    std::string text;
    text.reserve(1 << 22);
    for (int i = 0; i < entries; ++i) {
      text += "\nG";
      text += std::to_string(i);
      text += "\n1\n1\nx,y,z\n0\n";
      if (text.size() > (1 << 21)) {
        out << text;
        text.clear();
      }
    }
    out << text;
  };
  write(kMaxGroupsInList);
  const auto list = loadSpaceGroupList(file);
  EXPECT_EQ(list.error, "");
  ASSERT_EQ(list.names.size(), static_cast<std::size_t>(kMaxGroupsInList));
  EXPECT_EQ(list.names.back(), "G999999");
  const auto last = readSpaceGroupEntry(file, "G999999");
  ASSERT_TRUE(last) << last.error();

  write(kMaxGroupsInList + 1);
  const auto over = loadSpaceGroupList(file);
  EXPECT_EQ(over.names.size(), static_cast<std::size_t>(kMaxGroupsInList));
  EXPECT_EQ(over.error, "T.pos, line 6000002: more than 1000000 groups; the rest is not listed");
}

TEST(ExtremePositionFile, CappedLinesKeepTheirEndsAndNumbers) {
  std::istringstream in(std::string(10, 'a') + "\r\n\n" + std::string(3, 'b'));
  std::string line;
  bool overlong = false;
  ASSERT_TRUE(readLineCapped(in, line, 4, &overlong));
  EXPECT_EQ(line, "aaaa");
  EXPECT_TRUE(overlong);
  ASSERT_TRUE(readLineCapped(in, line, 4, &overlong));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(overlong);
  ASSERT_TRUE(readLineCapped(in, line, 4, &overlong));  // the last line has no "\n"
  EXPECT_EQ(line, "bbb");
  EXPECT_FALSE(readLineCapped(in, line, 4, &overlong));
  // Exactly at the cap is not too long.
  std::istringstream exact("abcd\nabcd");
  ASSERT_TRUE(readLineCapped(exact, line, 4, &overlong));
  EXPECT_FALSE(overlong);
  ASSERT_TRUE(readLineCapped(exact, line, 4, &overlong));
  EXPECT_FALSE(overlong);
  EXPECT_EQ(line, "abcd");
}

// ---- Cell files ------------------------------------------------------------------------------

TEST(ExtremeCellFile, MissingLinesJunkAndHugeLinesAreRefusedByLine) {
  Scratch s("cellfile");
  auto import = [&](const std::string& bytes) {
    std::ofstream(s.dir / "x.ind", std::ios::binary) << bytes;
    return readCellFile(s.dir / "x.ind");
  };
  EXPECT_EQ(import("").error(), "Cannot import x.ind (line 1): the line is missing; it should hold the title");
  EXPECT_EQ(import("t\nP 1\n1 2 3 90 90 90\n").error(),
            "Cannot import x.ind (line 4): the line is missing; it should hold theta minimum and maximum");
  EXPECT_EQ(import("t\nP 1\n1 2 3 90 90\n5 20\n1.54\n").error(),
            "Cannot import x.ind (line 3): 6 numbers expected (a, b, c, alpha, beta, gamma), 5 found");
  EXPECT_EQ(import("t\nP 1\n1 2 3 90 90 nan\n5 20\n1.54\n").error(),
            "Cannot import x.ind (line 3): \"nan\" is not a number");
  EXPECT_EQ(import("t\nP 1\n1 2 3 90 90 90\n5 1e999\n1.54\n").error(),
            "Cannot import x.ind (line 4): \"1e999\" is not a number");
  EXPECT_EQ(import(std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + std::string(3000, '\0') + "\n").error(),
            "Cannot import x.ind (line 1): the line is longer than 1024 characters");
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
  EXPECT_FALSE(import(junk));
  // A title of exactly the limit still reads.
  const auto full = import(std::string(1024, 't') + "\nP 1\n1 2 3 90 90 90\n5 20\n1.54\n");
  ASSERT_TRUE(full) << full.error();
  EXPECT_EQ(full->title.size(), 1024u);
}

// A FIFO would wait for a writer for ever and /dev/zero never ends: neither is read at all.
TEST(ExtremeFiles, FifosAndDevicesAreRefusedByName) {
  Scratch s("special");
  ASSERT_EQ(::mkfifo((s.dir / "M.pos").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", s.dir / "zero.ind");
  fs::create_symlink("/dev/zero", s.dir / "T.pos");
  const std::string fifo = (s.dir / "M.pos").string(), zero = (s.dir / "T.pos").string();

  EXPECT_EQ(loadSpaceGroupList(s.dir / "M.pos").error, "M.pos: not a regular file (" + fifo + ")");
  EXPECT_EQ(readSpaceGroupEntry(s.dir / "T.pos", "P 1").error(), "T.pos: not a regular file (" + zero + ")");
  EXPECT_EQ(readCellFile(s.dir / "zero.ind").error(), "Cannot import zero.ind: not a regular file");
  EXPECT_NE(readCellFile(s.dir).error().find(": not a regular file"), std::string::npos);
}

TEST(ExtremeCellFile, ExtremeValuesReadButTheCalculationRefusesThem) {
  const auto read = parseCellFile("t\nP 1\n1e300 1e-300 -4 0 180 -90\n-5 95\n-1.5\n", "x.ind");
  ASSERT_TRUE(read) << read.error();
  EXPECT_FALSE(computeMetric(read->cell));
  // What the export writes for them reads back to the same values.
  const auto again = parseCellFile(cellFileText(*read), "x.ind");
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(again->cell.a, 1e300);
  EXPECT_EQ(again->thetaMin, -5);
}

// ---- Writers ---------------------------------------------------------------------------------

TEST(ExtremeWriters, AFailedWriteNamesTheFileAndLeavesNoTrace) {
  // A target that is a folder cannot be replaced: each writer says so and leaves the folder
  // as it was, without a temporary file beside it.
  Scratch s("writers");
  for (const char* name : {"indic.out", "excel.txt", "cell.ind"}) fs::create_directories(s.dir / name / "kept");
  auto st = cubic(4);
  ASSERT_TRUE(powder(st).ok());
  ReportInputs in;
  EXPECT_EQ(WriteResultsReport(st, in, s.dir).error().rfind("Cannot write indic.out: ", 0), 0u);
  EXPECT_EQ(writeSpreadsheet(st, in, s.dir).error().rfind("Cannot write excel.txt: ", 0), 0u);
  CellFileData d;
  d.cell = st.cell;
  EXPECT_EQ(writeCellFile(s.dir / "cell.ind", d).error().rfind("Cannot write cell.ind: ", 0), 0u);
  int entries = 0;
  for (const auto& e : fs::directory_iterator(s.dir)) {
    ++entries;
    EXPECT_TRUE(fs::exists(e.path() / "kept")) << e.path();
  }
  EXPECT_EQ(entries, 3);
}
