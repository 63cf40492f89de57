// File > Import CIF... of the main window: the block choice, the system, group and cell it
// sets, the intensities of the list and the monochromator angle they take, and a refused file
// that leaves the window as it was.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "dialogs.h"
#include "main.h"
#include "tests/support/structures.hpp"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

class CifWindowTest : public QObject {
  Q_OBJECT

  TForm1* form = nullptr;
  QStringList warnings, offeredBlocks;
  QTemporaryDir dir;
  QString openAnswer, blockAnswer;
  testing_support::AnsweringDialogs dialogs;

  template <class W>
  W* w(const char* name) {
    auto* found = form->findChild<W*>(name);
    if (!found) qFatal("no widget %s", name);
    return found;
  }
  void importCif(const QString& file) {
    openAnswer = file;
    w<QAction>("ImportCif")->trigger();
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    dialogs.onWarn = [this](QWidget*, const QString& text) { warnings << text; };
    dialogs.onOpenFileName = [this](QWidget*, const QString&) { return openAnswer; };
    // The block whose description begins with the name in blockAnswer.
    dialogs.onChooseItem = [this](QWidget*, const QString&, const QStringList& items) {
      offeredBlocks = items;
      for (const QString& item : items)
        if (item.startsWith(blockAnswer + "  |")) return item;
      return QString();
    };
    obrin::ui::setUserDialogs(&dialogs);
    std::ofstream(dir.filePath("two.cif").toStdString())
        << obrin::testing_support::kNaClCif << obrin::testing_support::kSiliconCif;
    std::ofstream(dir.filePath("c.cif").toStdString()) << obrin::testing_support::kUniqueAxisCCif;
    std::ofstream(dir.filePath("bad.cif").toStdString()) << "data_x\n_cell_length_a 5\n";
  }

  void init() {
    warnings.clear();
    form = new TForm1;
    form->setPositionFileDirectories({std::filesystem::path(OBRIN_SOURCE_DIR) / "data"});
    form->show();
  }
  void cleanup() {
    delete form;
    form = nullptr;
  }

  void chosenBlockSetsTheInputsAndTheListCarriesIntensities() {
    blockAnswer = "Si";
    importCif(dir.filePath("two.cif"));
    QCOMPARE(warnings, QStringList{});
    // Each block with its formula, group and cell, to tell them apart.
    QCOMPARE(offeredBlocks, (QStringList{"NaCl  |  ?  |  F m -3 m  |  5.6402 5.6402 5.6402 90 90 90",
                                         "Si  |  ?  |  number 227  |  5.43088 5.43088 5.43088 90 90 90"}));
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 0);  // cubic
    QCOMPARE(w<QListWidget>("ListBox3")->currentItem()->text(), QString("F D -3 M (227)"));
    QCOMPARE(w<QLineEdit>("Edit2")->text().toDouble(), 5.43088);
    QVERIFY(w<QLabel>("LabelStructure")->text().contains("ions scatter as neutral atoms"));
    // What the import decided is said with it: Si at 0 0 0 of F d -3 m is in origin choice 1.
    QVERIFY2(w<QLabel>("LabelStructure")->text().contains("origin choice 1 is taken"),
             qPrintable(w<QLabel>("LabelStructure")->text()));

