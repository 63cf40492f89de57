#include "pattern_window.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

#include <QCoreApplication>
#include <QProgressDialog>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "analysis/line_matching.hpp"
#include "analysis/peak_search.hpp"
#include "analysis/peak_view.hpp"
#include "calc/pattern_sticks.hpp"
#include "core/limits.hpp"
#include "core/numfield.hpp"
#include "dialogs.h"
#include "io/atomic_write.hpp"
#include "io/peak_list_file.hpp"
#include "pattern_plot.h"
#include "ui_pattern_window.h"
#include "warning.h"

using obrin::PatternAxis;

namespace {

std::optional<double> fieldNumber(const QLineEdit* edit) { return obrin::parseNumber(edit->text().toStdString()); }

// The peak table's columns; widths and angles in degrees 2θ, as every header says.
enum PeakColumn { kTwoThetaColumn, kSuColumn, kDColumn, kHeightColumn, kAreaColumn, kFwhmColumn, kEtaColumn,
                  kSignificanceColumn, kPeakColumns };

void setUpPeakTable(QTableWidget* table) {
  table->setColumnCount(kPeakColumns);
  const QStringList headers{"2θ (°)", "s.u. 2θ (°)", "d (Å)", "Height (counts)", "Area (counts·° 2θ)",
                            "FWHM (° 2θ)", "η", "Significance"};
  const QStringList tips{"Position, Kα1's when the peak is a Kα1/Kα2 doublet",
                         "Standard uncertainty of the position (χ²/ν scaled)",
                         "Spacing from the position and λ1",
                         "Counts above the background at the top",
                         "Integrated counts above the background",
                         "Full width at half maximum, in degrees 2θ",
                         "Pseudo-Voigt mixing: 0 Gaussian, 1 Lorentzian",
                         "Height over its counting uncertainty"};
  table->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < kPeakColumns; ++c) table->horizontalHeaderItem(c)->setToolTip(tips[c]);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
}

