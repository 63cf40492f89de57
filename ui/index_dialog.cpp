#include "index_dialog.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QThread>
#include <QTreeWidgetItem>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

#include "io/refinement_text.hpp"
#include "symmetry/space_group.hpp"
#include "ui_index_dialog.h"

namespace {

enum Column {
  kRankColumn, kSystemColumn, kLatticeColumn, kAColumn, kBColumn, kCColumn, kAlphaColumn, kBetaColumn, kGammaColumn,
  kVolumeColumn, kZeroColumn, kM20Column, kFNColumn, kIndexedColumn, kNotesColumn
};

// The smallest limits the fields take: a tolerance of one step of the field, a cell of 1 Å³,
// no zero shift at all.
constexpr double kMinTolerance = 0.001;
constexpr double kMinVolume = 1;
constexpr double kMinZeroRange = 0;
// The progress bar's steps.
constexpr int kProgressSteps = 1000;

constexpr std::array<obrin::CrystalSystem, obrin::kSystemCount> kSystems = {
    obrin::CrystalSystem::Cubic,        obrin::CrystalSystem::Tetragonal, obrin::CrystalSystem::Orthorhombic,
    obrin::CrystalSystem::Hexagonal,    obrin::CrystalSystem::Rhombohedral, obrin::CrystalSystem::Monoclinic,
    obrin::CrystalSystem::Triclinic};

const QColor kRefusalColour(170, 0, 0);

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

QString systemText(obrin::CrystalSystem s) { return qs(obrin::systemName(s)); }

// A cell accepts most lines as its own: fewer than half of those used may be impurities.
int maxImpurities(int lines) { return obrin::maxIndexingImpurities(lines); }

QString systemsText(const std::vector<obrin::CrystalSystem>& systems) {
  if (systems.empty() || systems.size() == kSystems.size()) return QStringLiteral("every system, cubic to triclinic");
  QStringList names;
  for (obrin::CrystalSystem s : systems) names << systemText(s).toLower();
  return names.join(QStringLiteral(", "));
}

// The parameter as the system has it: a fixed angle as its degrees, the others with their s.u.
QString parameterText(obrin::CrystalSystem system, const obrin::UnitCell& cell, const obrin::UnitCell& su, int p) {
  const auto& rule = obrin::systemInfo(system).cell[p];
  if (rule.kind == obrin::CellParameterRule::Fixed) return QString::number(rule.degrees);
  const int root = rule.kind == obrin::CellParameterRule::Tied ? obrin::tieRoot(system, p) : p;
  return qs(obrin::valueWithUncertainty(cell.params()[root], su.params()[root], p < 3 ? 4 : 3));
}

QString figureValue(const std::optional<obrin::FigureOfMerit>& f) {
  if (!f) return QStringLiteral("–");
  return std::isfinite(f->value) ? QString::number(f->value, 'f', 1) : QStringLiteral("∞");
}

QString figureTip(const char* name, const std::optional<obrin::FigureOfMerit>& f, const char* unit) {
  if (!f) return QStringLiteral("%1: none").arg(QLatin1String(name));
  return QStringLiteral("%1%2 = %3: mean |Δ| %4 %5 over %2 lines, %6 lines possible")
      .arg(QLatin1String(name))
      .arg(f->lines)
      .arg(figureValue(f))
      .arg(f->meanDelta, 0, 'g', 3)
      .arg(QString::fromUtf8(unit))
      .arg(f->possible);
}

QString relationText(obrin::RelatedCell::Relation r) {
  switch (r) {
    case obrin::RelatedCell::Relation::SameLattice: return QStringLiteral("same lattice");
    case obrin::RelatedCell::Relation::SubCell: return QStringLiteral("sub-cell");
    case obrin::RelatedCell::Relation::SuperCell: return QStringLiteral("super-cell");
    case obrin::RelatedCell::Relation::Derivative: return QStringLiteral("derivative lattice");
  }
  return {};
}

void alignRight(QTreeWidgetItem* item) {
  for (int c = kAColumn; c <= kIndexedColumn; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

void setCellColumns(QTreeWidgetItem* item, obrin::CrystalSystem system, const obrin::UnitCell& cell,
                    const obrin::UnitCell& su) {
  for (int p = 0; p < 6; ++p) item->setText(kAColumn + p, parameterText(system, cell, su, p));
}

QTreeWidgetItem* relatedRow(const obrin::RelatedCell& r, double solutionVolume) {
  auto* item = new QTreeWidgetItem;
  item->setText(kSystemColumn, QStringLiteral("↳ ") + relationText(r.relation));
  item->setText(kLatticeColumn, qs(r.lattice));
  setCellColumns(item, r.system, r.cell, {0, 0, 0, 0, 0, 0});
  item->setText(kVolumeColumn, QString::number(r.volume, 'f', 2));
  item->setText(kM20Column, r.m20 > 0 ? QString::number(r.m20, 'f', 1) : QStringLiteral("–"));
  if (solutionVolume > 0)
    item->setText(kNotesColumn, QStringLiteral("V × %1 of the solution's").arg(r.volume / solutionVolume, 0, 'g', 3));
  item->setToolTip(kSystemColumn, QStringLiteral("A %1 %2 of the solution above: it explains the same lines")
                                      .arg(systemText(r.system).toLower(), relationText(r.relation)));
  // It explains the lines of its solution, not others: it is shown, never chosen instead.
  item->setFlags(Qt::ItemIsEnabled);
  alignRight(item);
  return item;
}

QString solutionTip(const obrin::IndexingSolution& s) {
  QStringList tip;
  tip << QStringLiteral("%1 %2, V = %3 Å³, zero %4° 2θ")
             .arg(systemText(s.system), qs(s.lattice), qs(obrin::valueWithUncertainty(s.volume, s.volumeSu, 2)),
                  qs(obrin::valueWithUncertainty(s.zero, s.zeroSu, 4)));
  tip << QStringLiteral("Reduced cell: %1 %2 %3 Å, %4 %5 %6°")
             .arg(s.reduced.a, 0, 'f', 4)
             .arg(s.reduced.b, 0, 'f', 4)
             .arg(s.reduced.c, 0, 'f', 4)
             .arg(s.reduced.alpha, 0, 'f', 3)
             .arg(s.reduced.beta, 0, 'f', 3)
             .arg(s.reduced.gamma, 0, 'f', 3);
  if (s.higherMetric) tip << QStringLiteral("Its metric is %1 within the tolerance").arg(systemText(*s.higherMetric).toLower());
  for (const obrin::RelatedCell& r : s.related)
    tip << QStringLiteral("%1: %2 %3, V = %4 Å³")
               .arg(relationText(r.relation), systemText(r.system), qs(r.lattice))
               .arg(r.volume, 0, 'f', 2);
  if (!s.passes) tip << QStringLiteral("Not an indexing: M20 below %1 or more lines unindexed than allowed").arg(obrin::kMinIndexingM20);
  return tip.join('\n');
}

QTreeWidgetItem* solutionRow(int rank, const obrin::IndexingSolution& s, const QColor& failed) {
  auto* item = new QTreeWidgetItem;
  item->setText(kRankColumn, QString::number(rank));
  item->setText(kSystemColumn, systemText(s.system));
  item->setText(kLatticeColumn, qs(s.lattice));
  setCellColumns(item, s.system, s.cell, s.cellSu);
  item->setText(kVolumeColumn, qs(obrin::valueWithUncertainty(s.volume, s.volumeSu, 2)));
  item->setText(kZeroColumn, qs(obrin::valueWithUncertainty(s.zero, s.zeroSu, 4)));
  item->setText(kM20Column, figureValue(s.m20));
  item->setToolTip(kM20Column, figureTip("M", s.m20, "Å⁻²"));
  item->setText(kFNColumn, s.fN ? QStringLiteral("%1 (%2)").arg(figureValue(s.fN)).arg(s.fN->lines) : figureValue(s.fN));
  item->setToolTip(kFNColumn, figureTip("F", s.fN, "° 2θ"));
  item->setText(kIndexedColumn, QStringLiteral("%1/%2").arg(s.indexed).arg(s.lines));
  QStringList notes;
  if (!s.passes) notes << QStringLiteral("not indexed");
  if (s.higherMetric) notes << QStringLiteral("metric looks %1").arg(systemText(*s.higherMetric).toLower());
  if (!s.related.empty())
    notes << (s.related.size() == 1 ? QStringLiteral("1 related cell") : QStringLiteral("%1 related cells").arg(s.related.size()));
  item->setText(kNotesColumn, notes.join(QStringLiteral(", ")));
  const QString tip = solutionTip(s);
  for (int c = 0; c <= kNotesColumn; ++c) {
    if (c != kM20Column && c != kFNColumn) item->setToolTip(c, tip);
    if (!s.passes) item->setForeground(c, failed);
  }
  alignRight(item);
  for (const obrin::RelatedCell& r : s.related) {
    QTreeWidgetItem* child = relatedRow(r, s.volume);
    for (int c = 0; c <= kNotesColumn; ++c) child->setForeground(c, failed);
    item->addChild(child);
  }
  return item;
}

}  // namespace

// What the worker thread is given and gives back. Cancel is set from the window's thread; the
// progress is written by the worker only.
struct IndexDialog::Job {
  std::atomic<bool> cancel{false};
  IndexSearch search;
  obrin::PeakList peaks;
  double lambda = 0;
  obrin::IndexingOptions options;
  obrin::Result<obrin::IndexingResult> result = obrin::fail("The search did not run");
  int postedStep = -1;
  obrin::CrystalSystem postedSystem = obrin::CrystalSystem::Cubic;
};

IndexDialog::IndexDialog(QWidget* parent, IndexSearch search)
    : QDialog(parent), ui_(std::make_unique<Ui::IndexDialog>()), search_(std::move(search)) {
  ui_->setupUi(this);
  ui_->linesSpin->setRange(obrin::kMinIndexingLines, obrin::kMaxIndexingLines);
  ui_->linesSpin->setValue(obrin::kDefaultIndexingLines);
  ui_->toleranceSpin->setRange(kMinTolerance, obrin::kMaxIndexingTolerance);
  ui_->toleranceSpin->setValue(obrin::kDefaultIndexingTolerance);
  ui_->volumeSpin->setRange(kMinVolume, obrin::kMaxIndexingVolume);
  ui_->volumeSpin->setValue(obrin::kDefaultIndexingMaxVolume);
  ui_->impuritiesSpin->setRange(0, maxImpurities(obrin::kDefaultIndexingLines));
  ui_->impuritiesSpin->setValue(obrin::kDefaultIndexingImpurities);
  ui_->zeroSpin->setRange(kMinZeroRange, obrin::kMaxIndexingZeroRange);
  ui_->zeroSpin->setValue(obrin::kDefaultIndexingZeroRange);
  QCheckBox* checks[] = {ui_->system0Check, ui_->system1Check, ui_->system2Check, ui_->system3Check,
                         ui_->system4Check, ui_->system5Check, ui_->system6Check};
  for (int i = 0; i < obrin::kSystemCount; ++i) {
    checks[i]->setText(systemText(kSystems[i]));
    checks[i]->setObjectName(QStringLiteral("systemCheck_") + qs(obrin::systemCode(kSystems[i])));
  }
  ui_->problemLabel->setTextFormat(Qt::PlainText);
  ui_->summaryLabel->setTextFormat(Qt::PlainText);
  ui_->messageLabel->setTextFormat(Qt::PlainText);
  QHeaderView* header = ui_->candidateTree->header();
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setStretchLastSection(true);
  header->setDefaultAlignment(Qt::AlignCenter);

  connect(ui_->linesSpin, &QSpinBox::valueChanged, this, [this](int lines) {
    ui_->impuritiesSpin->setMaximum(maxImpurities(lines));
    showProblem();
  });
  connect(ui_->searchButton, &QPushButton::clicked, this, &IndexDialog::search);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &IndexDialog::cancel);
  connect(ui_->useButton, &QPushButton::clicked, this, &IndexDialog::useSelectedCell);
  connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::close);
  connect(ui_->candidateTree, &QTreeWidget::currentItemChanged, this, [this] { showIdle(!busy()); });
  connect(ui_->candidateTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item->parent()) return;
    ui_->candidateTree->setCurrentItem(item);
    useSelectedCell();
  });
  showIdle(true);
}

