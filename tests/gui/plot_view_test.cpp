// What the user sees of the analyzer screen: rendered into an image and
// checked pixel by pixel against the graticule, trace, limit and marker
// positions, in both colour schemes and on paper.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "document/document_fixture.h"
#include "document/marker_commands.h"
#include "gui/gui_document.h"
#include "support/recording_prompter.h"
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
const QRect kIndicator(624, 4, 32, 32);

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// A 2-pixel pen covers the row it is drawn at and one beside it.
bool DrawnNear(const QImage& image, int x, int y, const QColor& colour) {
    return At(image, x, y - 1) == colour || At(image, x, y) == colour ||
           At(image, x, y + 1) == colour;
}

// Pixels of `colour`; with a tolerance, also the smoothed edges of text in it.
int Count(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 0) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor p = At(image, x, y);
            count += std::abs(p.red() - colour.red()) <= tolerance &&
                     std::abs(p.green() - colour.green()) <= tolerance &&
                     std::abs(p.blue() - colour.blue()) <= tolerance;
        }
    }
    return count;
}

int CountText(const QImage& image, const QRect& area, const QColor& colour) {
    return Count(image, area, colour, 90);
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
    template <typename Change>
    void Edit(Change&& edit) {
        std::lock_guard lock(doc->traceMutex);
        edit(doc->display, doc->markers);
    }
    void SetMarker1(double positionHz, double levelDbm) {
        Edit([=](DisplayState&, MarkerState& m) {
            m.marker1On = 1;
            m.marker1Pos = positionHz;
            m.marker1Level = levelDbm;
        });
    }
    void SetClassic(bool classic) {
        Edit([=](DisplayState& d, MarkerState&) { d.classicColours = classic; });
    }
    QImage Render() { return QtPlotView(*doc).RenderScreen(); }
};

