// The main window driven through its real widgets: fields entered and left with the focus,
// lists clicked, warnings read through the warning seam.
#include <QApplication>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include "apropos.h"
#include "calc/display.hpp"
#include "main.h"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

using obrin::InputField;

// Counts the texts the view asks for.
class CountingProxy : public QIdentityProxyModel {
 public:
  mutable long long dataCalls = 0;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) ++dataCalls;
    return QIdentityProxyModel::data(index, role);
  }
};

class MainWindowTest : public QObject {
  Q_OBJECT

  testing_support::AnsweringDialogs dialogs_;

  TForm1* form = nullptr;
  QStringList warnings;
  QTemporaryDir positions;  // a one-group position file for every system

  template <class W = QLineEdit>
  W* w(const char* name) {
    auto* found = form->findChild<W*>(name);
    if (!found) qFatal("no widget %s", name);
    return found;
  }
  QLineEdit* e(const char* name) { return w<QLineEdit>(name); }

  // Moves the focus the way a user does; the About button is a place without side effects.
  void enter(QLineEdit* field) { field->setFocus(Qt::MouseFocusReason); }
  void leave() { w<QPushButton>("BitBtn6")->setFocus(Qt::MouseFocusReason); }
  void typeInto(QLineEdit* field, const QString& text) {
    enter(field);
    field->setText(text);
    leave();
  }
  void chooseSystem(int row) { w<QListWidget>("ListBox2")->setCurrentRow(row); }
  // A line in the result list, as a calculation leaves one.
  void showALine() {
    form->calculationState().list.push_back({});
    form->showResultList();
  }
  int shownRows() { return w<QListView>("ListBox1")->model()->rowCount(); }
  void fillValidInputs() {
    const char* names[] = {"Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "edit7", "Edit8", "Edit9", "Edit10"};
    const char* texts[] = {"4", "5", "6", "90", "100", "90", "1.5406", "5", "40"};
    for (int i = 0; i < 9; ++i) e(names[i])->setText(texts[i]);
  }

 private slots:
  void initTestCase() {
    obrin::ui::setUserDialogs(&dialogs_);
    dialogs_.onWarn = ([this](QWidget*, const QString& text) { warnings << text; });
    for (const char* name : {"C", "Q", "O", "H", "R", "M", "T"})
      std::ofstream(positions.filePath(QString(name) + ".pos").toStdString()) << "\nP 1\n1\n1\nx,y,z\n0\n";
  }

  void init() {
    warnings.clear();
    form = new TForm1;
    form->setPositionFileDirectories({positions.path().toStdString()});
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
  }

  void cleanup() {
    delete form;
    form = nullptr;
  }

  void startsWithItsDefaults() {
    QCOMPARE(form->windowTitle(), QString("OBRIN (08/03/03)"));
    QCOMPARE(e("Edit8")->text(), QString("1.5406"));
    QCOMPARE(e("Edit9")->text(), QString("5"));
    QCOMPARE(e("Edit10")->text(), QString("40"));
    QCOMPARE(form->calculationState().thetaMax, 20.0);
    QCOMPARE(w<QLabel>("Label10")->text(), QString("h  k  l    d    theta  Mult"));
    QVERIFY(w<QWidget>("Panel4")->isVisible());
    QVERIFY(!w<QWidget>("Panel5")->isVisible());
    QVERIFY(!w<QWidget>("Panel6")->isVisible());
    QCOMPARE(w<QListWidget>("CheckListBox1")->item(0)->checkState(), Qt::Checked);
    QCOMPARE(w<QListWidget>("ListBox2")->count(), 7);
    QCOMPARE(w<QListWidget>("ListBox2")->item(2)->text(), QString("Othorhombic"));
    QCOMPARE(w<QListWidget>("ListBox5")->count(), 20);
    QVERIFY(!e("Edit1")->isVisible());
    QVERIFY(e("Edit11")->isVisible());
    // Columns line up only in a font whose glyphs all advance alike (some monospaced fonts
    // do not report themselves as fixed pitch, so measure).
    const QFontMetrics fm(w<QListView>("ListBox1")->font());
    QCOMPARE(fm.horizontalAdvance("iiiiiiiiii"), fm.horizontalAdvance("MMMMMMMMMM"));
    QCOMPARE(fm.horizontalAdvance("          "), fm.horizontalAdvance("0000000000"));
  }

  void focusMovesAreSeenOffscreen() {
    enter(e("Edit4"));
    QCOMPARE(QApplication::focusWidget(), e("Edit4"));
    QCOMPARE(form->currentField(), InputField::C);
    // Tab works as well as a click.
    QTest::keyClick(e("Edit4"), Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != e("Edit4"));
  }

  void enteringClearsResultsAndBraggOutputs() {
    showALine();
    w<QListWidget>("ListBox4")->addItem("h00: h=2n");
    e("Edit11")->setText("Nb of calculated reflections: 1");
    e("Edit21")->setText("  4.0000");
    e("Edit22")->setText("  11.103 F");
    w<QLabel>("Label29")->show();
    form->calculationState().list.push_back({});

    enter(e("ed12"));  // not a numbered field: the number stays, the clearing happens
    QCOMPARE(form->currentField(), InputField::None);
    QCOMPARE(shownRows(), 0);
    QCOMPARE(w<QListWidget>("ListBox4")->count(), 0);
    QVERIFY(e("Edit11")->text().isEmpty());
    QVERIFY(e("Edit21")->text().isEmpty());
    QVERIFY(e("Edit22")->text().isEmpty());
    QVERIFY(!w<QLabel>("Label29")->isVisible());
    QVERIFY(form->calculationState().list.empty());
  }

  void leavingRepairsAndReadsTheText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("a");
    QTest::newRow("2.") << "2." << true << 2.0;
    QTest::newRow("-.5") << "-.5" << true << -0.5;
    QTest::newRow(" .5") << " .5" << true << 0.5;
    QTest::newRow("1. 5") << "1. 5" << true << 1.05;
    QTest::newRow("empty") << "" << true << 0.0;
    QTest::newRow("1 5") << "1 5" << false << 0.0;
    QTest::newRow("comma") << "1,5" << false << 0.0;
    QTest::newRow("trailing blank") << "4.2 " << false << 0.0;
  }
  void leavingRepairsAndReadsTheText() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(double, a);
    chooseSystem(0);
    e("Edit3")->setText("old");
    typeInto(e("Edit2"), typed);
    if (accepted) {
      QVERIFY(warnings.isEmpty());
      QCOMPARE(form->calculationState().cell.a, a);
      QCOMPARE(e("Edit2")->text(), typed);  // the field keeps what was typed
    } else {
      QCOMPARE(warnings, QStringList{"type error!"});
      QCOMPARE(QApplication::focusWidget(), e("Edit2"));
      QCOMPARE(e("Edit2")->text(), typed);
      QCOMPARE(e("Edit3")->text(), QString("old"));
      QCOMPARE(form->calculationState().cell.a, 0.0);
    }
  }

  void typeErrorReturnsTheFocusWhenTabbingAway() {
    enter(e("Edit5"));
    e("Edit5")->setText("9O");
    QTest::keyClick(e("Edit5"), Qt::Key_Tab);
    QCOMPARE(warnings, QStringList{"type error!"});
    QCOMPARE(QApplication::focusWidget(), e("Edit5"));
    QCOMPARE(form->currentField(), InputField::Alpha);
    // Leaving again after the correction is accepted silently.
    e("Edit5")->setText("90");
    leave();
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(form->calculationState().cell.alpha, 90.0);
  }

  void leavingAnUnnumberedFieldRepeatsTheLastCheck() {
    typeInto(e("Edit9"), "x");
    QCOMPARE(warnings.size(), 1);
    e("Edit9")->setText("5");
    leave();
    enter(e("ed13"));
    e("Edit9")->setText("y");  // changed behind the user's back: only the repeat can see it
    leave();
    QCOMPARE(warnings.size(), 2);
    QCOMPARE(QApplication::focusWidget(), e("Edit9"));
  }

  void tiedParametersAreCopied() {
    chooseSystem(0);  // cubic: a into b and c
    typeInto(e("Edit2"), "4.2");
    QCOMPARE(e("Edit3")->text(), QString("4.2"));
    QCOMPARE(e("Edit4")->text(), QString("4.2"));

    chooseSystem(1);  // tetragonal: a into b only
    e("Edit4")->setText("7");
    typeInto(e("Edit2"), "3.");
    QCOMPARE(e("Edit3")->text(), QString("3.0"));
    QCOMPARE(e("Edit4")->text(), QString("7"));

    chooseSystem(4);  // rhombohedral: a into b and c, alpha into beta and gamma
    typeInto(e("Edit2"), "5");
    typeInto(e("Edit5"), "-.5");
    QCOMPARE(e("Edit3")->text(), QString("5"));
    QCOMPARE(e("Edit4")->text(), QString("5"));
    QCOMPARE(e("Edit6")->text(), QString("-0.5"));
    QCOMPARE(e("edit7")->text(), QString("-0.5"));
    QCOMPARE(form->calculationState().cell.gamma, -0.5);
    QVERIFY(warnings.isEmpty());
  }

  void validationMessagesInOrder() {
    const char* names[] = {"Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "edit7", "Edit8", "Edit9", "Edit10"};
    const QStringList messages = {" Cell parameter error", " Error on b", " Error on c",
                                  " Error on alpha", " Error sur beta", " Error sur gamma",
                                  " Error on lambda", " Error on theta1", " Error on theta2"};
    fillValidInputs();
    QVERIFY(form->validateInputs());
    // Spoil every field, then mend them one by one from the first: each message appears in turn.
    for (const char* name : names) e(name)->setText("?");
    for (int i = 0; i < 9; ++i) {
      warnings.clear();
      QVERIFY(!form->validateInputs());
      QCOMPARE(warnings, QStringList{messages[i]});
      e(names[i])->setText("1");
    }
    warnings.clear();
    QVERIFY(form->validateInputs());
    QVERIFY(warnings.isEmpty());
  }

  void badCellGivesTheFocusToA() {
    fillValidInputs();
    typeInto(e("Edit2"), "");  // leaving it empty passes, the validation does not
    QVERIFY(warnings.isEmpty());
    QVERIFY(!form->validateInputs());
    QCOMPARE(warnings, QStringList{" Cell parameter error"});
    QCOMPARE(QApplication::focusWidget(), e("Edit2"));
  }

  void upperAngleLimitByMode_data() {
    QTest::addColumn<bool>("twoTheta");
    QTest::addColumn<QString>("theta2");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("storedMax");
    QTest::newRow("θ 90") << false << "90" << "" << 90.0;
    QTest::newRow("θ 90.01") << false << "90.01" << "Error on theta2 (>90)" << 20.0;
    QTest::newRow("2θ 180") << true << "180" << "" << 90.0;
    QTest::newRow("2θ 180.01") << true << "180.01" << "Error on theta2 (>180)" << 20.0;
    QTest::newRow("2θ 90.01") << true << "90.01" << "" << 45.005;
  }
  void upperAngleLimitByMode() {
    QFETCH(bool, twoTheta);
    QFETCH(QString, theta2);
    QFETCH(QString, message);
    QFETCH(double, storedMax);
    if (twoTheta) w<QRadioButton>("RadioButtonTwoTheta")->click();
    fillValidInputs();
    e("Edit9")->setText("10");
    e("Edit10")->setText(theta2);
    QCOMPARE(form->validateInputs(), message.isEmpty());
    QCOMPARE(warnings, message.isEmpty() ? QStringList{} : QStringList{message});
    QCOMPARE(form->calculationState().thetaMax, storedMax);
    QCOMPARE(form->calculationState().thetaMin, twoTheta ? 5.0 : 10.0);
  }

  void lockingTableOfEverySystem() {
    struct Row {
      const char* locked;  // one letter per cell field: L locked, - editable
      QStringList texts;   // after choosing, with a = "4.2", b = "B", c = "C", angles "x"
    };
    const Row rows[] = {
        {"-LLLLL", {"4.2", "4.2", "4.2", "90", "90", "90"}},
        {"-L-LLL", {"4.2", "4.2", "C", "90", "90", "90"}},
        {"---LLL", {"4.2", "B", "C", "90", "90", "90"}},
        {"-L-LLL", {"4.2", "4.2", "C", "90", "90", "120"}},
        {"-LL-LL", {"4.2", "4.2", "4.2", "  60.000", "  60.000", "  60.000"}},
        {"---L-L", {"4.2", "B", "C", "90", " 110.500", "90"}},
        {"------", {"4.2", "B", "C", "x", "x", "x"}},
    };
    const char* names[] = {"Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "edit7"};
    form->calculationState().cell = {1, 1, 1, 60, 110.5, 90};
    for (int r = 0; r < 7; ++r) {
      chooseSystem(6);  // unlock everything first
      const QStringList start = {"4.2", "B", "C", "x", "x", "x"};
      for (int i = 0; i < 6; ++i) e(names[i])->setText(start[i]);
      chooseSystem(r);
      QCOMPARE(*form->calculationState().system, static_cast<obrin::CrystalSystem>(r));
      for (int i = 0; i < 6; ++i) {
        const bool locked = rows[r].locked[i] == 'L';
        QVERIFY2(e(names[i])->isReadOnly() == locked, qPrintable(QString("row %1 field %2").arg(r).arg(i)));
        QCOMPARE(e(names[i])->palette().color(QPalette::Base), locked ? QColor(192, 192, 192) : QColor(Qt::white));
        QCOMPARE(e(names[i])->text(), rows[r].texts[i]);
      }
    }
  }

  void choosingASystemClearsResults() {
    showALine();
    e("Edit11")->setText("count");
    e("Edit22")->setText("  11.103");
    chooseSystem(3);
    QCOMPARE(shownRows(), 0);
    QVERIFY(e("Edit11")->text().isEmpty());
    QVERIFY(e("Edit22")->text().isEmpty());
  }

  void groupListFromThePositionFile() {
    QTemporaryDir dir;
    std::ofstream(dir.filePath("C.pos").toStdString()) << "Cubic groups\n\nP 2 3\n195\n1\nx,y,z\n0\n"
                                                          "\nF 2 3   \n196\n1\nx,y,z\n0\n";
    form->setPositionFileDirectories({dir.path().toStdString()});
    form->calculationState().groupName = "F 2 3";
    chooseSystem(0);
    auto* groups = w<QListWidget>("ListBox3");
    QVERIFY(warnings.isEmpty());
    QCOMPARE(groups->count(), 2);
    QCOMPARE(groups->item(0)->text(), QString("P 2 3"));
    QCOMPARE(groups->item(1)->text(), QString("F 2 3"));
    QCOMPARE(groups->currentRow(), 1);  // the current group is selected again
    QCOMPARE(form->calculationState().lattice, 'F');
    QCOMPARE(w<QListWidget>("ListBox2")->currentRow(), 0);

    // Choosing a group clears the previous results.
    showALine();
    e("Edit21")->setText("4");
    groups->setCurrentRow(0);
    QCOMPARE(shownRows(), 0);
    QVERIFY(e("Edit21")->text().isEmpty());

    // A system without a file: the warning names the file, the list stays empty.
    chooseSystem(3);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains("H.pos"), qPrintable(warnings[0]));
    QCOMPARE(groups->count(), 0);
  }

  // The filter takes what obrin-cli takes: a number, a compact symbol in any case, or part of
  // a name; a chosen group shows its conditions without a calculation.
  void groupListFilterAndConditions() {
    form->setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    auto* list = w<QListWidget>("ListBox3");
    auto* filter = e("EditGroupFilter");
    auto shown = [list] {
      QStringList names;
      for (int row = 0; row < list->count(); ++row)
        if (!list->isRowHidden(row)) names << list->item(row)->text();
      return names;
    };
    chooseSystem(2);  // orthorhombic
    QVERIFY(list->height() >= 15 * list->sizeHintForRow(0));
    filter->setText("62");
    QVERIFY(shown().contains("P N M A (62)"));
    for (const QString& name : shown()) QVERIFY2(name.endsWith("(62)"), qPrintable(name));
    filter->setText("pnma");
    QCOMPARE(shown(), QStringList{"P N M A (62)"});
    filter->setText("21 21 21");
    QVERIFY(shown().contains("P 21 21 21 (19)"));

    chooseSystem(0);  // another system's list starts unfiltered
    QCOMPARE(filter->text(), QString());
    filter->setText("fd-3m");
    QCOMPARE(shown(), QStringList{"F D -3 M (227)"});
    list->setCurrentRow(list->row(list->findItems("F D -3 M (227)", Qt::MatchExactly).front()));
    QVERIFY(w<QListWidget>("ListBox4")->count() > 0);
    filter->clear();
    QCOMPARE(shown().size(), list->count());
    QCOMPARE(warnings, QStringList{});
  }

  // At its smallest the window still shows every label and list row whole, in each mode.
  void labelsUnclippedAtMinimumSize() {
    form->setPositionFileDirectories({OBRIN_SOURCE_DIR "/data"});
    chooseSystem(5);  // monoclinic: the longest group names
    if (qEnvironmentVariableIsSet("OBRIN_GRAB_DIR")) form->grab().save(qEnvironmentVariable("OBRIN_GRAB_DIR") + "/default.png");
    for (int mode = 0; mode < 3; ++mode) {
      w<QListWidget>("CheckListBox1")->item(mode)->setCheckState(Qt::Checked);
      form->resize(1, 1);
      QApplication::processEvents();
      if (qEnvironmentVariableIsSet("OBRIN_GRAB_DIR"))
        form->grab().save(qEnvironmentVariable("OBRIN_GRAB_DIR") + QString("/minimum%1.png").arg(mode));
      for (const QLabel* label : form->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        const QSize need = label->minimumSizeHint(), have = label->size();
        QVERIFY2(need.width() <= have.width() && need.height() <= have.height(),
                 qPrintable(QString("%1 \"%2\" needs %3x%4, has %5x%6")
                                .arg(label->objectName(), label->text()).arg(need.width()).arg(need.height())
                                .arg(have.width()).arg(have.height())));
      }
      for (const char* name : {"ListBox2", "ListBox3", "CheckListBox1"}) {
        const auto* list = w<QListWidget>(name);
        QVERIFY2(list->sizeHintForColumn(0) <= list->viewport()->width(), qPrintable(QString("%1 %2 %3 %4").arg(name).arg(list->sizeHintForColumn(0)).arg(list->viewport()->width()).arg(list->width())));
      }
    }
  }

  void focusAloneChoosesNoSystem() {
    w<QListWidget>("ListBox2")->setFocus(Qt::TabFocusReason);
    QVERIFY(!form->calculationState().system);
    QVERIFY(!e("Edit3")->isReadOnly());
  }

  void modeSwitching() {
    auto* modes = w<QListWidget>("CheckListBox1");
    const char* panels[] = {"Panel4", "Panel5", "Panel6"};
    showALine();
    for (int row : {1, 2, 0, 2}) {
      e("Edit21")->setText("4");
      modes->item(row)->setCheckState(Qt::Checked);
      for (int i = 0; i < 3; ++i) {
        QCOMPARE(w<QWidget>(panels[i])->isVisible(), i == row);
        QCOMPARE(modes->item(i)->checkState(), i == row ? Qt::Checked : Qt::Unchecked);
      }
      QCOMPARE(int(form->calcMode()), row);
      QVERIFY(e("Edit21")->text().isEmpty());
    }
    QCOMPARE(shownRows(), 1);  // the results stay
    // Unticking the current row keeps its mode.
    modes->item(2)->setCheckState(Qt::Unchecked);
    QCOMPARE(modes->item(2)->checkState(), Qt::Checked);
    QVERIFY(w<QWidget>("Panel6")->isVisible());
  }

  void angleModeSwitch() {
    auto* twoTheta = w<QRadioButton>("RadioButtonTwoTheta");
    twoTheta->click();
    QCOMPARE(w<QLabel>("Label10")->text(), QString("h  k  l    d   2theta  Mult"));
    QCOMPARE(w<QLabel>("Label7")->text(), QString("2θ1"));
    QCOMPARE(w<QLabel>("Label2")->text(), QString("2θ2"));
    QCOMPARE(w<QLabel>("Label28")->text(), QString("2θ"));
    QCOMPARE(e("Edit9")->text(), QString("  10.00"));
    QCOMPARE(e("Edit10")->text(), QString("  40.00"));
    w<QRadioButton>("RadioButtonTheta")->click();
    QCOMPARE(w<QLabel>("Label10")->text(), QString("h  k  l    d    theta  Mult"));
    QCOMPARE(w<QLabel>("Label7")->text(), QString("θ1"));
    QCOMPARE(w<QLabel>("Label28")->text(), QString("θ"));
    QCOMPARE(e("Edit9")->text(), QString("   5.00"));
    QCOMPARE(e("Edit10")->text(), QString("  20.00"));
  }

  void wavelengthChoice() {
    auto* lines = w<QListWidget>("ListBox5");
    showALine();
    const int cuKa1 = 4;
    QCOMPARE(lines->item(cuKa1)->text(), QString("CuKa1"));
    lines->scrollToItem(lines->item(cuKa1));
    QTest::mouseClick(lines->viewport(), Qt::LeftButton, {}, lines->visualItemRect(lines->item(cuKa1)).center());
    QCOMPARE(e("Edit8")->text(), QString(" 1.54056"));
    QCOMPARE(form->calculationState().lambda, 1.54056);
    QCOMPARE(shownRows(), 0);
    lines->setCurrentRow(15);
    QCOMPARE(lines->item(15)->text(), QString("FeKa2"));
    QCOMPARE(e("Edit8")->text(), QString(" 1.93998"));
    // Entering the field to type a value of one's own empties it and forgets the row.
    enter(e("Edit8"));
    QVERIFY(e("Edit8")->text().isEmpty());
    QVERIFY(lines->selectedItems().isEmpty());
    QCOMPARE(form->currentField(), InputField::Lambda);
  }

  void aboutTwiceIsOneWindow() {
    Tform2 about;
    form->setAboutWindow(&about);
    auto* button = w<QPushButton>("BitBtn6");
    QCOMPARE(button->toolTip(), QString("About OBRIN"));
    button->click();
    button->click();
    QVERIFY(about.isVisible());
    int shown = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (qobject_cast<Tform2*>(top) && top->isVisible()) ++shown;
    QCOMPARE(shown, 1);
    QVERIFY(form->isVisible());
    QCOMPARE(about.windowTitle(), QString("A propos de OBRIN"));

    auto* quit = about.findChild<QPushButton*>("BitBtn3");
    QVERIFY(quit->isDefault());
    QCOMPARE(quit->toolTip(), QString("Sortie"));
    quit->click();
    QVERIFY(!about.isVisible());
    QVERIFY(form->isVisible());

    button->click();
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(5, 5));  // its own surface
    QVERIFY(!about.isVisible());
    form->setAboutWindow(nullptr);
  }

  void aboutText() {
    Tform2 about;
    const QStringList lines = about.findChild<QPlainTextEdit*>("Memo2")->toPlainText().split('\n');
    QVERIFY(lines.size() >= 4);
    QCOMPARE(lines[0].trimmed(), QString("OBRIN"));
    QVERIFY(lines[0].startsWith(' '));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[2].trimmed(), QString("Calcul des raies d'un spectre de poudres"));
  }

  void quitClosesTheWindow() {
    auto* quit = w<QPushButton>("BitBtn3");
    QCOMPARE(quit->toolTip(), QString("End of the program"));
    quit->click();
    QVERIFY(!form->isVisible());
  }

  // A million lines are shown without a widget or a text per row: the view asks for the texts
  // of the rows it paints, at the top and after a jump to the end.
  void millionLinesAreMadeOnDemand() {
    auto* view = w<QListView>("ListBox1");
    QVERIFY(!qobject_cast<QListWidget*>(view));
    QVERIFY(view->uniformItemSizes());
    CountingProxy proxy;
    proxy.setSourceModel(view->model());
    view->setModel(&proxy);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));

    auto& list = form->calculationState().list;
    constexpr int kLines = 1000000;
    list.resize(kLines);
    for (int i = 0; i < kLines; ++i) {
      list[i].h = static_cast<std::int16_t>(i % 97);
      list[i].k = static_cast<std::int16_t>(i % 89);
      list[i].l = static_cast<std::int16_t>(i % 83);
      list[i].d = 50.0 - i * 4e-5;
      list[i].theta = 1 + i * 8e-5;
      list[i].multiplicity = 2;
    }
    form->showResultList();
    QCoreApplication::processEvents();
    QCOMPARE(proxy.rowCount(), kLines);
    QVERIFY2(proxy.dataCalls < 2000, qPrintable(QString::number(proxy.dataCalls)));

    view->scrollToBottom();
    QCoreApplication::processEvents();
    view->viewport()->repaint();
    QVERIFY2(proxy.dataCalls < 4000, qPrintable(QString::number(proxy.dataCalls)));
    const QModelIndex last = proxy.index(kLines - 1, 0);
    QVERIFY(view->isVisible());
    QVERIFY(view->viewport()->rect().contains(view->visualRect(last)));
    QCOMPARE(last.data().toString(),
             QString::fromStdString(obrin::formatResultLine(list.back(), obrin::AngleMode::Theta)));
    view->setModel(proxy.sourceModel());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_test.moc"