IndexDialog::~IndexDialog() {
  if (!thread_) return;
  // The search answers Cancel at its next progress call; its result is not wanted.
  job_->cancel = true;
  thread_->wait();
  delete thread_;
}

bool IndexDialog::setProblem(IndexProblem problem) {
  if (busy()) return false;
  const bool same = problem.lambda == problem_.lambda && problem.peaks.peaks.size() == problem_.peaks.peaks.size() &&
                    std::equal(problem.peaks.peaks.begin(), problem.peaks.peaks.end(), problem_.peaks.peaks.begin(),
                               [](const obrin::Peak& a, const obrin::Peak& b) { return a.twoTheta == b.twoTheta; });
  problem_ = std::move(problem);
  showProblem();
  // Candidates of other peaks would be taken for these.
  if (!same) clearResults();
  return true;
}

void IndexDialog::showProblem() {
  const int peaks = static_cast<int>(problem_.peaks.peaks.size());
  const int used = std::min(peaks, ui_->linesSpin->value());
  ui_->problemLabel->setText(
      peaks == 0 ? QStringLiteral("λ = %1 Å; no peaks: find or import them in the Pattern window").arg(problem_.lambda, 0, 'f', 5)
                 : QStringLiteral("λ = %1 Å; %2 peaks, of which the first %3 by 2θ are indexed")
                       .arg(problem_.lambda, 0, 'f', 5)
                       .arg(peaks)
                       .arg(used));
}

