#include "pattern_plot.h"

#include <QBuffer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/atomic_write.hpp"

using obrin::PatternAxis;
using obrin::Stick;

namespace {

constexpr double kPickPixels = 4;          // how near the pointer must come to a stick
constexpr double kClickPixels = 3;         // a press and release closer than this are a click
constexpr double kHeadroom = 1.05;         // space above the tallest line or point
constexpr double kHeightWithoutPattern = 100;  // the tallest stick when no pattern is shown

constexpr int kPictureDpi = 96;              // stored in an exported PNG, as QCustomPlot does

const QColor kStickColor(0, 80, 200);
const QColor kCompanionColor(0, 80, 200, 90);
const QColor kMeasuredColor(80, 80, 80);
const QColor kProfileColor(230, 120, 0);
const QColor kHighlightColor(220, 30, 30);

QCPGraph* impulseGraph(QCustomPlot* plot, const QColor& color, double width) {
  QCPGraph* g = plot->addGraph();
  g->setLineStyle(QCPGraph::lsImpulse);
  g->setPen(QPen(color, width));
  // Crisp one-pixel sticks stand exactly at their angle.
  g->setAntialiased(false);
  return g;
}

}  // namespace

PatternPlot::PatternPlot(QWidget* parent) : QCustomPlot(parent) {
  measuredGraph_ = addGraph();
  measuredGraph_->setPen(QPen(kMeasuredColor, 1));
  measuredGraph_->setAdaptiveSampling(true);
  companionGraph_ = impulseGraph(this, kCompanionColor, 1);
  stickGraph_ = impulseGraph(this, kStickColor, 2);
  // The profile over the sticks: where a peak stands on its line the stick would hide it.
  profileGraph_ = addGraph();
  profileGraph_->setPen(QPen(kProfileColor, 1));
  profileGraph_->setAdaptiveSampling(true);
  highlightGraph_ = impulseGraph(this, kHighlightColor, 3);
  // The legend names the lines only, and only when they carry refined shifts.
  for (QCPGraph* g : {measuredGraph_, companionGraph_, profileGraph_, highlightGraph_}) g->removeFromLegend();
  legend->setVisible(false);
  axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
  axisRect()->setRangeZoom(Qt::Horizontal);
  yAxis->setLabel("Intensity");
  xAxis->setLabel(QString::fromStdString(std::string(obrin::patternAxisTitle(axis_))));
  setMouseTracking(true);
}

void PatternPlot::setLinesCaption(const QString& caption) {
  if (caption == linesCaption() && legend->visible() == !caption.isEmpty()) return;
  stickGraph_->setName(caption);
  legend->setVisible(!caption.isEmpty());
  replot();
}

QString PatternPlot::linesCaption() const { return legend->visible() ? stickGraph_->name() : QString(); }

double PatternPlot::keyOf(double twoTheta) const {
  return obrin::axisValue(axis_, twoTheta, lambda_).value_or(std::numeric_limits<double>::quiet_NaN());
}

// The height of the tallest stick, and of the profile's top: the measured pattern's maximum
// when one is shown.
double PatternPlot::heightTarget() const {
  if (measured_ && !measured_->y.empty()) {
    const double top = *std::max_element(measured_->y.begin(), measured_->y.end());
    if (top > 0) return top;
  }
  return kHeightWithoutPattern;
}

double PatternPlot::stickScale() const {
  double tallest = 0;
  for (const Stick& s : sticks_) tallest = std::max(tallest, s.height);
  return tallest > 0 ? heightTarget() / tallest : 1;
}

double PatternPlot::profileScale() const {
  double top = 0;
  for (const obrin::ProfilePoint& p : profile_) top = std::max(top, p.intensity);
  return top > 0 ? heightTarget() / top : 1;
}

