#include "Unit3.h"

#include <filesystem>
#include <utility>

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include "ui_Unit3.h"
#include "ui/placement.h"
#include "warning.h"

namespace obrin::ui {

namespace {
OpenFileHandler& installedOpener() {
  static OpenFileHandler opener;
  return opener;
}
}  // namespace

bool openWithDesktop(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool openFile(const QString& path) {
  const OpenFileHandler& opener = installedOpener();
  return opener ? opener(path) : openWithDesktop(path);
}

OpenFileHandler setOpenFileHandler(OpenFileHandler h) {
  return std::exchange(installedOpener(), std::move(h));
}

QString currentDateTimeText() {
  const QLocale locale;
  const QDateTime now = QDateTime::currentDateTime();
  return locale.toString(now.date(), QLocale::ShortFormat) + ' ' +
         locale.toString(now.time(), QLocale::LongFormat);
}

}  // namespace obrin::ui

TForm3::TForm3(obrin::CalculationState& state, obrin::MainWindowChoicesProvider choices,
               QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TForm3>()), state_(state),
      choices_(std::move(choices)) {
  ui->setupUi(this);
  ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  connect(ui->BitBtn1, &QPushButton::clicked, this, &TForm3::go);
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent* event) {
  if (!placed_) {
    obrin::ui::centreOnScreen(this);
    placed_ = true;
  }
  QDialog::showEvent(event);
}

void TForm3::go() {
  using obrin::ui::warn;
  std::string error;
  const auto decimals = obrin::readDecimals(ui->Edit1->text().toStdString(), &error);
  if (!decimals) {
    warn(this, QString::fromStdString(error));
    return;
  }
  state_.decimals = *decimals;

  obrin::ReportInputs inputs;
  inputs.dateTime = obrin::ui::currentDateTimeText().toStdString();
  if (choices_) inputs.choices = choices_();
  inputs.decimals = *decimals;
  const QString folder = QDir::currentPath();
  error = obrin::WriteResultsReport(state_, inputs, std::filesystem::path(folder.toStdString()));
  if (!error.empty()) {
    warn(this, QString::fromStdString(error));
    return;
  }
  if (state_.list.empty()) {
    warn(this, QStringLiteral("No calculated reflections!"));
    return;
  }

  const QString path = QDir(folder).absoluteFilePath(QString::fromUtf8(obrin::kReportFileName));
  const bool opened = obrin::ui::openFile(path);
  hide();
  if (!opened)
    warn(parentWidget(), QStringLiteral("indic.out was written, but no application could open it: ") + path);
}
