#include "refine_dialog.h"

#include <QHeaderView>
#include <QTableWidgetItem>

#include <cmath>

#include "io/refinement_text.hpp"
#include "ui_refine_dialog.h"

namespace {

enum Column { Use, H, K, L, TwoThetaObs, TwoThetaCalc, Delta, DObs, DCalc, Weight, Leverage, Marks, ColumnCount };

const QColor kRefusalColour(170, 0, 0);
const QColor kWarningColour(160, 90, 0);
const QColor kOutlierColour(190, 0, 0);
const QColor kUnindexedColour(128, 128, 128);

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString number(double v, int decimals) { return QString::number(v, 'f', decimals); }

// The greek letters the window writes for the angles.
QString parameterName(int p) {
  static const char* names[] = {"a", "b", "c", "α", "β", "γ"};
  return QString::fromUtf8(names[p]);
}

// "a = 5.43102(4) Å", "b = a", "γ = 120°".
QString parameterText(const obrin::CellRefinement& r, int p) {
  const auto& rule = obrin::systemInfo(r.system).cell[p];
  if (rule.kind == obrin::CellParameterRule::Tied) return parameterName(p) + " = " + parameterName(obrin::tieRoot(r.system, p));
  return parameterName(p) + " = " + qs(obrin::cellParameterText(r, p)) + (p < 3 ? " Å" : "°");
}

QString figureText(char letter, const std::optional<obrin::FigureOfMerit>& f, const QString& deltaText) {
  if (!f) return QString("%1: none").arg(letter);
  const QString value = std::isfinite(f->value) ? number(f->value, 1) : QStringLiteral("∞");
  return QString("%1%2 = %3 (%4, N_poss %5)").arg(letter).arg(f->lines).arg(value, deltaText).arg(f->possible);
}

QTableWidgetItem* cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

}  // namespace

RefineDialog::RefineDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::RefineDialog>()) {
  ui_->setupUi(this);
  ui_->linesTable->setColumnCount(ColumnCount);
  ui_->linesTable->setHorizontalHeaderLabels({"Use", "h", "k", "l", "2θ obs", "2θ calc", "Δ2θ", "d obs (Å)",
                                              "d calc (Å)", "Weight", "Leverage", "Marks"});
  ui_->linesTable->verticalHeader()->setDefaultSectionSize(ui_->linesTable->fontMetrics().height() + 6);
  ui_->linesTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  ui_->linesTable->horizontalHeader()->setStretchLastSection(true);
  ui_->summaryLabel->setTextFormat(Qt::PlainText);
  ui_->messageLabel->setTextFormat(Qt::PlainText);
  ui_->radiusSpin->setValue(obrin::kDefaultGoniometerRadius);
  ui_->toleranceSpin->setValue(obrin::kDefaultMatchTolerance);
  ui_->radiusSpin->setEnabled(false);
  connect(ui_->zeroCheck, &QCheckBox::toggled, this, &RefineDialog::refine);
  connect(ui_->displacementCheck, &QCheckBox::toggled, this, [this](bool on) {
    ui_->radiusSpin->setEnabled(on);
    refine();
  });
  connect(ui_->radiusSpin, &QDoubleSpinBox::valueChanged, this, &RefineDialog::refine);
  connect(ui_->toleranceSpin, &QDoubleSpinBox::valueChanged, this, &RefineDialog::refine);
  connect(ui_->refineButton, &QPushButton::clicked, this, &RefineDialog::refine);
  connect(ui_->linesTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!filling_ && item->column() == Use) peakUseChanged(item->row());
  });
  connect(ui_->useButton, &QPushButton::clicked, this, [this] {
    if (refinement_) emit refinedCellChosen(*refinement_);
  });
  connect(ui_->undoButton, &QPushButton::clicked, this, &RefineDialog::undoRequested);
  connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::close);
  ui_->useButton->setEnabled(false);
  ui_->undoButton->setEnabled(false);
}

RefineDialog::~RefineDialog() = default;

void RefineDialog::setProblem(RefineProblem problem) {
  problem_ = std::move(problem);
  ui_->problemLabel->setText(QString("%1, %2, λ = %3 Å: %4 peaks")
                                 .arg(qs(std::string(obrin::systemName(problem_.system))), qs(problem_.groupName))
                                 .arg(problem_.lambda, 0, 'f', 5)
                                 .arg(problem_.peaks.peaks.size()));
  fillPeakRows();
  refine();
}

obrin::RefinementOptions RefineDialog::options() const {
  obrin::RefinementOptions o;
  o.tolerance = ui_->toleranceSpin->value();
  o.refineZero = ui_->zeroCheck->isChecked();
  o.refineDisplacement = ui_->displacementCheck->isChecked();
  o.radius = ui_->radiusSpin->value();
  for (int row = 0; row < ui_->linesTable->rowCount(); ++row)
    if (ui_->linesTable->item(row, Use)->checkState() != Qt::Checked) o.excluded.push_back(row);
  return o;
}

void RefineDialog::setUndoAvailable(bool available) { ui_->undoButton->setEnabled(available); }

