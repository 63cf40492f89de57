#include "pattern_plot.h"

#include <QBuffer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/peak_view.hpp"
#include "core/limits.hpp"
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
const QColor kPeakColor(0, 150, 70);
const QColor kUnexplainedPeakColor(230, 0, 0);
const QColor kUnexplainedLineColor(150, 150, 150);
const QColor kSelectedPeakColor(0, 0, 0);
constexpr double kPeakMarkerSize = 8;      // pixels
constexpr double kSelectedMarkerSize = 15;  // the frame drawn round a selected marker
constexpr double kPeakMarkerLift = 0.03;   // of the intensity range, above the measured curve

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
  auto markerGraph = [this](const QCPScatterStyle& style) {
    QCPGraph* g = addGraph();
    g->setLineStyle(QCPGraph::lsNone);
    g->setScatterStyle(style);
    return g;
  };
  peakGraph_ = markerGraph(QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, kPeakColor, kPeakColor, kPeakMarkerSize));
  unexplainedPeakGraph_ = markerGraph(QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, kUnexplainedPeakColor,
                                                      kUnexplainedPeakColor, kPeakMarkerSize));
  selectedPeakGraph_ = markerGraph(
      QCPScatterStyle(QCPScatterStyle::ssTriangleInverted, QPen(kSelectedPeakColor, 2), Qt::NoBrush, kSelectedMarkerSize));
  unexplainedLineGraph_ = impulseGraph(this, kUnexplainedLineColor, 1.5);
  unexplainedLineGraph_->setPen(QPen(kUnexplainedLineColor, 1.5, Qt::DashLine));
  // The markers over every line and curve, whatever was added first.
  addLayer("markers", layer("main"), QCustomPlot::limAbove);
  for (QCPGraph* g : {peakGraph_, unexplainedPeakGraph_, selectedPeakGraph_}) g->setLayer("markers");
  // The legend names the lines only, and only when they carry refined shifts.
  for (QCPGraph* g : {measuredGraph_, companionGraph_, profileGraph_, highlightGraph_, peakGraph_, unexplainedPeakGraph_,
                      selectedPeakGraph_, unexplainedLineGraph_})
    g->removeFromLegend();
  legend->setVisible(false);
  axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
  axisRect()->setRangeZoom(Qt::Horizontal);
  yAxis->setLabel("Intensity");
  xAxis->setLabel(QString::fromStdString(std::string(obrin::patternAxisTitle(axis_))));
  setMouseTracking(true);
  // A click on a marker gives the plot the keys: Delete then removes the peak.
  setFocusPolicy(Qt::ClickFocus);
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
  redrawPeakData();
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
  std::vector<bool> unexplained(sticks_.size(), false);
  for (std::size_t i : unexplainedLines_) unexplained[i] = true;
  // kind: -2 every stick, -3 the explained sticks, -4 the unexplained ones, else that row's.
  auto fill = [&](QCPGraph* graph, const std::vector<Stick>& sticks, int kind) {
    QVector<double> keys, values;
    keys.reserve(qsizetype(sticks.size()));
    values.reserve(qsizetype(sticks.size()));
    for (std::size_t i = 0; i < sticks.size(); ++i) {
      const Stick& s = sticks[i];
      if (kind >= -1 && s.row != kind) continue;
      if ((kind == -3 && unexplained[i]) || (kind == -4 && !unexplained[i])) continue;
      const double key = keyOf(s.twoTheta);
      if (!std::isfinite(key)) continue;
      keys << key;
      values << s.height * scale;
    }
    graph->setData(keys, values);
  };
  fill(stickGraph_, sticks_, -3);
  fill(unexplainedLineGraph_, sticks_, -4);
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

// The measured intensity at an angle, between the points about it; 0 without a pattern.
double PatternPlot::measuredAt(double twoTheta) const {
  if (!measured_ || measured_->x.empty()) return 0;
  const auto& x = measured_->x;
  const auto& y = measured_->y;
  // The points are in file order: most files rise in 2θ, some fall.
  const bool rising = x.front() <= x.back();
  const auto at = rising ? std::lower_bound(x.begin(), x.end(), twoTheta)
                         : std::lower_bound(x.begin(), x.end(), twoTheta, std::greater<>());
  const std::size_t i = std::size_t(at - x.begin());
  if (i == 0) return y.front();
  if (i >= x.size()) return y.back();
  const double span = x[i] - x[i - 1];
  const double t = span != 0 ? (twoTheta - x[i - 1]) / span : 0;
  return y[i - 1] + t * (y[i] - y[i - 1]);
}

// Where a peak's marker stands: at its angle, just above the measured curve.
QPointF PatternPlot::markerPosition(const obrin::Peak& p) const {
  return {keyOf(p.twoTheta), measuredAt(p.twoTheta) + kPeakMarkerLift * heightTarget()};
}

