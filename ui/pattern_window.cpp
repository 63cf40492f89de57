#include "pattern_window.h"

#include <QApplication>
#include <QFileInfo>

#include <QCoreApplication>
#include <QProgressDialog>
#include <QThread>

#include <atomic>
#include <cmath>
#include <thread>

#include "analysis/line_matching.hpp"
#include "analysis/peak_search.hpp"
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
  connect(ui_->ka2RatioEdit, &QLineEdit::editingFinished, this, [this] {
    if (acceptAlpha2Ratio()) redrawLines();
  });
  connect(ui_->zeroEdit, &QLineEdit::editingFinished, this, [this] {
    if (acceptZeroShift()) redrawLines();
  });
  connect(ui_->profileCheck, &QCheckBox::toggled, this, &PatternWindow::redrawLines);
  for (QLineEdit* edit : {ui_->uEdit, ui_->vEdit, ui_->wEdit})
    connect(edit, &QLineEdit::editingFinished, this, &PatternWindow::redrawLines);
  ui_->profileNote->hide();
  connect(ui_->plot, &PatternPlot::rowClicked, this, &PatternWindow::rowClicked);
  connect(ui_->refineButton, &QPushButton::clicked, this, &PatternWindow::refineRequested);
  connect(ui_->spaceGroupsButton, &QPushButton::clicked, this, &PatternWindow::spaceGroupsRequested);
  connect(ui_->useWavelengthButton, &QPushButton::clicked, this, [this] {
    if (measured_ && measured_->wavelength) emit wavelengthOffered(measured_->wavelength->alpha1);
  });
}

PatternWindow::~PatternWindow() = default;

PatternPlot* PatternWindow::plot() const { return ui_->plot; }

// The pattern file's Kα2 when the calculation uses the Kα1 the file stores, else the table's
// when it uses a tube's Kα1.
std::optional<double> PatternWindow::alpha2() const {
  const obrin::PatternWavelength file =
      measured_ && measured_->wavelength ? *measured_->wavelength : obrin::PatternWavelength{};
  return obrin::companionWavelength(lambda_, file.alpha1, file.alpha2);
}

namespace {

// A refused field gets the focus back before the box, as in the main window: the user corrects
// it where it is. The guard keeps the box taking the focus from counting as leaving the field.
void refuseField(QWidget* window, QLineEdit* field, const std::string& message, bool& checking) {
  checking = true;
  field->setFocus(Qt::OtherFocusReason);
  obrin::ui::warn(window, QString::fromStdString(message));
  checking = false;
}

}  // namespace

// The field's text is taken when the user leaves it; the drawing keeps the last value taken.
bool PatternWindow::acceptZeroShift() {
  if (checkingField_) return false;
  const auto zero = obrin::readZeroShift(ui_->zeroEdit->text().toStdString());
  if (!zero) {
    refuseField(this, ui_->zeroEdit, zero.error(), checkingField_);
    return false;
  }
  zeroShift_ = *zero;
  return true;
}

bool PatternWindow::acceptAlpha2Ratio() {
  if (checkingField_) return false;
  const auto ratio = obrin::readAlpha2Ratio(ui_->ka2RatioEdit->text().toStdString());
  if (!ratio) {
    refuseField(this, ui_->ka2RatioEdit, ratio.error(), checkingField_);
    return false;
  }
  alpha2Ratio_ = *ratio;
  return true;
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
  if (shifts && !refinedShifts_) {
    zeroTextBeforeRefinement_ = ui_->zeroEdit->text();
    zeroBeforeRefinement_ = zeroShift_;
  }
  if (!shifts && refinedShifts_) {
    ui_->zeroEdit->setText(zeroTextBeforeRefinement_);
    zeroShift_ = zeroBeforeRefinement_;
  }
  refinedShifts_ = shifts;
  if (shifts) {
    ui_->zeroEdit->setText(QString::number(shifts->zero, 'f', 4));
    zeroShift_ = shifts->zero;
  }
  redrawLines();
}

