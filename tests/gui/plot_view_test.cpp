// What the user sees of the analyzer screen: rendered into an image and
// checked pixel by pixel against the graticule, trace, limit and marker
// positions; printed to a file.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPaintEvent>
#include <QPrinter>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "document/document_fixture.h"
#include "document/marker_commands.h"
#include "gui/gui_fixtures.h"
#include "view/qt_plot_view.h"

namespace tavlin {
namespace {

const QColor kBlue(0, 0, 192);
const QColor kPurple(192, 0, 192);
constexpr int kTop = 70;  // the graticule's top line on screen
const QRect kIndicator(624, 4, 32, 32);

// A 2-pixel pen covers the row it is drawn at and one beside it.
bool DrawnNear(const QImage& image, int x, int y, const QColor& colour) {
    return image.pixelColor(x, y - 1) == colour || image.pixelColor(x, y) == colour ||
           image.pixelColor(x, y + 1) == colour;
}

using test::Count;
using test::kTextTolerance;

class PlotViewTest : public test::DocumentFixture {
  protected:
    PlotViewTest() { BuildWithInstrument(); }
    ~PlotViewTest() override { EndSweep(); }

    // A sweep that runs until EndSweep, drawing nothing.
    void StartSweep() {
        held = true;
        doc->SetSweepPass([this] {
            while (held.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        doc->OnContinuous();
    }
    void EndSweep() {
        held = false;
        doc->StopAfterThisPass();
        while (doc->SweepRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::atomic<bool> held{false};

    QImage Render() { return QtPlotView(*doc).RenderScreen(); }
};

// Trace A over a step, trace B, the markers and the indicator while the
// sweep runs; then the limit lines, the lower one in trace B's place.
TEST_F(PlotViewTest, TracesMarkersLimitLinesAndIndicator) {
    doc->EditTrace([](ScreenState& s) {
        for (int i = 0; i < kTracePoints; ++i) {
            s.trace.traceA[i] = s.trace.traceAInt[i] = i < 320 ? 125 : 375;
        }
        s.markers.marker1On = 1;
        s.markers.marker1Pos = 915.41e6;  // column 330, row 175: off the graticule lines
        s.markers.marker1Level = -35.0;
        s.display.traceBRows.fill(280);
        s.display.traceBShown = true;
        s.display.lowerLimitRows.fill(460);
        s.display.upperLimitRows.fill(-20);  // above the graticule: clipped away
    });
    StartSweep();
    QImage image = Render();
    for (int i = 0; i <= 10; ++i) {
        EXPECT_EQ(image.pixelColor(10 + 64 * i, kTop + 475), kBlue) << "vertical line " << i;
        EXPECT_EQ(image.pixelColor(618, kTop + 50 * i), kBlue) << "horizontal line " << i;
    }
    EXPECT_TRUE(DrawnNear(image, 10 + 100, kTop + 125, Qt::green));
    EXPECT_TRUE(DrawnNear(image, 10 + 500, kTop + 375, Qt::green));
    EXPECT_TRUE(DrawnNear(image, 10 + 640, kTop + 375, Qt::green));  // the last point
    EXPECT_EQ(image.pixelColor(10 + 100, kTop + 375), Qt::black);
    EXPECT_TRUE(DrawnNear(image, 200, kTop + 280, Qt::red));
    // Marker 1 is a hollow square; its readout is below the graticule.
    EXPECT_TRUE(DrawnNear(image, 340, kTop + 173, Qt::white));
    EXPECT_EQ(image.pixelColor(340, kTop + 175), Qt::black);
    EXPECT_GT(Count(image, QRect(10, kTop + 570, 640, 26), Qt::yellow, kTextTolerance), 50);
    // Two wedges of 0.8 rad: about a quarter of the circle's 804 pixels.
    EXPECT_GT(Count(image, kIndicator, Qt::white), 150);
    EXPECT_LT(Count(image, kIndicator, Qt::white), 300);

    doc->EditTrace([](ScreenState& s) { s.display.limitLinesOn = true; });
    EndSweep();
    image = Render();
    EXPECT_TRUE(DrawnNear(image, 10, kTop + 460, Qt::red));
    EXPECT_FALSE(DrawnNear(image, 333, kTop - 20, kPurple)) << "a limit above the screen";
    EXPECT_FALSE(DrawnNear(image, 200, kTop + 280, Qt::red)) << "trace B gives way";
    EXPECT_EQ(Count(image, kIndicator, Qt::black), 32 * 32) << "idle indicator";

    // The limit test's verdict in the graticule's top right corner.
    const QRect verdictBox(14, kTop + 28, 230, 24);
    EXPECT_EQ(Count(image, verdictBox, Qt::red, kTextTolerance), 0) << "untested: no verdict";
    doc->EditTrace([](ScreenState& s) {
        s.limitVerdict = {.tested = true, .pass = false, .failures = {{.position = 915e6}}};
    });
    EXPECT_GT(Count(Render(), verdictBox, Qt::red, kTextTolerance), 100);
    doc->EditTrace([](ScreenState& s) { s.limitVerdict = {.tested = true, .failures = {}}; });
    EXPECT_GT(Count(Render(), verdictBox, Qt::green, kTextTolerance), 30);
}

// Records the rectangles the view was asked to paint.
struct PaintRecorder : QObject {
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        }
        return false;
    }
};

TEST_F(PlotViewTest, TicksRepaintOnlyTheIndicatorSquareWhileSweeping) {
    QtPlotView view(*doc);
    view.resize(plot::kWidth, plot::kHeight);
    PaintRecorder recorder;
    view.installEventFilter(&recorder);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(50);
    recorder.rects.clear();

    StartSweep();
    EXPECT_TRUE(QTest::qWaitFor([&view] { return view.IndicatorAngle() >= 0.25f; }, 5000));
    ASSERT_FALSE(recorder.rects.empty());
    for (const QRect& r : recorder.rects) {
        EXPECT_TRUE(kIndicator.contains(r)) << r.x() << "," << r.y();
    }

    EndSweep();
    // A repaint asked for by another thread arrives as a full paint.
    recorder.rects.clear();
    std::thread([&view] {
        QMetaObject::invokeMethod(&view, "RequestRepaint", Qt::QueuedConnection);
    }).join();
    EXPECT_TRUE(QTest::qWaitFor(
        [&recorder] {
            return std::any_of(recorder.rects.begin(), recorder.rects.end(), [](const QRect& r) {
                return r.contains(QRect(10, kTop, 641, 501));
            });
        },
        500));
}

// A file that cannot be opened is a failed print.
TEST_F(PlotViewTest, PrintsToAPdfFileOrSaysItCouldNot) {
    QtPlotView view(*doc);
    const QImage before = view.RenderScreen();
    const QString file = QString::fromStdString((cacheDir / "plot.pdf").string());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(file);
    ASSERT_TRUE(view.Print(printer));
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
    EXPECT_GT(pdf.size(), 1000);
    QPrinter nowhere(QPrinter::HighResolution);
    nowhere.setOutputFileName(QString::fromStdString((cacheDir / "no" / "plot.pdf").string()));
    EXPECT_FALSE(view.Print(nowhere));
    EXPECT_EQ(view.RenderScreen(), before) << "printing leaves the screen as it was";
}

// The sweep thread publishes traces and marker levels while the view paints
// from its snapshots; run under ThreadSanitizer this shows the two never
// touch the same data unguarded.
TEST(PlotViewSweepTest, PaintsWhileTheSweepRuns) {
    test::RecordingPrompter prompter;
    test::GuiDocument gui(prompter);
    AnalyzerDocument& d = gui.Doc();
    QtPlotView view(d);
    view.resize(plot::kWidth, plot::kHeight);
    view.show();
    MarkerCommands(d).Normal();
    d.OnContinuous();
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(view.RenderScreen().size(), QSize(plot::kWidth, plot::kHeight));
        view.RequestRepaint();
        QTest::qWait(5);
    }
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_GT(Count(view.RenderScreen(), QRect(10, kTop, 641, 500), Qt::green), 640);
}

}  // namespace
}  // namespace tavlin
