// The 'Index' dialog: its limits, the candidates of a search in order with their related cells
// under them, the verdict when nothing passes, Cancel and closing during a search, and a chosen
// cell calculated in the main window with a group of its lattice.
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <thread>

#include "calc/lines.hpp"
#include "index_dialog.h"
#include "main.h"
#include "pattern_plot.h"
#include "pattern_window.h"
#include "space_group_dialog.h"
#include "symmetry/pot.hpp"
#include "tests/support/simulated_peaks.hpp"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

using obrin::CrystalSystem;

namespace {

constexpr double kCuKa1 = 1.5406;
constexpr int kWait = 20000;  // ms: a bound for a hung test, never a measure

std::filesystem::path positionFile(CrystalSystem system) {
  return std::filesystem::path(OBRIN_SOURCE_DIR) / "data" / obrin::positionFileName(system);
}

// The first lines of the group in the cell as peaks.
obrin::PeakList linesAsPeaks(CrystalSystem system, const char* group, const obrin::UnitCell& cell, std::size_t count) {
  const auto g = obrin::loadSpaceGroup(positionFile(system), system, group);
  const auto list = obrin::powderLines(*obrin::computeMetric(cell), *g, kCuKa1, {2.5, 50});
  obrin::PeakList peaks;
  for (const obrin::Reflection& r : *list) {
    if (peaks.peaks.size() == count) break;
    obrin::Peak p;
    p.twoTheta = 2 * r.theta;
    p.height = r.multiplicity;
    p.fwhm = 0.08;
    peaks.peaks.push_back(p);
  }
  return peaks;
}

obrin::FigureOfMerit figure(double value, int lines) {
  obrin::FigureOfMerit f;
  f.value = value;
  f.lines = lines;
  f.possible = 2 * lines;
  f.meanDelta = 0.01;
  return f;
}

obrin::IndexingSolution solution(CrystalSystem system, char centring, const char* lattice, obrin::UnitCell cell,
                                 double m20, bool passes) {
  obrin::IndexingSolution s;
  s.system = system;
  s.centring = centring;
  s.lattice = lattice;
  s.cell = s.reduced = cell;
  s.volume = 100;
  s.m20 = figure(m20, 20);
  s.fN = figure(2 * m20, 20);
  s.lines = 20;
  s.indexed = passes ? 20 : 17;
  s.passes = passes;
  return s;
}

obrin::IndexingResult searched(bool indexed) {
  obrin::IndexingResult r;
  r.systems = {CrystalSystem::Cubic, CrystalSystem::Tetragonal, CrystalSystem::Orthorhombic};
  r.lines = 20;
  r.tolerance = 0.03;
  r.maxVolume = 2500;
  r.impurities = 1;
  r.zeroRange = 0.1;
  r.lambda = kCuKa1;
  r.complete = true;
  r.indexed = indexed;
  return r;
}

IndexSearch answering(obrin::IndexingResult result) {
  return [result](const obrin::PeakList&, double, const obrin::IndexingOptions&) -> obrin::Result<obrin::IndexingResult> {
    return result;
  };
}

// A search that runs until it is cancelled (within a bound that keeps a broken Cancel from
// hanging the test), reporting its progress all the while.
struct SlowSearch {
  std::atomic<int> calls{0};
  std::atomic<bool> sawCancel{false};
  IndexSearch search() {
    return [this](const obrin::PeakList&, double, const obrin::IndexingOptions& o) -> obrin::Result<obrin::IndexingResult> {
      for (int i = 0; i < 100000; ++i) {
        ++calls;
        if (!o.progress((i % 1000) / 1000.0, CrystalSystem::Monoclinic)) {
          sawCancel = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      obrin::IndexingResult r = searched(false);
      r.complete = false;
      r.solutions.push_back(solution(CrystalSystem::Cubic, 'P', "cP", {4, 4, 4, 90, 90, 90}, 5, false));
      return r;
    };
  }
};

IndexProblem someProblem() {
  return {linesAsPeaks(CrystalSystem::Cubic, "P M -3 M (221)", {4, 4, 4, 90, 90, 90}, 12), kCuKa1};
}

bool waitFor(QSignalSpy& spy) { return !spy.isEmpty() || spy.wait(kWait); }

template <class T>
T* child(QObject* parent, const char* name) {
  T* found = parent->findChild<T*>(name);
  if (!found) qFatal("no child %s", name);
  return found;
}

void typeInto(QAbstractSpinBox* spin, const char* text) {
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, text);
  spin->interpretText();
}

}  // namespace

class IndexDialogTest : public QObject {
  Q_OBJECT

