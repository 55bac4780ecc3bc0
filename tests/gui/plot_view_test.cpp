// What the user sees of the analyzer screen: rendered into an image and
// checked pixel by pixel against the graticule, trace, limit and marker
// positions, in both colour schemes and on paper.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "app/document_fixture.h"
#include "gui/gui_document.h"
#include "support/recording_prompter.h"
#include "view/marker_commands.h"
#include "view/plot_snapshot.h"
#include "view/qt_plot_painter.h"
#include "view/qt_plot_view.h"

namespace tavlin {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kCyan(0, 255, 255);
const QColor kBlue(0, 0, 192);
const QColor kTeal(0, 128, 128);
const QColor kPurple(192, 0, 192);

constexpr int kTop = 70;  // the graticule's top line on screen

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// A 2-pixel pen covers the row it is drawn at and one beside it.
bool DrawnNear(const QImage& image, int x, int y, const QColor& colour) {
    for (int dy = -1; dy <= 1; ++dy) {
        if (At(image, x, y + dy) == colour) {
            return true;
        }
    }
    return false;
}

int CountColour(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += At(image, x, y) == colour;
        }
    }
    return count;
}

// Pixels of text drawn in `colour` over `background`, counting the smoothed
// edges whose colour is mostly the text's.
int CountInk(const QImage& image, const QRect& area, const QColor& colour,
             const QColor& background) {
    int count = 0;
    const int ink[3] = {colour.red(), colour.green(), colour.blue()};
    const int paper[3] = {background.red(), background.green(), background.blue()};
    int widest = 0;
    for (int c = 1; c < 3; ++c) {
        if (std::abs(ink[c] - paper[c]) > std::abs(ink[widest] - paper[widest])) {
            widest = c;
        }
    }
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor p = At(image, x, y);
            const int got[3] = {p.red(), p.green(), p.blue()};
            const double a =
                double(got[widest] - paper[widest]) / double(ink[widest] - paper[widest]);
            bool blend = a > 0.5;
            for (int c = 0; c < 3 && blend; ++c) {
                blend = std::abs(got[c] - (paper[c] + a * (ink[c] - paper[c]))) <= 12;
            }
            count += blend;
        }
    }
    return count;
}

class PlotViewTest : public test::DocumentFixture {
  protected:
    PlotViewTest() {
        BuildWithInstrument();
        SetTraceRows(425);  // between two graticule lines
    }
    ~PlotViewTest() override { doc->sweepRunning = 0; }

    void SetTraceRows(int row) {
        std::lock_guard lock(doc->traceMutex);
        doc->trace.traceAInt.fill(row);
        doc->trace.traceA.fill(row);
    }
    template <typename Edit>
    void EditDisplay(Edit&& edit) {
        std::lock_guard lock(doc->traceMutex);
        edit(doc->display);
    }
    void SetMarker1(double positionHz, double levelDbm) {
        std::lock_guard lock(doc->traceMutex);
        doc->markers.marker1On = 1;
        doc->markers.marker1Pos = positionHz;
        doc->markers.marker1Level = levelDbm;
    }
    QImage Render() { return CTRAXAView(*doc).RenderScreen(); }
};

TEST_F(PlotViewTest, GraticuleLinesInTheSchemesColour) {
    for (const bool classic : {false, true}) {
        EditDisplay([classic](DisplayState& d) { d.classicColours = classic; });
        const QImage image = Render();
        const QColor line = classic ? kTeal : kBlue;
        for (int i = 0; i <= 10; ++i) {
            EXPECT_EQ(At(image, 10 + 64 * i, kTop + 25), line) << "vertical line " << i;
            EXPECT_EQ(At(image, 10 + 64 * i, kTop + 475), line) << "vertical line " << i;
            EXPECT_EQ(At(image, 42, kTop + 50 * i), line) << "horizontal line " << i;
            EXPECT_EQ(At(image, 618, kTop + 50 * i), line) << "horizontal line " << i;
        }
        // Between the lines the screen is black.
        EXPECT_EQ(At(image, 42, kTop + 25), kBlack);
        EXPECT_EQ(At(image, 10 + 64 * 5 + 32, kTop + 275), kBlack);
        EXPECT_EQ(At(image, 655, kTop + 250), kBlack);
    }
}

