// The pattern view: 10,000 sticks over a 50,000-point pattern, redrawn after a zoom, with and
// without their simulated profile, and redrawn with a new profile as a change of the lines or
// of U, V, W makes it.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>

#include "calc/pattern_sticks.hpp"
#include "pattern_plot.h"

namespace {

constexpr int kSticks = 10000;
constexpr int kPoints = 50000;
constexpr double kCuKa1 = 1.54056;

obrin::MeasuredPattern measuredLookingPattern() {
  obrin::MeasuredPattern p;
  for (int i = 0; i < kPoints; ++i) {
    const double x = 5 + 145.0 * i / kPoints;
    p.x.push_back(x);
    p.y.push_back(100 + 1000 / (1 + std::pow(std::fmod(x, 3.0) - 1.5, 2) * 400));
  }
  return p;
}

std::vector<obrin::Stick> manySticks() {
  std::vector<obrin::Stick> sticks;
  for (int i = 0; i < kSticks; ++i) {
    const double twoTheta = 5 + 145.0 * (i + 0.5) / kSticks;
    const double d = kCuKa1 / (2 * std::sin(twoTheta / 2 * M_PI / 180));
    sticks.push_back({i % 10, i % 7, i % 5, d, twoTheta, 1 + i % 48, double(1 + i % 48), i});
  }
  return sticks;
}

// Redraws after alternating zooms, so every redraw draws a new range; with or without the
// simulated profile of the sticks.
void redrawAfterZoom(benchmark::State& state, bool withProfile) {
  PatternPlot plot;
  plot.resize(1200, 700);
  plot.show();
  plot.setMeasured(measuredLookingPattern());
  auto sticks = manySticks();
  auto companions = obrin::alpha2Companions(sticks, 1.54439, 0.5, 0);
  if (withProfile) plot.setLines(sticks, companions, kCuKa1, std::move(*obrin::stickProfile(sticks, companions, {})));
  else plot.setLines(sticks, companions, kCuKa1);
  plot.fitView();
  int step = 0;
  for (auto _ : state) {
    const double width = step++ % 2 ? 40 : 120;
    plot.xAxis->setRange(20, 20 + width);
    plot.replot(QCustomPlot::rpImmediateRefresh);
  }
}

void BM_RedrawAfterZoom(benchmark::State& state) { redrawAfterZoom(state, false); }
BENCHMARK(BM_RedrawAfterZoom)->Unit(benchmark::kMillisecond);

void BM_RedrawAfterZoomWithProfile(benchmark::State& state) { redrawAfterZoom(state, true); }
BENCHMARK(BM_RedrawAfterZoomWithProfile)->Unit(benchmark::kMillisecond);

void BM_RedrawWithNewProfile(benchmark::State& state) {
  PatternPlot plot;
  plot.resize(1200, 700);
  plot.show();
  plot.setMeasured(measuredLookingPattern());
  const auto sticks = manySticks();
  const auto companions = obrin::alpha2Companions(sticks, 1.54439, 0.5, 0);
  plot.xAxis->setRange(20, 60);
  int step = 0;
  for (auto _ : state) {
    // Alternate between two widths, so every profile is new.
    obrin::ProfileShape shape;
    shape.w = step++ % 2 ? 0.01 : 0.012;
    auto profile = obrin::stickProfile(sticks, companions, shape);
    plot.setLines(sticks, companions, kCuKa1, std::move(*profile));  // redraws, as in the window
  }
}
BENCHMARK(BM_RedrawWithNewProfile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
