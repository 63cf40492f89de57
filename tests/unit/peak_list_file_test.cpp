// Peak lists as text: the program's own table read back as it was written, and lists from
// other programs or typed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "analysis/peak_search.hpp"
#include "io/peak_list_file.hpp"
#include "tests/support/scratch.hpp"
#include "tests/support/synthetic_pattern.hpp"

using namespace obrin;
using namespace obrin::testing_support;
namespace fs = std::filesystem;

namespace {

void expectSame(const Peak& a, const Peak& b) {
  EXPECT_EQ(a.twoTheta, b.twoTheta);
  EXPECT_EQ(a.twoThetaSu, b.twoThetaSu);
  EXPECT_EQ(a.d, b.d);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.heightSu, b.heightSu);
  EXPECT_EQ(a.area, b.area);
  EXPECT_EQ(a.areaSu, b.areaSu);
  EXPECT_EQ(a.fwhm, b.fwhm);
  EXPECT_EQ(a.fwhmSu, b.fwhmSu);
  EXPECT_EQ(a.eta, b.eta);
  EXPECT_EQ(a.etaSu, b.etaSu);
  EXPECT_EQ(a.asymmetry, b.asymmetry);
  EXPECT_EQ(a.significance, b.significance);
}

PeakList read(const std::string& text, PeakListReading how = {}) {
  const auto list = readPeakListText(text, "list.txt", how);
  EXPECT_TRUE(list.ok()) << list.error();
  return list.value_or(PeakList{});
}

std::string refusal(const std::string& text, PeakListReading how = {}) {
  const auto list = readPeakListText(text, "list.txt", how);
  EXPECT_FALSE(list.ok()) << text;
  return list.error();
}

}  // namespace

// Found peaks written and read back: every number, the wavelengths, background and notes.
TEST(PeakListFile, TheTableReadsBackAsItWasWritten) {
  SyntheticScan scan;
  scan.lambdaRatio = 1.54439 / 1.54056;
  scan.lines = {{30, 4000, 0.1, 0.5}, {31, 300, 0.1, 0.5}, {75, 2500, 0.14, 0.7}};
  PeakSearchOptions o;
  o.wavelengths = *peakWavelengths(1.54056, std::nullopt, std::nullopt);
  PeakList found = findPeaks(syntheticPattern(scan, 3), o);
  ASSERT_EQ(found.peaks.size(), 3u);
  found.notes = {"A spike at 2θ = 44.000°, narrower than the step, was left out", "two\nlines"};
  const std::string text = peakListText(found);
  EXPECT_NE(text.find("fwhm, fwhm_su in degrees 2theta"), std::string::npos);
  EXPECT_NE(text.find("\n2theta\t2theta_su\td\theight\theight_su\tarea\tarea_su\tfwhm\tfwhm_su\teta\teta_su\tasymmetry\tsignificance\n"),
            std::string::npos);
  const PeakList back = read(text);
  ASSERT_EQ(back.peaks.size(), found.peaks.size());
  for (std::size_t i = 0; i < back.peaks.size(); ++i) expectSame(back.peaks[i], found.peaks[i]);
  EXPECT_EQ(back.wavelength, 1.54056);
  EXPECT_EQ(back.alpha2, 1.54439);
  EXPECT_EQ(back.alpha2Ratio, 0.5);
  EXPECT_EQ(back.background, "SNIP");
  ASSERT_EQ(back.notes.size(), 2u);
  EXPECT_EQ(back.notes[0], found.notes[0]);
  EXPECT_EQ(back.notes[1], "two lines");

  // Written whole to a file and read from it.
  const fs::path dir = freshScratchDir("peak_list");
  ASSERT_TRUE(writePeakList(dir / "peaks.txt", found).ok());
  const auto fromFile = readPeakList(dir / "peaks.txt");
  ASSERT_TRUE(fromFile.ok()) << fromFile.error();
  EXPECT_EQ(fromFile->peaks.size(), 3u);
  fs::remove_all(dir);
}

// A list of d typed by hand, without a wavelength: written with its d first, and read back so.
TEST(PeakListFile, DListsWithoutWavelengthKeepTheirD) {
  const PeakList list = read("d intensity\n1.92 55\n3.1355 100\n1.6375 30\n");
  ASSERT_EQ(list.peaks.size(), 3u);
  EXPECT_EQ(list.peaks[0].d, 3.1355);  // decreasing d, the order of increasing 2θ
  EXPECT_EQ(list.peaks[2].d, 1.6375);
  EXPECT_EQ(list.peaks[0].twoTheta, 0);
  EXPECT_EQ(list.peaks[0].height, 100);
  EXPECT_FALSE(list.wavelength);
  const std::string text = peakListText(list);
  EXPECT_NE(text.find("\nd\t2theta_su\t2theta\t"), std::string::npos);
  const PeakList back = read(text);
  ASSERT_EQ(back.peaks.size(), 3u);
  for (int i = 0; i < 3; ++i) expectSame(back.peaks[i], list.peaks[i]);
}