// Blank where the list does not know the value (0: a list typed by hand, a width not fitted).
QTableWidgetItem* numberItem(double value, int decimals, bool blankZero = true) {
  auto* item = new QTableWidgetItem(blankZero && value == 0 ? QString() : QString::number(value, 'f', decimals));
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QString counted(std::size_t n, const char* one, const char* many) {
  return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
}

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
  connect(ui_->indexButton, &QPushButton::clicked, this, &PatternWindow::indexRequested);
  connect(ui_->refineButton, &QPushButton::clicked, this, &PatternWindow::refineRequested);
  connect(ui_->spaceGroupsButton, &QPushButton::clicked, this, &PatternWindow::spaceGroupsRequested);
  connect(ui_->useWavelengthButton, &QPushButton::clicked, this, [this] {
    if (measured_ && measured_->wavelength) emit wavelengthOffered(measured_->wavelength->alpha1);
  });

  ui_->significanceEdit->setText(QString::number(obrin::kDefaultMinPeakSignificance));
  ui_->toleranceEdit->setText(QString::number(obrin::kDefaultPeakMatchTolerance));
  ui_->plotSplitter->setStretchFactor(0, 3);
  ui_->plotSplitter->setStretchFactor(1, 1);
  setUpPeakTable(ui_->peakTable);
  connect(ui_->findPeaksButton, &QPushButton::clicked, this, &PatternWindow::findPeaks);
  connect(ui_->importPeaksButton, &QPushButton::clicked, this, &PatternWindow::importPeaks);
  connect(ui_->exportPeaksButton, &QPushButton::clicked, this, &PatternWindow::exportPeaks);
  connect(ui_->deletePeaksButton, &QPushButton::clicked, this, &PatternWindow::deleteSelectedPeaks);
  connect(ui_->toleranceEdit, &QLineEdit::editingFinished, this, [this] {
    if (acceptMatchTolerance()) matchPeaksAndLines();
  });
  // Delete acts where the peaks are: in the table and on the plot, not in the fields.
  deletePeaksAction_ = new QAction("Delete peaks", this);
  deletePeaksAction_->setShortcut(QKeySequence::Delete);
  deletePeaksAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(deletePeaksAction_, &QAction::triggered, this, &PatternWindow::deleteSelectedPeaks);
  ui_->peakTable->addAction(deletePeaksAction_);
  ui_->plot->addAction(deletePeaksAction_);
  connect(ui_->peakTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const std::vector<int> rows = selectedPeakRows();
    ui_->plot->setSelectedPeaks(rows);
    ui_->deletePeaksButton->setEnabled(!rows.empty());
    deletePeaksAction_->setEnabled(!rows.empty());
  });
  connect(ui_->plot, &PatternPlot::peakClicked, this, [this](int index) { selectPeaks({index}); });
  connect(ui_->plot, &PatternPlot::peakRequested, this, &PatternWindow::addPeakAt);
  connect(ui_->plot, &PatternPlot::cursorMoved, this,
          [this](const QString& readout) { ui_->cursorLabel->setText(readout.isEmpty() ? QString(" ") : readout); });
  ui_->deletePeaksButton->setEnabled(false);
  deletePeaksAction_->setEnabled(false);
  showPeakSummary();
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
  // The plot has matched the new lines against the peaks.
  showPeakSummary();
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
  // The range searched is the new pattern's, to the thousandth of a degree outwards.
  if (!measured_->x.empty()) {
    const auto [low, high] = std::minmax_element(measured_->x.begin(), measured_->x.end());
    ui_->fromEdit->setText(QString::number(std::floor(*low * 1000) / 1000));
    ui_->toEdit->setText(QString::number(std::ceil(*high * 1000) / 1000));
  }
  redrawLines();
  // Peaks fitted on the previous pattern are not this one's: a refinement would take them as
  // its. A list imported stands on its own and stays.
  if (peaksFitted_) installPeaks({}, std::nullopt);
  else matchPeaksAndLines();
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

// ---- Peaks ---------------------------------------------------------------------------------

std::optional<obrin::PeakWavelengths> PatternWindow::searchWavelengths(double lambda) {
  const std::optional<obrin::PatternWavelength> stored = measured_ ? measured_->wavelength : std::nullopt;
  const auto wavelengths =
      obrin::peakWavelengths(lambda > 0 ? std::optional<double>(lambda) : std::nullopt, stored, std::nullopt);
  if (!wavelengths) {
    obrin::ui::warn(this, QString::fromStdString(wavelengths.error()));
    return std::nullopt;
  }
  return *wavelengths;
}

// The fields of the search, refused by name with the focus given back to the field at fault.
std::optional<obrin::PeakSearchOptions> PatternWindow::searchOptions(double lambda) {
  obrin::PeakSearchOptions options;
  const auto significance = obrin::readMinSignificance(ui_->significanceEdit->text().toStdString());
  if (!significance) {
    refuseField(this, ui_->significanceEdit, significance.error(), checkingField_);
    return std::nullopt;
  }
  options.minSignificance = *significance;
  const auto range = obrin::readSearchRange(ui_->fromEdit->text().toStdString(), ui_->toEdit->text().toStdString());
  if (!range) {
    refuseField(this, range.error().find("2θ to") != std::string::npos ? ui_->toEdit : ui_->fromEdit, range.error(),
                checkingField_);
    return std::nullopt;
  }
  options.from = range->from;
  options.to = range->to;
  const auto wavelengths = searchWavelengths(lambda);
  if (!wavelengths) return std::nullopt;
  options.wavelengths = *wavelengths;
  return options;
}

// Off the window's thread, with a progress dialog and Cancel; none when cancelled.
std::optional<obrin::PeakList> PatternWindow::runSearch(obrin::PeakSearchOptions options) {
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
  if (cancelled) return std::nullopt;
  return found;
}

