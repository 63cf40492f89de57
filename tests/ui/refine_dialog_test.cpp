// "Refine cell...": the dialog on peaks made from a known silicon cell, and the main window
// taking the refined cell (fields, recalculation, shifted sticks, legend) and giving it back
// with one undo.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>

#include <cmath>
#include <random>
#include <utility>

#include "analysis/line_matching.hpp"
#include "calc/lines.hpp"
#include "main.h"
#include "pattern_plot.h"
#include "pattern_window.h"
#include "refine_dialog.h"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

namespace {

constexpr double kLambda = 1.54056;
const obrin::UnitCell kSilicon{5.43102, 5.43102, 5.43102, 90, 90, 90};

obrin::SpaceGroup fd3m() {
  const auto g = obrin::loadSpaceGroup(OBRIN_SOURCE_DIR "/data/C.pos", obrin::CrystalSystem::Cubic, "F D -3 M (227)");
  if (!g) qFatal("%s", g.error().c_str());
  return *g;
}

// Silicon's peaks from 20° to 140° 2θ with a zero shift, 2θ s.u. 0.004°, noise when seeded.
obrin::PeakList siliconPeaks(double zero, unsigned seed = 0) {
  const obrin::Diffractometer instrument{kLambda, zero, 0, obrin::kDefaultGoniometerRadius};
  const auto lines = obrin::allowedLines(kSilicon, fd3m(), kLambda, 140);
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 0.004);
  obrin::PeakList peaks;
  double previous = 0;
  for (const obrin::Reflection& r : *lines) {
    const double t = *obrin::lineTwoTheta(r.d, instrument);
    if (t < 20 || t > 140 || std::abs(t - std::exchange(previous, t)) < 1e-6) continue;  // 333 and 511: one peak
    obrin::Peak p;
    p.twoTheta = t + (seed ? noise(random) : 0);
    p.twoThetaSu = 0.004;
    peaks.peaks.push_back(p);
  }
  obrin::orderPeaks(peaks.peaks, kLambda);
  return peaks;
}

RefineProblem siliconProblem(const obrin::PeakList& peaks) {
  RefineProblem p;
  p.system = obrin::CrystalSystem::Cubic;
  p.groupName = "F D -3 M (227)";
  p.group = fd3m();
  p.cell = {5.4300, 5.4300, 5.4300, 90, 90, 90};
  p.lambda = kLambda;
  p.peaks = peaks;
  return p;
}

}  // namespace

class RefineDialogTest : public QObject {
  Q_OBJECT

  QStringList warnings;
  testing_support::AnsweringDialogs dialogs;

 private slots:
  void initTestCase() {
    dialogs.onWarn = [this](QWidget*, const QString& text) { warnings << text; };
    obrin::ui::setUserDialogs(&dialogs);
  }
  void init() { warnings.clear(); }