TEST(PeakListFile, ListsFromElsewhere) {
  // 2θ with intensities, blanks, tabs and comments, out of order, CRLF, a byte-order mark.
  PeakList l = read("\xEF\xBB\xBF# from a diffractometer\r\n47.30\t55\r\n\r\n28.44   100 \r\n56.12 30\r\n", {});
  ASSERT_EQ(l.peaks.size(), 3u);
  EXPECT_EQ(l.peaks[0].twoTheta, 28.44);
  EXPECT_EQ(l.peaks[0].height, 100);
  EXPECT_EQ(l.peaks[0].d, 0);  // no wavelength
  EXPECT_TRUE(l.notes.empty());

  // Positions only, commas, the caller's wavelength for d.
  l = read("28.44,\n47.3\n", {std::nullopt, 1.54056});
  ASSERT_EQ(l.peaks.size(), 2u);
  EXPECT_NEAR(l.peaks[0].d, 1.54056 / (2 * std::sin(28.44 * M_PI / 360)), 1e-12);
  EXPECT_EQ(l.wavelength, 1.54056);

  // The file's wavelength belongs to its 2θ: it gives d, whatever the caller's.
  l = read("# wavelength 1.78897\n2theta I\n33.1 20\n", {std::nullopt, 1.54056});
  EXPECT_EQ(l.wavelength, 1.78897);
  EXPECT_NEAR(l.peaks[0].d, 1.78897 / (2 * std::sin(33.1 * M_PI / 360)), 1e-12);

  // d said by the caller, 2θ at the caller's wavelength, d with a unit in the header.
  l = read("3.1355 100\n1.92 55\n", {PeakPosition::D, 1.54056});
  ASSERT_EQ(l.peaks.size(), 2u);
  EXPECT_NEAR(l.peaks[0].twoTheta, 28.4418, 1e-3);
  EXPECT_EQ(l.peaks[0].d, 3.1355);
  l = read("d(A) I(rel)\n2.0 10\n", {PeakPosition::TwoTheta, 1.54056});
  EXPECT_EQ(l.peaks[0].d, 2.0);
  EXPECT_NEAR(l.peaks[0].twoTheta, 45.31, 0.01);

  // Columns after the second of a list without header are said to be left out.
  l = read("28.44 100 3.1355 1 1 1\n");
  EXPECT_EQ(l.peaks[0].height, 100);
  ASSERT_EQ(l.notes.size(), 1u);
  EXPECT_EQ(l.notes[0], "Columns after the second were not read");

  // A decimal comma beside semicolons is read as one number and refused, not split.
  EXPECT_NE(refusal("28,44;100\n").find("line 1: \"28,44\" is not a number"), std::string::npos);

  // Nothing but comments and separators: an empty list, said so.
  l = read("# nothing found\n\n;\n , \n");
  EXPECT_TRUE(l.peaks.empty());
  ASSERT_EQ(l.notes.size(), 1u);
  EXPECT_EQ(l.notes[0], "The file holds no peaks");
}

TEST(PeakListFile, BadListsNameTheFileAndLine) {
  const struct {
    std::string text;
    PeakListReading how;
    const char* expected;
  } cases[] = {
      {"28.44 100\n47.3 x\n", {}, "Cannot read the peak list \"list.txt\": line 2: \"x\" is not a number"},
      {"200 10\n", {}, "line 1: a 2theta outside 0 to 180 degrees"},
      {"0 10\n", {}, "line 1: a 2theta outside 0 to 180 degrees"},
      {"d I\n-2 10\n", {}, "line 2: a d that is not positive"},
      {"d I\n0.5 10\n", {std::nullopt, 1.54056}, "line 2: d = 0.500000 is beyond the reach of the wavelength"},
      {"28.4 -5\n", {}, "line 1: a negative height"},
      {"2theta eta\n28.4 1.5\n", {}, "line 2: an eta outside 0 to 1"},
      {"2theta height\n28.4 10 3\n", {}, "line 2: holds 3 numbers, the header names 2 columns"},
      {"28.4 10\nmore words\n", {}, "line 2: a row of words where numbers are expected"},
      {"h k l\n1 1 1\n", {}, "line 1: the first column is neither 2theta nor d (\"h\")"},
      {std::string("28.4 10\n30\0 5\n", 13), {}, "line 2: characters that are no text"},
      {std::string(5000, '1') + "\n", {}, "line 1: longer than 4096 characters"},
      {"# wavelength -1\n28 1\n", {}, "line 1: the wavelength is not a positive number"},
      {"28 1 nan\n", {}, ""},  // past the second column: not read
  };
  for (const auto& c : cases) {
    const auto list = readPeakListText(c.text, "list.txt", c.how);
    if (std::string(c.expected).empty()) {
      EXPECT_TRUE(list.ok()) << list.error();
      continue;
    }
    ASSERT_FALSE(list.ok()) << c.text.substr(0, 40);
    EXPECT_NE(list.error().find(c.expected), std::string::npos) << list.error();
  }
  const fs::path dir = freshScratchDir("peak_list_bad");
  EXPECT_EQ(readPeakList(dir / "none.txt").error(), "Cannot read the peak list \"" + (dir / "none.txt").string() + "\": no such file");
  EXPECT_NE(readPeakList(dir).error().find("not a regular file"), std::string::npos);
  fs::remove_all(dir);
}
