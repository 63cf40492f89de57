// The Transfert to Excel window: the decimals panel, the written text, Copy and Cancel.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QtTest>

#include <fstream>

#include "Unit8.h"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

using namespace obrin;

class Unit8Test : public QObject {
  Q_OBJECT

  testing_support::AnsweringDialogs dialogs_;

  QTemporaryDir dir_;
  QString oldDir_;
  QStringList warnings_;
  CalculationState state_;
  MainWindowChoices choices_;

  static QString fileText(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
  }

  void fillState() {
    state_ = CalculationState{};
    state_.system = CrystalSystem::Cubic;
    state_.groupName = "Fm-3m";
    state_.lattice = 'F';
    state_.cellCopy = {4.0496, 4.0496, 4.0496, 90, 90, 90};
    state_.lambda = 1.5406;
    Reflection r;
    r.h = r.k = r.l = 1;
    r.d = 2.33804f;
    r.theta = 19.2371f;
    r.multiplicity = 8;
    state_.list = {r};
  }

  static void clickOk(Tfexcel& w) {
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
  }

 private slots:
  void initTestCase() {
    obrin::ui::setUserDialogs(&dialogs_);
    QVERIFY(dir_.isValid());
    oldDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));
    dialogs_.onWarn = ([this](QWidget*, const QString& t) { warnings_ << t; });
  }
  void cleanupTestCase() { QDir::setCurrent(oldDir_); }
  void init() {
    warnings_.clear();
    QFile::remove("excel.txt");
    fillState();
    choices_ = MainWindowChoices{};
  }

  void refusedDecimalsKeepThePanelAndWriteNothing() {
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    w.findChild<QLineEdit*>("Edit1")->setText("three");
    clickOk(w);
    QCOMPARE(warnings_, QStringList{"Number of decimals: \"three\" is not a whole number from 0 to 30"});
    QVERIFY(w.findChild<QFrame*>("Panel1")->isVisible());
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists("excel.txt"));
    QVERIFY(w.findChild<QPlainTextEdit*>("Memo1")->toPlainText().isEmpty());
  }

  void okWritesTheFileAndShowsIt() {
    choices_.angle = AngleMode::TwoTheta;
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    auto* panel = w.findChild<QFrame*>("Panel1");
    QVERIFY(panel->isVisible());
    clickOk(w);
    QVERIFY(warnings_.isEmpty());
    QVERIFY(!panel->isVisible());
    const QString text = fileText("excel.txt");
    QVERIFY(text.contains("  1\t  1\t  1\t   2.338\t 38.474\t    8\n"));
    QCOMPARE(w.findChild<QPlainTextEdit*>("Memo1")->toPlainText(), text);

    // Showing the window again asks for the decimals again.
    w.hide();
    w.show();
    QVERIFY(panel->isVisible());
  }

  void emptyListWritesNothing() {
    state_.list.clear();
    std::ofstream("excel.txt") << "previous\n";
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    clickOk(w);
    QCOMPARE(warnings_, QStringList{"No calculated reflections!"});
    QVERIFY(w.findChild<QFrame*>("Panel1")->isVisible());
    QCOMPARE(fileText("excel.txt"), QString("previous\n"));
  }

  void failedWriteKeepsTheShownText() {
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    clickOk(w);
    auto* memo = w.findChild<QPlainTextEdit*>("Memo1");
    const QString before = memo->toPlainText();
    QVERIFY(QFile::remove("excel.txt"));
    QVERIFY(QDir().mkpath("excel.txt/keep"));
    w.initialise();
    clickOk(w);
    QCOMPARE(warnings_.size(), 1);
    QVERIFY(warnings_[0].startsWith("Cannot write excel.txt: "));
    QCOMPARE(memo->toPlainText(), before);
    QVERIFY(QDir("excel.txt").removeRecursively());
  }

  void copyPutsTheSelectionOnTheClipboard() {
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    clickOk(w);
    auto* memo = w.findChild<QPlainTextEdit*>("Memo1");
    QTextCursor c(memo->document());
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
    c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    memo->setTextCursor(c);
    QGuiApplication::clipboard()->setText("before");
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.startsWith("Miller indices generator\n\n"), qPrintable(copied));
    QCOMPARE(copied.count('\n'), 2);

    // Nothing selected: the clipboard keeps what it held.
    c.clearSelection();
    memo->setTextCursor(c);
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
  }

  void cancelHides() {
    Tfexcel w(state_, [this] { return choices_; });
    w.show();
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(Unit8Test)
#include "unit8_test.moc"
