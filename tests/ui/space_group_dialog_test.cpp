// The 'Space groups' dialog: it ranks off the window's thread, shows the true class first,
// says when classes tie, asks for a class's first group when one is selected, and stops on
// Cancel.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "analysis/peak_search.hpp"
#include "calc/lines.hpp"
#include "io/pattern_file.hpp"
#include "main.h"
#include "pattern_plot.h"
#include "pattern_window.h"
#include "space_group_dialog.h"
#include "symmetry/pot.hpp"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

Q_DECLARE_METATYPE(obrin::CrystalSystem)

namespace {

constexpr double kCuKa1 = 1.5406;

std::filesystem::path positionFile(obrin::CrystalSystem system) {
  return std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / obrin::positionFileName(system);
}

// The first lines of the group in the cell as peaks, heights by multiplicity.
std::vector<obrin::Peak> linesAsPeaks(obrin::CrystalSystem system, const char* group, const obrin::UnitCell& cell,
                                      std::size_t count) {
  const auto g = obrin::loadSpaceGroup(positionFile(system), system, group);
  const auto list = obrin::powderLines(*obrin::computeMetric(cell), *g, kCuKa1, {2.5, 60});
  std::vector<obrin::Peak> peaks;
  for (const obrin::Reflection& r : *list) {
    if (peaks.size() == count) break;
    obrin::Peak p;
    p.twoTheta = 2 * r.theta;
    p.height = r.multiplicity;
    p.fwhm = 0.08;
    peaks.push_back(p);
  }
  return peaks;
}

const obrin::UnitCell kPnmaCell{5.75, 7.95, 5.45, 90, 90, 90};

SpaceGroupRankInputs pnmaInputs(std::size_t peaks) {
  SpaceGroupRankInputs in;
  in.system = obrin::CrystalSystem::Orthorhombic;
  in.cell = kPnmaCell;
  in.instrument.lambda = kCuKa1;
  in.peaks = linesAsPeaks(in.system, "P N M A (62)", kPnmaCell, peaks);
  in.positionFile = positionFile;
  return in;
}

bool waitForRanking(QSignalSpy& finished) {
  return !finished.isEmpty() || finished.wait(20000);
}

}  // namespace

class SpaceGroupDialogTest : public QObject {
  Q_OBJECT

  QStringList warnings;
  testing_support::AnsweringDialogs dialogs;

 private slots:
  void initTestCase() {
    qRegisterMetaType<obrin::CrystalSystem>();
    dialogs.onWarn = [this](QWidget*, const QString& text) { warnings << text; };
    obrin::ui::setUserDialogs(&dialogs);
  }
  void init() { warnings.clear(); }