namespace {

QString noPeaksMessage(const obrin::PeakList& found) {
  QString why = "No peaks found in the pattern";
  for (const std::string& note : found.notes) why += "\n" + QString::fromStdString(note);
  return why;
}

// The range a search covered: the one asked for, within the pattern's points.
std::pair<double, double> searchedRange(const obrin::MeasuredPattern& pattern, const obrin::PeakSearchOptions& options) {
  double low = 0, high = 180;
  if (!pattern.x.empty()) {
    const auto [a, b] = std::minmax_element(pattern.x.begin(), pattern.x.end());
    low = *a;
    high = *b;
  }
  return {std::max(low, options.from.value_or(low)), std::min(high, options.to.value_or(high))};
}

}  // namespace

void PatternWindow::findPeaks() {
  if (!measured_) {
    obrin::ui::warn(this, "Open a pattern first: its peaks are found");
    return;
  }
  const auto options = searchOptions(lambda_);
  if (!options) return;
  auto found = runSearch(*options);
  if (!found) return;
  if (found->peaks.empty()) obrin::ui::warn(this, noPeaksMessage(*found));
  installPeaks(std::move(*found), searchedRange(*measured_, *options));
}

bool PatternWindow::findPeaksIfNone(double lambda) {
  if (!peaks_.peaks.empty()) return true;
  if (!measured_) return false;
  const auto options = searchOptions(lambda);
  if (!options) return false;
  auto found = runSearch(*options);
  if (!found) return false;
  if (found->peaks.empty()) {
    obrin::ui::warn(this, noPeaksMessage(*found));
    return false;
  }
  installPeaks(std::move(*found), searchedRange(*measured_, *options));
  return true;
}

void PatternWindow::setPeakList(obrin::PeakList peaks) {
  installPeaks(std::move(peaks), std::nullopt);
  peaksFitted_ = false;
}

void PatternWindow::installPeaks(obrin::PeakList peaks, std::optional<std::pair<double, double>> searched) {
  peaks_ = std::move(peaks);
  obrin::orderPeaks(peaks_.peaks, peaks_.wavelength);
  searchedRange_ = searched;
  peaksFitted_ = searched.has_value();
  refreshPeaks();
}

// The table, the markers and the match after the list changed; the selection goes.
void PatternWindow::refreshPeaks() {
  ui_->plot->setPeaks(peaks_.peaks);
  fillPeakTable();
  matchPeaksAndLines();
}

void PatternWindow::fillPeakTable() {
  QTableWidget* table = ui_->peakTable;
  const QSignalBlocker blocker(table->selectionModel());
  table->clearSelection();
  table->setRowCount(int(peaks_.peaks.size()));
  for (int row = 0; row < table->rowCount(); ++row) {
    const obrin::Peak& p = peaks_.peaks[std::size_t(row)];
    table->setItem(row, kTwoThetaColumn, numberItem(p.twoTheta, 4, false));
    table->setItem(row, kSuColumn, numberItem(p.twoThetaSu, 5));
    table->setItem(row, kDColumn, numberItem(p.d, 5));
    table->setItem(row, kHeightColumn, numberItem(p.height, 1));
    table->setItem(row, kAreaColumn, numberItem(p.area, 2));
    table->setItem(row, kFwhmColumn, numberItem(p.fwhm, 4));
    table->setItem(row, kEtaColumn, p.fwhm > 0 ? numberItem(p.eta, 3, false) : numberItem(0, 3));
    table->setItem(row, kSignificanceColumn, numberItem(p.significance, 1));
  }
  ui_->deletePeaksButton->setEnabled(false);
  deletePeaksAction_->setEnabled(false);
}