obrin::IndexingOptions IndexDialog::options() const {
  obrin::IndexingOptions o;
  o.lines = ui_->linesSpin->value();
  o.tolerance = ui_->toleranceSpin->value();
  o.maxVolume = ui_->volumeSpin->value();
  o.impurities = ui_->impuritiesSpin->value();
  o.zeroRange = ui_->zeroSpin->value();
  for (int i = 0; i < obrin::kSystemCount; ++i)
    if (findChild<QCheckBox*>(QStringLiteral("systemCheck_") + qs(obrin::systemCode(kSystems[i])))->isChecked())
      o.systems.push_back(kSystems[i]);
  return o;
}

const obrin::IndexingSolution* IndexDialog::selectedSolution() const {
  const QTreeWidgetItem* item = ui_->candidateTree->currentItem();
  if (!result_ || !item || item->parent()) return nullptr;
  const int row = ui_->candidateTree->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
  if (row < 0 || row >= static_cast<int>(result_->solutions.size())) return nullptr;
  return &result_->solutions[row];
}

void IndexDialog::search() {
  if (busy()) return;
  if (problem_.peaks.peaks.empty()) {
    showRefusal(QStringLiteral("No peaks to index: find or import the peaks in the Pattern window first"));
    return;
  }
  obrin::IndexingOptions o = options();
  // No system at all is not "every system", as the search takes an empty list.
  if (o.systems.empty()) {
    showRefusal(QStringLiteral("Check at least one crystal system to search"));
    return;
  }
  clearResults();
  job_ = std::make_shared<Job>();
  Job* job = job_.get();
  job->search = search_;
  job->peaks = problem_.peaks;
  job->lambda = problem_.lambda;
  // Called on the worker: a new step of the bar or a new system is posted to the window's
  // thread, where the widgets are; Cancel is answered here.
  o.progress = [this, job](double share, obrin::CrystalSystem system) {
    const int step = std::clamp(static_cast<int>(std::lround(share * kProgressSteps)), 0, kProgressSteps);
    if (step != job->postedStep || system != job->postedSystem) {
      job->postedStep = step;
      job->postedSystem = system;
      QMetaObject::invokeMethod(this, [this, step, system] { showProgress(step, system); }, Qt::QueuedConnection);
    }
    return !job->cancel.load();
  };
  job->options = std::move(o);
  std::shared_ptr<Job> kept = job_;
  thread_ = QThread::create([kept] { kept->result = kept->search(kept->peaks, kept->lambda, kept->options); });
  connect(thread_, &QThread::finished, this, &IndexDialog::finishJob);
  ui_->progressBar->setValue(0);
  ui_->progressLabel->setText(QStringLiteral("Searching..."));
  showIdle(false);
  thread_->start();
}