  void dialogRefinesAndShowsItsTable() {
    RefineDialog dialog;
    dialog.setProblem(siliconProblem(siliconPeaks(0.02)));
    auto* table = dialog.findChild<QTableWidget*>("linesTable");
    auto* use = dialog.findChild<QPushButton*>("useButton");
    QVERIFY(dialog.refinement());
    QCOMPARE(table->rowCount(), int(dialog.refinement()->lines.size()));
    // Without the zero shift the cell absorbs it; with it, both come back.
    QVERIFY(std::abs(dialog.refinement()->cell.a - kSilicon.a) > 1e-4);
    dialog.findChild<QCheckBox*>("zeroCheck")->setChecked(true);
    QVERIFY(dialog.refinement());
    QVERIFY(std::abs(dialog.refinement()->cell.a - kSilicon.a) < 1e-6);
    QVERIFY(std::abs(dialog.refinement()->zero - 0.02) < 1e-6);
    QCOMPARE(table->item(0, 1)->text() + table->item(0, 2)->text() + table->item(0, 3)->text(), QString("111"));
    QVERIFY(dialog.findChild<QLabel*>("summaryLabel")->text().contains("b = a    c = a    α = 90°"));
    QVERIFY(use->isEnabled());

    // A peak left out is marked and not used; leaving out all but one is refused, the peaks stay
    // listed with their results gone, and nothing can be used.
    table->item(2, 0)->setCheckState(Qt::Unchecked);
    QVERIFY(dialog.refinement());
    QCOMPARE(dialog.refinement()->used, table->rowCount() - 1);
    QVERIFY(table->item(2, 11)->text().contains("excluded"));
    for (int row = 1; row < table->rowCount(); ++row) table->item(row, 0)->setCheckState(Qt::Unchecked);
    QVERIFY(!dialog.refinement());
    QVERIFY(dialog.findChild<QLabel*>("messageLabel")->text().startsWith("Too few indexed lines: 1 for 2 parameters"));
    QVERIFY(!use->isEnabled());
    QCOMPARE(table->rowCount(), int(siliconPeaks(0.02).peaks.size()));
    QVERIFY(table->item(0, 5)->text().isEmpty());
    QVERIFY(!table->item(0, 4)->text().isEmpty());

    // No peaks at all: said, not refined.
    dialog.setProblem(siliconProblem({}));
    QVERIFY(!dialog.refinement());
    QVERIFY(dialog.findChild<QLabel*>("messageLabel")->text().startsWith("No peaks"));
  }

  void usedCellIsCalculatedAndOneUndoGivesTheOldOneBack() {
    TForm1 form;
    form.setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(0);
    const auto groups = form.findChild<QListWidget*>("ListBox3")->findItems("F D -3 M (227)", Qt::MatchExactly);
    QCOMPARE(groups.size(), 1);
    groups.front()->setSelected(true);
    form.findChild<QLineEdit*>("Edit2")->setText("5.43");
    for (const char* name : {"Edit3", "Edit4"}) form.findChild<QLineEdit*>(name)->setText("5.43");
    form.findChild<QLineEdit*>("Edit8")->setText("1.54056");
    form.findChild<QLineEdit*>("Edit10")->setText("70");
    pattern.findChild<QLineEdit*>("zeroEdit")->setText("0.1");
    pattern.setPeakList(siliconPeaks(0.02, 3));

    pattern.findChild<QPushButton*>("refineButton")->click();
    QCOMPARE(warnings, QStringList{});
    RefineDialog* dialog = form.refineDialog();
    QVERIFY(dialog && dialog->isVisible());
    dialog->findChild<QCheckBox*>("zeroCheck")->setChecked(true);
    QVERIFY(dialog->refinement());
    QVERIFY(!form.refinement());
    dialog->findChild<QPushButton*>("useButton")->click();

    // The fields hold the refined cell to a digit beyond its s.u., the lines are those of it,
    // the sticks carry its zero.
    const obrin::CellRefinement refined = *dialog->refinement();
    const QString aText = form.findChild<QLineEdit*>("Edit2")->text();
    QVERIFY2(std::abs(aText.toDouble() - refined.cell.a) < refined.cellSu.a / 5, qPrintable(aText));
    QVERIFY(aText.size() - aText.indexOf('.') - 1 >= 5);
    QCOMPARE(form.findChild<QLineEdit*>("Edit3")->text(), aText);
    QCOMPARE(form.findChild<QLineEdit*>("Edit4")->text(), aText);
    QCOMPARE(form.findChild<QLineEdit*>("Edit5")->text(), QString("90"));
    QCOMPARE(form.calculationState().cell.a, aText.toDouble());
    QVERIFY(!form.calculationState().list.empty());
    QVERIFY(form.refinement());
    QVERIFY(form.mainWindowChoices().refinement);
    const obrin::Stick& first = pattern.plot()->lines().front();
    const QString zeroText = QString::number(refined.zero, 'f', 4);
    QCOMPARE(pattern.findChild<QLineEdit*>("zeroEdit")->text(), zeroText);
    QVERIFY(std::abs(first.twoTheta - *obrin::lineTwoTheta(first.d, {kLambda, refined.zero, 0, 240})) < 1e-9);
    QVERIFY(std::abs(refined.zero - 0.02) < 4 * refined.zeroSu);
    QVERIFY(pattern.plot()->linesCaption().startsWith("Refined cell: zero " + zeroText + "° 2θ"));
    QVERIFY(pattern.plot()->legend->visible());
    QVERIFY(dialog->findChild<QPushButton*>("undoButton")->isEnabled());

    // One undo: the typed cell, its lines, the user's zero shift, no legend, no refinement.
    dialog->findChild<QPushButton*>("undoButton")->click();
    QCOMPARE(form.findChild<QLineEdit*>("Edit2")->text(), QString("5.43"));
    QCOMPARE(form.findChild<QLineEdit*>("Edit4")->text(), QString("5.43"));
    QVERIFY(std::abs(form.calculationState().cell.a - 5.43) < 1e-12);
    QVERIFY(!form.refinement());
    QCOMPARE(pattern.findChild<QLineEdit*>("zeroEdit")->text(), QString("0.1"));
    QVERIFY(!pattern.plot()->legend->visible());
    QVERIFY(!form.undoStack()->canUndo());

    // The window's own undo does the same; used again, then the user types a cell: the
    // refinement is forgotten, undo has nothing.
    dialog->findChild<QPushButton*>("useButton")->click();
    QVERIFY(form.refinement());
    form.findChild<QAction*>("UndoRefinedCell")->trigger();
    QCOMPARE(form.findChild<QLineEdit*>("Edit2")->text(), QString("5.43"));
    dialog->findChild<QPushButton*>("useButton")->click();
    QVERIFY(form.refinement());
    QLineEdit* a = form.findChild<QLineEdit*>("Edit2");
    a->setFocus();
    QTest::keyClick(a, Qt::Key_End);
    QTest::keyClick(a, Qt::Key_5);
    QVERIFY(!form.refinement());
    QVERIFY(!form.undoStack()->canUndo());
    QVERIFY(!pattern.plot()->legend->visible());
    QCOMPARE(warnings, QStringList{});

  }