// Lines are judged where the peaks were looked for: the pattern's range (within the one
// searched), else the span of the peaks.
void PatternWindow::matchPeaksAndLines() {
  double low = 0, high = 180;
  if (measured_ && !measured_->x.empty()) {
    const auto [a, b] = std::minmax_element(measured_->x.begin(), measured_->x.end());
    low = *a;
    high = *b;
  } else if (!peaks_.peaks.empty()) {
    low = peaks_.peaks.front().twoTheta - matchTolerance_;
    high = peaks_.peaks.back().twoTheta + matchTolerance_;
  }
  if (searchedRange_) {
    low = std::max(low, searchedRange_->first);
    high = std::min(high, searchedRange_->second);
  }
  ui_->plot->setPeakMatching(matchTolerance_, low, high);
  showPeakSummary();
}

void PatternWindow::showPeakSummary() {
  QString text;
  if (peaks_.peaks.empty()) {
    text = "No peaks: Find peaks, Import peaks..., or Ctrl+click on the plot to fit one there";
  } else {
    text = counted(peaks_.peaks.size(), "peak", "peaks");
    if (!peaks_.background.empty()) text += ", background " + QString::fromStdString(peaks_.background);
    if (peaks_.alpha2 > 0) text += ", fitted as Kα1/Kα2 doublets (2θ of Kα1)";
    if (!ui_->plot->lines().empty())
      text += QString(" · within ±%1° 2θ: %2 (red), %3 (grey, dashed)")
                  .arg(matchTolerance_)
                  .arg(counted(ui_->plot->unexplainedPeaks().size(), "peak no line explains", "peaks no line explains"))
                  .arg(counted(ui_->plot->unexplainedLines().size(), "line without a peak", "lines without a peak"));
  }
  QStringList notes;
  for (const std::string& note : peaks_.notes) notes << QString::fromStdString(note);
  if (!notes.isEmpty()) text += QString(" · %1: hover here").arg(counted(std::size_t(notes.size()), "note", "notes"));
  ui_->peakSummaryLabel->setText(text);
  ui_->peakSummaryLabel->setToolTip(notes.join("\n"));
}

bool PatternWindow::acceptMatchTolerance() {
  if (checkingField_) return false;
  const auto tolerance = obrin::readPeakMatchTolerance(ui_->toleranceEdit->text().toStdString());
  if (!tolerance) {
    refuseField(this, ui_->toleranceEdit, tolerance.error(), checkingField_);
    return false;
  }
  matchTolerance_ = *tolerance;
  return true;
}

std::vector<int> PatternWindow::selectedPeakRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : ui_->peakTable->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void PatternWindow::selectPeaks(const std::vector<int>& indices) {
  QTableWidget* table = ui_->peakTable;
  QItemSelection selection;
  for (int row : indices)
    if (row >= 0 && row < table->rowCount())
      selection.select(table->model()->index(row, 0), table->model()->index(row, kPeakColumns - 1));
  table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!indices.empty() && indices.front() >= 0 && indices.front() < table->rowCount())
    table->scrollTo(table->model()->index(indices.front(), 0));
}

