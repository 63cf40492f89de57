// The pattern view: sticks at the pixel columns of their angles in an exported picture, and
// the window in step with the main window (hover, click, selection, recalculation, bad files).
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
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
#include "tests/support/structures.hpp"
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
    QVERIFY(plot->lineDescription(second).startsWith(QString("%1 %2 %3\nd = ").arg(second.h).arg(second.k).arg(second.l)));
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
          {"plot", "--cif", dir.filePath("si.cif").toStdString(), "--lambda", "CuKa1", "--theta", "10", "90", "--2theta",
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
};

QTEST_MAIN(PatternWindowTest)
#include "pattern_window_test.moc"
