// File > Import CIF... of the main window: the block choice, the system, group and cell it
// sets, the intensities of the list, and a refused file that leaves the window as it was.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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
    dialogs.onChooseItem = [this](QWidget*, const QString&, const QStringList& items) {
      offeredBlocks = items;
      return blockAnswer;
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
    QCOMPARE(offeredBlocks, (QStringList{"NaCl", "Si"}));
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 0);  // cubic
    QCOMPARE(w<QListWidget>("ListBox3")->currentItem()->text(), QString("F D -3 M (227)"));
    QCOMPARE(w<QLineEdit>("Edit2")->text().toDouble(), 5.43088);
    QVERIFY(w<QLabel>("LabelStructure")->text().contains("ions scatter as neutral atoms"));

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

  void settingOutsideThePositionFilesIsSaidInOneLineAndCalculated() {
    importCif(dir.filePath("c.cif"));
    QVERIFY(w<QLabel>("LabelStructure")->text().contains("is not in the position files"));
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 6);  // triclinic: no ties on the cell
    w<QLineEdit>("Edit8")->setText("1.5406");
    w<QPushButton>("Button1")->click();
    QCOMPARE(warnings, QStringList{});
    QVERIFY(w<QListView>("ListBox1")->model()->rowCount() > 0);
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
