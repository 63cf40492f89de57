#include "pattern_window.h"

#include <QFileInfo>

#include <cmath>

#include "analysis/line_matching.hpp"
#include "calc/pattern_sticks.hpp"
#include "core/limits.hpp"
#include "core/numfield.hpp"
#include "dialogs.h"
#include "io/atomic_write.hpp"
#include "pattern_plot.h"
#include "ui_pattern_window.h"
#include "warning.h"

using obrin::PatternAxis;

namespace {

std::optional<double> fieldNumber(const QLineEdit* edit) { return obrin::parseNumber(edit->text().toStdString()); }

}  // namespace

PatternWindow::PatternWindow(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::PatternWindow>()) {
  ui_->setupUi(this);
  connect(ui_->openButton, &QPushButton::clicked, this, &PatternWindow::chooseAndOpenPattern);
  connect(ui_->fitButton, &QPushButton::clicked, ui_->plot, &PatternPlot::fitView);
  connect(ui_->exportButton, &QPushButton::clicked, this, &PatternWindow::exportPicture);
  connect(ui_->exportLinesButton, &QPushButton::clicked, this, &PatternWindow::exportLines);
  connect(ui_->axisCombo, &QComboBox::currentIndexChanged, this,
          [this](int index) { ui_->plot->setAxis(static_cast<PatternAxis>(index)); });
  connect(ui_->ka2Check, &QCheckBox::toggled, this, &PatternWindow::redrawLines);
  connect(ui_->ka2RatioEdit, &QLineEdit::editingFinished, this, &PatternWindow::redrawLines);
  connect(ui_->zeroEdit, &QLineEdit::editingFinished, this, &PatternWindow::redrawLines);
  connect(ui_->profileCheck, &QCheckBox::toggled, this, &PatternWindow::redrawLines);
  for (QLineEdit* edit : {ui_->uEdit, ui_->vEdit, ui_->wEdit})
    connect(edit, &QLineEdit::editingFinished, this, &PatternWindow::redrawLines);
  ui_->profileNote->hide();
  connect(ui_->plot, &PatternPlot::rowClicked, this, &PatternWindow::rowClicked);
  connect(ui_->refineButton, &QPushButton::clicked, this, &PatternWindow::refineRequested);
  connect(ui_->useWavelengthButton, &QPushButton::clicked, this, [this] {
    if (measured_ && measured_->wavelength) emit wavelengthOffered(measured_->wavelength->alpha1);
  });
}

PatternWindow::~PatternWindow() = default;

PatternPlot* PatternWindow::plot() const { return ui_->plot; }

// The table's Kα2 of the tube line in use, else the one the pattern's file stores.
std::optional<double> PatternWindow::alpha2() const {
  if (const auto table = obrin::alpha2Of(lambda_)) return table;
  if (measured_ && measured_->wavelength && measured_->wavelength->alpha2 > 0) return measured_->wavelength->alpha2;
  return std::nullopt;
}

double PatternWindow::zeroShift() const {
  const auto zero = fieldNumber(ui_->zeroEdit);
  return zero && std::isfinite(*zero) ? *zero : 0.0;
}

// The profile of the lines as drawn when it is asked for; a shape that cannot be drawn is
// named beside the plot, which then shows no profile.
std::vector<obrin::ProfilePoint> PatternWindow::profileOf(const std::vector<obrin::Stick>& sticks,
                                                          const std::vector<obrin::Stick>& companions) {
  ui_->profileNote->hide();
  if (!ui_->profileCheck->isChecked()) return {};
  obrin::ProfileShape shape;
  const auto u = fieldNumber(ui_->uEdit), v = fieldNumber(ui_->vEdit), w = fieldNumber(ui_->wEdit);
  QString fault;
  if (!u || !v || !w || !std::isfinite(*u) || !std::isfinite(*v) || !std::isfinite(*w)) {
    fault = "No simulated profile: U, V and W must be numbers";
  } else {
    shape.u = *u;
    shape.v = *v;
    shape.w = *w;
    auto points = obrin::stickProfile(sticks, companions, shape);
    if (points) return std::move(*points);
    fault = QString::fromStdString(points.error());
  }
  ui_->profileNote->setText(fault);
  ui_->profileNote->show();
  return {};
}

namespace {

// A refined displacement moves each line by −2 s cosθ / R on top of the zero shift.
void displace(std::vector<obrin::Stick>& sticks, double lambda, double zero, const PatternWindow::RefinedShifts& s) {
  const obrin::Diffractometer instrument{lambda, zero, s.displacement, s.radius};
  for (obrin::Stick& stick : sticks)
    if (const auto t = obrin::lineTwoTheta(stick.d, instrument)) stick.twoTheta = *t;
}

}  // namespace

