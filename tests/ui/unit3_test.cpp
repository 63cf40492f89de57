// The Results Output window: refused decimals, the written report, the empty list.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "Unit3.h"
#include "tests/support/user_dialogs.hpp"
#include "warning.h"

using namespace obrin;

class Unit3Test : public QObject {
  Q_OBJECT

  testing_support::AnsweringDialogs dialogs_;

  QTemporaryDir dir_;
  QString oldDir_;
  QStringList warnings_;
  QStringList opened_;
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
    state_.cell = state_.cellCopy = {4.0496, 4.0496, 4.0496, 90, 90, 90};
    state_.lambda = 1.5406;
    state_.thetaMin = 5;
    state_.thetaMax = 35;
    Reflection r;
    r.h = r.k = r.l = 1;
    r.d = 2.33804f;
    r.theta = 19.2371f;
    r.multiplicity = 8;
    state_.list = {r};
  }

 private slots:
  void initTestCase() {
    obrin::ui::setUserDialogs(&dialogs_);
    QVERIFY(dir_.isValid());
    oldDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_.path()));
    dialogs_.onWarn = ([this](QWidget*, const QString& t) { warnings_ << t; });
    dialogs_.onOpenFile = ([this](const QString& p) {
      opened_ << p;
      return true;
    });
  }
  void cleanupTestCase() { QDir::setCurrent(oldDir_); }
  void init() {
    warnings_.clear();
    opened_.clear();
    QDir("indic.out").removeRecursively();
    QFile::remove("indic.out");
    fillState();
    choices_ = MainWindowChoices{};
  }

  void refusedDecimalsWriteNothingAndKeepTheWindow() {
    TForm3 w(state_, [this] { return choices_; });
    w.show();
    for (const char* bad : {"x", "-1", "2.5", ""}) {
      warnings_.clear();
      w.findChild<QLineEdit*>("Edit1")->setText(bad);
      QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
      QCOMPARE(warnings_.size(), 1);
      QVERIFY(warnings_[0].startsWith("Number of decimals: "));
      QVERIFY(w.isVisible());
      QVERIFY(!QFile::exists("indic.out"));
      QVERIFY(opened_.isEmpty());
      QCOMPARE(state_.decimals, 3);
    }
  }

  void okWritesOpensAndHides() {
    choices_.angle = AngleMode::TwoTheta;
    TForm3 w(state_, [this] { return choices_; });
    w.show();
    w.findChild<QLineEdit*>("Edit1")->setText(" 2");
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QVERIFY(warnings_.isEmpty());
    QVERIFY(!w.isVisible());
    QCOMPARE(state_.decimals, 2);
    QCOMPARE(opened_, QStringList{QDir(dir_.path()).absoluteFilePath("indic.out")});
    const QString text = fileText("indic.out");
    QVERIFY(text.contains("2Theta Min =  10.00\n"));
    QVERIFY(text.contains("  1  1  1   2.3380  38.47    8\n"));
  }

  void emptyListWritesNothingWarnsAndStaysOpen() {
    state_.list.clear();
    std::ofstream("indic.out") << "previous report\n";
    TForm3 w(state_, [this] { return choices_; });
    w.show();
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(warnings_, QStringList{"No calculated reflections!"});
    QVERIFY(w.isVisible());
    QVERIFY(opened_.isEmpty());
    QCOMPARE(fileText("indic.out"), QString("previous report\n"));
  }

  void failedWriteWarnsAndOpensNothing() {
    QVERIFY(QDir().mkpath("indic.out/keep"));  // a folder stands where the report would go
    TForm3 w(state_, [this] { return choices_; });
    w.show();
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(warnings_.size(), 1);
    QVERIFY(warnings_[0].startsWith("Cannot write indic.out: "));
    QVERIFY(w.isVisible());
    QVERIFY(opened_.isEmpty());
    QVERIFY(QDir("indic.out/keep").exists());
  }

  void unreadableMillerLimitIsRefused() {
    choices_.mode = CalcMode::SingleCrystal;
    choices_.millerLimitTexts = {"-2", "2", "x", "2", "0", "2"};
    TForm3 w(state_, [this] { return choices_; });
    w.show();
    QTest::mouseClick(w.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(warnings_, QStringList{"Cannot write indic.out: Kmin: \"x\" is not a whole number"});
    QVERIFY(!QFile::exists("indic.out"));
    QVERIFY(w.isVisible());
  }
};

QTEST_MAIN(Unit3Test)
#include "unit3_test.moc"
