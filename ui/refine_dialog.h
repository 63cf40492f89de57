// "Refine cell": the cell of the main window refined against the peaks of the Pattern window,
// with the switches of the refinement, the table of the peaks and the results. "Use refined
// cell" hands the refinement to the main window, which writes the cell and can undo it.
#pragma once

#include <QDialog>

#include <memory>
#include <optional>
#include <string>

#include "analysis/cell_refinement.hpp"

namespace Ui {
class RefineDialog;
}

// What is refined: the main window's system, group, cell and wavelength, the peaks.
struct RefineProblem {
  obrin::CrystalSystem system = obrin::CrystalSystem::Triclinic;
  std::string groupName;
  obrin::SpaceGroup group;
  obrin::UnitCell cell;
  double lambda = 0;
  obrin::PeakList peaks;
};

class RefineDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RefineDialog(QWidget* parent = nullptr);
  ~RefineDialog() override;

  // A new problem: the peaks all used again, refined at once.
  void setProblem(RefineProblem problem);
  const std::optional<obrin::CellRefinement>& refinement() const { return refinement_; }
  // The switches and the peaks left out, as the refinement takes them.
  obrin::RefinementOptions options() const;

 public slots:
  // Refines with the current switches; a refusal is shown and the previous results go.
  void refine();
  void setUndoAvailable(bool available);

 signals:
  void refinedCellChosen(const obrin::CellRefinement& refinement);
  void undoRequested();

 private:
  void fillPeakRows();
  void showRefinement();
  void showRefusal(const QString& message);
  void peakUseChanged(int row);

  std::unique_ptr<Ui::RefineDialog> ui_;
  RefineProblem problem_;
  std::optional<obrin::CellRefinement> refinement_;
  bool filling_ = false;  // the table is being written, not changed by the user
};