  QStringList warnings;
  testing_support::AnsweringDialogs dialogs;

 private slots:
  void initTestCase() {
    dialogs.onWarn = [this](QWidget*, const QString& text) { warnings << text; };
    obrin::ui::setUserDialogs(&dialogs);
  }
  void init() { warnings.clear(); }

  void limitsStartAtTheirDefaultsAndRefuseValuesOutOfRange() {
    int calls = 0;
    IndexDialog dialog(nullptr, [&calls](const obrin::PeakList&, double, const obrin::IndexingOptions&) {
      ++calls;
      return obrin::Result<obrin::IndexingResult>(searched(false));
    });
    dialog.setProblem(someProblem());
    dialog.show();
    const obrin::IndexingOptions defaults = dialog.options();
    QCOMPARE(defaults.lines, obrin::kDefaultIndexingLines);
    QCOMPARE(defaults.tolerance, obrin::kDefaultIndexingTolerance);
    QCOMPARE(defaults.maxVolume, obrin::kDefaultIndexingMaxVolume);
    QCOMPARE(defaults.impurities, obrin::kDefaultIndexingImpurities);
    QCOMPARE(defaults.zeroRange, obrin::kDefaultIndexingZeroRange);
    QCOMPARE(defaults.systems.size(), std::size_t{obrin::kSystemCount});

    // Typed beyond its bound, a field refuses the keystroke that crosses it; within it, it takes
    // the value typed.
    const struct {
      const char* field;
      const char* beyond;
      const char* within;
      double taken;
    } fields[] = {{"linesSpin", "100", "25", 25}, {"toleranceSpin", "0.9", "0.05", 0.05},
                  {"volumeSpin", "99999", "1200", 1200}, {"zeroSpin", "5", "0.25", 0.25}};
    for (const auto& f : fields) {
      auto* spin = child<QAbstractSpinBox>(&dialog, f.field);
      typeInto(spin, f.beyond);
      const double value = spin->property("value").toDouble();
      QVERIFY(value != QString(f.beyond).toDouble());
      QVERIFY(value >= spin->property("minimum").toDouble() && value <= spin->property("maximum").toDouble());
      typeInto(spin, f.within);
      QCOMPARE(spin->property("value").toDouble(), f.taken);
    }
    // Fewer lines allow fewer impurities, and the value follows its bound down.
    child<QSpinBox>(&dialog, "impuritiesSpin")->setValue(10);
    child<QSpinBox>(&dialog, "linesSpin")->setValue(3);
    QCOMPARE(dialog.options().lines, obrin::kMinIndexingLines);
    QCOMPARE(dialog.options().impurities, (obrin::kMinIndexingLines - 1) / 2);
    child<QDoubleSpinBox>(&dialog, "toleranceSpin")->setValue(0);
    QVERIFY(dialog.options().tolerance > 0);

    // No system checked is refused, not searched as "every system".
    for (QCheckBox* check : dialog.findChildren<QCheckBox*>()) check->setChecked(false);
    dialog.search();
    QVERIFY(!dialog.busy());
    QCOMPARE(calls, 0);
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().contains("at least one crystal system"));
    child<QCheckBox>(&dialog, "systemCheck_MONO")->setChecked(true);
    QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
    dialog.search();
    QVERIFY(waitFor(finished));
    QCOMPARE(calls, 1);
    // Without peaks nothing is searched.
    dialog.setProblem({{}, kCuKa1});
    dialog.search();
    QCOMPARE(calls, 1);
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().startsWith("No peaks to index"));
  }

  void aSearchFillsTheCandidatesInOrderWithRelatedCellsUnderThem() {
    obrin::IndexingResult r = searched(true);
    r.solutions.push_back(solution(CrystalSystem::Cubic, 'F', "cF", {5.4309, 5.4309, 5.4309, 90, 90, 90}, 152.3, true));
    r.solutions[0].cellSu = {0.00004, 0.00004, 0.00004, 0, 0, 0};
    obrin::RelatedCell sub;
    sub.relation = obrin::RelatedCell::Relation::SubCell;
    sub.system = CrystalSystem::Rhombohedral;
    sub.lattice = "hR";
    sub.cell = {3.8402, 3.8402, 3.8402, 60, 60, 60};
    sub.volume = 40.05;
    r.solutions[0].related.push_back(sub);
    r.solutions.push_back(solution(CrystalSystem::Tetragonal, 'I', "tI", {3.8402, 3.8402, 5.4309, 90, 90, 90}, 40.1, true));
    r.solutions.push_back(solution(CrystalSystem::Orthorhombic, 'P', "oP", {3.1, 4.2, 5.3, 90, 90, 90}, 8.2, false));
    r.solutions[1].higherMetric = CrystalSystem::Cubic;

    IndexDialog dialog(nullptr, answering(r));
    QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
    int chosen = 0;
    std::string chosenLattice;
    connect(&dialog, &IndexDialog::cellChosen, &dialog, [&](const obrin::IndexingSolution& s) {
      ++chosen;
      chosenLattice = s.lattice;
    });
    dialog.setProblem(someProblem());
    child<QPushButton>(&dialog, "searchButton")->click();
    QVERIFY(waitFor(finished));

    auto* tree = child<QTreeWidget>(&dialog, "candidateTree");
    QCOMPARE(tree->topLevelItemCount(), 3);
    const char* lattices[] = {"cF", "tI", "oP"};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(tree->topLevelItem(i)->text(0), QString::number(i + 1));
      QCOMPARE(tree->topLevelItem(i)->text(2), QString(lattices[i]));
    }
    QTreeWidgetItem* best = tree->topLevelItem(0);
    QCOMPARE(best->text(3), QString("5.43090(4)"));
    QCOMPARE(best->text(5), QString("5.43090(4)"));  // c follows a
    QCOMPARE(best->text(6), QString("90"));
    QCOMPARE(best->text(11), QString("152.3"));
    QCOMPARE(best->text(12), QString("304.6 (20)"));
    QCOMPARE(best->text(13), QString("20/20"));
    // The sub-cell is under its solution, not a rival of it, and cannot be chosen.
    QCOMPARE(best->childCount(), 1);
    QVERIFY(best->child(0)->text(1).contains("sub-cell"));
    QCOMPARE(best->child(0)->text(2), QString("hR"));
    QVERIFY(!(best->child(0)->flags() & Qt::ItemIsSelectable));
    QVERIFY(best->toolTip(1).contains("sub-cell"));
    QVERIFY(tree->topLevelItem(1)->text(14).contains("metric looks cubic"));
    QVERIFY(tree->topLevelItem(2)->text(14).contains("not indexed"));

    const QString summary = child<QLabel>(&dialog, "summaryLabel")->text();
    QVERIFY(summary.contains("Searched cubic, tetragonal, othorhombic;"));
    QVERIFY(summary.contains("2500 Å³") && summary.contains("0.030°") && summary.contains("first 20 lines"));
    QVERIFY(summary.contains("The search finished"));
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().startsWith("Indexed: Cubic cF"));

    // The best is selected; Use cell and a double-click hand over the row's solution, a related
    // row's double-click nothing.
    QCOMPARE(tree->currentItem(), best);
    auto* use = child<QPushButton>(&dialog, "useButton");
    QVERIFY(use->isEnabled());
    tree->setCurrentItem(tree->topLevelItem(1));
    use->click();
    QCOMPARE(chosen, 1);
    QCOMPARE(chosenLattice, std::string("tI"));
    emit tree->itemDoubleClicked(best, 0);
    QCOMPARE(chosen, 2);
    QCOMPARE(chosenLattice, std::string("cF"));
    tree->setCurrentItem(best->child(0));
    QVERIFY(!use->isEnabled());
    emit tree->itemDoubleClicked(best->child(0), 0);
    QCOMPARE(chosen, 2);

    // New peaks: the candidates of the old ones go.
    dialog.setProblem({linesAsPeaks(CrystalSystem::Cubic, "F M -3 M (225)", {5, 5, 5, 90, 90, 90}, 12), kCuKa1});
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(!dialog.result());
  }

  void nothingPassingSaysThePatternWasNotIndexed() {
    obrin::IndexingResult r = searched(false);
    r.complete = false;
    r.notes.push_back("The triclinic search stopped at its limit of trial cells");
    r.solutions.push_back(solution(CrystalSystem::Monoclinic, 'P', "mP", {7.1, 5.2, 9.3, 90, 101.5, 90}, 6.4, false));
    r.solutions.push_back(solution(CrystalSystem::Triclinic, 'P', "aP", {5.1, 6.2, 7.3, 81, 95, 102}, 4.1, false));
    IndexDialog dialog(nullptr, answering(r));
    QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
    dialog.setProblem(someProblem());
    dialog.search();
    QVERIFY(waitFor(finished));
    const QString verdict = child<QLabel>(&dialog, "messageLabel")->text();
    QVERIFY(verdict.startsWith("The pattern was not indexed"));
    QVERIFY(verdict.contains("best tries"));
    const QString summary = child<QLabel>(&dialog, "summaryLabel")->text();
    QVERIFY(summary.contains("did not finish"));
    QVERIFY(summary.contains("limit of trial cells"));
    auto* tree = child<QTreeWidget>(&dialog, "candidateTree");
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(2), QString("mP"));
    // The tries are not offered as an answer: none is selected.
    QVERIFY(!dialog.selectedSolution());
    QVERIFY(!child<QPushButton>(&dialog, "useButton")->isEnabled());

    // Nothing at all found, and a refusal, each said plainly.
    obrin::IndexingResult none = searched(false);
    dialog.setSearch(answering(none));
    finished.clear();
    dialog.search();
    QVERIFY(waitFor(finished));
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().contains("No cell came near"));
    QCOMPARE(tree->topLevelItemCount(), 0);
    dialog.setSearch([](const obrin::PeakList&, double, const obrin::IndexingOptions&) -> obrin::Result<obrin::IndexingResult> {
      return obrin::fail("Too few peaks to index: 5, at least 8");
    });
    finished.clear();
    dialog.search();
    QVERIFY(waitFor(finished));
    QCOMPARE(child<QLabel>(&dialog, "messageLabel")->text(), QString("Too few peaks to index: 5, at least 8"));
    QVERIFY(!dialog.result());
  }

  void cancelStopsASlowSearchAndTheDialogStaysUsable() {
    SlowSearch slow;
    IndexDialog dialog(nullptr, slow.search());
    QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
    dialog.setProblem(someProblem());
    dialog.show();
    dialog.search();
    QVERIFY(dialog.busy());
    auto* cancel = child<QPushButton>(&dialog, "cancelButton");
    QVERIFY(cancel->isVisible());
    QVERIFY(!child<QPushButton>(&dialog, "searchButton")->isEnabled());
    // The window's thread keeps running while the search does: its progress arrives.
    QTRY_VERIFY_WITH_TIMEOUT(child<QProgressBar>(&dialog, "progressBar")->value() > 0, kWait);
    QVERIFY(child<QLabel>(&dialog, "progressLabel")->text().contains("monoclinic"));
    if (const QByteArray shot = qgetenv("OBRIN_SCREENSHOT_INDEX_BUSY"); !shot.isEmpty()) {
      dialog.resize(1100, 400);
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QVERIFY(dialog.grab().save(QString::fromLocal8Bit(shot)));
    }
    QVERIFY(dialog.busy());
    // A second Search while one runs starts nothing.
    dialog.search();
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(waitFor(finished));
    QCOMPARE(finished.count(), 1);
    QVERIFY(slow.sawCancel);
    QVERIFY(!dialog.busy());
    QVERIFY(!cancel->isVisible());
    QVERIFY(child<QLabel>(&dialog, "summaryLabel")->text().contains("cancelled"));
    QCOMPARE(child<QTreeWidget>(&dialog, "candidateTree")->topLevelItemCount(), 1);

    // Searched again, it answers.
    obrin::IndexingResult r = searched(true);
    r.solutions.push_back(solution(CrystalSystem::Cubic, 'P', "cP", {4, 4, 4, 90, 90, 90}, 80, true));
    dialog.setSearch(answering(r));
    QVERIFY(child<QPushButton>(&dialog, "searchButton")->isEnabled());
    finished.clear();
    child<QPushButton>(&dialog, "searchButton")->click();
    QVERIFY(waitFor(finished));
    QVERIFY(!child<QLabel>(&dialog, "summaryLabel")->text().contains("cancelled"));
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().startsWith("Indexed"));
  }

  void closingOrDeletingTheDialogDuringASearchStopsIt() {
    {
      SlowSearch slow;
      IndexDialog dialog(nullptr, slow.search());
      QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
      dialog.setProblem(someProblem());
      dialog.show();
      dialog.search();
      QTRY_VERIFY_WITH_TIMEOUT(slow.calls > 0, kWait);
      dialog.close();
      QVERIFY(!dialog.isVisible());
      QVERIFY(waitFor(finished));
      QVERIFY(slow.sawCancel);
      QVERIFY(!dialog.busy());
      // Escape closes it as well, and cancels too.
      slow.sawCancel = false;
      dialog.show();
      finished.clear();
      dialog.search();
      QTRY_VERIFY_WITH_TIMEOUT(slow.calls > 0 && dialog.busy(), kWait);
      QTest::keyClick(&dialog, Qt::Key_Escape);
      QVERIFY(waitFor(finished));
      QVERIFY(slow.sawCancel);
    }
    {
      // Deleted with its window mid-search, it waits for the search to stop.
      SlowSearch slow;
      auto* window = new QWidget;
      auto* dialog = new IndexDialog(window, slow.search());
      dialog->setProblem(someProblem());
      dialog->search();
      QTRY_VERIFY_WITH_TIMEOUT(slow.calls > 0, kWait);
      delete window;
      QVERIFY(slow.sawCancel);
      const int calls = slow.calls;
      QTest::qWait(20);
      QCOMPARE(slow.calls.load(), calls);
    }
  }

  void theGroupOfALatticeIsItsFirstGroupThinnedOnlyByTheCentring() {
    const struct {
      CrystalSystem system;
      char centring;
      const char* group;
    } cases[] = {
        {CrystalSystem::Cubic, 'P', "P 2 3 (195)"},        {CrystalSystem::Cubic, 'F', "F 2 3 (196)"},
        {CrystalSystem::Cubic, 'I', "I 2 3 (197)"},        {CrystalSystem::Tetragonal, 'I', "I 4 (79)"},
        {CrystalSystem::Orthorhombic, 'C', "C 2 2 2 (21)"}, {CrystalSystem::Orthorhombic, 'A', "A 2 2 2 (21)"},
        {CrystalSystem::Orthorhombic, 'F', "F 2 2 2 (22)"}, {CrystalSystem::Orthorhombic, 'I', "I 2 2 2 (23)"},
        {CrystalSystem::Hexagonal, 'P', "P 3 (143)"},      {CrystalSystem::Hexagonal, 'R', "R 3 (146)"},
        {CrystalSystem::Rhombohedral, 'R', "R 3 (146)"},   {CrystalSystem::Rhombohedral, 'P', "R 3 (146)"},
        {CrystalSystem::Monoclinic, 'C', "C 2 (5)"},       {CrystalSystem::Monoclinic, 'I', "I 2 (5)"},
        {CrystalSystem::Triclinic, 'P', "P 1 (1)"},
    };
    for (const auto& c : cases)
      QCOMPARE(latticeGroupName(positionFile(c.system), c.system, c.centring), std::optional<std::string>(c.group));
    QVERIFY(!latticeGroupName(positionFile(CrystalSystem::Cubic), CrystalSystem::Cubic, 'C'));
    QVERIFY(!latticeGroupName("no such file.pos", CrystalSystem::Cubic, 'P'));
  }

  void useCellPutsTheCandidateIntoTheMainWindowAndRanksItsGroups() {
    TForm1 form;
    form.setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.show();
    form.findChild<QLineEdit*>("Edit8")->setText("1.5406");
    form.findChild<QLineEdit*>("Edit10")->setText("50");
    const obrin::UnitCell cell{9.512, 5.604, 7.218, 90, 104.83, 90};
    pattern.setPeakList(linesAsPeaks(CrystalSystem::Monoclinic, "C 2 (5)", cell, 24));

    pattern.findChild<QPushButton*>("indexButton")->click();
    QCOMPARE(warnings, QStringList{});
    IndexDialog* dialog = form.indexDialog();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(dialog->findChild<QLabel*>("problemLabel")->text().contains("24 peaks"));
    obrin::IndexingResult r = searched(true);
    obrin::IndexingSolution s = solution(CrystalSystem::Monoclinic, 'C', "mC", cell, 95.2, true);
    s.cellSu = {0.0004, 0.0003, 0.0005, 0, 0.004, 0};
    s.zero = 0.021;
    s.refinement.system = CrystalSystem::Monoclinic;
    s.refinement.cell = cell;
    s.refinement.zero = 0.021;
    s.refinement.zeroRefined = true;
    s.refinement.lambda = kCuKa1;
    s.refinement.lines.resize(24);
    s.volume = 371.93;
    s.volumeSu = 0.05;
    s.zeroSu = 0.003;
    s.lines = s.indexed = 24;
    s.fN = figure(210.3, 24);
    obrin::RelatedCell super;
    super.relation = obrin::RelatedCell::Relation::SuperCell;
    super.system = CrystalSystem::Monoclinic;
    super.lattice = "mP";
    super.cell = {9.512, 11.208, 7.218, 90, 104.83, 90};
    super.volume = 743.86;
    super.m20 = 47.6;
    s.related.push_back(super);
    r.solutions.push_back(s);
    // Tries that explain fewer lines come after it, marked as not indexing the pattern.
    r.solutions.push_back(solution(CrystalSystem::Orthorhombic, 'P', "oP", {7.218, 9.512, 10.842, 90, 90, 90}, 9.1, false));
    r.solutions.back().volume = 744.38;
    r.solutions.push_back(solution(CrystalSystem::Triclinic, 'P', "aP", {5.604, 5.721, 7.218, 75.2, 104.8, 119.3}, 7.4, false));
    r.solutions.back().volume = 186.2;
    for (std::size_t i = 1; i < r.solutions.size(); ++i) {
      r.solutions[i].lines = 24;
      r.solutions[i].indexed = 22 - static_cast<int>(i);
    }
    r.systems.push_back(CrystalSystem::Hexagonal);
    r.systems.push_back(CrystalSystem::Rhombohedral);
    r.systems.push_back(CrystalSystem::Monoclinic);
    r.systems.push_back(CrystalSystem::Triclinic);
    dialog->setSearch(answering(r));
    QSignalSpy finished(dialog, &IndexDialog::searchFinished);
    dialog->search();
    QVERIFY(waitFor(finished));
    QVERIFY(dialog->findChild<QLabel*>("summaryLabel")->text().startsWith("Searched every system, cubic to triclinic;"));
    const QTreeWidgetItem* superCell = dialog->findChild<QTreeWidget*>("candidateTree")->topLevelItem(0)->child(0);
    QCOMPARE(superCell->text(14), QString("V × 2 of the solution's"));
    dialog->findChild<QPushButton*>("useButton")->click();

    QCOMPARE(warnings, QStringList{});
    QCOMPARE(form.calculationState().system, std::optional{CrystalSystem::Monoclinic});
    const char* fields[] = {"Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "edit7"};
    const char* texts[] = {"9.51200", "5.60400", "7.21800", "90", "104.8300", "90"};
    for (int i = 0; i < 6; ++i) QCOMPARE(form.findChild<QLineEdit*>(fields[i])->text(), QString(texts[i]));
    const auto* groups = form.findChild<QListWidget*>("ListBox3");
    QVERIFY(groups->currentItem());
    QCOMPARE(groups->currentItem()->text().trimmed(), QString("C 2 (5)"));
    QCOMPARE(form.calculationState().groupName, std::string("C 2 (5)"));
    QVERIFY(!form.calculationState().list.empty());
    QCOMPARE(pattern.plot()->lines().size(), form.calculationState().list.size());
    // The candidate's zero shift comes with it, as a refined cell's does.
    QVERIFY(form.refinement());
    QCOMPARE(pattern.zeroShift(), 0.021);
    // And the space groups of its lattice are ranked next.
    SpaceGroupDialog* ranking = form.spaceGroupDialog();
    QVERIFY(ranking && ranking->isVisible());
    QSignalSpy ranked(ranking, &SpaceGroupDialog::rankingFinished);
    QVERIFY(!ranking->busy() || ranked.wait(kWait));
    QVERIFY(ranking->ranking());

  }

  // The program's own search on a simulated list: the tetragonal cell it was made from comes
  // first, and is the one Use cell hands over.
  void theSearchFindsTheCellOfASimulatedList() {
    obrin::testing::Simulation sim;
    sim.zero = 0.04;
    sim.dropped = 2;
    sim.impurities = 1;
    const obrin::UnitCell truth{3.785, 3.785, 9.514, 90, 90, 90};
    IndexDialog dialog;
    QSignalSpy finished(&dialog, &IndexDialog::searchFinished);
    QVERIFY(dialog.setProblem({obrin::testing::simulatedPeaks({CrystalSystem::Tetragonal, "I 41/A M D (141)", truth}, sim),
                               obrin::testing::kSimulatedLambda}));
    child<QPushButton>(&dialog, "searchButton")->click();
    QVERIFY(waitFor(finished));
    QVERIFY(dialog.result() && dialog.result()->indexed);
    const obrin::IndexingSolution* best = dialog.selectedSolution();
    QVERIFY(best);
    QCOMPARE(best->lattice, std::string("tI"));
    QVERIFY(std::abs(best->cell.a - truth.a) < 0.002 && std::abs(best->cell.c - truth.c) < 0.005);
    QVERIFY(child<QLabel>(&dialog, "messageLabel")->text().startsWith("Indexed: Tetragonal tI"));
    if (const QByteArray shot = qgetenv("OBRIN_SCREENSHOT_INDEX"); !shot.isEmpty()) {
      dialog.resize(1100, 560);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QVERIFY(dialog.grab().save(QString::fromLocal8Bit(shot)));
    }
  }

  void aLambdaThatIsNoNumberIsRefusedBeforeTheDialogOpens() {
    TForm1 form;
    PatternWindow pattern;
    form.setPatternWindow(&pattern);
    form.findChild<QLineEdit*>("Edit8")->setText("x");
    pattern.findChild<QPushButton*>("indexButton")->click();
    QCOMPARE(warnings, QStringList{" Error on lambda"});
    QVERIFY(!form.indexDialog());
  }
};

QTEST_MAIN(IndexDialogTest)
#include "index_dialog_test.moc"