TEST_F(PlotViewTest, TraceAAtItsRowsGreenOrYellow) {
    {
        std::lock_guard lock(doc->traceMutex);
        for (int i = 0; i < kTracePoints; ++i) {
            doc->trace.traceAInt[i] = i < 320 ? 125 : 375;
        }
    }
    const QImage kvo = Render();
    EXPECT_TRUE(DrawnNear(kvo, 10 + 100, kTop + 125, kGreen));
    EXPECT_TRUE(DrawnNear(kvo, 10 + 500, kTop + 375, kGreen));
    EXPECT_TRUE(DrawnNear(kvo, 10 + 640, kTop + 375, kGreen));  // the last point
    EXPECT_EQ(At(kvo, 10 + 100, kTop + 375), kBlack);
    // The step between columns 319 and 320 is one segment.
    EXPECT_TRUE(DrawnNear(kvo, 10 + 319, kTop + 250, kGreen) ||
                DrawnNear(kvo, 10 + 320, kTop + 250, kGreen));

    EditDisplay([](DisplayState& d) { d.classicColours = true; });
    const QImage classic = Render();
    EXPECT_TRUE(DrawnNear(classic, 10 + 100, kTop + 125, kYellow));
    EXPECT_FALSE(DrawnNear(classic, 10 + 100, kTop + 125, kGreen));
}

TEST_F(PlotViewTest, TraceBShownOnlyWhenSwitchedOn) {
    EditDisplay([](DisplayState& d) { d.traceBRows.fill(300); });
    EXPECT_FALSE(DrawnNear(Render(), 200, kTop + 300, kRed));
    EditDisplay([](DisplayState& d) { d.traceBShown = true; });
    EXPECT_TRUE(DrawnNear(Render(), 200, kTop + 300, kRed));
    EditDisplay([](DisplayState& d) { d.classicColours = true; });
    EXPECT_TRUE(DrawnNear(Render(), 200, kTop + 300, kCyan));
}

TEST_F(PlotViewTest, LimitLinesReplaceTraceBWithTheLowerLimit) {
    EditDisplay([](DisplayState& d) {
        d.traceBRows.fill(300);
        d.limitLinesOn = true;
        d.lowerLimitRows.fill(450);
        d.upperLimitRows.fill(-20);  // above the graticule
    });
    const QImage image = Render();
    EXPECT_TRUE(DrawnNear(image, 10, kTop + 450, kRed));
    EXPECT_TRUE(DrawnNear(image, 650, kTop + 450, kRed));
    EXPECT_TRUE(DrawnNear(image, 333, kTop - 20, kPurple));
    EXPECT_FALSE(DrawnNear(image, 200, kTop + 300, kRed));
}

TEST_F(PlotViewTest, MarkerGlyphsSquareAndCross) {
    SetMarker1(915.41e6, -35.0);  // column 330, row 175: off the graticule lines
    {
        std::lock_guard lock(doc->traceMutex);
        doc->markers.marker2On = 1;
        doc->markers.marker2Pos = 902e6 + 26e6 / 4;  // column 160
        doc->markers.marker2Level = -60.0;           // row 300
    }
    const QImage image = Render();
    const int x1 = 340;
    const int y1 = kTop + 175;
    EXPECT_TRUE(DrawnNear(image, x1, y1 - 2, kWhite));  // the square's top side
    EXPECT_TRUE(DrawnNear(image, x1, y1 + 2, kWhite));  // and its bottom
    EXPECT_EQ(At(image, x1, y1), kBlack);               // an outline: hollow
    EXPECT_EQ(At(image, x1, y1 - 6), kBlack);
    const int x2 = 170;
    const int y2 = kTop + 300;
    EXPECT_EQ(At(image, x2, y2), kWhite);  // where the two strokes cross
    EXPECT_TRUE(DrawnNear(image, x2 - 2, y2 - 2, kWhite));
    EXPECT_TRUE(DrawnNear(image, x2 + 2, y2 - 2, kWhite));
    EXPECT_EQ(At(image, x2, y2 - 4), kBlack);
}

TEST_F(PlotViewTest, TextsAndReadoutInTheirPlaces) {
    const QImage bare = Render();
    // Annunciator "U" (26 MHz span) and the annotations are yellow.
    EXPECT_GT(CountInk(bare, QRect(18, kTop + 5, 30, 20), kYellow, kBlack), 5);
    EXPECT_GT(CountInk(bare, QRect(10, kTop - 60, 200, 26), kYellow, kBlack), 20);    // REF
    EXPECT_GT(CountInk(bare, QRect(450, kTop + 540, 200, 26), kYellow, kBlack), 20);  // SWP
    // No marker: the readout strip is empty.
    const QRect strip(10, kTop + 570, 640, 26);
    EXPECT_EQ(CountColour(bare, strip, kBlack), strip.width() * strip.height());

    SetMarker1(915e6, -30.0);
    EXPECT_GT(CountInk(Render(), strip, kYellow, kBlack), 50);
    EditDisplay([](DisplayState& d) { d.classicColours = true; });
    const QImage classic = Render();
    EXPECT_GT(CountInk(classic, strip, kWhite, kBlack), 50);
    EXPECT_EQ(CountInk(classic, strip, kYellow, kBlack), 0);
}

