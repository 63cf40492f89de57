// The main window's actions on the library: the three calculations, the θ/2θ redisplay, the
// report and spreadsheet windows, and the cell files through replaced dialogs.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include "Unit3.h"
#include "Unit8.h"
#include "calc/display.hpp"
#include "dialogs.h"
#include "main.h"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

class MainActionsTest : public QObject {
  Q_OBJECT

  testing_support::AnsweringDialogs dialogs_;

  TForm1* form = nullptr;
  QStringList warnings;
  QTemporaryDir dir;  // position files and cell files
  QString openAnswer, saveAnswer;
  QStringList questions;
  QMessageBox::StandardButton questionAnswer = QMessageBox::Yes;

  template <class W = QLineEdit>
  W* w(const char* name) {
    auto* found = form->findChild<W*>(name);
    if (!found) qFatal("no widget %s", name);
    return found;
  }
  QLineEdit* e(const char* name) { return w<QLineEdit>(name); }
  void click(const char* button) { w<QPushButton>(button)->click(); }

  QStringList shownLines() {
    QStringList lines;
    const auto* model = w<QListView>("ListBox1")->model();
    for (int i = 0; i < model->rowCount(); ++i) lines << model->index(i, 0).data().toString();
    return lines;
  }
  QStringList expectedLines(obrin::AngleMode mode) {
    QStringList lines;
    for (const auto& line : obrin::resultLines(form->calculationState().list, mode))
      lines << QString::fromStdString(line);
    return lines;
  }

