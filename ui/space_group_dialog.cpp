#include "space_group_dialog.h"

#include <QCloseEvent>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "analysis/absence_weight.hpp"
#include "core/numfield.hpp"
#include "ui_space_group_dialog.h"
#include "warning.h"

namespace {

enum Column { kRankColumn, kScoreColumn, kUnexplainedColumn, kMissingColumn, kM20Column, kSymbolColumn, kGroupsColumn };

// The tolerances a matching can sensibly take, degrees 2θ.
constexpr double kMaxTolerance = 10;
// Missing lines and unexplained peaks a row's tooltip names.
constexpr std::size_t kListedInTip = 12;

QString number(double x, int decimals) {
  return std::isinf(x) ? QStringLiteral("∞") : QString::number(x, 'f', decimals);
}

QTableWidgetItem* cell(const QString& text, bool right = true) {
  auto* item = new QTableWidgetItem(text);
  if (right) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QString missingTip(const obrin::RankedClass& c) {
  if (c.missing.empty()) return QStringLiteral("No allowed line is missing");
  QString tip = QStringLiteral("Allowed lines with no peak (2θ, weight):");
  for (std::size_t i = 0; i < c.missing.size() && i < kListedInTip; ++i) {
    const obrin::MissingLine& m = c.missing[i];
    tip += QStringLiteral("\n%1 %2 %3   %4°   %5")
               .arg(m.hkl.h)
               .arg(m.hkl.k)
               .arg(m.hkl.l)
               .arg(m.twoTheta, 0, 'f', 3)
               .arg(m.weight, 0, 'f', 2);
  }
  if (c.missing.size() > kListedInTip) tip += QStringLiteral("\n... and %1 more").arg(c.missing.size() - kListedInTip);
  return tip;
}

QString unexplainedTip(const obrin::RankedClass& c, const std::vector<obrin::Peak>& peaks) {
  if (c.unexplained.empty()) return QStringLiteral("Every peak is explained");
  QString tip = QStringLiteral("Peaks no allowed line explains (2θ):");
  for (std::size_t i = 0; i < c.unexplained.size() && i < kListedInTip; ++i)
    tip += QStringLiteral("\npeak %1   %2°").arg(c.unexplained[i] + 1).arg(peaks[c.unexplained[i]].twoTheta, 0, 'f', 3);
  if (c.unexplained.size() > kListedInTip)
    tip += QStringLiteral("\n... and %1 more").arg(c.unexplained.size() - kListedInTip);
  return tip;
}

}  // namespace

// What the worker thread is given and gives back. Cancel is set from the window's thread.
struct SpaceGroupDialog::Job {
  std::atomic<bool> cancel{false};
  SpaceGroupRankInputs inputs;
  obrin::RankSettings settings;
  std::vector<std::pair<obrin::CrystalSystem, std::filesystem::path>> files;
  std::shared_ptr<const obrin::GroupCatalogue> catalogue;  // given when the files are those ranked last
  obrin::Result<obrin::SpaceGroupRanking> result = obrin::fail("The ranking did not run");

  void run() {
    if (!catalogue) {
      auto loaded = obrin::loadGroupCatalogue(files);
      if (!loaded) {
        result = loaded.failure();
        return;
      }
      catalogue = std::make_shared<const obrin::GroupCatalogue>(std::move(*loaded));
    }
    const auto metric = obrin::computeMetric(inputs.cell);
    if (!metric) {
      result = metric.failure();
      return;
    }
    if (inputs.pattern && inputs.minSignificance > 0 && !inputs.pattern->x.empty() && !inputs.peaks.empty()) {
      // A spot is asked for a peak of the width the ranking tells lines apart by, over the
      // background the peak search sees, wherever the pattern reaches.
      obrin::PeakSearchOptions search;
      search.minSignificance = inputs.minSignificance;
      const double width = obrin::rankingWidth(inputs.peaks, settings.tolerance);
      const auto [first, last] = std::minmax_element(
          inputs.peaks.begin(), inputs.peaks.end(),
          [](const obrin::Peak& a, const obrin::Peak& b) { return a.twoTheta < b.twoTheta; });
      settings.rangeMin = std::min(first->twoTheta, inputs.pattern->x.front() + width);
      settings.rangeMax = std::max(last->twoTheta, inputs.pattern->x.back() - width);
      settings.absenceWeight = obrin::absenceWeightFromPattern(
          inputs.pattern, width, inputs.minSignificance,
          std::make_shared<const obrin::BackgroundCurve>(obrin::patternBackground(*inputs.pattern, search)));
    }
    settings.cancel = &cancel;
    result = obrin::rankSpaceGroups(*catalogue, *metric, inputs.instrument, inputs.peaks, settings);
  }
};

SpaceGroupDialog::SpaceGroupDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::SpaceGroupDialog>()) {
  ui_->setupUi(this);
  ui_->toleranceEdit->setText(QString::number(obrin::kDefaultMatchTolerance));
  ui_->classTable->setColumnWidth(kRankColumn, 50);
  ui_->classTable->setColumnWidth(kSymbolColumn, 130);
  connect(ui_->rankButton, &QPushButton::clicked, this, &SpaceGroupDialog::rank);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &SpaceGroupDialog::cancel);
  connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::close);
  connect(ui_->allSystemsCheck, &QCheckBox::toggled, this, &SpaceGroupDialog::rank);
  connect(ui_->classTable, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!ranking_ || row < 0 || row >= static_cast<int>(ranking_->classes.size())) return;
    const obrin::GroupName& first = ranking_->classes[row].groups.front();
    emit classChosen(first.system, QString::fromStdString(first.name));
  });
  showIdle(true);
}

