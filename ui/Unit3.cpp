#include "Unit3.h"

#include <filesystem>
#include <utility>

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QScreen>
#include <QStyle>

#include "ui_Unit3.h"
#include "ui/placement.h"
#include "warning.h"

namespace obrin::ui {

QString currentDateTimeText() {
  const QLocale locale;
  const QDateTime now = QDateTime::currentDateTime();
  return locale.toString(now.date(), QLocale::ShortFormat) + ' ' +
         locale.toString(now.time(), QLocale::LongFormat);
}

std::optional<ReportInputs> reportInputs(QWidget* parent, const QString& decimalsText,
                                         const MainWindowChoicesProvider& choices,
                                         const CalculationState& state) {
  const auto decimals = readDecimals(decimalsText.toStdString());
  if (!decimals) {
    warn(parent, QString::fromStdString(decimals.error()));
    return std::nullopt;
  }
  if (state.list.empty()) {
    warn(parent, QStringLiteral("No calculated reflections!"));
    return std::nullopt;
  }
  ReportInputs inputs;
  inputs.dateTime = currentDateTimeText().toStdString();
  if (choices) inputs.choices = choices();
  inputs.decimals = *decimals;
  return inputs;
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
  obrin::ui::centreOnFirstShow(this, placed_);
  QDialog::showEvent(event);
}

void TForm3::go() {
  using obrin::ui::warn;
  const auto inputs = obrin::ui::reportInputs(this, ui->Edit1->text(), choices_, state_);
  if (!inputs) return;
  state_.decimals = inputs->decimals;
  const QString folder = QDir::currentPath();
  if (const auto written = obrin::WriteResultsReport(state_, *inputs, std::filesystem::path(folder.toStdString()));
      !written) {
    warn(this, QString::fromStdString(written.error()));
    return;
  }

  const QString path = QDir(folder).absoluteFilePath(QString::fromUtf8(obrin::kReportFileName));
  const bool opened = obrin::ui::openFile(path);
  hide();
  if (!opened)
    warn(parentWidget(), QStringLiteral("indic.out was written, but no application could open it: ") + path);
}