TEST_F(PlotViewTest, IndicatorSpinsOnlyWhileASweepRuns) {
    const QRect square(624, 4, 32, 32);
    EXPECT_EQ(CountColour(Render(), square, kWhite), 0);
    doc->sweepRunning = 1;
    const int white = CountColour(Render(), square, kWhite);
    // Two wedges of 0.8 rad each: about a quarter of the circle's 804 pixels.
    EXPECT_GT(white, 150);
    EXPECT_LT(white, 300);
}

TEST_F(PlotViewTest, TicksRepaintOnlyTheIndicatorSquareWhileSweeping) {
    CTRAXAView view(*doc);
    view.resize(660, 670);
    std::vector<QRect> painted;
    struct PaintRecorder : QObject {
        std::vector<QRect>* rects;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) {
                rects->push_back(static_cast<QPaintEvent*>(e)->rect());
            }
            return false;
        }
    } recorder;
    recorder.rects = &painted;
    view.installEventFilter(&recorder);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(50);
    painted.clear();

    doc->sweepRunning = 1;
    QElapsedTimer waited;
    waited.start();
    while (view.IndicatorAngle() < 0.25f && waited.elapsed() < 5000) {
        QTest::qWait(20);
    }
    EXPECT_GE(view.IndicatorAngle(), 0.25f);
    ASSERT_FALSE(painted.empty());
    for (const QRect& r : painted) {
        EXPECT_TRUE(QRect(624, 4, 32, 32).contains(r)) << r.x() << "," << r.y();
    }

    // Idle: the angle stands still.
    doc->sweepRunning = 0;
    QTest::qWait(150);
    const float stopped = view.IndicatorAngle();
    QTest::qWait(250);
    EXPECT_EQ(view.IndicatorAngle(), stopped);
}

TEST_F(PlotViewTest, RepaintRequestedFromAnotherThread) {
    CTRAXAView view(*doc);
    view.resize(660, 670);
    view.show();
    QApplication::processEvents();
    bool fullPaint = false;
    struct PaintRecorder : QObject {
        bool* full;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint &&
                static_cast<QPaintEvent*>(e)->rect().contains(QRect(10, 70, 640, 500))) {
                *full = true;
            }
            return false;
        }
    } recorder;
    recorder.full = &fullPaint;
    view.installEventFilter(&recorder);
    std::thread sweep(
        [&view] { QMetaObject::invokeMethod(&view, "RequestRepaint", Qt::QueuedConnection); });
    sweep.join();
    for (int i = 0; i < 50 && !fullPaint; ++i) {
        QTest::qWait(10);
    }
    EXPECT_TRUE(fullPaint);
}

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button),
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

