// The plot of the pattern view: the calculated lines as sticks, their Kα2 companions drawn
// fainter, their simulated profile as a line, and a measured pattern as a line beneath them
// with its peaks marked, on one of four horizontal axes.
// The window and obrin-plot both draw through it.
#pragma once

#include <qcustomplot.h>

#include <optional>
#include <vector>

#include "analysis/peak.hpp"
#include "calc/pattern_sticks.hpp"
#include "core/result.hpp"
#include "io/pattern_file.hpp"

class PatternPlot : public QCustomPlot {
  Q_OBJECT

 public:
  explicit PatternPlot(QWidget* parent = nullptr);

  // The lines (2θ already shifted by the zero), their companions and their simulated profile
  // (none: not drawn); the view keeps its range unless it was never set.
  void setLines(std::vector<obrin::Stick> sticks, std::vector<obrin::Stick> companions, double lambda,
                std::vector<obrin::ProfilePoint> profile = {});
  const std::vector<obrin::ProfilePoint>& profile() const { return profile_; }
  // The legend's entry for the lines (what they carry); empty: no legend.
  void setLinesCaption(const QString& caption);
  QString linesCaption() const;
  void setMeasured(const obrin::MeasuredPattern& pattern);
  void clearMeasured();
  // The peaks found in the measured pattern, each marked just above it; the selection goes.
  void setPeaks(std::vector<obrin::Peak> peaks);
  const std::vector<obrin::Peak>& peaks() const { return peaks_; }
  // The peaks that stand out, as indices into peaks().
  void setSelectedPeaks(std::vector<int> indices);
  const std::vector<int>& selectedPeaks() const { return selectedPeaks_; }
  // The marker under a widget position, as an index into peaks().
  std::optional<std::size_t> peakAt(const QPointF& pos) const;
  QString peakDescription(const obrin::Peak& peak) const;

  // Peaks and lines closer than the tolerance (degrees 2θ) explain each other; the others are
  // drawn apart: peaks no line explains in red, lines no peak explains dashed and grey. Only
  // lines between `from` and `to` (2θ) are judged, and only while there are peaks and lines. A
  // tolerance of 0 judges nothing.
  void setPeakMatching(double tolerance, double from, double to);
  // Indices into peaks() and lines().
  const std::vector<std::size_t>& unexplainedPeaks() const { return unexplainedPeaks_; }
  const std::vector<std::size_t>& unexplainedLines() const { return unexplainedLines_; }

  // 2θ, d, Q = 4π sinθ/λ and the measured counts at a widget position; empty outside the axes.
  QString cursorReadout(const QPointF& pos) const;
  void setAxis(obrin::PatternAxis axis);
  obrin::PatternAxis axis() const { return axis_; }

  // The stick of the row stands out; -1 for none.
  void highlightRow(int row);
  int highlightedRow() const { return highlighted_; }

  // Everything in view: the lines and the pattern.
  void fitView();
  // The visible 2θ range, which survives a change of axis.
  void setTwoThetaRange(double lower, double upper);

  // The stick under a widget position (within a few pixels), as an index into the lines.
  std::optional<std::size_t> stickAt(const QPointF& pos) const;
  const std::vector<obrin::Stick>& lines() const { return sticks_; }
  // h k l, d, angle, multiplicity and intensity of a line, and of every line of the same d
  // (3 3 3 and 5 1 1 of a cubic cell).
  QString lineDescription(const obrin::Stick& stick) const;

  // Writes the view at the given size (pixels for PNG, points for PDF), whole or not at all:
  // a failed write leaves the previous file as it was and names the reason.
  obrin::Result<void> exportTo(const QString& file, int width, int height);

 signals:
  void rowClicked(int row);
  // A click on a peak's marker.
  void peakClicked(int index);
  // A click with Ctrl held: a peak is asked for at that angle.
  void peakRequested(double twoTheta);
  // The text of cursorReadout as the mouse moves; empty when it leaves the axes.
  void cursorMoved(const QString& readout);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void redrawData();
  void redrawLineData();
  void redrawPeakData();
  void matchPeaksAndLines();
  std::optional<double> twoThetaAtPixel(double x) const;
  QPointF markerPosition(const obrin::Peak& peak) const;
  double measuredAt(double twoTheta) const;
  double heightTarget() const;
  double stickScale() const;
  double profileScale() const;
  double keyOf(double twoTheta) const;
  void rescaleValues();
  QByteArray pngBytes(int width, int height);
  QByteArray pdfBytes(int width, int height);

  obrin::PatternAxis axis_ = obrin::PatternAxis::TwoTheta;
  double lambda_ = 0;
  std::vector<obrin::Stick> sticks_, companions_;
  std::vector<obrin::ProfilePoint> profile_;
  std::optional<obrin::MeasuredPattern> measured_;
  std::vector<obrin::Peak> peaks_;
  std::vector<int> selectedPeaks_;
  double matchTolerance_ = 0, matchFrom_ = 0, matchTo_ = 0;
  std::vector<std::size_t> unexplainedPeaks_, unexplainedLines_;
  bool intensities_ = false;  // the sticks' heights are intensities, not multiplicities
  int highlighted_ = -1;
  bool rangeSet_ = false;
  QPointF pressPos_;
  QCPGraph* measuredGraph_ = nullptr;
  QCPGraph* companionGraph_ = nullptr;
  QCPGraph* profileGraph_ = nullptr;
  QCPGraph* stickGraph_ = nullptr;
  QCPGraph* highlightGraph_ = nullptr;
  QCPGraph* peakGraph_ = nullptr;
  QCPGraph* unexplainedPeakGraph_ = nullptr;
  QCPGraph* selectedPeakGraph_ = nullptr;
  QCPGraph* unexplainedLineGraph_ = nullptr;
};