void PatternPlot::redrawData() {
  redrawLineData();
  QVector<double> keys, values;
  if (measured_) {
    keys.reserve(qsizetype(measured_->x.size()));
    values.reserve(qsizetype(measured_->x.size()));
    for (std::size_t i = 0; i < measured_->x.size(); ++i) {
      const double key = keyOf(measured_->x[i]);
      if (!std::isfinite(key)) continue;
      keys << key;
      values << measured_->y[i];
    }
  }
  measuredGraph_->setData(keys, values);
}

// The sticks, their companions, the highlighted stick and the profile; the measured pattern
// stays as it was.
void PatternPlot::redrawLineData() {
  const double scale = stickScale();
  auto fill = [&](QCPGraph* graph, const std::vector<Stick>& sticks, int onlyRow) {
    QVector<double> keys, values;
    keys.reserve(qsizetype(sticks.size()));
    values.reserve(qsizetype(sticks.size()));
    for (const Stick& s : sticks) {
      if (onlyRow != -2 && s.row != onlyRow) continue;
      const double key = keyOf(s.twoTheta);
      if (!std::isfinite(key)) continue;
      keys << key;
      values << s.height * scale;
    }
    graph->setData(keys, values);
  };
  fill(stickGraph_, sticks_, -2);
  fill(companionGraph_, companions_, -2);
  fill(highlightGraph_, highlighted_ >= 0 ? sticks_ : std::vector<Stick>{}, highlighted_);

  QVector<double> keys, values;
  const double profileFactor = profileScale();
  keys.reserve(qsizetype(profile_.size()));
  values.reserve(qsizetype(profile_.size()));
  for (const obrin::ProfilePoint& p : profile_) {
    const double key = keyOf(p.twoTheta);
    if (!std::isfinite(key)) continue;
    keys << key;
    values << p.intensity * profileFactor;
  }
  // The profile's points rise in 2θ, and so do their keys on every axis but d.
  if (axis_ == PatternAxis::D) {
    std::reverse(keys.begin(), keys.end());
    std::reverse(values.begin(), values.end());
  }
  profileGraph_->setData(keys, values, true);
}

void PatternPlot::rescaleValues() {
  bool found = false;
  QCPRange range = measuredGraph_->getValueRange(found);
  bool stickFound = false;
  const QCPRange sticks = stickGraph_->getValueRange(stickFound);
  if (!found) range = stickFound ? sticks : QCPRange(0, kHeightWithoutPattern);
  else if (stickFound) range.expand(sticks);
  yAxis->setRange(std::min(0.0, range.lower), std::max(range.upper, 1e-9) * kHeadroom);
}

void PatternPlot::fitView() {
  bool found = false;
  QCPRange keys = stickGraph_->getKeyRange(found);
  bool measuredFound = false;
  const QCPRange measured = measuredGraph_->getKeyRange(measuredFound);
  if (!found) keys = measured;
  else if (measuredFound) keys.expand(measured);
  if (found || measuredFound) {
    const double margin = std::max(keys.size() * 0.02, 1e-3);
    xAxis->setRange(keys.lower - margin, keys.upper + margin);
    rangeSet_ = true;
  }
  rescaleValues();
  replot();
}

void PatternPlot::setLines(std::vector<Stick> sticks, std::vector<Stick> companions, double lambda,
                           std::vector<obrin::ProfilePoint> profile) {
  sticks_ = std::move(sticks);
  companions_ = std::move(companions);
  profile_ = std::move(profile);
  lambda_ = lambda;
  redrawData();
  if (!rangeSet_) return fitView();
  rescaleValues();
  replot();
}

void PatternPlot::setMeasured(const obrin::MeasuredPattern& pattern) {
  measured_ = pattern;
  redrawData();
  fitView();
}

void PatternPlot::clearMeasured() {
  measured_.reset();
  redrawData();
  rescaleValues();
  replot();
}

void PatternPlot::setTwoThetaRange(double lower, double upper) {
  const double a = keyOf(lower), b = keyOf(upper);
  if (!std::isfinite(a) || !std::isfinite(b) || a == b) return;
  xAxis->setRange(std::min(a, b), std::max(a, b));
  rangeSet_ = true;
  replot();
}

