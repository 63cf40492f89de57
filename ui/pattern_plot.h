// The plot of the pattern view: the calculated lines as sticks, their Kα2 companions drawn
// fainter, their simulated profile as a line, and a measured pattern as a line beneath them,
// on one of four horizontal axes.
// The window and obrin-plot both draw through it.
#pragma once

#include <qcustomplot.h>

#include <optional>
#include <vector>

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
  // h k l, d, angle and multiplicity of a line.
  QString lineDescription(const obrin::Stick& stick) const;

  // Writes the view at the given size (pixels for PNG, points for PDF), whole or not at all:
  // a failed write leaves the previous file as it was and names the reason.
  obrin::Result<void> exportTo(const QString& file, int width, int height);

 signals:
  void rowClicked(int row);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void redrawData();
  void redrawLineData();
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
  int highlighted_ = -1;
  bool rangeSet_ = false;
  QPointF pressPos_;
  QCPGraph* measuredGraph_ = nullptr;
  QCPGraph* companionGraph_ = nullptr;
  QCPGraph* profileGraph_ = nullptr;
  QCPGraph* stickGraph_ = nullptr;
  QCPGraph* highlightGraph_ = nullptr;
};