void PatternWindow::setRefinedShifts(std::optional<RefinedShifts> shifts) {
  // The user's own zero shift comes back when the refined one goes.
  if (shifts && !refinedShifts_) zeroBeforeRefinement_ = ui_->zeroEdit->text();
  if (!shifts && refinedShifts_) ui_->zeroEdit->setText(zeroBeforeRefinement_);
  refinedShifts_ = shifts;
  if (shifts) ui_->zeroEdit->setText(QString::number(shifts->zero, 'f', 4));
  redrawLines();
}

void PatternWindow::redrawLines() {
  const double zero = zeroShift();
  auto sticks = obrin::sticksFromList(list_, lambda_, zero);
  if (refinedShifts_) displace(sticks, lambda_, zero, *refinedShifts_);
  std::vector<obrin::Stick> companions;
  const auto lambda2 = alpha2();
  ui_->ka2Check->setEnabled(lambda2.has_value());
  if (ui_->ka2Check->isChecked() && lambda2) {
    const auto ratio = fieldNumber(ui_->ka2RatioEdit);
    const double r = ratio && *ratio >= 0 ? *ratio : obrin::kDefaultAlpha2Ratio;
    companions = obrin::alpha2Companions(sticks, *lambda2, r, zero);
    if (refinedShifts_) displace(companions, *lambda2, zero, *refinedShifts_);
  }
  // The legend says which shifts the lines carry once they are a refined cell's.
  ui_->plot->setLinesCaption(
      refinedShifts_ ? QString("Refined cell: zero %1° 2θ, displacement %2 mm (R %3 mm)")
                           .arg(zero, 0, 'f', 4)
                           .arg(refinedShifts_->displacement, 0, 'f', 4)
                           .arg(refinedShifts_->radius)
                     : QString());
  auto profile = profileOf(sticks, companions);
  const int highlighted = ui_->plot->highlightedRow();
  ui_->plot->setLines(std::move(sticks), std::move(companions), lambda_, std::move(profile));
  ui_->plot->highlightRow(highlighted < int(list_.size()) ? highlighted : -1);
}

void PatternWindow::showLines(const obrin::ReflectionList& list, double lambda) {
  list_ = list;
  lambda_ = lambda;
  redrawLines();
}

void PatternWindow::selectRow(int row) { ui_->plot->highlightRow(row); }

bool PatternWindow::openPattern(const QString& file) {
  obrin::PatternRead read = obrin::readPattern(file.toStdString());
  if (!read.ok()) {
    obrin::ui::warn(this, QString::fromStdString(read.error()));
    return false;
  }
  measured_ = std::move(*read);
  if (measured_->wavelength && measured_->wavelength->ratio > 0)
    ui_->ka2RatioEdit->setText(QString::number(measured_->wavelength->ratio));
  showPatternInfo(file);
  ui_->plot->setMeasured(*measured_);
  redrawLines();
  return true;
}

void PatternWindow::showPatternInfo(const QString& file) {
  QString text = QString("%1: %2 points").arg(QFileInfo(file).fileName()).arg(measured_->x.size());
  const bool stored = measured_->wavelength.has_value();
  if (stored) {
    const auto& w = *measured_->wavelength;
    text += QString(", Kα1 %1 Å").arg(w.alpha1, 0, 'f', 5);
    if (w.alpha2 > 0) text += QString(", Kα2 %1 Å").arg(w.alpha2, 0, 'f', 5);
    if (w.ratio > 0) text += QString(", ratio %1").arg(w.ratio);
  }
  ui_->patternLabel->setText(text);
  ui_->useWavelengthButton->setEnabled(stored);
}

void PatternWindow::chooseAndOpenPattern() {
  const QString file = obrin::ui::openFileName(
      this, "Patterns (*.xy *.xye *.dat *.txt *.csv *.xrdml *.raw *.uxd *.gsa *.gss *.gsas *.fxye *.chi *.cif);;All files (*)");
  if (!file.isEmpty()) openPattern(file);
}

void PatternWindow::exportPicture() {
  const QString file = obrin::ui::saveFileName(this, "PNG picture (*.png);;PDF document (*.pdf)");
  if (file.isEmpty()) return;
  const QString target =
      file.endsWith(".pdf", Qt::CaseInsensitive) || file.endsWith(".png", Qt::CaseInsensitive) ? file : file + ".png";
  if (!ui_->plot->exportTo(target, ui_->widthSpin->value(), ui_->heightSpin->value()))
    obrin::ui::warn(this, QString("Cannot write the picture \"%1\"").arg(target));
}

void PatternWindow::exportLines() {
  const QString file = obrin::ui::saveFileName(this, "Lines (*.txt *.tsv);;All files (*)");
  if (file.isEmpty()) return;
  const auto written = obrin::writeFileAtomically(file.toStdString(), obrin::stickListText(ui_->plot->lines()));
  if (!written) obrin::ui::warn(this, QString::fromStdString(written.error()));
}