TEST_F(PlotViewTest, GraticuleLinesInTheSchemesColour) {
    for (const bool classic : {false, true}) {
        SetClassic(classic);
        const QImage image = Render();
        const QColor line = classic ? kTeal : kBlue;
        for (int i = 0; i <= 10; ++i) {
            EXPECT_EQ(At(image, 10 + 64 * i, kTop + 25), line) << "vertical line " << i;
            EXPECT_EQ(At(image, 10 + 64 * i, kTop + 475), line) << "vertical line " << i;
            EXPECT_EQ(At(image, 42, kTop + 50 * i), line) << "horizontal line " << i;
            EXPECT_EQ(At(image, 618, kTop + 50 * i), line) << "horizontal line " << i;
        }
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

    SetClassic(true);
    const QImage classic = Render();
    EXPECT_TRUE(DrawnNear(classic, 10 + 100, kTop + 125, kYellow));
    EXPECT_FALSE(DrawnNear(classic, 10 + 100, kTop + 125, kGreen));
}

TEST_F(PlotViewTest, TraceBWhenShownAndTheLowerLimitInItsPlace) {
    Edit([](DisplayState& d, MarkerState&) { d.traceBRows.fill(300); });
    EXPECT_FALSE(DrawnNear(Render(), 200, kTop + 300, kRed));
    Edit([](DisplayState& d, MarkerState&) { d.traceBShown = true; });
    EXPECT_TRUE(DrawnNear(Render(), 200, kTop + 300, kRed));
    SetClassic(true);
    EXPECT_TRUE(DrawnNear(Render(), 200, kTop + 300, kCyan));

    SetClassic(false);
    Edit([](DisplayState& d, MarkerState&) {
        d.traceBShown = false;
        d.limitLinesOn = true;
        d.lowerLimitRows.fill(450);
        d.upperLimitRows.fill(-20);  // above the graticule
    });
    const QImage limits = Render();
    EXPECT_TRUE(DrawnNear(limits, 10, kTop + 450, kRed));
    EXPECT_TRUE(DrawnNear(limits, 650, kTop + 450, kRed));
    EXPECT_TRUE(DrawnNear(limits, 333, kTop - 20, kPurple));
    EXPECT_FALSE(DrawnNear(limits, 200, kTop + 300, kRed));
}

TEST_F(PlotViewTest, MarkerGlyphsSquareAndCross) {
    SetMarker1(915.41e6, -35.0);  // column 330, row 175: off the graticule lines
    Edit([](DisplayState&, MarkerState& m) {
        m.marker2On = 1;
        m.marker2Pos = 902e6 + 26e6 / 4;  // column 160
        m.marker2Level = -60.0;           // row 300
    });
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

TEST_F(PlotViewTest, TextsReadoutAndIndicatorInTheirPlaces) {
    const QImage bare = Render();
    // Annunciator "U" (26 MHz span) and the annotations are yellow.
    EXPECT_GT(CountText(bare, QRect(18, kTop + 5, 30, 20), kYellow), 5);
    EXPECT_GT(CountText(bare, QRect(10, kTop - 60, 200, 26), kYellow), 20);    // REF
    EXPECT_GT(CountText(bare, QRect(450, kTop + 540, 200, 26), kYellow), 20);  // SWP
    const QRect strip(10, kTop + 570, 640, 26);
    EXPECT_EQ(Count(bare, strip, kBlack), strip.width() * strip.height());
    EXPECT_EQ(Count(bare, kIndicator, kBlack), 32 * 32);

    SetMarker1(915e6, -30.0);
    EXPECT_GT(CountText(Render(), strip, kYellow), 50);
    SetClassic(true);
    doc->sweepRunning = 1;
    const QImage classic = Render();
    EXPECT_GT(CountText(classic, strip, kWhite), 50);
    EXPECT_EQ(CountText(classic, strip, kYellow), 0);
    // Two wedges of 0.8 rad: about a quarter of the circle's 804 pixels.
    EXPECT_GT(Count(classic, kIndicator, kWhite), 150);
    EXPECT_LT(Count(classic, kIndicator, kWhite), 300);
}

TEST_F(PlotViewTest, TicksRepaintOnlyTheIndicatorSquareWhileSweeping) {
    QtPlotView view(*doc);
    view.resize(660, 670);
    PaintRecorder recorder;
    view.installEventFilter(&recorder);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(50);
    recorder.rects.clear();

    doc->sweepRunning = 1;
    QElapsedTimer waited;
    waited.start();
    while (view.IndicatorAngle() < 0.25f && waited.elapsed() < 5000) {
        QTest::qWait(20);
    }
    EXPECT_GE(view.IndicatorAngle(), 0.25f);
    ASSERT_FALSE(recorder.rects.empty());
    for (const QRect& r : recorder.rects) {
        EXPECT_TRUE(kIndicator.contains(r)) << r.x() << "," << r.y();
    }

    // Idle: the angle stands still.
    doc->sweepRunning = 0;
    QTest::qWait(150);
    const float stopped = view.IndicatorAngle();
    QTest::qWait(250);
    EXPECT_EQ(view.IndicatorAngle(), stopped);

    // A repaint asked for by another thread arrives as a full paint.
    recorder.rects.clear();
    std::thread([&view] {
        QMetaObject::invokeMethod(&view, "RequestRepaint", Qt::QueuedConnection);
    }).join();
    for (int i = 0; i < 50 && recorder.rects.empty(); ++i) {
        QTest::qWait(10);
    }
    ASSERT_FALSE(recorder.rects.empty());
    EXPECT_TRUE(recorder.rects.back().contains(QRect(10, kTop, 641, 501)));
}

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button) {
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button),
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

TEST_F(PlotViewTest, ClickPlacesTheActiveMarkerOnTheGraticuleOnly) {
    QtPlotView view(*doc);
    SendMouse(view, QEvent::MouseButtonPress, QPoint(330, kTop), Qt::LeftButton);  // top line
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
    QtPlotView view(*doc);
    QSignalSpy spy(&view, &QtPlotView::cursorReadout);
    SendMouse(view, QEvent::MouseMove, QPoint(330, 300), Qt::NoButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toString(), "Cursor at 915.000000 MHz, -85.00 dBm");
    SendMouse(view, QEvent::MouseMove, QPoint(650, 300), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "Cursor at 928.000000 MHz, -85.00 dBm");
    // Right of the last trace point there is nothing to read.
    SendMouse(view, QEvent::MouseMove, QPoint(651, 300), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "");
    SendMouse(view, QEvent::MouseMove, QPoint(330, 300), Qt::NoButton);
    SendMouse(view, QEvent::MouseMove, QPoint(330, kTop + 560), Qt::NoButton);
    EXPECT_EQ(spy.last().at(0).toString(), "");
}

TEST_F(PlotViewTest, PaperIsWhiteWithBlackInkScaledAndTitled) {
    SetTraceRows(200);
    SetMarker1(915e6, -30.0);
    SetClassic(true);
    doc->EditSettings([](InstrumentState& s) {
        s.title = "BAND EDGE";
        s.titleSet = 1;
    });
    doc->sweepRunning = 1;
    const int s = 2;
    const int top = 100;
    QImage page(700 * s, 760 * s, QImage::Format_RGB32);
    page.fill(Qt::gray);
    {
        QPainter painter(&page);
        QtPlotPainter::PaintPage(painter, TakePlotSnapshot(*doc), s);
    }
    EXPECT_EQ(At(page, 5 * s, (top + 250) * s), kWhite);
    EXPECT_EQ(At(page, (10 + 64 * 3) * s, (top + 25) * s), kBlue);  // not the scheme's teal
    EXPECT_TRUE(DrawnNear(page, 300 * s, (top + 200) * s, kBlack));
    // The title above the graticule; no annunciators, no indicator.
    EXPECT_GT(CountText(page, QRect(30 * s, 10 * s, 600 * s, 26 * s), kBlack), 50);
    EXPECT_EQ(CountText(page, QRect(18 * s, (top + 5) * s, 60 * s, 20 * s), kBlack), 0);
    EXPECT_EQ(Count(page, QRect(624 * s, 4 * s, 32 * s, 32 * s), kWhite), 32 * s * 32 * s);
    EXPECT_GT(CountText(page, QRect(10 * s, (top + 570) * s, 640 * s, 26 * s), kBlack), 50);
    // Scaled pens: the graticule is s units wide, the trace 2s.
    EXPECT_EQ(Count(page, QRect(42 * s, top * s - 4, 1, 9), kBlue), s);
    EXPECT_EQ(Count(page, QRect(301 * s, (top + 200) * s - 6, 1, 13), kBlack), 2 * s);
}

TEST_F(PlotViewTest, PrintsToAPdfFileAtEveryPageSize) {
    QtPlotView view(*doc);
    const QImage before = view.RenderScreen();
    const QString file = QString::fromStdString((cacheDir / "plot.pdf").string());
    // A page at screen resolution is narrower than 800 units: scale 1.
    for (const auto mode : {QPrinter::HighResolution, QPrinter::ScreenResolution}) {
        QPrinter printer(mode);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        ASSERT_TRUE(view.Print(printer));
        QFile pdf(file);
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
        EXPECT_GT(pdf.size(), 1000);
        pdf.close();
        QFile::remove(file);
    }
    QPrinter nowhere(QPrinter::HighResolution);
    nowhere.setOutputFormat(QPrinter::PdfFormat);
    nowhere.setOutputFileName(QString::fromStdString((cacheDir / "no" / "plot.pdf").string()));
    EXPECT_FALSE(view.Print(nowhere));
    // Printing leaves the screen as it was.
    EXPECT_EQ(view.RenderScreen(), before);
}

// The sweep thread publishes traces and marker levels while the view paints
// from its snapshots; run under ThreadSanitizer this shows the two never
// touch the same data unguarded.
TEST(PlotViewSweepTest, PaintsWhileTheSweepRuns) {
    test::RecordingPrompter prompter;
    test::GuiDocument gui(prompter);
    AnalyzerDocument& d = gui.Doc();
    QtPlotView view(d);
    view.resize(660, 670);
    view.show();
    MarkerCommands(d).Normal();
    d.OnContinuous();
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(view.RenderScreen().size(), QSize(660, 670));
        view.RequestRepaint();
        QTest::qWait(5);
    }
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_GT(Count(view.RenderScreen(), QRect(10, kTop, 641, 500), kGreen), 640);
}

}  // namespace
}  // namespace tavlin