void PatternPlot::redrawPeakData() {
  std::vector<int> kind(peaks_.size(), 0);  // 0 explained, 1 not
  for (std::size_t i : unexplainedPeaks_) kind[i] = 1;
  QVector<double> keys[3], values[3];  // explained, unexplained, selected
  auto add = [&](int graph, std::size_t i) {
    const QPointF at = markerPosition(peaks_[i]);
    if (!std::isfinite(at.x())) return;
    keys[graph] << at.x();
    values[graph] << at.y();
  };
  for (std::size_t i = 0; i < peaks_.size(); ++i) add(kind[i], i);
  for (int i : selectedPeaks_) add(2, std::size_t(i));
  peakGraph_->setData(keys[0], values[0]);
  unexplainedPeakGraph_->setData(keys[1], values[1]);
  selectedPeakGraph_->setData(keys[2], values[2]);
}

void PatternPlot::setPeaks(std::vector<obrin::Peak> peaks) {
  peaks_ = std::move(peaks);
  selectedPeaks_.clear();
  matchPeaksAndLines();
  redrawLineData();
  redrawPeakData();
  replot();
}

void PatternPlot::setSelectedPeaks(std::vector<int> indices) {
  std::erase_if(indices, [&](int i) { return i < 0 || i >= int(peaks_.size()); });
  selectedPeaks_ = std::move(indices);
  redrawPeakData();
  replot();
}

void PatternPlot::setPeakMatching(double tolerance, double from, double to) {
  matchTolerance_ = tolerance;
  matchFrom_ = from;
  matchTo_ = to;
  matchPeaksAndLines();
  redrawLineData();
  redrawPeakData();
  replot();
}

// Peaks are explained by the lines drawn with a height, Kα2 companions included (a peak fitted
// alone may be a resolved Kα2); lines are judged within the span, by the peaks.
void PatternPlot::matchPeaksAndLines() {
  unexplainedPeaks_.clear();
  unexplainedLines_.clear();
  // Without lines, or without peaks, nothing misses anything.
  if (matchTolerance_ <= 0 || peaks_.empty() || sticks_.empty()) return;
  std::vector<double> peakAngles, lineAngles;
  for (const obrin::Peak& p : peaks_) peakAngles.push_back(p.twoTheta);
  std::vector<std::size_t> judged;  // the sticks judged, as indices into sticks_
  for (std::size_t i = 0; i < sticks_.size(); ++i) {
    if (!(sticks_[i].height > 0)) continue;
    lineAngles.push_back(sticks_[i].twoTheta);
    judged.push_back(i);
  }
  const obrin::Explanation lines = obrin::explainEachOther(peakAngles, lineAngles, matchTolerance_);
  for (std::size_t j = 0; j < judged.size(); ++j) {
    const double t = sticks_[judged[j]].twoTheta;
    if (!lines.lineExplained[j] && t >= matchFrom_ && t <= matchTo_) unexplainedLines_.push_back(judged[j]);
  }
  for (const Stick& c : companions_)
    if (c.height > 0) lineAngles.push_back(c.twoTheta);
  const obrin::Explanation peaks = obrin::explainEachOther(peakAngles, lineAngles, matchTolerance_);
  for (std::size_t i = 0; i < peaks_.size(); ++i)
    if (!peaks.peakExplained[i]) unexplainedPeaks_.push_back(i);
}

std::optional<std::size_t> PatternPlot::peakAt(const QPointF& pos) const {
  std::optional<std::size_t> best;
  double bestDistance = kPeakMarkerSize / 2 + kPickPixels;
  for (std::size_t i = 0; i < peaks_.size(); ++i) {
    const QPointF at = markerPosition(peaks_[i]);
    if (!std::isfinite(at.x())) continue;
    const double dx = std::abs(xAxis->coordToPixel(at.x()) - pos.x());
    const double dy = std::abs(yAxis->coordToPixel(at.y()) - pos.y());
    if (dx <= bestDistance && dy <= kPeakMarkerSize / 2 + kPickPixels) {
      best = i;
      bestDistance = dx;
    }
  }
  return best;
}

QString PatternPlot::peakDescription(const obrin::Peak& p) const {
  QString text = QString("Peak at 2θ = %1°").arg(p.twoTheta, 0, 'f', 4);
  if (p.d > 0) text += QString("\nd = %1 Å").arg(p.d, 0, 'f', 5);
  if (p.height > 0) text += QString("\nheight %1").arg(p.height, 0, 'f', 1);
  if (p.fwhm > 0) text += QString("\nFWHM %1° 2θ").arg(p.fwhm, 0, 'f', 4);
  for (std::size_t i : unexplainedPeaks_)
    if (&peaks_[i] == &p) text += QString("\nno line within ±%1°").arg(matchTolerance_);
  return text;
}

std::optional<double> PatternPlot::twoThetaAtPixel(double x) const {
  return obrin::twoThetaOf(axis_, xAxis->pixelToCoord(x), lambda_);
}

