#include "Unit8.h"

#include <filesystem>
#include <utility>

#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include "Unit3.h"
#include "io/excel.hpp"
#include "ui_Unit8.h"
#include "ui/placement.h"
#include "warning.h"

Tfexcel::Tfexcel(obrin::CalculationState& state, obrin::MainWindowChoicesProvider choices,
                 QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::Tfexcel>()), state_(state),
      choices_(std::move(choices)) {
  ui->setupUi(this);
  // Columns line up only in a fixed-pitch font.
  ui->Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  ui->BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  connect(ui->BitBtn3, &QPushButton::clicked, this, &Tfexcel::BitBtn3Click);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &Tfexcel::copie);
  connect(ui->BitBtn2, &QPushButton::clicked, this, &Tfexcel::sortie);
}

Tfexcel::~Tfexcel() = default;

void Tfexcel::showEvent(QShowEvent* event) {
  obrin::ui::centreOnFirstShow(this, placed_);
  QDialog::showEvent(event);
  initialise();
}

void Tfexcel::initialise() {
  ui->Panel1->show();
  ui->Panel1->raise();
}

void Tfexcel::BitBtn3Click() {
  using obrin::ui::warn;
  // A refused text keeps the panel up so that the user can correct it.
  const auto inputs = obrin::ui::reportInputs(this, ui->Edit1->text(), choices_, state_);
  if (!inputs) return;
  const auto written = obrin::writeSpreadsheet(state_, *inputs, std::filesystem::path(QDir::currentPath().toStdString()));
  if (!written) {
    warn(this, QString::fromStdString(written.error()));
    return;
  }
  ui->Panel1->hide();
  ui->Memo1->setPlainText(QString::fromStdString(*written));
}

void Tfexcel::copie() {
  QString selected = ui->Memo1->textCursor().selectedText();
  if (selected.isEmpty()) return;
  // The editor marks line ends inside a selection with the Unicode paragraph separator.
  selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
  QGuiApplication::clipboard()->setText(selected);
}

void Tfexcel::sortie() { hide(); }