TEST_F(PlotViewTest, ClickPlacesTheActiveMarkerOnTheGraticuleOnly) {
    CTRAXAView view(*doc);
    SendMouse(view, QEvent::MouseButtonPress, QPoint(330, kTop), Qt::LeftButton);  // top line
    EXPECT_EQ(doc->markers.marker1On, 0);
    SendMouse(view, QEvent::MouseButtonPress, QPoint(330, 300), Qt::RightButton);
    EXPECT_EQ(doc->markers.marker1On, 0);
    SendMouse(view, QEvent::MouseButtonPress, QPoint(330, 300), Qt::LeftButton);
    EXPECT_EQ(doc->markers.marker1On, 1);
    EXPECT_DOUBLE_EQ(doc->markers.marker1Pos, 915e6);
    EXPECT_DOUBLE_EQ(doc->markers.marker1Level, -85.0);  // row 425 at 10 dB/div
    SendMouse(view, QEvent::MouseButtonPress, QPoint(650, kTop + 500), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(doc->markers.marker1Pos, 928e6);
}

TEST_F(PlotViewTest, PointerReadsTheCursorOverTheTraceOnly) {
    CTRAXAView view(*doc);
    QSignalSpy spy(&view, &CTRAXAView::cursorReadout);
    SendMouse(view, QEvent::MouseMove, QPoint(330, 300), Qt::NoButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toString(), "Cursor at 915.000000 MHz, -85.00 dBm");
    SendMouse(view, QEvent::MouseMove, QPoint(650, 300), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "Cursor at 928.000000 MHz, -85.00 dBm");
    // Right of the last trace point there is nothing to read.
    SendMouse(view, QEvent::MouseMove, QPoint(651, 300), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "");
    SendMouse(view, QEvent::MouseMove, QPoint(330, kTop + 560), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "");
}

QImage RenderPage(const PlotSnapshot& snapshot, int scale) {
    QImage page(700 * scale, 760 * scale, QImage::Format_RGB32);
    page.fill(Qt::gray);
    QPainter painter(&page);
    QtPlotPainter::PaintPage(painter, snapshot, scale);
    return page;
}

TEST_F(PlotViewTest, PaperIsWhiteWithBlackInkScaledAndTitled) {
    SetTraceRows(200);
    SetMarker1(915e6, -30.0);
    doc->EditSettings([](InstrumentState& s) {
        s.title = "BAND EDGE";
        s.titleSet = 1;
    });
    doc->sweepRunning = 1;
    PlotSnapshot snapshot = TakePlotSnapshot(*doc);
    snapshot.display.classicColours = true;
    const int s = 2;
    const int top = 100;
    const QImage page = RenderPage(snapshot, s);
    EXPECT_EQ(At(page, 5 * s, (top + 250) * s), kWhite);
    EXPECT_EQ(At(page, (10 + 64 * 3) * s, (top + 25) * s), kBlue);  // not the scheme's teal
    EXPECT_EQ(At(page, 42 * s, (top + 500) * s), kBlue);
    EXPECT_TRUE(DrawnNear(page, 300 * s, (top + 200) * s, kBlack));
    // The title above the graticule; no annunciators, no indicator.
    EXPECT_GT(CountInk(page, QRect(30 * s, 10 * s, 600 * s, 26 * s), kBlack, kWhite), 50);
    EXPECT_EQ(CountInk(page, QRect(18 * s, (top + 5) * s, 60 * s, 20 * s), kBlack, kWhite), 0);
    EXPECT_EQ(CountColour(page, QRect(624 * s, 4 * s, 32 * s, 32 * s), kWhite), 32 * s * 32 * s);
    // The readout is printed in black on the white page.
    const QRect strip(10 * s, (top + 570) * s, 640 * s, 26 * s);
    EXPECT_GT(CountInk(page, strip, kBlack, kWhite), 50);
    // Scaled pens: the graticule is s units wide, the trace 2s.
    EXPECT_EQ(CountColour(page, QRect(42 * s, top * s - 4, 1, 9), kBlue), s);
    EXPECT_EQ(CountColour(page, QRect(301 * s, (top + 200) * s - 6, 1, 13), kBlack), 2 * s);
}

TEST_F(PlotViewTest, PrintsToAPdfFileAtEveryPageSize) {
    CTRAXAView view(*doc);
    const QImage before = view.RenderScreen();
    for (const auto mode : {QPrinter::HighResolution, QPrinter::ScreenResolution}) {
        QPrinter printer(mode);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString file = QString::fromStdString((cacheDir / "plot.pdf").string());
        printer.setOutputFileName(file);
        ASSERT_TRUE(view.Print(printer));
        QFile pdf(file);
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
        EXPECT_GT(pdf.size(), 1000);
        pdf.close();
        QFile::remove(file);
    }
    // The screen is drawn as before: printing leaves nothing behind.
    EXPECT_EQ(view.RenderScreen(), before);
}

// The sweep thread publishes traces and marker levels while the view paints
// from its snapshots; run under ThreadSanitizer this shows the two never
// touch the same data unguarded.
TEST(PlotViewSweepTest, PaintsWhileTheSweepRuns) {
    test::RecordingPrompter prompter;
    test::GuiDocument gui(prompter);
    VUDAVEZid& d = gui.Doc();
    CTRAXAView view(d);
    view.resize(660, 670);
    view.show();
    MarkerCommands(d).Normal();
    d.OnContinuous();
    for (int i = 0; i < 30; ++i) {
        const QImage image = view.RenderScreen();
        ASSERT_EQ(image.size(), QSize(660, 670));
        view.RequestRepaint();
        QTest::qWait(5);
    }
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    // The trace of the last sweep is on screen: some green above the floor.
    const QImage image = view.RenderScreen();
    EXPECT_GT(CountColour(image, QRect(10, kTop, 641, 500), kGreen), 640);
}

}  // namespace
}  // namespace tavlin