QString PatternPlot::cursorReadout(const QPointF& pos) const {
  if (!axisRect()->rect().contains(pos.toPoint())) return {};
  const auto twoTheta = twoThetaAtPixel(pos.x());
  if (!twoTheta || !(*twoTheta > 0 && *twoTheta < 180)) return {};
  QString text = QString("2θ = %1°").arg(*twoTheta, 0, 'f', 3);
  // Q as the window's Q axis has it.
  const auto d = obrin::axisValue(PatternAxis::D, *twoTheta, lambda_);
  const auto q = obrin::axisValue(PatternAxis::Q, *twoTheta, lambda_);
  if (d && q) text += QString("    d = %1 Å    Q = %2 Å⁻¹").arg(*d, 0, 'f', 4).arg(*q, 0, 'f', 4);
  if (measured_ && !measured_->x.empty()) {
    const auto [low, high] = std::minmax_element(measured_->x.begin(), measured_->x.end());
    if (*twoTheta >= *low && *twoTheta <= *high) text += QString("    counts %1").arg(measuredAt(*twoTheta), 0, 'f', 1);
  }
  return text;
}

void PatternPlot::rescaleValues() {
  bool found = false;
  QCPRange range = measuredGraph_->getValueRange(found);
  bool stickFound = false;
  QCPRange sticks = stickGraph_->getValueRange(stickFound);
  bool unexplainedFound = false;
  const QCPRange unexplained = unexplainedLineGraph_->getValueRange(unexplainedFound);
  if (!stickFound) sticks = unexplained;
  else if (unexplainedFound) sticks.expand(unexplained);
  stickFound = stickFound || unexplainedFound;
  if (!found) range = stickFound ? sticks : QCPRange(0, kHeightWithoutPattern);
  else if (stickFound) range.expand(sticks);
  yAxis->setRange(std::min(0.0, range.lower), std::max(range.upper, 1e-9) * kHeadroom);
}

void PatternPlot::fitView() {
  bool found = false;
  QCPRange keys = stickGraph_->getKeyRange(found);
  bool unexplainedFound = false;
  const QCPRange unexplained = unexplainedLineGraph_->getKeyRange(unexplainedFound);
  if (!found) keys = unexplained;
  else if (unexplainedFound) keys.expand(unexplained);
  found = found || unexplainedFound;
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
  // sticksFromList stands the multiplicity in for the intensity of a list without intensities.
  intensities_ = std::any_of(sticks_.begin(), sticks_.end(), [](const Stick& s) { return s.height != s.multiplicity; });
  matchPeaksAndLines();
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
  // The lines of the same d stand on one stick.
  std::vector<const Stick*> same;
  for (const Stick& other : sticks_)
    if (std::abs(other.d - s.d) <= obrin::kCoincidentLineRelative * s.d) same.push_back(&other);
  if (same.empty()) same.push_back(&s);
  double tallest = 0;
  for (const Stick& t : sticks_) tallest = std::max(tallest, t.height);
  QStringList names, multiplicities, intensities;
  double total = 0;
  for (const Stick* t : same) {
    names << QString("%1 %2 %3").arg(t->h).arg(t->k).arg(t->l);
    multiplicities << QString::number(t->multiplicity);
    const double relative = tallest > 0 ? 100 * t->height / tallest : 0;
    intensities << QString::number(relative, 'f', 1);
    total += relative;
  }
  QString text = QString("%1\nd = %2 Å\n2θ = %3°\nmultiplicity %4")
                     .arg(names.join(", "))
                     .arg(s.d, 0, 'f', 4)
                     .arg(s.twoTheta, 0, 'f', 3)
                     .arg(multiplicities.join(" + "));
  if (intensities_) {
    text += "\nintensity " + intensities.join(" + ");
    if (same.size() > 1) text += " = " + QString::number(total, 'f', 1);
    text += " (strongest line 100)";
  }
  for (std::size_t i : unexplainedLines_)
    if (&sticks_[i] == &s) text += QString("\nno peak within ±%1°").arg(matchTolerance_);
  return text;
}

void PatternPlot::mouseMoveEvent(QMouseEvent* event) {
  QCustomPlot::mouseMoveEvent(event);
  emit cursorMoved(cursorReadout(event->position()));
  if (event->buttons() != Qt::NoButton) return;
  if (const auto p = peakAt(event->position()))
    QToolTip::showText(event->globalPosition().toPoint(), peakDescription(peaks_[*p]), this);
  else if (const auto i = stickAt(event->position()))
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
  if (event->modifiers() & Qt::ControlModifier) {
    if (!axisRect()->rect().contains(event->position().toPoint())) return;
    if (const auto twoTheta = twoThetaAtPixel(event->position().x()); twoTheta && *twoTheta > 0 && *twoTheta < 180)
      emit peakRequested(*twoTheta);
    return;
  }
  if (const auto p = peakAt(event->position())) {
    emit peakClicked(int(*p));
    return;
  }
  if (const auto i = stickAt(event->position()); i && sticks_[*i].row >= 0) {
    highlightRow(sticks_[*i].row);
    emit rowClicked(sticks_[*i].row);
  }
}

void PatternPlot::leaveEvent(QEvent* event) {
  QCustomPlot::leaveEvent(event);
  emit cursorMoved(QString());
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