  // A cubic cell of 4 Å with the group of the given row ("P m" primitive, "I m" body-centred).
  void cubicInput(int groupRow) {
    w<QListWidget>("ListBox2")->setCurrentRow(0);
    w<QListWidget>("ListBox3")->setCurrentRow(groupRow);
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) e(name)->setText("4");
    for (const char* name : {"Edit5", "Edit6", "edit7"}) e(name)->setText("90");
    e("Edit8")->setText("1.5406");
    e("Edit9")->setText("5");
    e("Edit10")->setText("40");
  }
  static QString fileText(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
  void chooseMode(int row) { w<QListWidget>("CheckListBox1")->item(row)->setCheckState(Qt::Checked); }

 private slots:
  void initTestCase() {
    obrin::ui::setUserDialogs(&dialogs_);
    QVERIFY(dir.isValid());
    dialogs_.onWarn = ([this](QWidget*, const QString& text) { warnings << text; });
    dialogs_.onOpenFileName = ([this](QWidget*, const QString& filter) {
      questions << "open " + filter;
      return openAnswer;
    });
    dialogs_.onSaveFileName = ([this](QWidget*, const QString& filter) {
      questions << "save " + filter;
      return saveAnswer;
    });
    dialogs_.onQuestion = ([this](QWidget*, const QString& text) {
      questions << text;
      return questionAnswer;
    });
    std::ofstream(dir.filePath("C.pos").toStdString())
        << "Test groups\n\nP m\n1\n2\nx,y,z\n-x,-y,-z\n0\n\nI m\n2\n2\nx,y,z\n-x,-y,-z\n0\n";
  }

  void init() {
    warnings.clear();
    questions.clear();
    form = new TForm1;
    form->setPositionFileDirectories({dir.path().toStdString()});
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
  }

  void cleanup() {
    delete form;
    form = nullptr;
  }

  void powderListAndItsRedisplay() {
    cubicInput(0);
    click("Button1");
    QCOMPARE(warnings, QStringList{});
    const QStringList theta = shownLines();
    QVERIFY(!theta.isEmpty());
    QCOMPARE(theta, expectedLines(obrin::AngleMode::Theta));
    QVERIFY2(theta[0].contains("  4.000  11.103"), qPrintable(theta[0]));
    QCOMPARE(e("Edit11")->text(), QString("Nb of calculated reflections: %1").arg(theta.size()));
    QVERIFY(e("Edit11")->isVisible());

    w<QRadioButton>("RadioButtonTwoTheta")->click();
    QCOMPARE(shownLines(), expectedLines(obrin::AngleMode::TwoTheta));
    QVERIFY(shownLines()[0].contains("  4.000  22.206"));
    QVERIFY(e("Edit11")->text().isEmpty());
    QVERIFY(e("Edit11")->isVisible());
    w<QRadioButton>("RadioButtonTheta")->click();
    QCOMPARE(shownLines(), theta);
  }

  void refusedCalculationKeepsThePreviousLines() {
    cubicInput(0);
    click("Button1");
    const QStringList before = shownLines();
    e("Edit8")->setText("0");
    click("Button1");
    QCOMPARE(warnings, QStringList{"Error. No lambda!"});
    QCOMPARE(shownLines(), before);

    warnings.clear();
    e("Edit8")->setText("1,5");  // the input check comes first
    click("Button1");
    QCOMPARE(warnings, QStringList{" Error on lambda"});
    QCOMPARE(shownLines(), before);
  }

  void selectedGroupIsReadOnceForAllItsCalculations() {
    QTemporaryDir own;
    QVERIFY(QFile::copy(dir.filePath("C.pos"), own.filePath("C.pos")));
    form->setPositionFileDirectories({own.path().toStdString()});
    cubicInput(0);
    click("Button1");
    const QStringList first = shownLines();
    QVERIFY(!first.isEmpty());
    // Without the file the same selection still calculates: its group was kept.
    QVERIFY(QFile::remove(own.filePath("C.pos")));
    click("Button1");
    w<QLineEdit>("edit18")->setText("1");
    w<QLineEdit>("edit19")->setText("1");
    w<QLineEdit>("Edit20")->setText("0");
    click("Button3");
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(" | ")));
    QCOMPARE(shownLines(), first);
    // Choosing a group again reads its file again.
    w<QListWidget>("ListBox3")->setCurrentRow(1);
    click("Button1");
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].startsWith("C.pos: the position file cannot be read"), qPrintable(warnings[0]));
  }

  void noGroupNoCalculation() {
    cubicInput(0);
    w<QListWidget>("ListBox3")->clearSelection();
    click("Button1");
    QCOMPARE(warnings, QStringList{"Error on space group"});
    QCOMPARE(shownLines(), QStringList{});
  }

  void singleCrystalList() {
    cubicInput(0);
    chooseMode(1);
    for (const char* name : {"ed12", "ed13", "ed14", "ed15"}) e(name)->clear();
    e("ed16")->setText("1");
    e("ed17")->setText("2");
    click("Button2");
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(shownLines(), expectedLines(obrin::AngleMode::Theta));
    QCOMPARE(shownLines().size(), 2);
    QVERIFY(shownLines()[0].startsWith("  0  0  1"));
    QCOMPARE(e("ed12")->text(), QString("0"));  // empty limits read as 0 and say so
    QCOMPARE(e("Edit11")->text(), QString("Nb of calculated reflections: 2"));

    for (const char* name : {"ed16", "ed17"}) e(name)->clear();
    click("Button2");
    QCOMPARE(warnings, QStringList{"Miller indices error"});
    QCOMPARE(shownLines().size(), 2);
  }

  void braggEquation() {
    cubicInput(1);  // body-centred: 1 0 0 is forbidden, 1 1 0 allowed
    chooseMode(2);
    e("edit18")->setText("1");
    e("edit19")->setText("1");
    e("Edit20")->clear();
    click("Button3");
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(e("Edit20")->text(), QString("0"));
    QCOMPARE(e("Edit21")->text(), QString("  2.8284"));
    QCOMPARE(e("Edit22")->text(), QString("  15.804"));
    QVERIFY(!w<QLabel>("Label29")->isVisible());

    // Leaving the l field computes as well.
    e("Edit20")->setFocus(Qt::MouseFocusReason);
    e("edit19")->setText("0");
    w<QPushButton>("BitBtn6")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(e("Edit22")->text(), QString("  11.103 F"));
    QVERIFY(w<QLabel>("Label29")->isVisible());
    QCOMPARE(e("Edit22")->palette().color(QPalette::Text), QColor(128, 128, 128));

    w<QRadioButton>("RadioButtonTwoTheta")->click();
    click("Button3");
    QCOMPARE(e("Edit22")->text(), QString("  22.206 F"));

    e("edit18")->setText("0");
    e("edit19")->setText("0");
    e("Edit20")->setText("0");
    e("Edit21")->setText("kept");
    click("Button3");  // 0 0 0: nothing at all
    QCOMPARE(e("Edit21")->text(), QString("kept"));

    e("edit18")->setText("9");
    click("Button3");
    QCOMPARE(warnings, QStringList{"Not possible reflection"});
    warnings.clear();
    e("edit18")->setText("x");
    e("Edit20")->setText("1");
    click("Button3");
    QCOMPARE(warnings, QStringList{"Bad Miller indices"});
  }

  void braggAngleFollowsItsLabel() {
    cubicInput(0);
    chooseMode(2);
    for (const char* name : {"edit18", "edit19", "Edit20"}) e(name)->setText("1");
    click("Button3");
    QCOMPARE(e("Edit22")->text(), QString("  19.484"));  // asin(1.5406 / (2 * 4 / sqrt 3))
    w<QRadioButton>("RadioButtonTwoTheta")->click();
    QCOMPARE(e("Edit22")->text(), QString("  38.969"));
    w<QRadioButton>("RadioButtonTheta")->click();
    QCOMPARE(e("Edit22")->text(), QString("  19.484"));
  }

  void refusedReflectionEmptiesTheOutputs() {
    cubicInput(0);
    chooseMode(2);
    e("edit18")->setText("2");
    e("edit19")->setText("0");
    e("Edit20")->setText("0");
    click("Button3");
    QVERIFY(!e("Edit21")->text().isEmpty());
    for (const char* name : {"edit18", "edit19", "Edit20"}) e(name)->setText("9");
    click("Button3");
    QCOMPARE(warnings, QStringList{"Not possible reflection"});
    QVERIFY(e("Edit21")->text().isEmpty() && e("Edit22")->text().isEmpty());
    QVERIFY(!w<QLabel>("Label29")->isVisible());

    for (const char* name : {"edit18", "edit19", "Edit20"}) e(name)->setText("1");
    click("Button3");
    QVERIFY(!e("Edit21")->text().isEmpty());
    e("edit18")->setText("x");
    click("Button3");
    QVERIFY(e("Edit21")->text().isEmpty() && e("Edit22")->text().isEmpty());
  }

  // Enter presses the Calc. of the field's panel, after the field's own exit check.
  void enterComputes() {
    cubicInput(0);
    e("Edit2")->setFocus(Qt::MouseFocusReason);
    e("Edit2")->setText("5");
    QTest::keyClick(e("Edit2"), Qt::Key_Return);
    QCOMPARE(e("Edit4")->text(), e("Edit2")->text());  // the tied fields are copied first
    QCOMPARE(form->calculationState().cell.c, 5.0);
    const QStringList powder = shownLines();
    QVERIFY(!powder.isEmpty());

    chooseMode(1);
    for (const char* name : {"ed12", "ed14", "ed16"}) e(name)->setText("0");
    for (const char* name : {"ed13", "ed15", "ed17"}) e(name)->setText("1");
    QTest::keyClick(e("ed17"), Qt::Key_Enter);
    QVERIFY(!shownLines().isEmpty());
    QVERIFY(shownLines() != powder);  // the single-crystal list, each reflection once

    chooseMode(2);
    e("edit18")->setText("2");
    e("edit19")->setText("0");
    e("Edit20")->setText("0");
    QTest::keyClick(e("edit18"), Qt::Key_Return);
    QCOMPARE(e("Edit21")->text(), QString("  2.5000"));  // a / 2
    QCOMPARE(warnings, QStringList{});
  }

  // Tab never stops on a field the user cannot type into.
  void tabSkipsReadOnlyFields() {
    cubicInput(0);
    chooseMode(2);
    for (const char* name : {"edit18", "edit19", "Edit20"}) e(name)->setText("1");
    click("Button3");
    e("Edit2")->setFocus(Qt::MouseFocusReason);
    for (int i = 0; i < 40; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
      QVERIFY2(!edit || !edit->isReadOnly(), qPrintable(edit ? edit->objectName() : QString()));
    }
  }

  void printAndSpreadsheetWindows() {
    auto choices = [this] { return form->mainWindowChoices(); };
    TForm3 results(form->calculationState(), choices);
    Tfexcel excel(form->calculationState(), choices);
    form->setResultsWindow(&results);
    form->setExcelWindow(&excel);
    click("BitBtn2");
    QVERIFY(!results.isVisible());  // nothing to print yet
    click("BitBtn5");
    QVERIFY(excel.isVisible());  // the spreadsheet window opens in any case
    excel.hide();

    cubicInput(0);
    click("Button1");
    click("BitBtn2");
    QVERIFY(results.isVisible());
    // The list is written with the mode it was calculated in, not the one chosen since.
    chooseMode(1);
    QCOMPARE(form->mainWindowChoices().mode, obrin::CalcMode::Powder);
    e("Edit2")->setFocus(Qt::MouseFocusReason);  // entering a field empties the list
    QCOMPARE(form->mainWindowChoices().mode, obrin::CalcMode::SingleCrystal);
    form->setResultsWindow(nullptr);
    form->setExcelWindow(nullptr);
  }

  // One File menu holds every file action: the button pops it up, and no menu bar repeats it.
  void fileMenu() {
    click("BitBtn1");
    auto* menu = form->findChild<QMenu*>("PopupMenu1");
    QVERIFY(menu->isVisible());
    const auto actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QString("&Import Cell"));
    QCOMPARE(actions[1]->text(), QString("Import CIF..."));
    QVERIFY(actions[2]->isSeparator());
    QCOMPARE(actions[3]->text(), QString("&Export cell"));
    QCOMPARE(form->findChildren<QMenu*>().size(), 1);
    const auto* bar = form->findChild<QMenuBar*>();
    QVERIFY(!bar || bar->actions().isEmpty());
    menu->hide();
  }

  void cellFileExportAndImport() {
    auto* exportCell = form->findChild<QAction*>("Export1");
    cubicInput(0);
    w<QListWidget>("ListBox3")->clearSelection();
    exportCell->trigger();
    QCOMPARE(warnings, QStringList{"No space group!"});
    QVERIFY(questions.isEmpty());

    warnings.clear();
    w<QListWidget>("ListBox3")->setCurrentRow(0);
    const QString base = dir.filePath("cell");
    QFile::remove(base + ".ind");
    saveAnswer = base;  // typed without its extension
    exportCell->trigger();
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(questions, QStringList{"save Fichiers maille (*.ind)"});
    QVERIFY(QFile::exists(base + ".ind"));
    QCOMPARE(form->statusBar()->currentMessage(), QString("File: cell.ind"));

    // The completed name exists now: the user is asked, and No leaves the file as it was.
    questions.clear();
    for (const char* name : {"Edit2", "Edit3", "Edit4"}) e(name)->setText("5");
    questionAnswer = QMessageBox::No;
    exportCell->trigger();
    QCOMPARE(questions, QStringList({"save Fichiers maille (*.ind)", "This file already exists. Do you want to continue?"}));
    QVERIFY(fileText(base + ".ind").contains("   4.0000"));
    questionAnswer = QMessageBox::Yes;
    exportCell->trigger();
    QVERIFY(fileText(base + ".ind").contains("   5.0000"));

    // Imported into a fresh window, the cell comes back with its system and group.
    cleanup();
    init();
    auto* import = form->findChild<QAction*>("Import1");
    openAnswer = QString();  // cancelled
    import->trigger();
    QCOMPARE(e("Edit2")->text(), QString());
    openAnswer = base + ".ind";
    import->trigger();
    QCOMPARE(warnings, QStringList{});
    QCOMPARE(questions.last(), QString("open Fichier de données (*.ind)"));
    QCOMPARE(e("Edit2")->text(), QString("  5.0000"));
    QCOMPARE(e("Edit4")->text(), QString("  5.0000"));
    QCOMPARE(e("Edit5")->text(), QString("  90.00"));
    QCOMPARE(e("Edit8")->text(), QString(" 1.54060"));
    QCOMPARE(e("Edit9")->text(), QString("  5.000"));
    QCOMPARE(e("Edit10")->text(), QString(" 40.000"));
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 0);
    QCOMPARE(w<QListWidget>("ListBox3")->currentItem()->text(), QString("P m"));
    QVERIFY(w<QListWidget>("ListBox3")->currentItem()->isSelected());
    QVERIFY(e("Edit3")->isReadOnly());
    QCOMPARE(form->statusBar()->currentMessage(), QString("File: cell.ind"));
    QCOMPARE(form->calculationState().cell.a, 5.0);

    // What was imported calculates at once.
    click("Button1");
    QCOMPARE(warnings, QStringList{});
    QVERIFY(shownLines()[0].contains("  5.000"));
  }

  void badCellFileIsRefused() {
    const QString bad = dir.filePath("bad.ind");
    std::ofstream(bad.toStdString()) << "title\nP M\nnot numbers\n";
    e("Edit2")->setText("kept");
    openAnswer = bad;
    form->findChild<QAction*>("Import1")->trigger();
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(e("Edit2")->text(), QString("kept"));
  }

  // A cell file the program is started with is imported without a dialog.
  void cellFileGivenByName() {
    const QString file = dir.filePath("named.ind");
    std::ofstream(file.toStdString()) << "title\nP m\n   4.2000   4.2000   4.2000  90.0000  90.0000  90.0000\n"
                                         "     5.000    40.000\n   1.54060  0.0  0.0  0.0  0.0\n";
    openAnswer = dir.filePath("not this one.ind");
    form->importCell(file);
    QCOMPARE(warnings, QStringList{});
    QVERIFY(questions.isEmpty());
    QCOMPARE(e("Edit2")->text(), QString("  4.2000"));
    QCOMPARE(w<QListWidget>("ListBox3")->currentItem()->text(), QString("P m"));
  }
};

QTEST_MAIN(MainActionsTest)
#include "main_actions_test.moc"