// A row for each peak, used; the columns of the results stay empty until a refinement fills them.
void RefineDialog::fillPeakRows() {
  filling_ = true;
  ui_->linesTable->clearContents();
  ui_->linesTable->setRowCount(static_cast<int>(problem_.peaks.peaks.size()));
  for (int row = 0; row < ui_->linesTable->rowCount(); ++row) {
    auto* use = new QTableWidgetItem;
    use->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    use->setCheckState(Qt::Checked);
    ui_->linesTable->setItem(row, Use, use);
    for (int c = H; c < ColumnCount; ++c) ui_->linesTable->setItem(row, c, cell({}));
    ui_->linesTable->item(row, TwoThetaObs)->setText(number(problem_.peaks.peaks[row].twoTheta, 4));
    ui_->linesTable->item(row, Marks)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  filling_ = false;
}

void RefineDialog::peakUseChanged(int) { refine(); }

void RefineDialog::refine() {
  if (problem_.peaks.peaks.empty()) {
    showRefusal("No peaks to refine against: find or import the peaks in the Pattern window first");
    return;
  }
  auto result = obrin::refineCell(problem_.peaks, problem_.system, problem_.cell, problem_.group, problem_.lambda,
                                  options());
  if (!result) {
    showRefusal(qs(result.error()));
    return;
  }
  refinement_ = std::move(*result);
  showRefinement();
}

void RefineDialog::showRefusal(const QString& message) {
  refinement_.reset();
  ui_->useButton->setEnabled(false);
  ui_->summaryLabel->clear();
  QPalette p = ui_->messageLabel->palette();
  p.setColor(QPalette::WindowText, kRefusalColour);
  ui_->messageLabel->setPalette(p);
  ui_->messageLabel->setText(message);
  // The peaks stay listed, their results go: nothing on screen comes from another refinement.
  filling_ = true;
  for (int row = 0; row < ui_->linesTable->rowCount(); ++row)
    for (int c = H; c < ColumnCount; ++c)
      if (c != TwoThetaObs) ui_->linesTable->item(row, c)->setText({});
  filling_ = false;
}

void RefineDialog::showRefinement() {
  const obrin::CellRefinement& r = *refinement_;
  QStringList lines;
  lines << parameterText(r, obrin::kA) + "    " + parameterText(r, obrin::kB) + "    " + parameterText(r, obrin::kC) +
               "    " + parameterText(r, obrin::kAlpha) + "    " + parameterText(r, obrin::kBeta) + "    " +
               parameterText(r, obrin::kGamma);
  QString shifts = "V = " + qs(obrin::valueWithUncertainty(r.volume, r.volumeSu, 3)) + " Å³    zero = " +
                   (r.zeroRefined ? qs(obrin::valueWithUncertainty(r.zero, r.zeroSu, 4)) : number(r.zero, 4)) +
                   "° 2θ" + (r.zeroRefined ? "" : " (not refined)") + "    displacement = " +
                   (r.displacementRefined ? qs(obrin::valueWithUncertainty(r.displacement, r.displacementSu, 4))
                                          : number(r.displacement, 4)) +
                   " mm" + (r.displacementRefined ? QString(" (R = %1 mm)").arg(r.radius) : QString(" (not refined)"));
  if (r.zeroDisplacementCorrelation) shifts += "    ρ(zero, displacement) = " + number(*r.zeroDisplacementCorrelation, 3);
  lines << shifts;
  lines << figureText('M', r.m20, r.m20 ? "mean |ΔQ| " + QString::number(r.m20->meanDelta, 'g', 3) + " Å⁻²" : QString()) +
               "    " +
               figureText('F', r.fN, r.fN ? "mean |Δ2θ| " + number(r.fN->meanDelta, 4) + "°" : QString());
  lines << QString("%1 of %2 peaks used, %3 unindexed, %4 ambiguous, %5 outliers; χ²/ν = %6; %7")
               .arg(r.used)
               .arg(r.lines.size())
               .arg(r.unindexed)
               .arg(r.ambiguous)
               .arg(r.outliers)
               .arg(r.reducedChiSquare, 0, 'g', 4)
               .arg(r.weighted ? QString("weights 1/σ², σ at least %1°").arg(obrin::kMinTwoThetaSu)
                               : QStringLiteral("equal weights (the peaks have no s.u.)"));
  ui_->summaryLabel->setText(lines.join('\n'));

  QPalette p = ui_->messageLabel->palette();
  p.setColor(QPalette::WindowText, kWarningColour);
  ui_->messageLabel->setPalette(p);
  QStringList warnings;
  for (const auto& w : r.warnings) warnings << qs(w);
  ui_->messageLabel->setText(warnings.join('\n'));
  ui_->useButton->setEnabled(true);

  filling_ = true;
  for (const obrin::RefinedLine& line : r.lines) {
    const int row = line.peak;
    auto set = [&](int column, const QString& text) { ui_->linesTable->item(row, column)->setText(text); };
    set(H, line.indexed ? QString::number(line.hkl.h) : QString());
    set(K, line.indexed ? QString::number(line.hkl.k) : QString());
    set(L, line.indexed ? QString::number(line.hkl.l) : QString());
    set(TwoThetaCalc, line.indexed ? number(line.twoThetaCalc, 4) : QString());
    set(Delta, line.indexed ? number(line.delta, 4) : QString());
    set(DObs, line.dObs > 0 ? number(line.dObs, 5) : QString());
    set(DCalc, line.indexed ? number(line.dCalc, 5) : QString());
    set(Weight, line.used() ? QString::number(line.weight, 'g', 6) : QString());
    set(Leverage, line.used() ? number(line.leverage, 3) : QString());
    QStringList marks;
    if (!line.indexed) marks << "unindexed";
    if (line.excluded) marks << "excluded";
    if (line.outlier) marks << "outlier > 3σ";
    if (line.ambiguous) marks << "ambiguous";
    set(Marks, marks.join(", "));
    const QColor colour = line.outlier ? kOutlierColour : !line.used() ? kUnindexedColour : palette().color(QPalette::Text);
    for (int c = H; c < ColumnCount; ++c) ui_->linesTable->item(row, c)->setForeground(colour);
  }
  filling_ = false;
}
