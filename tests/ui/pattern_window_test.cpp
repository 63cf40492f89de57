// The pattern view: sticks at the pixel columns of their angles in an exported picture, and
// the window in step with the main window (hover, click, selection, recalculation, bad files);
// its peak table and markers (search, selection, peaks added and deleted, import and export,
// peaks and lines that explain each other), the cursor readout and the sticks' tooltips.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "cli/pattern_commands.hpp"
#include "dialogs.h"
#include "main.h"
#include "pattern_drawing.h"
#include "pattern_plot.h"
#include "pattern_window.h"
#include "refine_dialog.h"
#include "space_group_dialog.h"
#include "tests/support/structures.hpp"
#include "tests/support/synthetic_pattern.hpp"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

namespace {

// Silicon, F D -3 M, a = 5.4309 Å, CuKα1, 2θ from 20° to the given angle.
obrin::cli::PlotRequest silicon(const char* axis, const QString& output, const char* upper = "60") {
  const auto parsed = obrin::cli::parseCommandLine(
      {"plot", "CUBI", "F D -3 M", "--cell", "5.4309", "--lambda", "CuKa1", "--theta", "20", upper, "--2theta",
       "--axis", axis, "--size", "800x400", "--output", output.toStdString(), "--data-dir", OBRIN_SOURCE_DIR "/data"});
  if (!parsed) qFatal("%s", parsed.error().c_str());
  const auto setup = obrin::cli::preparePlot(*parsed);
  if (!setup.request) qFatal("%s", setup.error.c_str());
  return *setup.request;
}

// A PANalytical scan of three points that stores its tube lines.
std::string xrdml(const char* alpha1, const char* alpha2, const char* ratio) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<xrdMeasurements xmlns=\"http://www.xrdml.com/XRDMeasurement/1.5\"><xrdMeasurement><usedWavelength>"
                     "<kAlpha1>") + alpha1 + "</kAlpha1><kAlpha2>" + alpha2 + "</kAlpha2><ratioKAlpha2KAlpha1>" + ratio +
         "</ratioKAlpha2KAlpha1></usedWavelength><scan><dataPoints><positions axis=\"2Theta\"><startPosition>20"
         "</startPosition><endPosition>22</endPosition></positions><intensities>5 6 7</intensities></dataPoints>"
         "</scan></xrdMeasurement></xrdMeasurements>";
}

double twoThetaOf(double lambda, double d) { return 2 * std::asin(lambda / (2 * d)) * 180 / M_PI; }

QString fileText(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool isStickColour(QRgb c) { return qBlue(c) > 150 && qRed(c) < 60 && qGreen(c) < 130; }

// Centres of the runs of stick-coloured columns along a row of the picture.
QList<double> stickColumns(const QImage& image, int row) {
  QList<double> centres;
  int start = -1;
  for (int x = 0; x <= image.width(); ++x) {
    const bool stick = x < image.width() && isStickColour(image.pixel(x, row));
    if (stick && start < 0) start = x;
    if (!stick && start >= 0) {
      centres << (start + x - 1) / 2.0;
      start = -1;
    }
  }
  return centres;
}

// A wavelength of no tube: the peaks are fitted as single peaks, and d follows from it.
constexpr double kPeakLambda = 1.5;

std::string patternText(const obrin::MeasuredPattern& p) {
  std::string text;
  char row[64];
  for (std::size_t i = 0; i < p.x.size(); ++i) {
    std::snprintf(row, sizeof row, "%.4f %.1f\n", p.x[i], p.y[i]);
    text += row;
  }
  return text;
}

// Four well separated peaks from 2θ 20° to 80° on a flat background, with noise.
obrin::testing_support::SyntheticScan fourPeaks() {
  obrin::testing_support::SyntheticScan scan;
  scan.from = 20;
  scan.to = 80;
  scan.step = 0.02;
  scan.lines = {{25, 2000, 0.15}, {38, 800, 0.15}, {52, 300, 0.15}, {66, 1200, 0.15}};
  return scan;
}

// The pixel of a peak's marker, read off the marker graphs of the plot.
QPoint markerPixel(PatternPlot* plot, double twoTheta) {
  for (int g : {5, 6})
    for (auto it = plot->graph(g)->data()->begin(); it != plot->graph(g)->data()->end(); ++it)
      if (std::abs(it->key - twoTheta) < 1e-9)
        return {int(std::lround(plot->xAxis->coordToPixel(it->key))), int(std::lround(plot->yAxis->coordToPixel(it->value)))};
  return {-1, -1};
}

}  // namespace

class PatternWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QStringList warnings;
  testing_support::AnsweringDialogs dialogs;

  void writeFile(const QString& name, const std::string& text) { std::ofstream(dir.filePath(name).toStdString()) << text; }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    dialogs.onWarn = [this](QWidget*, const QString& text) { warnings << text; };
    obrin::ui::setUserDialogs(&dialogs);
  }
  void init() { warnings.clear(); }

  void sticksStandAtTheirAngles_data() {
    QTest::addColumn<QString>("axis");
    QTest::addColumn<double>("lower");  // the axis range of 2θ 20°..60°, by hand
    QTest::addColumn<double>("upper");
    QTest::addColumn<QList<double>>("expected");  // 111, 220, 311
    QTest::newRow("2theta") << "2theta" << 20.0 << 60.0 << QList<double>{28.44, 47.30, 56.12};
    QTest::newRow("d") << "d" << 1.54056 / (2 * std::sin(30 * M_PI / 180)) << 1.54056 / (2 * std::sin(10 * M_PI / 180))
                       << QList<double>{3.13553, 1.92012, 1.63748};
    QTest::newRow("q") << "q" << 4 * M_PI * std::sin(10 * M_PI / 180) / 1.54056
                       << 4 * M_PI * std::sin(30 * M_PI / 180) / 1.54056 << QList<double>{2.00385, 3.27229, 3.83710};
  }
  void sticksStandAtTheirAngles() {
    QFETCH(QString, axis);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QList<double>, expected);
    const QString file = dir.filePath("si-" + axis + ".png");
    const auto request = silicon(axis.toLatin1().constData(), file);
    PatternPlot plot;
    plot.resize(request.width, request.height);
    QVERIFY(drawPlotRequest(plot, request));
    QVERIFY(plot.exportTo(file, request.width, request.height));
    const QImage image(file);
    QCOMPARE(image.size(), QSize(800, 400));
    QVERIFY(std::abs(plot.xAxis->range().lower - lower) < 1e-6);
    QVERIFY(std::abs(plot.xAxis->range().upper - upper) < 1e-6);

    // The axis rectangle of the picture, laid out at its size.
    plot.setViewport(QRect(0, 0, request.width, request.height));
    plot.replot();
    const QRect rect = plot.axisRect()->rect();
    const QList<double> found = stickColumns(image, rect.bottom() - 3);
    for (double value : expected) {
      const double column = rect.left() + (value - lower) / (upper - lower) * rect.width();
      const bool near = std::any_of(found.begin(), found.end(), [&](double c) { return std::abs(c - column) <= 1.0; });
      QVERIFY2(near, qPrintable(QString("no stick at column %1 (%2 = %3); sticks at %4")
                                    .arg(column).arg(axis).arg(value).arg(QString::number(found.size()))));
    }
  }

  void windowFollowsTheMainWindow() {
    writeFile("C.pos", "Test groups\n\nP m\n1\n2\nx,y,z\n-x,-y,-z\n0\n");
    TForm1 form;
    form.setPositionFileDirectories({dir.path().toStdString()});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(0);
    form.findChild<QListWidget*>("ListBox3")->setCurrentRow(0);
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) form.findChild<QLineEdit*>(name)->setText("4");
    form.findChild<QLineEdit*>("Edit8")->setText("1.5406");
    form.findChild<QPushButton*>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    form.findChild<QPushButton*>("BitBtnPattern")->click();
    QVERIFY(QTest::qWaitForWindowExposed(&pattern));
    PatternPlot* plot = pattern.plot();
    QCOMPARE(plot->lines().size(), form.calculationState().list.size());

    // Hover and click on the second line: its description, its row in the result list.
    plot->replot();
    const obrin::Stick& second = plot->lines()[1];
    const QPoint at(int(std::lround(plot->xAxis->coordToPixel(second.twoTheta))), plot->axisRect()->bottom() - 5);
    const auto hovered = plot->stickAt(at);
    QVERIFY(hovered);
    QCOMPARE(*hovered, std::size_t(1));
    // The cell's 1 0 0, 0 1 0 and 0 0 1 stand on one stick: its tooltip names them all.
    const QString tip = plot->lineDescription(second);
    QVERIFY2(tip.section('\n', 0, 0).split(", ").contains(QString("%1 %2 %3").arg(second.h).arg(second.k).arg(second.l)),
             qPrintable(tip));
    QTest::mouseClick(plot, Qt::LeftButton, {}, at);
    auto* results = form.findChild<QListView*>("ListBox1");
    QCOMPARE(results->currentIndex().row(), 1);
    QCOMPARE(plot->highlightedRow(), 1);
    results->setCurrentIndex(results->model()->index(3, 0));
    QCOMPARE(plot->highlightedRow(), 3);

    // A recalculation keeps the zoomed view; the axis change keeps its 2θ range. Row 3 of the
    // old list is no line of the new one: nothing stays highlighted, in the picture neither.
    plot->setTwoThetaRange(30, 50);
    form.findChild<QLineEdit*>("Edit2")->setText("4.1");
    form.findChild<QPushButton*>("Button1")->click();
    QCOMPARE(plot->highlightedRow(), -1);
    QCOMPARE(plot->graph(4)->dataCount(), 0);
    QCOMPARE(plot->xAxis->range().lower, 30.0);
    QCOMPARE(plot->xAxis->range().upper, 50.0);
    plot->setAxis(obrin::PatternAxis::D);
    plot->setAxis(obrin::PatternAxis::TwoTheta);
    QVERIFY(std::abs(plot->xAxis->range().lower - 30) < 1e-9 && std::abs(plot->xAxis->range().upper - 50) < 1e-9);
  }

  // The profile of the window's lines: its top as high as the tallest stick, or as the measured
  // maximum when a pattern is shown; fields that give no width are named and nothing is drawn.
  void simulatedProfileOverTheLines() {
    PatternWindow pattern;
    pattern.showLines({{1, 1, 1, 3.0, 0, 8}, {2, 0, 0, 2.0, 0, 6}}, 1.54056);
    QVERIFY(pattern.plot()->profile().empty());
    pattern.findChild<QCheckBox*>("profileCheck")->setChecked(true);
    QVERIFY(!pattern.plot()->profile().empty());
    auto profileTop = [&] {
      bool found = false;
      return pattern.plot()->graph(3)->getValueRange(found).upper;
    };
    QVERIFY(std::abs(profileTop() - 100) < 1e-9);
    writeFile("flat.xy", "20 10\n30 50\n40 20\n");
    QVERIFY(pattern.openPattern(dir.filePath("flat.xy")));
    QVERIFY(std::abs(profileTop() - 50) < 1e-9);

    auto* w = pattern.findChild<QLineEdit*>("wEdit");
    w->setText("-1");
    emit w->editingFinished();
    auto* note = pattern.findChild<QLabel*>("profileNote");
    QVERIFY(pattern.plot()->profile().empty());
    QVERIFY2(!note->isHidden() && note->text().contains("not above 0"), qPrintable(note->text()));
    w->setText("0.01");
    emit w->editingFinished();
    QVERIFY(note->isHidden());
    QVERIFY(!pattern.plot()->profile().empty());
  }

  // plot --cif: the sticks take the structure's intensities (silicon: 111 the strongest, 222
  // extinguished), which the monochromator angle changes.
  void plotFromACifDrawsIntensities() {
    writeFile("si.cif", obrin::testing_support::kSiliconCif);
    auto sticks = [&](std::vector<std::string> extra) {
      std::vector<std::string> args = {"plot", "--cif", dir.filePath("si.cif").toStdString(), "--lambda", "CuKa1",
                                       "--theta", "10", "30", "--output", "x.png", "--profile",
                                       "--data-dir", OBRIN_SOURCE_DIR "/data"};
      args.insert(args.end(), extra.begin(), extra.end());
      const auto parsed = obrin::cli::parseCommandLine(args);
      if (!parsed) qFatal("%s", parsed.error().c_str());
      const auto setup = obrin::cli::preparePlot(*parsed);
      if (!setup.request) qFatal("%s", setup.error.c_str());
      return obrin::sticksFromList(setup.request->list, setup.request->lambda, 0);
    };
    const auto plain = sticks({});
    QCOMPARE(plain[0].h * 100 + plain[0].k * 10 + plain[0].l, 111);
    QCOMPARE(plain[0].height, 100.0);
    QCOMPARE(plain[3].h * 100 + plain[3].k * 10 + plain[3].l, 222);
    QCOMPARE(plain[3].height, 0.0);
    QVERIFY(sticks({"--monochromator", "26.6"})[1].height != plain[1].height);
  }

  // "Use its wavelength" is typing the file's Kα1 into λ and pressing Calc.: the table row goes,
  // and the list, the sticks and the Kα2 of the file follow the new wavelength.
  void fileWavelengthRecalculatesAsIfTyped() {
    writeFile("C.pos", "Test groups\n\nP m\n1\n2\nx,y,z\n-x,-y,-z\n0\n");
    writeFile("co.xrdml", xrdml("1.70000", "1.70400", "0.4"));
    TForm1 form;
    form.setPositionFileDirectories({dir.path().toStdString()});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(0);
    form.findChild<QListWidget*>("ListBox3")->setCurrentRow(0);
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) form.findChild<QLineEdit*>(name)->setText("4");
    auto* table = form.findChild<QListWidget*>("ListBox5");
    table->setCurrentRow(4);  // CuKa1
    form.findChild<QPushButton*>("Button1")->click();
    QVERIFY(!form.calculationState().list.empty());

    QVERIFY(pattern.openPattern(dir.filePath("co.xrdml")));
    pattern.findChild<QPushButton*>("useWavelengthButton")->click();
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(form.findChild<QLineEdit*>("Edit8")->text(), QString("1.7"));
    QVERIFY(table->selectedItems().isEmpty());
    const auto& state = form.calculationState();
    QCOMPARE(state.lambda, 1.7);
    QVERIFY(!state.list.empty());
    QVERIFY(std::abs(state.list[0].theta - twoThetaOf(1.7, 4) / 2) < 1e-3);
    QVERIFY(std::abs(pattern.plot()->lines()[0].twoTheta - twoThetaOf(1.7, 4)) < 1e-3);
    QVERIFY(pattern.findChild<QCheckBox*>("ka2Check")->isEnabled());
  }

  // Kα2 companions belong to the doublet of the calculation: a tube's Kα1 of the table, or the
  // Kα1 the pattern file stores. Under any other wavelength the file's Kα2 would draw false lines.
  void alpha2CompanionsOnlyForTheDoubletInUse() {
    PatternWindow pattern;
    writeFile("cu.xrdml", xrdml("1.540598", "1.544426", "0.5"));
    QVERIFY(pattern.openPattern(dir.filePath("cu.xrdml")));
    auto* ka2 = pattern.findChild<QCheckBox*>("ka2Check");
    ka2->setChecked(true);
    const obrin::ReflectionList lines{{1, 1, 1, 3.0, 0, 8}, {2, 0, 0, 2.0, 0, 6}};
    auto companions = [&](double lambda) {
      pattern.showLines(lines, lambda);
      return pattern.plot()->graph(1)->dataCount();
    };
    QCOMPARE(companions(0.4), 0);
    QVERIFY(!ka2->isEnabled());
    QCOMPARE(companions(1.5418), 0);  // CuKmean: the doublet unresolved
    QCOMPARE(companions(1.54439), 0);  // CuKa2
    QCOMPARE(companions(1.540598), 2);  // the file's Kα1: its Kα2
    QCOMPARE(pattern.plot()->graph(1)->data()->begin()->key, twoThetaOf(1.544426, 3.0));
    QCOMPARE(companions(0.7093), 2);  // MoKa1 of the table: the table's MoKa2
    QCOMPARE(pattern.plot()->graph(1)->data()->begin()->key, twoThetaOf(0.71359, 3.0));
  }

  // The zero shift and the Kα2 ratio are refused by name when they are no number in range, from
  // the keyboard or from a file; the drawing keeps the last value taken.
  void patternFieldsRefuseWhatIsOutOfRange() {
    PatternWindow pattern;
    pattern.showLines({{1, 1, 1, 3.0, 0, 8}}, 1.54056);
    pattern.findChild<QCheckBox*>("ka2Check")->setChecked(true);
    auto* zero = pattern.findChild<QLineEdit*>("zeroEdit");
    auto* ratio = pattern.findChild<QLineEdit*>("ka2RatioEdit");
    auto leave = [](QLineEdit* field, const char* text) {
      field->setText(QString::fromUtf8(text));
      emit field->editingFinished();
    };
    const double at = pattern.plot()->lines()[0].twoTheta;
    leave(zero, "abc");
    leave(zero, "11");
    leave(ratio, "-1");
    leave(ratio, "7.5");
    QCOMPARE(warnings, (QStringList{"Error on zero shift (° 2θ): \"abc\" is not a shift between -10 and 10",
                                    "Error on zero shift (° 2θ): \"11\" is not a shift between -10 and 10",
                                    "Error on Kα2 ratio: \"-1\" is not a ratio between 0 and 1",
                                    "Error on Kα2 ratio: \"7.5\" is not a ratio between 0 and 1"}));
    QCOMPARE(pattern.plot()->lines()[0].twoTheta, at);
    QCOMPARE(pattern.plot()->graph(1)->dataCount(), 1);
    QCOMPARE(pattern.plot()->graph(1)->data()->begin()->value, 0.5 * pattern.plot()->graph(2)->data()->begin()->value);
    leave(zero, "0.1");
    QCOMPARE(pattern.plot()->lines()[0].twoTheta, at + 0.1);

    warnings.clear();
    leave(ratio, "0.5");
    writeFile("odd.xrdml", xrdml("1.54056", "1.54439", "7.5"));
    QVERIFY(pattern.openPattern(dir.filePath("odd.xrdml")));
    QCOMPARE(warnings, QStringList{"\"odd.xrdml\": Error on Kα2 ratio: \"7.5\" is not a ratio between 0 and 1; "
                                   "the field keeps 0.5"});
    QCOMPARE(ratio->text(), QString("0.5"));
  }

  // Export picture and Export lines ask before replacing a file, as Export cell does; lines are
  // only written when there are some, under a name with an extension; a picture that cannot be
  // written is named with the reason.
  void exportsAskFirstAndNameWhatFails() {
    PatternWindow pattern;
    QString saveAnswer;
    QStringList questions;
    QMessageBox::StandardButton answer = QMessageBox::No;
    dialogs.onSaveFileName = [&](QWidget*, const QString&) { return saveAnswer; };
    dialogs.onQuestion = [&](QWidget*, const QString& text) {
      questions << text;
      return answer;
    };
    auto* exportLines = pattern.findChild<QPushButton*>("exportLinesButton");
    auto* exportPicture = pattern.findChild<QPushButton*>("exportButton");

    saveAnswer = dir.filePath("none");
    exportLines->click();
    QCOMPARE(warnings, QStringList{"No calculated reflections!"});
    QVERIFY(!QFile::exists(dir.filePath("none")) && !QFile::exists(dir.filePath("none.txt")));

    pattern.showLines({{1, 1, 1, 3.0, 0, 8}}, 1.54056);
    saveAnswer = dir.filePath("lines");
    exportLines->click();
    QCOMPARE(fileText(dir.filePath("lines.txt")).count('\n'), 2);  // the header and 1 1 1
    QCOMPARE(questions, QStringList{});

    const QString asked = "This file already exists. Do you want to continue?";
    for (const char* name : {"kept.txt", "kept.png"}) {
      writeFile(name, "mine\n");
      saveAnswer = dir.filePath(name);
      QPushButton* button = QString(name).endsWith(".txt") ? exportLines : exportPicture;
      answer = QMessageBox::No;
      button->click();
      QCOMPARE(fileText(saveAnswer), QString("mine\n"));
      answer = QMessageBox::Yes;
      button->click();
      QVERIFY(fileText(saveAnswer) != "mine\n");
    }
    QCOMPARE(questions, QStringList(4, asked));
    QVERIFY(!QImage(dir.filePath("kept.png")).isNull());

    if (std::filesystem::is_character_file("/dev/full")) {
      warnings.clear();
      QVERIFY(QFile::link("/dev/full", dir.filePath("full.png")));
      saveAnswer = dir.filePath("full.png");
      exportPicture->click();
      QCOMPARE(warnings, QStringList{"Cannot write full.png: No space left on device"});
      QVERIFY(std::filesystem::is_character_file("/dev/full"));
    }
    dialogs.onSaveFileName = nullptr;
    dialogs.onQuestion = nullptr;
  }

  // A file whose scans overlap asks which one to show; the label names the format read and the
  // scan shown. Cancelling the choice keeps what the plot showed.
  void overlappingScansAreAChoiceAndTheFormatIsNamed() {
    auto scan = [](int from, const char* counts) {
      return "<scan><dataPoints><positions axis=\"2Theta\"><startPosition>" + std::to_string(from) +
             "</startPosition><endPosition>" + std::to_string(from + 2) + "</endPosition></positions><intensities>" +
             counts + "</intensities></dataPoints></scan>";
    };
    writeFile("two.xrdml", "<?xml version=\"1.0\"?><xrdMeasurements><xrdMeasurement>" + scan(20, "1 2 3") +
                               scan(21, "4 5 6 7 8") + "</xrdMeasurement></xrdMeasurements>");
    PatternWindow pattern;
    QStringList offered;
    dialogs.onChooseItem = [&](QWidget*, const QString&, const QStringList& items) {
      offered = items;
      return items.value(1);
    };
    QVERIFY(pattern.openPattern(dir.filePath("two.xrdml")));
    QCOMPARE(offered, (QStringList{"Scan 1: 2θ 20 to 22°, 3 points", "Scan 2: 2θ 21 to 23°, 5 points"}));
    QCOMPARE(pattern.plot()->graph(0)->dataCount(), 5);
    const QString label = pattern.findChild<QLabel*>("patternLabel")->text();
    QVERIFY2(label.startsWith("two.xrdml (PANalytical XRDML, scan 2 of 2): 5 points"), qPrintable(label));

    dialogs.onChooseItem = [](QWidget*, const QString&, const QStringList&) { return QString(); };
    QVERIFY(!pattern.openPattern(dir.filePath("two.xrdml")));
    QCOMPARE(pattern.plot()->graph(0)->dataCount(), 5);
    QVERIFY(warnings.isEmpty());
    dialogs.onChooseItem = nullptr;

    writeFile("plain.csv", "2theta;counts\n20,5;10\n21,5;12\n");
    QVERIFY(pattern.openPattern(dir.filePath("plain.csv")));
    QCOMPARE(pattern.findChild<QLabel*>("patternLabel")->text(), QString("plain.csv (plain columns): 2 points"));
  }

  void badFileKeepsThePlotAndFileWavelengthIsOffered() {
    PatternWindow pattern;
    writeFile("good.xy", "20 10\n30 50\n40 20\n");
    writeFile("bad.xy", "20 10\n30 fifty\n");
    QVERIFY(pattern.openPattern(dir.filePath("good.xy")));
    const int points = pattern.plot()->graph(0)->dataCount();
    QCOMPARE(points, 3);
    QVERIFY(!pattern.openPattern(dir.filePath("bad.xy")));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains("bad.xy") && warnings[0].contains("line 2"), qPrintable(warnings[0]));
    QCOMPARE(pattern.plot()->graph(0)->dataCount(), points);

    writeFile("scan.xrdml", xrdml("1.70000", "1.70400", "0.4"));
    QSignalSpy offered(&pattern, &PatternWindow::wavelengthOffered);
    QVERIFY(pattern.openPattern(dir.filePath("scan.xrdml")));
    pattern.findChild<QPushButton*>("useWavelengthButton")->click();
    QCOMPARE(offered.size(), 1);
    QCOMPARE(offered[0][0].toDouble(), 1.7);
    QCOMPARE(pattern.findChild<QLineEdit*>("ka2RatioEdit")->text(), QString("0.4"));

    // Kα2 from the file for a wavelength the table does not know, at ratio 0.4.
    pattern.showLines({{1, 1, 1, 2.0, 0, 8}}, 1.7);
    pattern.findChild<QCheckBox*>("ka2Check")->setChecked(true);
    QCOMPARE(pattern.plot()->graph(1)->dataCount(), 1);
    QCOMPARE(pattern.plot()->graph(1)->data()->begin()->key, 2 * std::asin(1.704 / 4) * 180 / M_PI);

    if (const QByteArray shot = qgetenv("OBRIN_SCREENSHOT"); !shot.isEmpty()) {
      // The documentation's picture: silicon's lines with their intensities and their profile
      // over the sample scan in the window.
      TForm1 form;
      PatternWindow window;
      form.setPatternWindow(&window);
      writeFile("si.cif", obrin::testing_support::kSiliconCif);
      const auto parsed = obrin::cli::parseCommandLine(
          {"plot", "--cif", dir.filePath("si.cif").toStdString(), "--lambda", "CuKa1", "--theta", "10", "80", "--2theta",
           "--output", "unused.png", "--data-dir", OBRIN_SOURCE_DIR "/data"});
      QVERIFY(parsed);
      const auto request = *obrin::cli::preparePlot(*parsed).request;
      window.showLines(request.list, request.lambda);
      window.findChild<QCheckBox*>("ka2Check")->setChecked(true);
      window.findChild<QCheckBox*>("profileCheck")->setChecked(true);
      QVERIFY(window.openPattern(OBRIN_SOURCE_DIR "/doc/silicon-scan.xy"));
      window.resize(1000, 600);
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      window.plot()->setTwoThetaRange(20, 90);
      QVERIFY(window.grab().save(QString::fromLocal8Bit(shot)));
    }
  }

  void openFourPeaks(PatternWindow& pattern) {
    writeFile("four.xy", patternText(obrin::testing_support::syntheticPattern(fourPeaks(), 7)));
    pattern.showLines({}, kPeakLambda);
    QVERIFY(pattern.openPattern(dir.filePath("four.xy")));
  }

  // Find peaks fills the table and the markers with one list sorted by 2θ, within the range
  // and above the significance of the fields; a selected row frames its marker, a click on a
  // marker selects its row. A field that holds no search is refused and the list stays; a
  // new pattern drops the list found on the last.
  void foundPeaksFillTheTableAndMarkersThatSelectEachOther() {
    PatternWindow pattern;
    openFourPeaks(pattern);
    pattern.resize(1000, 800);
    pattern.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pattern));
    auto* table = pattern.findChild<QTableWidget*>("peakTable");
    auto* find = pattern.findChild<QPushButton*>("findPeaksButton");
    PatternPlot* plot = pattern.plot();
    find->click();
    QCOMPARE(warnings, QStringList{});
    const auto& peaks = pattern.peakList().peaks;
    QCOMPARE(peaks.size(), std::size_t(4));
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(plot->graph(5)->dataCount(), 4);  // no lines: every marker plain
    const double truth[] = {25, 38, 52, 66};
    for (int row = 0; row < 4; ++row) {
      const obrin::Peak& p = peaks[std::size_t(row)];
      QVERIFY2(std::abs(p.twoTheta - truth[row]) < 0.01, qPrintable(QString::number(p.twoTheta)));
      QVERIFY(std::abs(p.fwhm - 0.15) < 0.02);
      QCOMPARE(table->item(row, 0)->text(), QString::number(p.twoTheta, 'f', 4));
      const double d = kPeakLambda / (2 * std::sin(p.twoTheta * M_PI / 360));
      QCOMPARE(table->item(row, 2)->text(), QString::number(d, 'f', 5));
    }

    table->selectRow(2);
    QCOMPARE(plot->graph(7)->dataCount(), 1);  // the frame
    QCOMPARE(plot->graph(7)->data()->begin()->key, peaks[2].twoTheta);
    plot->replot();
    QTest::mouseClick(plot, Qt::LeftButton, {}, markerPixel(plot, peaks[1].twoTheta));
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().front().row(), 1);
    QCOMPARE(plot->selectedPeaks(), std::vector<int>{1});

    // From 30° the first peak is not searched; a significance of 30 leaves out the weakest
    // (300 counts over 100: about 19).
    auto* from = pattern.findChild<QLineEdit*>("fromEdit");
    auto* significance = pattern.findChild<QLineEdit*>("significanceEdit");
    from->setText("30");
    find->click();
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(peaks.front().twoTheta > 30);
    from->setText("20");
    significance->setText("30");
    find->click();
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(std::abs(peaks[2].twoTheta - 66) < 0.01);
    significance->setText("abc");
    find->click();
    QCOMPARE(warnings, QStringList{"Error on minimum significance: \"abc\" is not a positive number"});
    QCOMPARE(table->rowCount(), 3);

    QVERIFY(pattern.openPattern(dir.filePath("four.xy")));
    QCOMPARE(table->rowCount(), 0);
    QVERIFY(peaks.empty());
  }

  // Delete (the key, on the table or the plot) removes the selected peaks, a field's Delete
  // stays the field's; Ctrl+click fits one back where it was and selects it, and refuses a
  // click on a peak the list has. Refine cell... and Space groups... take the list as edited.
  void ctrlClickAddsAFittedPeakAndDeleteRemovesIt() {
    TForm1 form;
    form.setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(0);
    form.findChild<QListWidget*>("ListBox3")->findItems("F D -3 M (227)", Qt::MatchExactly).front()->setSelected(true);
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) form.findChild<QLineEdit*>(name)->setText("5.4309");
    form.findChild<QLineEdit*>("Edit8")->setText("1.54056");
    form.findChild<QLineEdit*>("Edit10")->setText("50");
    form.findChild<QPushButton*>("Button1")->click();
    QVERIFY(pattern.openPattern(OBRIN_SOURCE_DIR "/doc/silicon-scan.xy"));
    pattern.resize(1000, 800);
    pattern.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pattern));
    QVERIFY(QTest::qWaitForWindowActive(&pattern));
    pattern.findChild<QPushButton*>("findPeaksButton")->click();
    QCOMPARE(warnings, QStringList{});
    auto* table = pattern.findChild<QTableWidget*>("peakTable");
    PatternPlot* plot = pattern.plot();
    QCOMPARE(table->rowCount(), 6);
    const obrin::Peak first = pattern.peakList().peaks.front();  // 1 1 1
    const obrin::Peak last = pattern.peakList().peaks.back();
    auto refinedPeaks = [&] {
      pattern.findChild<QPushButton*>("refineButton")->click();
      return form.refineDialog()->findChild<QTableWidget*>("linesTable")->rowCount();
    };

    table->setFocus();
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Delete);
    QCOMPARE(plot->peaks().size(), std::size_t(5));
    QCOMPARE(refinedPeaks(), 5);

    // 0.04° beside where 1 1 1 was: fitted back to its place.
    plot->replot();
    const QPoint at(int(std::lround(plot->xAxis->coordToPixel(first.twoTheta + 0.04))), plot->axisRect()->center().y());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::ControlModifier, at);
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(table->rowCount(), 6);
    const obrin::Peak added = pattern.peakList().peaks.front();
    QVERIFY2(std::abs(added.twoTheta - first.twoTheta) < 0.005, qPrintable(QString::number(added.twoTheta, 'f', 4)));
    QVERIFY(added.twoThetaSu > 0 && added.fwhm > 0 && added.height > 0);
    QVERIFY(std::abs(added.d - 1.54056 / (2 * std::sin(added.twoTheta * M_PI / 360))) < 1e-9);
    QCOMPARE(plot->selectedPeaks(), std::vector<int>{0});
    QCOMPARE(refinedPeaks(), 6);
    QTest::mouseClick(plot, Qt::LeftButton, Qt::ControlModifier, at);
    QCOMPARE(warnings, QStringList{QString("The list has a peak at 2θ = %1° already").arg(added.twoTheta, 0, 'f', 4)});
    QCOMPARE(table->rowCount(), 6);
    warnings.clear();

    QTest::mouseClick(plot, Qt::LeftButton, {}, markerPixel(plot, last.twoTheta));
    QCOMPARE(plot->selectedPeaks(), std::vector<int>{5});
    QTest::keyClick(plot, Qt::Key_Delete);
    QCOMPARE(table->rowCount(), 5);
    pattern.findChild<QPushButton*>("spaceGroupsButton")->click();
    SpaceGroupDialog* ranking = form.spaceGroupDialog();
    QVERIFY(ranking);
    QSignalSpy finished(ranking, &SpaceGroupDialog::rankingFinished);
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    QVERIFY(ranking->findChild<QLabel*>("inputsLabel")->text().contains("; 5 peaks"));

    auto* zero = pattern.findChild<QLineEdit*>("zeroEdit");
    table->selectRow(0);
    zero->setFocus();
    QTest::keyClick(zero, Qt::Key_Delete);
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(warnings, QStringList{});
  }

  // Export peaks writes the list and Import peaks reads the same list back, which stays when a
  // pattern is opened; an unreadable list is named with its line and the table keeps what it
  // had; d rows need a wavelength.
  void peakListsExportAndImportTheSame() {
    PatternWindow pattern;
    QString fileAnswer;
    dialogs.onSaveFileName = [&](QWidget*, const QString&) { return fileAnswer; };
    dialogs.onOpenFileName = [&](QWidget*, const QString&) { return fileAnswer; };
    auto* table = pattern.findChild<QTableWidget*>("peakTable");
    openFourPeaks(pattern);
    pattern.findChild<QPushButton*>("findPeaksButton")->click();
    const obrin::PeakList found = pattern.peakList();
    QCOMPARE(found.peaks.size(), std::size_t(4));
    fileAnswer = dir.filePath("four-peaks");
    pattern.findChild<QPushButton*>("exportPeaksButton")->click();

    pattern.setPeakList({});
    QCOMPARE(table->rowCount(), 0);
    auto* importPeaks = pattern.findChild<QPushButton*>("importPeaksButton");
    fileAnswer = dir.filePath("four-peaks.txt");
    importPeaks->click();
    QCOMPARE(warnings, QStringList{});
    const obrin::PeakList& read = pattern.peakList();
    QCOMPARE(read.wavelength, found.wavelength);
    QCOMPARE(read.peaks.size(), found.peaks.size());
    auto fields = [](const obrin::Peak& p) {
      return std::vector<double>{p.twoTheta, p.twoThetaSu, p.d, p.height, p.area, p.fwhm, p.eta, p.significance};
    };
    for (std::size_t i = 0; i < read.peaks.size(); ++i) QCOMPARE(fields(read.peaks[i]), fields(found.peaks[i]));
    QCOMPARE(pattern.plot()->peaks().size(), std::size_t(4));
    QVERIFY(pattern.openPattern(dir.filePath("four.xy")));
    QCOMPARE(table->rowCount(), 4);

    writeFile("bad-peaks.txt", "# 2theta intensity\n28.4 100\n30.1 lots\n");
    fileAnswer = dir.filePath("bad-peaks.txt");
    importPeaks->click();
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains("bad-peaks.txt") && warnings[0].contains("line 3"), qPrintable(warnings[0]));
    QCOMPARE(table->rowCount(), 4);

    warnings.clear();
    PatternWindow bare;
    writeFile("d-peaks.txt", "d intensity\n3.1355 100\n1.9201 60\n");
    fileAnswer = dir.filePath("d-peaks.txt");
    bare.findChild<QPushButton*>("importPeaksButton")->click();
    QCOMPARE(warnings, QStringList{"The peaks of d-peaks.txt are given as d: a wavelength is needed to place them"});
    QVERIFY(bare.peakList().peaks.empty());
    bare.showLines({}, 1.54056);
    bare.findChild<QPushButton*>("importPeaksButton")->click();
    QVERIFY(std::abs(bare.peakList().peaks.front().twoTheta - twoThetaOf(1.54056, 3.1355)) < 1e-9);
    dialogs.onSaveFileName = nullptr;
    dialogs.onOpenFileName = nullptr;
  }

  // Lines at d 3.0, 2.5, 2.0, 1.8 and 1.1 Å over a scan to 80° with peaks on 3.0, 2.5 and 1.8,
  // and one more 0.3° below the line of 2.0: that peak is red, that line dashed, the line
  // beyond the scan is not judged; a tolerance of 0.5° explains them by each other.
  void unexplainedPeaksAndLinesAreFlagged() {
    const double spacings[] = {3.0, 2.5, 2.0, 1.8, 1.1};
    obrin::ReflectionList lines;
    for (double d : spacings) lines.push_back({1, 0, 0, d, 0, 6});
    const double missing = twoThetaOf(kPeakLambda, 2.0), extra = missing - 0.3;
    QVERIFY(twoThetaOf(kPeakLambda, 1.1) > 80);
    obrin::testing_support::SyntheticScan scan = fourPeaks();
    scan.lines = {{twoThetaOf(kPeakLambda, 3.0), 1500, 0.12}, {twoThetaOf(kPeakLambda, 2.5), 900, 0.12},
                  {extra, 700, 0.12}, {twoThetaOf(kPeakLambda, 1.8), 500, 0.12}};
    writeFile("extra.xy", patternText(obrin::testing_support::syntheticPattern(scan, 11)));
    PatternWindow pattern;
    pattern.showLines(lines, kPeakLambda);
    QVERIFY(pattern.openPattern(dir.filePath("extra.xy")));
    PatternPlot* plot = pattern.plot();
    QVERIFY(plot->unexplainedLines().empty());  // no peaks yet: nothing is judged
    pattern.findChild<QPushButton*>("findPeaksButton")->click();
    QCOMPARE(pattern.peakList().peaks.size(), std::size_t(4));

    QCOMPARE(plot->unexplainedPeaks(), std::vector<std::size_t>{2});
    QCOMPARE(plot->unexplainedLines(), std::vector<std::size_t>{2});
    QCOMPARE(plot->graph(6)->dataCount(), 1);  // the red one
    QVERIFY(std::abs(plot->graph(6)->data()->begin()->key - extra) < 0.01);
    QCOMPARE(plot->graph(8)->dataCount(), 1);  // the dashed line
    QCOMPARE(plot->graph(8)->data()->begin()->key, missing);
    QCOMPARE(plot->graph(2)->dataCount(), 4);  // the other sticks, the one beyond the scan too
    QVERIFY(plot->lineDescription(plot->lines()[2]).endsWith("no peak within ±0.05°"));
    const QString summary = pattern.findChild<QLabel*>("peakSummaryLabel")->text();
    QVERIFY2(summary.contains("within ±0.05° 2θ: 1 peak no line explains (red), 1 line without a peak"), qPrintable(summary));

    auto* tolerance = pattern.findChild<QLineEdit*>("toleranceEdit");
    tolerance->setText("0.5");
    emit tolerance->editingFinished();
    QVERIFY(plot->unexplainedPeaks().empty() && plot->unexplainedLines().empty());
    QCOMPARE(plot->graph(8)->dataCount(), 0);

    // A zero shift moves the lines away from their peaks: judged again at once.
    tolerance->setText("0.05");
    emit tolerance->editingFinished();
    auto* zero = pattern.findChild<QLineEdit*>("zeroEdit");
    zero->setText("0.5");
    emit zero->editingFinished();
    QCOMPARE(plot->unexplainedPeaks().size(), std::size_t(4));
    QCOMPARE(plot->unexplainedLines().size(), std::size_t(4));
  }

  // Under the plot: the pointer's 2θ, d, Q = 4π sinθ/λ and the counts there (a background rising
  // as 100 + 2θ), on the 2θ axis and on the d axis; nothing beside the axes.
  void cursorReadoutNamesTheAngleSpacingAndCounts() {
    obrin::testing_support::SyntheticScan scan = fourPeaks();
    scan.lines.clear();
    scan.background = [](double x) { return 100 + x; };
    writeFile("ramp.xy", patternText(obrin::testing_support::syntheticPattern(scan, 0)));
    PatternWindow pattern;
    pattern.showLines({}, kPeakLambda);
    QVERIFY(pattern.openPattern(dir.filePath("ramp.xy")));
    pattern.resize(1000, 800);
    pattern.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pattern));
    PatternPlot* plot = pattern.plot();
    auto* label = pattern.findChild<QLabel*>("cursorLabel");
    plot->replot();
    auto expected = [&](double twoTheta) {
      const double sinTheta = std::sin(twoTheta * M_PI / 360);
      return QString("2θ = %1°    d = %2 Å    Q = %3 Å⁻¹    counts %4")
          .arg(twoTheta, 0, 'f', 3)
          .arg(kPeakLambda / (2 * sinTheta), 0, 'f', 4)
          .arg(4 * M_PI * sinTheta / kPeakLambda, 0, 'f', 4)
          .arg(100 + twoTheta, 0, 'f', 1);
    };
    const int y = plot->axisRect()->center().y();
    const int x = int(std::lround(plot->xAxis->coordToPixel(30)));
    QTest::mouseMove(plot, QPoint(x, y));
    const double at = plot->xAxis->pixelToCoord(x);
    QVERIFY(std::abs(at - 30) < 0.2);
    QCOMPARE(label->text(), expected(at));
    QVERIFY(plot->cursorReadout(QPointF(plot->axisRect()->left() - 5, y)).isEmpty());

    pattern.findChild<QComboBox*>("axisCombo")->setCurrentIndex(2);  // d
    plot->replot();
    const int xd = int(std::lround(plot->xAxis->coordToPixel(2.5)));
    QCOMPARE(plot->cursorReadout(QPointF(xd, y)), expected(twoThetaOf(kPeakLambda, plot->xAxis->pixelToCoord(xd))));
  }

  // Silicon's lines from its CIF: 3 3 3 and 5 1 1 share a d and one stick, whose tooltip names
  // both with their intensities; 1 1 1, the strongest, stands alone.
  void stickTooltipNamesEveryReflectionOfItsSpacing() {
    writeFile("si.cif", obrin::testing_support::kSiliconCif);
    const auto parsed = obrin::cli::parseCommandLine(
        {"plot", "--cif", dir.filePath("si.cif").toStdString(), "--lambda", "CuKa1", "--theta", "10", "100", "--2theta",
         "--output", "unused.png", "--data-dir", OBRIN_SOURCE_DIR "/data"});
    QVERIFY(parsed);
    const auto request = *obrin::cli::preparePlot(*parsed).request;
    PatternWindow pattern;
    pattern.showLines(request.list, request.lambda);
    PatternPlot* plot = pattern.plot();
    const obrin::Stick* s333 = nullptr;
    const obrin::Stick* s511 = nullptr;
    for (const obrin::Stick& s : plot->lines()) {
      if (s.h == 3 && s.k == 3 && s.l == 3) s333 = &s;
      if (s.h == 5 && s.k == 1 && s.l == 1) s511 = &s;
    }
    QVERIFY(s333 && s511);
    const QString tip = plot->lineDescription(*s511);
    QCOMPARE(plot->lineDescription(*s333), tip);
    QVERIFY2(tip.startsWith("5 1 1, 3 3 3\nd = 1.0452 Å\n2θ = 94.9"), qPrintable(tip));
    QVERIFY2(tip.contains("\nmultiplicity 24 + 8\n"), qPrintable(tip));
    const QRegularExpression sum("intensity (\\d+\\.\\d) \\+ (\\d+\\.\\d) = (\\d+\\.\\d) \\(strongest line 100\\)");
    const auto match = sum.match(tip);
    QVERIFY2(match.hasMatch(), qPrintable(tip));
    // Same structure factor, three times the multiplicity.
    QVERIFY(std::abs(match.captured(1).toDouble() / match.captured(2).toDouble() - 3) < 0.1);
    QVERIFY(std::abs(match.captured(1).toDouble() + match.captured(2).toDouble() - match.captured(3).toDouble()) < 0.11);
    QVERIFY(plot->lineDescription(plot->lines().front()).endsWith("\nintensity 100.0 (strongest line 100)"));

    // A list without intensities: the multiplicity stands for the height, no intensity named.
    pattern.showLines({{1, 1, 1, 3.0, 0, 8}, {2, 0, 0, 2.0, 0, 6}}, 1.54056);
    QVERIFY(!plot->lineDescription(plot->lines().front()).contains("intensity"));

    if (const QByteArray shot = qgetenv("OBRIN_PEAKS_SCREENSHOT"); !shot.isEmpty()) {
      // The documentation's picture: the silicon scan's peaks found under silicon's lines
      // calculated to 80° (the peak of 4 2 2 at 88° red, no line explaining it), one row
      // selected; the cursor readout as the mouse left it beside 3 1 1.
      TForm1 form;
      PatternWindow window;
      form.setPatternWindow(&window);
      const auto wide = obrin::cli::parseCommandLine(
          {"plot", "--cif", dir.filePath("si.cif").toStdString(), "--lambda", "CuKa1", "--theta", "10", "80",
           "--2theta", "--output", "unused.png", "--data-dir", OBRIN_SOURCE_DIR "/data"});
      const auto lines = *obrin::cli::preparePlot(*wide).request;
      window.showLines(lines.list, lines.lambda);
      window.findChild<QCheckBox*>("ka2Check")->setChecked(true);
      QVERIFY(window.openPattern(OBRIN_SOURCE_DIR "/doc/silicon-scan.xy"));
      window.resize(1100, 840);
      window.findChild<QSplitter*>("plotSplitter")->setSizes({555, 195});
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      window.plot()->setTwoThetaRange(10, 90);
      window.findChild<QPushButton*>("findPeaksButton")->click();
      window.findChild<QTableWidget*>("peakTable")->selectRow(2);
      window.plot()->replot();
      QTest::mouseMove(window.plot(), QPoint(int(window.plot()->xAxis->coordToPixel(56.6)),
                                             window.plot()->axisRect()->center().y()));
      QVERIFY(window.grab().save(QString::fromLocal8Bit(shot)));
    }
  }
};

QTEST_MAIN(PatternWindowTest)
#include "pattern_window_test.moc"
