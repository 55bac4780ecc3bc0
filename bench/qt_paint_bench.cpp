// One full paint of the analyzer screen: what the screen costs at the end of
// every sweep, with both traces, the limit lines, two markers and the
// indicator, drawn into an image the size of the plot.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "bench_goals.h"
#include "view/activity_indicator.h"
#include "view/plot_snapshot.h"
#include "view/qt_plot_painter.h"
#include "view/qt_waterfall_view.h"

namespace tavlin {
namespace {

PlotSnapshot BusyScreen() {
    PlotSnapshot s;
    s.settings.startFreqHz = 902e6;
    s.settings.stopFreqHz = 928e6;
    s.settings.dbPerDiv = 10.0;
    s.settings.attenDb = 10.0;
    s.settings.rbwHz = 100e3;
    s.settings.sweepTimeSec = 0.336;
    s.settings.videoAvgCount = 10;
    for (int i = 0; i < kTracePoints; ++i) {
        const double noise = 40.0 * std::sin(i * 0.7) * std::sin(i * 0.13);
        s.traceAInt[i] = static_cast<std::int32_t>(420 + noise - (i % 160 == 80 ? 300 : 0));
        s.display.traceBRows[i] = static_cast<std::int32_t>(430 + noise);
    }
    s.display.traceBShown = true;
    s.display.limitLinesOn = true;
    s.display.lowerLimitRows.fill(350);
    s.display.upperLimitRows.fill(100);
    s.markers.marker1On = 1;
    s.markers.marker2On = 1;
    s.markers.markerDelta = 1;
    s.markers.marker1Pos = 915e6;
    s.markers.marker2Pos = 920e6;
    s.markers.marker1Level = -20.0;
    s.markers.marker2Level = -45.0;
    s.sweepRunning = true;
    return s;
}

void FullScreenPaint(benchmark::State& state) {
    const PlotSnapshot snapshot = BusyScreen();
    ActivityIndicator indicator;
    QImage image(660, 670, QImage::Format_RGB32);
    const double t0 = bench::ThreadCpuSeconds();
    for (auto _ : state) {
        QPainter painter(&image);
        QtPlotPainter::PaintScreen(painter, snapshot, indicator);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    const double perPaintMs =
        (bench::ThreadCpuSeconds() - t0) / static_cast<double>(state.iterations()) * 1e3;
    bench::SetGoalAtMost(state, perPaintMs, 1.0);  // ms of processor time a paint
}
BENCHMARK(FullScreenPaint)->Unit(benchmark::kMillisecond);

// The window stretches the plot to its view: at the start-up size the view is
// 670 x 670 for a plot drawn in 660 x 670 units, maximised on a laptop screen
// about 1090 x 810.
void StretchedScreenPaint(benchmark::State& state) {
    const PlotSnapshot snapshot = BusyScreen();
    ActivityIndicator indicator;
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    QImage image(width, height, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setTransform(QTransform::fromScale(width / 660.0, height / 670.0));
        QtPlotPainter::PaintScreen(painter, snapshot, indicator);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(StretchedScreenPaint)->Args({670, 670})->Args({1090, 810})->Unit(benchmark::kMillisecond);

// The whole window with the spectrogram on, as after every sweep: a new
// line joins a full history (of the default length, or the longest), the
// automatic colour range is taken from it, the waterfall scrolls the line
// in, and the plot and the waterfall under it (with its colour bar) are
// painted.
void ScreenWithWaterfallPaint(benchmark::State& state) {
    const auto lines = static_cast<std::size_t>(state.range(0));
    const PlotSnapshot snapshot = BusyScreen();
    ActivityIndicator indicator;
    MarkerScale scale;
    scale.startHz = snapshot.settings.startFreqHz;
    scale.stopHz = snapshot.settings.stopFreqHz;
    scale.dbPerDiv = snapshot.settings.dbPerDiv;
    TraceRows rows;
    std::copy(snapshot.traceAInt.begin(), snapshot.traceAInt.end(), rows.begin());
    SpectrogramHistory history;
    history.SetCapacity(lines);
    for (std::size_t i = 0; i < lines; ++i) {
        history.Append({static_cast<double>(i), 0.0}, scale, rows);
    }
    const ColourRange screen{-10.0 * scale.dbPerDiv, 0.0};
    WaterfallColourRange automatic;
    QtWaterfallImage picture;
    picture.Sync(history, automatic.Follow(history, screen));
    const QSize plotSize(660, 670);
    const QSize waterfallSize(660, 335);
    QImage image(660, plotSize.height() + waterfallSize.height(), QImage::Format_RGB32);
    double sweepEnd = static_cast<double>(lines);
    const double t0 = bench::ThreadCpuSeconds();
    for (auto _ : state) {
        history.Append({sweepEnd, 0.0}, scale, rows);
        sweepEnd += 1.0;
        picture.Sync(history, automatic.Follow(history, screen));
        QPainter painter(&image);
        QtPlotPainter::PaintScreen(painter, snapshot, indicator);
        painter.translate(0, plotSize.height());
        QtWaterfallView::Paint(painter, waterfallSize, picture, WaterfallSettings::kFit, 511.0);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    const double perPaintMs =
        (bench::ThreadCpuSeconds() - t0) / static_cast<double>(state.iterations()) * 1e3;
    bench::SetGoalAtMost(state, perPaintMs, 2.0);  // ms of processor time a sweep's paint
}
BENCHMARK(ScreenWithWaterfallPaint)
    ->Arg(SpectrogramHistory::kDefaultCapacity)
    ->Arg(SpectrogramHistory::kMaxCapacity)
    ->Unit(benchmark::kMillisecond);

void IndicatorSquarePaint(benchmark::State& state) {
    ActivityIndicator indicator;
    QImage image(660, 670, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        QtPlotPainter::PaintIndicator(painter, true, indicator);
        painter.end();
        indicator.Advance();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(IndicatorSquarePaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavlin

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    return tavlin::bench::RunWithGoals(argc, argv);
}