void PatternPlot::setAxis(PatternAxis axis) {
  if (axis == axis_) return;
  // The visible range, as 2θ, before the keys change meaning.
  const auto lower = obrin::twoThetaOf(axis_, xAxis->range().lower, lambda_);
  const auto upper = obrin::twoThetaOf(axis_, xAxis->range().upper, lambda_);
  axis_ = axis;
  xAxis->setLabel(QString::fromStdString(std::string(obrin::patternAxisTitle(axis_))));
  redrawData();
  if (lower && upper && *lower > 0 && *upper > 0) setTwoThetaRange(*lower, *upper);
  else fitView();
  replot();
}

void PatternPlot::highlightRow(int row) {
  highlighted_ = row;
  redrawLineData();
  replot();
}

std::optional<std::size_t> PatternPlot::stickAt(const QPointF& pos) const {
  const double scale = stickScale();
  std::optional<std::size_t> best;
  double bestDistance = kPickPixels;
  for (std::size_t i = 0; i < sticks_.size(); ++i) {
    const double key = keyOf(sticks_[i].twoTheta);
    if (!std::isfinite(key)) continue;
    const double distance = std::abs(xAxis->coordToPixel(key) - pos.x());
    const double top = yAxis->coordToPixel(sticks_[i].height * scale);
    if (distance <= bestDistance && pos.y() >= top - kPickPixels && pos.y() <= yAxis->coordToPixel(0) + kPickPixels) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

QString PatternPlot::lineDescription(const Stick& s) const {
  return QString("%1 %2 %3\nd = %4 Å\n2θ = %5°\nmultiplicity %6")
      .arg(s.h)
      .arg(s.k)
      .arg(s.l)
      .arg(s.d, 0, 'f', 4)
      .arg(s.twoTheta, 0, 'f', 3)
      .arg(s.multiplicity);
}

void PatternPlot::mouseMoveEvent(QMouseEvent* event) {
  QCustomPlot::mouseMoveEvent(event);
  if (event->buttons() != Qt::NoButton) return;
  if (const auto i = stickAt(event->position()))
    QToolTip::showText(event->globalPosition().toPoint(), lineDescription(sticks_[*i]), this);
  else
    QToolTip::hideText();
}

void PatternPlot::mousePressEvent(QMouseEvent* event) {
  pressPos_ = event->position();
  QCustomPlot::mousePressEvent(event);
}

void PatternPlot::mouseReleaseEvent(QMouseEvent* event) {
  QCustomPlot::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || (event->position() - pressPos_).manhattanLength() > kClickPixels) return;
  if (const auto i = stickAt(event->position()); i && sticks_[*i].row >= 0) {
    highlightRow(sticks_[*i].row);
    emit rowClicked(sticks_[*i].row);
  }
}

QByteArray PatternPlot::pngBytes(int width, int height) {
  QImage image = toPixmap(width, height, 1.0).toImage();
  if (image.isNull()) return {};
  const int dotsPerMeter = int(kPictureDpi / 0.0254);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return buffer.data();
}

// A page of width × height points holding the view at that many pixels, drawn as vectors.
QByteArray PatternPlot::pdfBytes(int width, int height) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setResolution(72);  // a device unit is a point
    writer.setPageLayout(QPageLayout(QPageSize(QSize(width, height), QPageSize::Point, QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QCPPainter painter;
    if (!painter.begin(&writer)) return {};
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.setWindow(0, 0, width, height);
    toPainter(&painter, width, height);
    painter.end();
  }
  return buffer.data();
}

obrin::Result<void> PatternPlot::exportTo(const QString& file, int width, int height) {
  // Drawn into memory first: the file is then written whole, or not touched.
  const QByteArray bytes = file.endsWith(".pdf", Qt::CaseInsensitive) ? pdfBytes(width, height) : pngBytes(width, height);
  if (bytes.isEmpty())
    return obrin::fail("Cannot write " + QFileInfo(file).fileName().toStdString() + ": the picture could not be drawn");
  return obrin::writeFileAtomically(file.toStdString(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
}