SpaceGroupDialog::~SpaceGroupDialog() {
  if (thread_) {
    job_->cancel = true;
    thread_->wait();
  }
}

void SpaceGroupDialog::setInputs(SpaceGroupRankInputs inputs) {
  inputs_ = std::move(inputs);
  const obrin::UnitCell& c = inputs_.cell;
  QString text = QStringLiteral("%1, a %2 b %3 c %4 Å, α %5 β %6 γ %7°, λ %8 Å, zero shift %9° 2θ")
                     .arg(QString::fromUtf8(obrin::systemName(inputs_.system).data(),
                                            static_cast<int>(obrin::systemName(inputs_.system).size())))
                     .arg(c.a)
                     .arg(c.b)
                     .arg(c.c)
                     .arg(c.alpha)
                     .arg(c.beta)
                     .arg(c.gamma)
                     .arg(inputs_.instrument.lambda)
                     .arg(inputs_.instrument.zero);
  text += QStringLiteral("; %1 peaks").arg(inputs_.peaks.size());
  if (inputs_.pattern) text += QStringLiteral(", absences weighed by the pattern");
  ui_->inputsLabel->setText(text);
  rank();
}

std::vector<std::pair<obrin::CrystalSystem, std::filesystem::path>> SpaceGroupDialog::positionFiles() const {
  std::vector<std::pair<obrin::CrystalSystem, std::filesystem::path>> files;
  const std::vector<obrin::CrystalSystem> systems = ui_->allSystemsCheck->isChecked()
                                                        ? obrin::systemsOfMetric(inputs_.cell)
                                                        : std::vector<obrin::CrystalSystem>{inputs_.system};
  for (obrin::CrystalSystem s : systems)
    files.emplace_back(s, inputs_.positionFile ? inputs_.positionFile(s)
                                               : std::filesystem::path(obrin::positionFileName(s)));
  return files;
}

void SpaceGroupDialog::rank() {
  if (thread_) return;
  const auto tolerance = obrin::parseNumber(ui_->toleranceEdit->text().toStdString());
  if (!tolerance || !(*tolerance > 0) || !(*tolerance <= kMaxTolerance)) {
    obrin::ui::warn(this, QStringLiteral("The tolerance is an angle in degrees 2θ above 0 and at most %1")
                              .arg(kMaxTolerance));
    ui_->toleranceEdit->setFocus();
    return;
  }
  if (inputs_.peaks.empty()) {
    ranking_.reset();
    ui_->classTable->setRowCount(0);
    ui_->verdictLabel->setText(QStringLiteral("No peaks to rank the space groups against"));
    emit rankingFinished();
    return;
  }
  job_ = std::make_shared<Job>();
  job_->inputs = inputs_;
  job_->settings.tolerance = *tolerance;
  job_->settings.impurities = ui_->impuritiesSpin->value();
  job_->settings.structure = inputs_.structure;
  job_->files = positionFiles();
  if (catalogue_ && catalogueFiles_ == job_->files) job_->catalogue = catalogue_;
  std::shared_ptr<Job> job = job_;
  thread_ = QThread::create([job] { job->run(); });
  connect(thread_, &QThread::finished, this, &SpaceGroupDialog::finishJob);
  showIdle(false);
  ui_->verdictLabel->setText(QStringLiteral("Ranking..."));
  thread_->start();
}