  void ranksAndAsksForTheFirstGroupOfTheSelectedClass() {
    SpaceGroupDialog dialog;
    QSignalSpy finished(&dialog, &SpaceGroupDialog::rankingFinished);
    QSignalSpy chosen(&dialog, &SpaceGroupDialog::classChosen);
    dialog.setInputs(pnmaInputs(50));
    QVERIFY(waitForRanking(finished));
    QVERIFY(dialog.ranking());
    auto* table = dialog.findChild<QTableWidget*>("classTable");
    QCOMPARE(table->rowCount(), static_cast<int>(dialog.ranking()->classes.size()));
    QVERIFY(table->item(0, 6)->text().contains("P N M A (62)"));
    QCOMPARE(table->item(0, 5)->text(), QString("P n - a"));
    QVERIFY(!dialog.findChild<QLabel*>("verdictLabel")->text().contains("tie"));
    // Filling the table chose nothing; the user's selection asks for the class's first group.
    QVERIFY(chosen.isEmpty());
    table->selectRow(0);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][0].value<obrin::CrystalSystem>(), obrin::CrystalSystem::Orthorhombic);
    QCOMPARE(chosen[0][1].toString(), QString::fromStdString(dialog.ranking()->classes[0].groups[0].name));
    // A ruled-out class is shown as such.
    const int last = table->rowCount() - 1;
    QVERIFY(dialog.ranking()->classes[last].ruledOut);
    QVERIFY(table->item(last, 1)->text().endsWith("✗"));

    if (const QByteArray shot = qgetenv("OBRIN_SCREENSHOT_SPACE_GROUPS"); !shot.isEmpty()) {
      table->selectRow(0);
      dialog.resize(1000, 560);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QVERIFY(dialog.grab().save(QString::fromLocal8Bit(shot)));
    }
  }

  void aShortListSaysTheTopClassesTie() {
    SpaceGroupDialog dialog;
    QSignalSpy finished(&dialog, &SpaceGroupDialog::rankingFinished);
    dialog.setInputs(pnmaInputs(3));
    QVERIFY(waitForRanking(finished));
    QVERIFY(dialog.ranking() && dialog.ranking()->tied >= 2);
    QVERIFY(dialog.findChild<QLabel*>("verdictLabel")->text().contains("classes tie"));
    // The tied ones stand out.
    QVERIFY(dialog.findChild<QTableWidget*>("classTable")->item(1, 0)->font().bold());
  }

  void badToleranceIsRefusedAndKeepsTheRanking() {
    SpaceGroupDialog dialog;
    QSignalSpy finished(&dialog, &SpaceGroupDialog::rankingFinished);
    dialog.setInputs(pnmaInputs(50));
    QVERIFY(waitForRanking(finished));
    const std::size_t classes = dialog.ranking()->classes.size();
    dialog.findChild<QLineEdit*>("toleranceEdit")->setText("0");
    dialog.rank();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(!dialog.busy());
    QCOMPARE(dialog.ranking()->classes.size(), classes);
  }

  void cancelStopsALongRanking() {
    // A large cell against every system of its metric takes a while; Cancel stops it and the
    // dialog says so.
    SpaceGroupDialog dialog;
    QSignalSpy finished(&dialog, &SpaceGroupDialog::rankingFinished);
    SpaceGroupRankInputs in;
    in.system = obrin::CrystalSystem::Cubic;
    in.cell = {60, 60, 60, 90, 90, 90};
    in.instrument.lambda = kCuKa1;
    in.peaks = linesAsPeaks(in.system, "P M -3 M (221)", {4, 4, 4, 90, 90, 90}, 10);
    in.positionFile = positionFile;
    dialog.findChild<QCheckBox*>("allSystemsCheck")->setChecked(true);
    finished.clear();
    dialog.setInputs(in);
    QVERIFY(dialog.busy());
    QVERIFY(dialog.findChild<QPushButton*>("cancelButton")->isVisibleTo(&dialog));
    QTest::mouseClick(dialog.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    QVERIFY(waitForRanking(finished));
    QVERIFY(!dialog.busy());
    QCOMPARE(dialog.findChild<QLabel*>("verdictLabel")->text(), QString("The ranking was cancelled"));
    QVERIFY(!dialog.ranking());
  }

  void patternWindowRanksItsPeaksAndAClassIsCalculatedInTheMainWindow() {
    TForm1 form;
    form.setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(obrin::systemIndex(obrin::CrystalSystem::Orthorhombic));
    const char* cell[] = {"5.75", "7.95", "5.45"};
    const char* fields[] = {"Edit2", "Edit3", "Edit4"};
    for (int i = 0; i < 3; ++i) form.findChild<QLineEdit*>(fields[i])->setText(cell[i]);
    form.findChild<QLineEdit*>("Edit8")->setText("1.5406");
    form.findChild<QLineEdit*>("Edit10")->setText("40");
    // A filter that hides the class's first group.
    form.findChild<QLineEdit*>("EditGroupFilter")->setText("62");
    obrin::PeakList peaks;
    peaks.peaks = pnmaInputs(50).peaks;
    pattern.setPeakList(peaks);

    pattern.findChild<QPushButton*>("spaceGroupsButton")->click();
    QCOMPARE(warnings, QStringList{});
    SpaceGroupDialog* dialog = form.spaceGroupDialog();
    QVERIFY(dialog && dialog->isVisible());
    QSignalSpy finished(dialog, &SpaceGroupDialog::rankingFinished);
    QVERIFY(waitForRanking(finished));
    QVERIFY(dialog->ranking());
    const obrin::RankedClass& best = dialog->ranking()->classes.front();
    QCOMPARE(best.symbol, std::string("P n - a"));

    dialog->findChild<QTableWidget*>("classTable")->selectRow(0);
    const auto* groups = form.findChild<QListWidget*>("ListBox3");
    QVERIFY(groups->currentItem());
    QCOMPARE(groups->currentItem()->text().trimmed(), QString::fromStdString(best.groups.front().name));
    QVERIFY(!groups->isRowHidden(groups->currentRow()));
    QCOMPARE(form.calculationState().groupName, best.groups.front().name);
    QVERIFY(!form.calculationState().list.empty());
    QCOMPARE(pattern.plot()->lines().size(), form.calculationState().list.size());
    QCOMPARE(warnings, QStringList{});
    if (const QByteArray shot = qgetenv("OBRIN_SCREENSHOT_SPACE_GROUPS_PATTERN"); !shot.isEmpty()) {
      pattern.resize(1000, 600);
      pattern.show();
      QVERIFY(QTest::qWaitForWindowExposed(&pattern));
      QVERIFY(pattern.grab().save(QString::fromLocal8Bit(shot)));
    }

    // Ranked from the monoclinic system with every system of the metric, the best class is
    // orthorhombic: choosing it switches the main window's system.
    form.findChild<QListWidget*>("ListBox2")->setCurrentRow(obrin::systemIndex(obrin::CrystalSystem::Monoclinic));
    finished.clear();
    pattern.findChild<QPushButton*>("spaceGroupsButton")->click();
    QVERIFY(waitForRanking(finished));
    QVERIFY(dialog->ranking()->classes.front().groups.front().system == obrin::CrystalSystem::Monoclinic);
    finished.clear();
    dialog->findChild<QCheckBox*>("allSystemsCheck")->setChecked(true);
    QVERIFY(waitForRanking(finished));
    const obrin::RankedClass& across = dialog->ranking()->classes.front();
    QVERIFY(across.groups.front().system == obrin::CrystalSystem::Orthorhombic);
    dialog->findChild<QTableWidget*>("classTable")->selectRow(0);
    QCOMPARE(form.calculationState().system, std::optional{obrin::CrystalSystem::Orthorhombic});
    QCOMPARE(groups->currentItem()->text().trimmed(), QString::fromStdString(across.groups.front().name));
    QVERIFY(!form.calculationState().list.empty());
    QCOMPARE(warnings, QStringList{});
  }

  void aPatternWeighsTheAbsences() {
    // Silicon's scan and the peaks found in it: the missing 2 2 2 weighs by what the scan
    // shows at it, less than a clear absence.
    const auto read = obrin::readPattern(OBRIN_SOURCE_DIR "/doc/silicon-scan.xy");
    QVERIFY(read.ok());
    SpaceGroupRankInputs in;
    in.system = obrin::CrystalSystem::Cubic;
    in.cell = {5.4309, 5.4309, 5.4309, 90, 90, 90};
    in.instrument.lambda = 1.54056;
    in.pattern = std::make_shared<const obrin::MeasuredPattern>(*read);
    in.minSignificance = obrin::kDefaultMinPeakSignificance;
    obrin::PeakSearchOptions search;
    search.wavelengths = *obrin::peakWavelengths(in.instrument.lambda, read->wavelength, std::nullopt);
    in.peaks = obrin::findPeaks(*read, search).peaks;
    in.positionFile = positionFile;
    SpaceGroupDialog dialog;
    QSignalSpy finished(&dialog, &SpaceGroupDialog::rankingFinished);
    dialog.setInputs(in);
    QVERIFY(waitForRanking(finished));
    const obrin::RankedClass& best = dialog.ranking()->classes.front();
    QCOMPARE(best.symbol, std::string("F d - -"));
    QCOMPARE(best.missing.size(), std::size_t{1});
    QVERIFY(best.missing[0].weight < 1);
    QVERIFY(dialog.findChild<QLabel*>("inputsLabel")->text().contains("absences weighed by the pattern"));
  }

  void noPeaksSaysSo() {
    SpaceGroupDialog dialog;
    SpaceGroupRankInputs in = pnmaInputs(0);
    dialog.setInputs(in);
    QVERIFY(!dialog.busy());
    QCOMPARE(dialog.findChild<QLabel*>("verdictLabel")->text(), QString("No peaks to rank the space groups against"));
  }
};

QTEST_MAIN(SpaceGroupDialogTest)
#include "space_group_dialog_test.moc"