void PatternWindow::redrawLines() {
  const double zero = zeroShift_;
  auto sticks = obrin::sticksFromList(list_, lambda_, zero);
  if (refinedShifts_) displace(sticks, lambda_, zero, *refinedShifts_);
  std::vector<obrin::Stick> companions;
  const auto lambda2 = alpha2();
  ui_->ka2Check->setEnabled(lambda2.has_value());
  if (ui_->ka2Check->isChecked() && lambda2) {
    companions = obrin::alpha2Companions(sticks, *lambda2, alpha2Ratio_, zero);
    if (refinedShifts_) displace(companions, *lambda2, zero, *refinedShifts_);
  }
  // The legend says which shifts the lines carry once they are a refined cell's.
  ui_->plot->setLinesCaption(
      refinedShifts_ ? QString("Refined cell: zero %1° 2θ, displacement %2 mm (R %3 mm)")
                           .arg(zeroShift_, 0, 'f', 4)
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
  // A row number of the previous list names another line, or none, in this one.
  ui_->plot->highlightRow(-1);
  redrawLines();
}

void PatternWindow::selectRow(int row) { ui_->plot->highlightRow(row); }

bool PatternWindow::openPattern(const QString& file) {
  obrin::PatternScansRead scans = obrin::readPatternScans(file.toStdString());
  if (!scans.ok()) {
    obrin::ui::warn(this, QString::fromStdString(scans.error()));
    return false;
  }
  int scan = 0;  // every scan, joined
  if (!obrin::scansFollowEachOther(*scans)) {
    QStringList items;
    for (std::size_t i = 0; i < scans->size(); ++i)
      items << QString("Scan %1: %2").arg(i + 1).arg(QString::fromStdString(obrin::scanSummary((*scans)[i])));
    const QString chosen = obrin::ui::chooseItem(
        this, QString("The scans of %1 overlap. Which one is shown?").arg(QFileInfo(file).fileName()), items);
    if (chosen.isEmpty()) return false;
    scan = int(items.indexOf(chosen)) + 1;
  }
  obrin::PatternRead read = obrin::patternOfScans(std::move(*scans), scan, file.toStdString());
  if (!read.ok()) {
    obrin::ui::warn(this, QString::fromStdString(read.error()));
    return false;
  }
  measured_ = std::move(*read);
  showPatternInfo(file);
  ui_->plot->setMeasured(*measured_);
  offerRatioOf(file);
  redrawLines();
  return true;
}

// The Kα2 ratio the file stores goes into its field; one no tube gives is refused by name, and
// the field keeps its value.
void PatternWindow::offerRatioOf(const QString& file) {
  if (!measured_->wavelength) return;
  const auto& stored = *measured_->wavelength;
  if (stored.ratio == 0 && stored.unusableRatio == 0) return;  // the file gives none
  const QString text = QString::number(stored.ratio != 0 ? stored.ratio : stored.unusableRatio);
  const auto ratio = obrin::readAlpha2Ratio(text.toStdString());
  if (!ratio) {
    obrin::ui::warn(this, QString("\"%1\": %2; the field keeps %3")
                              .arg(QFileInfo(file).fileName(), QString::fromStdString(ratio.error()),
                                   ui_->ka2RatioEdit->text()));
    return;
  }
  ui_->ka2RatioEdit->setText(text);
  alpha2Ratio_ = *ratio;
}

void PatternWindow::showPatternInfo(const QString& file) {
  QString text = QString("%1 (%2").arg(QFileInfo(file).fileName(),
                                       QString::fromStdString(obrin::patternFormatDescription(measured_->format)));
  if (measured_->scan > 0) text += QString(", scan %1 of %2").arg(measured_->scan).arg(measured_->scans);
  else if (measured_->scans > 1) text += QString(", %1 scans").arg(measured_->scans);
  text += QString("): %1 points").arg(measured_->x.size());
  const bool stored = measured_->wavelength.has_value();
  if (stored) {
    const auto& w = *measured_->wavelength;
    text += QString(", Kα1 %1 Å").arg(w.alpha1, 0, 'f', 5);
    if (w.alpha2 > 0) text += QString(", Kα2 %1 Å").arg(w.alpha2, 0, 'f', 5);
    if (w.ratio > 0) text += QString(", ratio %1").arg(w.ratio);
  }
  if (!measured_->note.empty()) text += "; " + QString::fromStdString(measured_->note);
  ui_->patternLabel->setText(text);
  ui_->useWavelengthButton->setEnabled(stored);
}

void PatternWindow::chooseAndOpenPattern() {
  const QString file = obrin::ui::openFileName(
      this,
      "Patterns (*.xy *.xye *.dat *.txt *.csv *.tsv *.xrdml *.raw *.uxd *.brml *.ras *.rasx *.gsa *.gss *.gsas *.fxye "
      "*.chi *.cif *.gz *.bz2);;All files (*)");
  if (!file.isEmpty()) openPattern(file);
}

// As Export cell asks: a beep, then Yes goes on and No or Cancel keeps the file.
bool PatternWindow::confirmOverwrite(const QString& file) {
  if (!QFileInfo::exists(file)) return true;
  QApplication::beep();
  return obrin::ui::askYesNoCancel(this, "This file already exists. Do you want to continue?") == QMessageBox::Yes;
}

void PatternWindow::exportPicture() {
  const QString file = obrin::ui::saveFileName(this, "PNG picture (*.png);;PDF document (*.pdf)");
  if (file.isEmpty()) return;
  const QString target =
      file.endsWith(".pdf", Qt::CaseInsensitive) || file.endsWith(".png", Qt::CaseInsensitive) ? file : file + ".png";
  if (!confirmOverwrite(target)) return;
  const auto written = ui_->plot->exportTo(target, ui_->widthSpin->value(), ui_->heightSpin->value());
  if (!written) obrin::ui::warn(this, QString::fromStdString(written.error()));
}

void PatternWindow::exportLines() {
  if (ui_->plot->lines().empty()) {
    obrin::ui::warn(this, "No calculated reflections!");
    return;
  }
  const QString file = obrin::ui::saveFileName(this, "Lines (*.txt *.tsv);;All files (*)");
  if (file.isEmpty()) return;
  const QString target = QFileInfo(file).suffix().isEmpty() ? file + ".txt" : file;
  if (!confirmOverwrite(target)) return;
  const auto written = obrin::writeFileAtomically(target.toStdString(), obrin::stickListText(ui_->plot->lines()));
  if (!written) obrin::ui::warn(this, QString::fromStdString(written.error()));
}

bool PatternWindow::findPeaksIfNone(double lambda) {
  if (!peaks_.peaks.empty()) return true;
  if (!measured_) return false;
  const auto wavelengths = obrin::peakWavelengths(lambda, measured_->wavelength, std::nullopt);
  if (!wavelengths) {
    obrin::ui::warn(this, QString::fromStdString(wavelengths.error()));
    return false;
  }
  obrin::PeakSearchOptions options;
  options.wavelengths = *wavelengths;
  std::atomic<double> share{0};
  std::atomic<bool> cancelled{false}, finished{false};
  options.progress = [&](double done) {
    share = done;
    return !cancelled.load();
  };
  QProgressDialog progress("Finding the peaks of the pattern...", "Cancel", 0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  obrin::PeakList found;
  const obrin::MeasuredPattern pattern = *measured_;
  std::thread worker([&] {
    found = obrin::findPeaks(pattern, options);
    finished = true;
  });
  while (!finished) {
    progress.setValue(static_cast<int>(100 * share));
    if (progress.wasCanceled()) cancelled = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  worker.join();
  progress.reset();
  if (cancelled) return false;
  if (found.peaks.empty()) {
    QString why = "No peaks found in the pattern";
    for (const std::string& note : found.notes) why += "\n" + QString::fromStdString(note);
    obrin::ui::warn(this, why);
    return false;
  }
  peaks_ = std::move(found);
  return true;
}