void SpaceGroupDialog::cancel() {
  if (job_) job_->cancel = true;
}

void SpaceGroupDialog::closeEvent(QCloseEvent* event) {
  cancel();
  QDialog::closeEvent(event);
}

void SpaceGroupDialog::finishJob() {
  thread_->deleteLater();
  thread_ = nullptr;
  const std::shared_ptr<Job> job = std::move(job_);
  showIdle(true);
  if (job->catalogue) {
    catalogue_ = job->catalogue;
    catalogueFiles_ = job->files;
  }
  if (job->result) {
    ranking_ = std::move(*job->result);
    showRanking(*ranking_);
  } else {
    // A cancelled or refused ranking leaves the last one on screen, and says why.
    ui_->verdictLabel->setText(QString::fromStdString(job->result.error()));
  }
  emit rankingFinished();
}

void SpaceGroupDialog::showIdle(bool idle) {
  ui_->progressBar->setVisible(!idle);
  ui_->cancelButton->setVisible(!idle);
  ui_->rankButton->setEnabled(idle);
}

void SpaceGroupDialog::showRanking(const obrin::SpaceGroupRanking& r) {
  QTableWidget* table = ui_->classTable;
  const QSignalBlocker quiet(table);  // filling the table chooses nothing
  table->clearContents();
  table->setRowCount(static_cast<int>(r.classes.size()));
  const QColor out = palette().color(QPalette::Disabled, QPalette::Text);
  for (int row = 0; row < table->rowCount(); ++row) {
    const obrin::RankedClass& c = r.classes[row];
    QStringList groups;
    for (const obrin::GroupName& g : c.groups) groups << QString::fromStdString(g.name);
    QTableWidgetItem* items[] = {
        cell(QString::number(row + 1)),
        cell(number(c.score, 2) + (c.ruledOut ? QStringLiteral(" ✗") : QString())),
        cell(QString::number(c.unexplained.size())),
        cell(QString::number(c.missing.size())),
        cell(c.m20 ? number(c.m20->value, 1) : QStringLiteral("–")),
        cell(c.symbol.empty() ? QStringLiteral("?") : QString::fromStdString(c.symbol), false),
        cell(groups.join(QStringLiteral(", ")), false)};
    items[kUnexplainedColumn]->setToolTip(unexplainedTip(c, inputs_.peaks));
    items[kMissingColumn]->setToolTip(missingTip(c));
    items[kGroupsColumn]->setToolTip(groups.join(QStringLiteral("\n")));
    if (c.ruledOut) items[kScoreColumn]->setToolTip(QStringLiteral("Ruled out: more peaks unexplained than allowed"));
    for (int column = 0; column < static_cast<int>(std::size(items)); ++column) {
      if (c.ruledOut) items[column]->setForeground(out);
      if (row < r.tied) {
        QFont bold = items[column]->font();
        bold.setBold(true);
        items[column]->setFont(bold);
      }
      table->setItem(row, column, items[column]);
    }
  }
  table->setCurrentCell(-1, -1);

  QStringList verdict;
  verdict << QStringLiteral("2θ %1 to %2°, peak width %3°.")
                 .arg(r.rangeMin, 0, 'f', 3)
                 .arg(r.rangeMax, 0, 'f', 3)
                 .arg(r.width, 0, 'f', 3);
  if (r.tied == 0) verdict << QStringLiteral("No class explains the peaks (beyond the impurity peaks allowed).");
  else if (r.tied > 1)
    verdict << QStringLiteral("The top %1 classes tie: the peaks cannot tell them apart.").arg(r.tied);
  if (r.structure && r.structure->rankedClass >= 0) {
    const obrin::StructureCheck& k = *r.structure;
    verdict << QStringLiteral("The structure's group (class %1) %2: %3 missing lines calculated above the detection "
                              "limit (%4), %5 below it.")
                   .arg(k.rankedClass + 1)
                   .arg(k.consistent ? QStringLiteral("agrees with the peaks")
                                     : QStringLiteral("does not agree with the peaks"))
                   .arg(k.strongMissing.size())
                   .arg(k.detectionLimit, 0, 'f', 1)
                   .arg(k.weakMissing);
  }
  for (const std::string& note : r.notes) verdict << QString::fromStdString(note);
  ui_->verdictLabel->setText(verdict.join(QLatin1Char(' ')));
}
