// The 'Pattern' window: the calculated lines of the main window as sticks, over a measured
// pattern the user opens, with the axis, Kα2, zero-shift and simulated-profile choices and the
// exports; the peaks of the pattern in a table and on the plot, found, fitted by hand,
// imported or exported, and held against the lines.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>

#include "analysis/peak.hpp"
#include "analysis/peak_search.hpp"
#include "calc/pattern_sticks.hpp"
#include "calc/state.hpp"
#include "core/limits.hpp"
#include "io/pattern_file.hpp"

class PatternPlot;
class QAction;

namespace Ui {
class PatternWindow;
}

class PatternWindow : public QWidget {
  Q_OBJECT

 public:
  explicit PatternWindow(QWidget* parent = nullptr);
  ~PatternWindow() override;

  PatternPlot* plot() const;

  // The one peak list of the window: the table, the markers, the cell refinement and the
  // space-group ranking all take it.
  const obrin::PeakList& peakList() const { return peaks_; }
  // Sorted by 2θ and shown in the table and on the plot; the selection goes. A list set here
  // (or imported) stays when another pattern is opened; one found or fitted goes with it.
  void setPeakList(obrin::PeakList peaks);
  // The peaks of the measured pattern found when the list has none (off the window's thread,
  // with a progress dialog and Cancel), λ the calculation's. False when there are none after
  // it: no pattern, the search cancelled, or nothing found (then said in a warning).
  bool findPeaksIfNone(double lambda);

  // The shifts of a refined cell, drawn on its lines and named in the legend until cleared.
  struct RefinedShifts {
    double zero = 0;          // degrees 2θ
    double displacement = 0;  // mm
    double radius = 0;        // mm
  };
  void setRefinedShifts(std::optional<RefinedShifts> shifts);
  const std::optional<RefinedShifts>& refinedShifts() const { return refinedShifts_; }
  // The measured pattern shown, if any.
  const std::optional<obrin::MeasuredPattern>& measured() const { return measured_; }
  // The zero shift the lines are drawn with, degrees 2θ.
  double zeroShift() const { return zeroShift_; }

 public slots:
  // A new list from the main window; the view keeps its range.
  void showLines(const obrin::ReflectionList& list, double lambda);
  // The row selected in the result list; -1 for none.
  void selectRow(int row);
  // Reads and draws a measured pattern; a file that cannot be read leaves the plot as it was.
  bool openPattern(const QString& file);
  void chooseAndOpenPattern();
  void exportPicture();
  void exportLines();
  // The peaks of the measured pattern in the range at the minimum significance, replacing the
  // list; a cancelled search keeps it.
  void findPeaks();
  // A peak fitted at 2θ (degrees), the others held as they are, and selected; refused by name
  // without a pattern, where no peak fits, or where the list has the peak already.
  void addPeakAt(double twoTheta);
  void deleteSelectedPeaks();
  void importPeaks();
  void exportPeaks();
  // The rows selected in the table (peak indices), their markers standing out.
  void selectPeaks(const std::vector<int>& indices);

 signals:
  void rowClicked(int row);
  void wavelengthOffered(double lambda);
  void indexRequested();
  void refineRequested();
  void spaceGroupsRequested();

 private:
  void redrawLines();
  std::optional<double> alpha2() const;
  bool acceptZeroShift();
  bool acceptAlpha2Ratio();
  void offerRatioOf(const QString& file);
  bool confirmOverwrite(const QString& file);
  std::vector<obrin::ProfilePoint> profileOf(const std::vector<obrin::Stick>& sticks,
                                             const std::vector<obrin::Stick>& companions);
  void showPatternInfo(const QString& file);
  std::optional<obrin::PeakWavelengths> searchWavelengths(double lambda);
  std::optional<obrin::PeakSearchOptions> searchOptions(double lambda);
  std::optional<obrin::PeakList> runSearch(obrin::PeakSearchOptions options);
  void installPeaks(obrin::PeakList peaks, std::optional<std::pair<double, double>> searched);
  void refreshPeaks();
  void fillPeakTable();
  void matchPeaksAndLines();
  void showPeakSummary();
  bool acceptMatchTolerance();
  std::vector<int> selectedPeakRows() const;
  std::optional<obrin::Peak> peakCovering(double twoTheta) const;

  std::unique_ptr<Ui::PatternWindow> ui_;
  obrin::ReflectionList list_;
  double lambda_ = 0;
  // The last accepted texts of the zero-shift and Kα2-ratio fields, as numbers.
  double zeroShift_ = 0;
  double alpha2Ratio_ = obrin::kDefaultAlpha2Ratio;
  bool checkingField_ = false;  // a refused field is taking the focus back
  std::optional<obrin::MeasuredPattern> measured_;
  obrin::PeakList peaks_;
  double matchTolerance_ = obrin::kDefaultPeakMatchTolerance;
  // The 2θ range the list was searched in; none for a list imported or typed.
  std::optional<std::pair<double, double>> searchedRange_;
  // Some peaks of the list were fitted on the open pattern: another pattern drops the list.
  bool peaksFitted_ = false;
  QAction* deletePeaksAction_ = nullptr;
  std::optional<RefinedShifts> refinedShifts_;
  QString zeroTextBeforeRefinement_;
  double zeroBeforeRefinement_ = 0;
};