void IndexDialog::cancel() {
  if (!job_) return;
  job_->cancel = true;
  ui_->progressLabel->setText(QStringLiteral("Cancelling..."));
}

void IndexDialog::done(int r) {
  // Closed, by its button, the window's frame or Escape, the dialog has nobody left to read what
  // the search finds: it stops, and says so when shown again.
  cancel();
  QDialog::done(r);
}

void IndexDialog::finishJob() {
  thread_->deleteLater();
  thread_ = nullptr;
  const std::shared_ptr<Job> job = std::move(job_);
  if (job->result) {
    result_ = std::move(*job->result);
    showResult(*result_);
    if (job->cancel && !result_->complete)
      ui_->summaryLabel->setText(ui_->summaryLabel->text() + QStringLiteral("\nThe search was cancelled: what it had "
                                                                            "found by then is shown."));
  } else {
    showRefusal(qs(job->result.error()));
  }
  showIdle(true);
  emit searchFinished();
}

void IndexDialog::showProgress(int step, obrin::CrystalSystem system) {
  if (!busy() || job_->cancel) return;
  ui_->progressBar->setValue(step);
  ui_->progressLabel->setText(QStringLiteral("Searching %1...").arg(systemText(system).toLower()));
}

void IndexDialog::showIdle(bool idle) {
  ui_->progressBar->setVisible(!idle);
  ui_->progressLabel->setVisible(!idle);
  ui_->cancelButton->setVisible(!idle);
  ui_->searchButton->setEnabled(idle);
  ui_->limitsBox->setEnabled(idle);
  ui_->useButton->setEnabled(idle && selectedSolution());
}

