// The 'Space groups' dialog of the Pattern window: the extinction classes of the main window's
// system (or of every system of the cell's metric) ranked against the peaks, best first.
// Selecting a class asks for its first group in the main window.
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/measured_pattern.hpp"
#include "analysis/space_group_ranking.hpp"

class QThread;

namespace Ui {
class SpaceGroupDialog;
}

// What is ranked: the main window's cell and system, the instrument of the Pattern window, its
// peaks, and the pattern they came from.
struct SpaceGroupRankInputs {
  obrin::CrystalSystem system = obrin::CrystalSystem::Triclinic;
  obrin::UnitCell cell;
  obrin::Diffractometer instrument;
  std::vector<obrin::Peak> peaks;
  // Where given, it weighs each missing line by what it shows there against the detection
  // limit of the peak search (its minimum significance).
  std::shared_ptr<const obrin::MeasuredPattern> pattern;
  double minSignificance = 0;
  std::optional<obrin::StructureCheckRequest> structure;  // a loaded structure's group
  std::function<std::filesystem::path(obrin::CrystalSystem)> positionFile;
};

class SpaceGroupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SpaceGroupDialog(QWidget* parent = nullptr);
  ~SpaceGroupDialog() override;

  // Shows what will be ranked and ranks it.
  void setInputs(SpaceGroupRankInputs inputs);
  // The last ranking shown; none before one is done or after it failed.
  const std::optional<obrin::SpaceGroupRanking>& ranking() const { return ranking_; }
  bool busy() const { return thread_ != nullptr; }

 public slots:
  // Off the window's thread, with the progress bar and Cancel.
  void rank();
  void cancel();

 signals:
  void classChosen(obrin::CrystalSystem system, const QString& group);
  void rankingFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Job;
  void finishJob();
  void showRanking(const obrin::SpaceGroupRanking& ranking);
  void showIdle(bool idle);
  std::vector<std::pair<obrin::CrystalSystem, std::filesystem::path>> positionFiles() const;

  std::unique_ptr<Ui::SpaceGroupDialog> ui_;
  SpaceGroupRankInputs inputs_;
  std::optional<obrin::SpaceGroupRanking> ranking_;
  // The groups of the files last ranked, kept for the next ranking of the same files.
  std::shared_ptr<const obrin::GroupCatalogue> catalogue_;
  std::vector<std::pair<obrin::CrystalSystem, std::filesystem::path>> catalogueFiles_;
  std::shared_ptr<Job> job_;
  QThread* thread_ = nullptr;
};