  void peaksAreFoundFirstWhenThereAreNone() {
    TForm1 form;
    form.setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(0);
    form.findChild<QListWidget*>("ListBox3")->findItems("F D -3 M (227)", Qt::MatchExactly).front()->setSelected(true);
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) form.findChild<QLineEdit*>(name)->setText("5.43");
    form.findChild<QLineEdit*>("Edit8")->setText("1.54056");
    // Without a pattern there is nothing to find: the dialog says so.
    pattern.findChild<QPushButton*>("refineButton")->click();
    QVERIFY(!form.refineDialog()->refinement());
    QVERIFY(form.refineDialog()->findChild<QLabel*>("messageLabel")->text().startsWith("No peaks"));
    // The silicon scan, made from a = 5.4309 Å: its six lines found and refined back.
    QVERIFY(pattern.openPattern(OBRIN_SOURCE_DIR "/doc/silicon-scan.xy"));
    pattern.findChild<QPushButton*>("refineButton")->click();
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(pattern.peakList().peaks.size(), std::size_t(6));
    RefineDialog* dialog = form.refineDialog();
    dialog->findChild<QCheckBox*>("zeroCheck")->setChecked(true);
    QVERIFY(dialog->refinement());
    const obrin::CellRefinement& r = *dialog->refinement();
    QCOMPARE(r.used, 6);
    QVERIFY2(std::abs(r.cell.a - 5.4309) < 3 * r.cellSu.a, qPrintable(QString::number(r.cell.a, 'f', 6)));

    if (const QByteArray shot = qgetenv("OBRIN_REFINE_SCREENSHOT"); !shot.isEmpty()) {
      // The documentation's picture: the silicon scan's peaks, zero shift refined.
      dialog->resize(960, 400);
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      QVERIFY(dialog->grab().save(QString::fromLocal8Bit(shot)));
    }
  }
};

QTEST_MAIN(RefineDialogTest)
#include "refine_dialog_test.moc"