    w<QLineEdit>("Edit8")->setText("1.5406");
    w<QLineEdit>("Edit9")->setText("10");
    w<QLineEdit>("Edit10")->setText("30");
    w<QPushButton>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    const auto* list = w<QListView>("ListBox1")->model();
    QVERIFY(list->rowCount() >= 3);
    const QString first = list->index(0, 0).data().toString();
    QVERIFY2(first.endsWith("  100.0"), qPrintable(first));
    QVERIFY(w<QLabel>("Label10")->text().endsWith("I"));
  }

  // The polarisation factor with a monochromator, (1 + cos²2θ cos²2θm) / (1 + cos²2θm), over
  // the one without, (1 + cos²2θ) / 2, changes each line by a factor known by hand; the list is
  // scaled to its strongest line (111), so the ratio of 220 to 111 changes by their quotient.
  void monochromatorAngleReachesTheIntensities() {
    blockAnswer = "Si";
    importCif(dir.filePath("two.cif"));
    w<QLineEdit>("Edit8")->setText("1.54056");
    w<QLineEdit>("Edit9")->setText("10");
    w<QLineEdit>("Edit10")->setText("30");
    auto ratio220 = [this] {
      const auto& list = form->calculationState().list;
      return list[1].intensity / list[0].intensity;
    };
    w<QPushButton>("Button1")->click();
    const double plain = ratio220();
    auto* field = w<QLineEdit>("EditMonochromator");
    QCOMPARE(field->text(), QString("0"));
    field->selectAll();
    QTest::keyClicks(field, "26.6");
    QVERIFY(form->calculationState().list.empty());  // the shown list was for another angle
    w<QPushButton>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    auto factor = [](double twoTheta) {
      const double c = std::cos(twoTheta * M_PI / 180), m = std::cos(26.6 * M_PI / 180);
      return (1 + c * c * m * m) / (1 + c * c);
    };
    const auto& list = form->calculationState().list;
    const double expected = plain * factor(2 * list[1].theta) / factor(2 * list[0].theta);
    QVERIFY2(std::abs(ratio220() - expected) < 1e-4, qPrintable(QString::number(ratio220()) + " " + QString::number(expected)));

    for (const char* bad : {"180", "-1", "x"}) {
      field->setText(bad);
      w<QPushButton>("Button1")->click();
    }
    QCOMPARE(warnings, QStringList(3, "Error on monochromator angle"));
  }

  // The file is parsed once: gone by the time the block is chosen, it is still imported.
  void chosenBlockComesFromTheOneParse() {
    const QString copy = dir.filePath("once.cif");
    QFile::copy(dir.filePath("two.cif"), copy);
    auto answer = dialogs.onChooseItem;
    dialogs.onChooseItem = [&](QWidget* parent, const QString& label, const QStringList& items) {
      QFile::remove(copy);
      return answer(parent, label, items);
    };
    blockAnswer = "NaCl";
    importCif(copy);
    dialogs.onChooseItem = answer;
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(w<QLineEdit>("Edit2")->text().toDouble(), 5.6402);
  }

  void settingOutsideThePositionFilesIsSaidInOneLineAndCalculated() {
    importCif(dir.filePath("c.cif"));
    QVERIFY(w<QLabel>("LabelStructure")->text().contains("is not in the position files"));
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 6);  // triclinic: no ties on the cell
    w<QLineEdit>("Edit8")->setText("1.5406");
    w<QPushButton>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    QVERIFY(w<QListView>("ListBox1")->model()->rowCount() > 0);
  }

  // The atoms belong to the crystal they came with (aluminium typed after silicon would get
  // silicon's 200 and 222, both 0): another cell value, group or system drops them, and the note
  // says so; Drop structure does it at once.
  void structureBelongsToTheCrystalItCameWith() {
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    auto* label = w<QLabel>("LabelStructure");
    auto* groups = w<QListWidget>("ListBox3");
    auto chooseGroup = [groups](const char* name) {
      groups->setCurrentItem(groups->findItems(name, Qt::MatchExactly).value(0));
    };
    auto importSilicon = [&] {
      blockAnswer = "Si";
      importCif(dir.filePath("two.cif"));
      QVERIFY(form->calculationState().structure);
    };
    const QString held = "; its atoms hold for the crystal they came with.";

    importSilicon();
    QVERIFY2(label->text().startsWith("Structure Si"), qPrintable(label->text()));
    auto* a = w<QLineEdit>("Edit2");
    a->setFocus(Qt::MouseFocusReason);
    a->setText("4.0495");
    w<QPushButton>("BitBtn6")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(label->text(), "Structure Si dropped: a is 4.0495, not 5.43088" + held);
    chooseGroup("F M -3 M (225)");
    w<QLineEdit>("Edit8")->setText("1.54056");
    w<QLineEdit>("Edit9")->setText("10");
    w<QLineEdit>("Edit10")->setText("40");
    w<QPushButton>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    const auto& list = form->calculationState().list;
    QVERIFY(list.size() >= 4);
    for (const auto& line : list) QCOMPARE(line.intensity, 0.0);
    QVERIFY(!w<QLabel>("Label10")->text().endsWith("I"));

    importSilicon();
    chooseGroup("F M -3 M (225)");
    QCOMPARE(label->text(), "Structure Si dropped: the space group is F M -3 M (225), not F D -3 M (227)" + held);

    importSilicon();
    w<QListWidget>("ListBox2")->setCurrentRow(1);
    QCOMPARE(label->text(), "Structure Si dropped: the crystal system is Tetragonal, not Cubic" + held);
    QVERIFY(!form->calculationState().structure);

    // A value set without leaving the field is caught by the calculation.
    importSilicon();
    a->setText("5.5");
    w<QPushButton>("Button1")->click();
    QCOMPARE(label->text(), "Structure Si dropped: a is 5.5, not 5.43088" + held);
    for (const auto& line : form->calculationState().list) QCOMPARE(line.intensity, 0.0);

    importSilicon();
    auto* drop = w<QPushButton>("DropStructure");
    QVERIFY(drop->isVisible());
    drop->click();
    QVERIFY(!form->calculationState().structure);
    QCOMPARE(label->text(), QString());
    QVERIFY(!drop->isVisible());
    QCOMPARE(warnings, QStringList{});
  }

  // The group filter of another system's list would hide the imported group while Calc. uses
  // it: an import, and a list of another system, start unfiltered.
  void importShowsItsGroupWhateverTheFilter() {
    auto* filter = w<QLineEdit>("EditGroupFilter");
    auto* systems = w<QListWidget>("ListBox2");
    auto* groups = w<QListWidget>("ListBox3");
    systems->setCurrentRow(2);  // orthorhombic
    filter->setText("pnma");
    blockAnswer = "Si";
    importCif(dir.filePath("two.cif"));
    QCOMPARE(filter->text(), QString());
    QCOMPARE(groups->currentItem()->text(), QString("F D -3 M (227)"));
    QVERIFY(!groups->isRowHidden(groups->currentRow()));

    filter->setText("fd");
    systems->setCurrentRow(1);
    QCOMPARE(filter->text(), QString());
    for (int row = 0; row < groups->count(); ++row) QVERIFY(!groups->isRowHidden(row));

    // A cell file's group shows too.
    filter->setText("p 4");
    std::ofstream(dir.filePath("al.ind").toStdString())
        << "Al\nF M -3 M (225)\n   4.0495   4.0495   4.0495  90.0000  90.0000  90.0000\n     5.000    40.000\n"
           "   1.54056  0.0  0.0  0.0  0.0\n";
    form->importCell(dir.filePath("al.ind"));
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(filter->text(), QString());
    QCOMPARE(groups->currentItem()->text(), QString("F M -3 M (225)"));
    QVERIFY(!groups->isRowHidden(groups->currentRow()));
  }

  void refusedFileChangesNothing() {
    w<QLineEdit>("Edit2")->setText("7");
    importCif(dir.filePath("bad.cif"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains("bad.cif: no _cell_length_b"), qPrintable(warnings[0]));
    QCOMPARE(w<QLineEdit>("Edit2")->text(), QString("7"));
    QCOMPARE(w<QLabel>("LabelStructure")->text(), QString());
  }
};

QTEST_MAIN(CifWindowTest)
#include "cif_window_test.moc"