void IndexDialog::clearResults() {
  result_.reset();
  ui_->candidateTree->clear();
  ui_->summaryLabel->clear();
  ui_->messageLabel->clear();
  ui_->messageLabel->setPalette(palette());
  ui_->messageLabel->setFont(font());
  showIdle(!busy());
}

void IndexDialog::showRefusal(const QString& message) {
  clearResults();
  QPalette p = ui_->messageLabel->palette();
  p.setColor(QPalette::WindowText, kRefusalColour);
  ui_->messageLabel->setPalette(p);
  ui_->messageLabel->setText(message);
}

void IndexDialog::showResult(const obrin::IndexingResult& r) {
  QStringList summary;
  summary << QStringLiteral("Searched %1; cells up to %2 Å³, 2θ tolerance %3°, the first %4 lines with %5 impurity %6 "
                            "allowed, zero shift within ±%7° 2θ, λ = %8 Å.")
                 .arg(systemsText(r.systems))
                 .arg(r.maxVolume, 0, 'f', 0)
                 .arg(r.tolerance, 0, 'f', 3)
                 .arg(r.lines)
                 .arg(r.impurities)
                 .arg(r.impurities == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                 .arg(r.zeroRange, 0, 'f', 2)
                 .arg(r.lambda, 0, 'f', 5);
  summary << (r.complete ? QStringLiteral("The search finished: every cell within the limits was tried.")
                         : QStringLiteral("The search did not finish: cells within the limits may be missing."));
  for (const std::string& note : r.notes) summary << qs(note);
  ui_->summaryLabel->setText(summary.join('\n'));

  QString verdict;
  if (r.indexed && !r.solutions.empty()) {
    const obrin::IndexingSolution& best = r.solutions.front();
    verdict = QStringLiteral("Indexed: %1 %2, M20 = %3, %4 of %5 lines indexed.")
                  .arg(systemText(best.system), qs(best.lattice), figureValue(best.m20))
                  .arg(best.indexed)
                  .arg(best.lines);
  } else {
    verdict = QStringLiteral("The pattern was not indexed: no cell reaches M20 %1 with at most %2 unindexed %3.")
                  .arg(obrin::kMinIndexingM20)
                  .arg(r.impurities)
                  .arg(r.impurities == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
    verdict += r.solutions.empty() ? QStringLiteral(" No cell came near.") : QStringLiteral(" The best tries are listed.");
  }
  ui_->messageLabel->setPalette(palette());
  QFont bold = font();
  bold.setBold(true);
  ui_->messageLabel->setFont(bold);
  ui_->messageLabel->setText(verdict);

  QTreeWidget* tree = ui_->candidateTree;
  const QSignalBlocker quiet(tree);
  tree->clear();
  const QColor failed = palette().color(QPalette::Disabled, QPalette::Text);
  for (std::size_t i = 0; i < r.solutions.size(); ++i)
    tree->addTopLevelItem(solutionRow(static_cast<int>(i) + 1, r.solutions[i], failed));
  tree->expandAll();
  if (r.indexed && tree->topLevelItemCount() > 0) tree->setCurrentItem(tree->topLevelItem(0));
}

void IndexDialog::useSelectedCell() {
  if (busy()) return;
  if (const obrin::IndexingSolution* s = selectedSolution()) emit cellChosen(*s);
}

std::optional<std::string> latticeGroupName(const std::filesystem::path& file, obrin::CrystalSystem system,
                                            char centring) {
  const obrin::SpaceGroupFileRead read = obrin::loadAllSpaceGroups(file, system);
  for (const obrin::SpaceGroup& g : read.groups) {
    // Every group of the rhombohedral-axes file is of the one lattice, whatever its letter.
    const bool lattice = system == obrin::CrystalSystem::Rhombohedral || g.lattice == centring;
    if (lattice && g.conditions.empty()) return g.name;
  }
  return std::nullopt;
}
