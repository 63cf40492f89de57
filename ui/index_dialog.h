// "Index" of the Pattern window: the cell of the peaks searched with the limits the user sets,
// off the window's thread with a progress bar and Cancel; the candidates best first, the cells
// related to each under it. "Use cell" hands a candidate to the main window.
#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "analysis/indexing.hpp"

class QThread;
class QTreeWidgetItem;

namespace Ui {
class IndexDialog;
}

// The search the dialog runs; a test gives it another.
using IndexSearch =
    std::function<obrin::Result<obrin::IndexingResult>(const obrin::PeakList&, double, const obrin::IndexingOptions&)>;

// What is indexed: the Pattern window's peaks at the main window's wavelength.
struct IndexProblem {
  obrin::PeakList peaks;
  double lambda = 0;
};

class IndexDialog : public QDialog {
  Q_OBJECT

 public:
  explicit IndexDialog(QWidget* parent = nullptr, IndexSearch search = obrin::indexPattern);
  ~IndexDialog() override;

  // New peaks: the results of others go; the search waits for the user's Search. Refused
  // (false) while a search runs: its results are of the peaks it was given.
  bool setProblem(IndexProblem problem);
  // Another search for the next Search (a test's).
  void setSearch(IndexSearch search) { search_ = std::move(search); }
  // The limits as the fields hold them.
  obrin::IndexingOptions options() const;
  // The last search's answer; none before one finished or after a refusal.
  const std::optional<obrin::IndexingResult>& result() const { return result_; }
  bool busy() const { return thread_ != nullptr; }
  // The solution of the selected row; none when no solution is selected.
  const obrin::IndexingSolution* selectedSolution() const;

 public slots:
  // Off the window's thread; the fields are read when it starts.
  void search();
  void cancel();
  void useSelectedCell();
  // Closing the dialog, however it is closed, cancels the search.
  void done(int r) override;

 signals:
  void cellChosen(const obrin::IndexingSolution& solution);
  void searchFinished();

 private:
  struct Job;
  void finishJob();
  void showProblem();
  void showProgress(int step, obrin::CrystalSystem system);
  void showResult(const obrin::IndexingResult& result);
  void showRefusal(const QString& message);
  void showIdle(bool idle);
  void clearResults();

  std::unique_ptr<Ui::IndexDialog> ui_;
  IndexSearch search_;
  IndexProblem problem_;
  std::optional<obrin::IndexingResult> result_;
  std::shared_ptr<Job> job_;
  QThread* thread_ = nullptr;
};

// The first group of the position file whose only reflection conditions are those of the
// lattice's centring: a group that allows every line of the lattice, for the ranking to start
// from. None when the file has none (or does not read).
std::optional<std::string> latticeGroupName(const std::filesystem::path& file, obrin::CrystalSystem system,
                                            char centring);