void PatternWindow::addPeakAt(double twoTheta) {
  if (!measured_) {
    obrin::ui::warn(this, "Open a pattern first: a peak is fitted to its points");
    return;
  }
  // On a peak of the list the fit finds only the noise its profile leaves.
  if (const auto covering = peakCovering(twoTheta)) {
    obrin::ui::warn(this, QString("The list has a peak at 2θ = %1° already").arg(covering->twoTheta, 0, 'f', 4));
    return;
  }
  const auto wavelengths = searchWavelengths(lambda_);
  if (!wavelengths) return;
  obrin::PeakSearchOptions options;
  options.wavelengths = *wavelengths;
  const auto peak = obrin::fitPeakAt(*measured_, twoTheta, peaks_.peaks, options);
  if (!peak) {
    obrin::ui::warn(this, QString::fromStdString(peak.error()));
    return;
  }
  // A second peak where the list has one would count it twice in a refinement.
  for (const obrin::Peak& p : peaks_.peaks)
    if (std::abs(p.twoTheta - peak->twoTheta) < obrin::kMinPeakSeparationFwhm * std::max(p.fwhm, peak->fwhm)) {
      obrin::ui::warn(this, QString("The list has a peak at 2θ = %1° already").arg(p.twoTheta, 0, 'f', 4));
      return;
    }
  if (!peaks_.wavelength) peaks_.wavelength = wavelengths->lambda;
  // The first peak of a list says how the list is fitted, as a search would.
  if (peaks_.peaks.empty() && wavelengths->alpha2) {
    peaks_.alpha2 = wavelengths->alpha2->lambda2;
    peaks_.alpha2Ratio = wavelengths->alpha2->ratio;
  }
  peaks_.peaks.push_back(*peak);
  peaksFitted_ = true;
  obrin::orderPeaks(peaks_.peaks, peaks_.wavelength);
  refreshPeaks();
  const auto at = std::find_if(peaks_.peaks.begin(), peaks_.peaks.end(),
                               [&](const obrin::Peak& p) { return p.twoTheta == peak->twoTheta; });
  selectPeaks({int(at - peaks_.peaks.begin())});
}

// The peak of the list whose top, or whose Kα2 companion's, lies within half a FWHM of 2θ.
std::optional<obrin::Peak> PatternWindow::peakCovering(double twoTheta) const {
  const double ratio = peaks_.alpha2 > 0 && peaks_.wavelength ? peaks_.alpha2 / *peaks_.wavelength : 0;
  for (const obrin::Peak& p : peaks_.peaks) {
    const double reach = obrin::kMinPeakSeparationFwhm * p.fwhm;
    if (std::abs(p.twoTheta - twoTheta) < reach) return p;
    const double s = ratio * std::sin(p.twoTheta * M_PI / 360);
    if (ratio > 0 && s < 1 && std::abs(360 / M_PI * std::asin(s) - twoTheta) < reach) return p;
  }
  return std::nullopt;
}

void PatternWindow::deleteSelectedPeaks() {
  const std::vector<int> rows = selectedPeakRows();
  if (rows.empty()) return;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) peaks_.peaks.erase(peaks_.peaks.begin() + *row);
  refreshPeaks();
}

void PatternWindow::importPeaks() {
  const QString file =
      obrin::ui::openFileName(this, "Peak lists (*.txt *.dat *.tsv *.csv *.peaks);;All files (*)");
  if (file.isEmpty()) return;
  obrin::PeakListReading how;
  // d rows take their 2θ from the calculation's λ, else from the pattern's Kα1.
  if (lambda_ > 0) how.lambda = lambda_;
  else if (measured_ && measured_->wavelength) how.lambda = measured_->wavelength->alpha1;
  auto read = obrin::readPeakList(file.toStdString(), how);
  if (!read) {
    obrin::ui::warn(this, QString::fromStdString(read.error()));
    return;
  }
  if (std::any_of(read->peaks.begin(), read->peaks.end(), [](const obrin::Peak& p) { return !(p.twoTheta > 0); })) {
    obrin::ui::warn(this, QString("The peaks of %1 are given as d: a wavelength is needed to place them")
                              .arg(QFileInfo(file).fileName()));
    return;
  }
  setPeakList(std::move(*read));
}

void PatternWindow::exportPeaks() {
  if (peaks_.peaks.empty()) {
    obrin::ui::warn(this, "No peaks!");
    return;
  }
  const QString file = obrin::ui::saveFileName(this, "Peak lists (*.txt *.tsv);;All files (*)");
  if (file.isEmpty()) return;
  const QString target = QFileInfo(file).suffix().isEmpty() ? file + ".txt" : file;
  if (!confirmOverwrite(target)) return;
  const auto written = obrin::writePeakList(target.toStdString(), peaks_);
  if (!written) obrin::ui::warn(this, QString::fromStdString(written.error()));
}
