// The waterfall: its picture scrolls a line per sweep and is coloured over
// its range; in the window it comes and goes with View > Spectrogram, a
// click on it places the marker, the pointer reads the line under it, and
// the exports take it in.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <cmath>
#include <limits>

#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "gui/gui_fixtures.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"
#include "view/qt_waterfall_view.h"

namespace tavlin {
namespace {

constexpr ColourRange kColours{-110.0, -10.0};

MarkerScale Band(double startHz) {
    MarkerScale scale;
    scale.startHz = startHz;
    scale.stopHz = startHz + 1e6;
    scale.refLevelDbm = -10.0;
    return scale;
}

// A line at one level: row 0 is the reference, 50 rows a division.
void Append(SpectrogramHistory& history, double levelDbm, double startHz = 900e6) {
    TraceRows rows;
    rows.fill((-10.0 - levelDbm) * 5.0);
    history.Append({}, Band(startHz), rows);
}

QRgb Pixel(const QtWaterfallImage& picture, int row) {
    return picture.Image().pixel(320, row) & RGB_MASK;
}

TEST(WaterfallImage, ScrollsALinePerSweepAndDrawsAgainOnlyForNewColoursOrAFreshHistory) {
    const QRgb dark = QtWaterfallImage::MapColour(0) & RGB_MASK;
    const QRgb bright = QtWaterfallImage::MapColour(255) & RGB_MASK;
    const QRgb black = qRgb(0, 0, 0) & RGB_MASK;
    SpectrogramHistory history;
    QtWaterfallImage picture;
    Append(history, -110.0);
    EXPECT_EQ(picture.Sync(history, kColours), QtWaterfallImage::Change::Redrawn);
    EXPECT_EQ(picture.Sync(history, kColours), QtWaterfallImage::Change::None);
    Append(history, -10.0);
    EXPECT_EQ(picture.Sync(history, kColours), QtWaterfallImage::Change::Scrolled);
    EXPECT_EQ(Pixel(picture, 0), bright) << "the newest line on top";
    EXPECT_EQ(Pixel(picture, 1), dark) << "the one before it a row down";
    EXPECT_EQ(Pixel(picture, 2), black);
    EXPECT_EQ(picture.Lines(), 2);

    // A range 100 dB higher: the newest line is now at its bottom.
    EXPECT_EQ(picture.Sync(history, {-10.0, 90.0}), QtWaterfallImage::Change::Redrawn);
    EXPECT_EQ(Pixel(picture, 0), dark);

    Append(history, -10.0, 905e6);  // another span: the history starts afresh
    EXPECT_EQ(picture.Sync(history, kColours), QtWaterfallImage::Change::Redrawn);
    EXPECT_EQ(Pixel(picture, 0), bright);
    EXPECT_EQ(Pixel(picture, 1), black);
    EXPECT_EQ(picture.Lines(), 1);

    Append(history, -110.0, 905e6);
    history.SetCapacity(60);  // a new length: a picture of its height
    EXPECT_EQ(picture.Sync(history, kColours), QtWaterfallImage::Change::Redrawn);
    EXPECT_EQ(picture.Image().height(), 60);
    EXPECT_EQ(Pixel(picture, 0), dark);
    EXPECT_EQ(Pixel(picture, 1), bright);
}

// The ends are viridis's own (dark violet, bright yellow), darkest and
// brightest of the whole map; a level out of the range takes the nearer end.
TEST(WaterfallImage, TheMapRunsFromDarkAtTheBottomToBrightAtTheTop) {
    const auto near = [](QRgb c, int r, int g, int b) {
        return std::abs(qRed(c) - r) <= 5 && std::abs(qGreen(c) - g) <= 5 &&
               std::abs(qBlue(c) - b) <= 5;
    };
    const QRgb dark = QtWaterfallImage::ColourOf(-110.0f, kColours);
    const QRgb bright = QtWaterfallImage::ColourOf(-10.0f, kColours);
    EXPECT_TRUE(near(dark, 68, 1, 84)) << std::hex << dark;
    EXPECT_TRUE(near(bright, 253, 231, 37)) << std::hex << bright;
    for (int i = 1; i < 255; ++i) {
        const int grey = qGray(QtWaterfallImage::MapColour(i));
        EXPECT_GE(grey, qGray(dark)) << i;
        EXPECT_LE(grey, qGray(bright)) << i;
    }
    EXPECT_EQ(QtWaterfallImage::ColourOf(-200.0f, kColours), dark);
    EXPECT_EQ(QtWaterfallImage::ColourOf(std::numeric_limits<float>::quiet_NaN(), kColours), dark);
    EXPECT_EQ(QtWaterfallImage::ColourOf(20.0f, kColours), bright);
    EXPECT_EQ(QtWaterfallImage::ColourOf(-70.0f, kColours), QtWaterfallImage::MapColour(102));
}

// View > Spectrogram shows the waterfall and keeps the history; a sweep
// adds a line, a click on it places the marker at that column, and both
// exports take it in.
TEST(WaterfallWindow, TheMenuShowsItAClickPlacesTheMarkerAndTheExportsTakeItIn) {
    test::RecordingPrompter prompter;
    test::ScriptedEntryDialogs dialogs;
    test::GuiDocument gui(prompter);
    AnalyzerDocument& doc = gui.Doc();
    QtMainFrame frame(doc, dialogs);
    QAction* spectrogram = frame.findChild<QAction*>("spectrogram");
    ASSERT_NE(spectrogram, nullptr);
    spectrogram->trigger();
    EXPECT_TRUE(doc.SpectrogramOn());
    EXPECT_FALSE(frame.Waterfall().isHidden());
    doc.PerformSweep();
    frame.Waterfall().grab();
    EXPECT_EQ(frame.Waterfall().Picture().Lines(), 0) << "a paint draws, never renders";
    frame.Waterfall().RequestRepaint();  // as the published sweep asks
    EXPECT_EQ(frame.Waterfall().Picture().Lines(), 1);
    frame.Waterfall().resize(660, 300);  // pixels are plot units
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(330, 100), QPointF(330, 100),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame.Waterfall(), &click);
    EXPECT_EQ(test::MarkersOf(doc).marker1On, 1);
    EXPECT_DOUBLE_EQ(test::MarkersOf(doc).marker1Pos, 915e6);

    const QString png = QString::fromStdString((gui.Directory() / "screen.png").string());
    ASSERT_TRUE(frame.FileMenu().ExportScreenTo(png));
    EXPECT_EQ(QImage(png).height(), plot::kHeight + plot::kHeight / 2);
    const QString csv = QString::fromStdString((gui.Directory() / "sweeps.csv").string());
    ASSERT_TRUE(frame.FileMenu().ExportSpectrogramTo(csv));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);  // the comment, the positions, one sweep
    EXPECT_TRUE(lines[0].startsWith('#'));
    EXPECT_EQ(lines[2].count(','), 642);  // the UTC time, the age, 641 levels

    // On paper the waterfall goes under the plot, in the rectangle the page
    // leaves it, and nowhere else.
    QImage page(800, 1200, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    frame.Waterfall().PaintOn(painter, QRect(40, 700, 660, 335));
    painter.end();
    const QRgb newestLine = page.pixel(40 + 10 + 320, 700) & RGB_MASK;
    EXPECT_NE(newestLine, qRgb(255, 255, 255) & RGB_MASK);
    EXPECT_NE(newestLine, qRgb(0, 0, 0) & RGB_MASK);
    EXPECT_EQ(page.pixel(20, 699), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(720, 900), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(370, 1036), qRgb(255, 255, 255));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(QString::fromStdString((gui.Directory() / "page.pdf").string()));
    EXPECT_TRUE(frame.FileMenu().PrintOn(printer));

    // Lines 3 pixels tall: the pointer on the newest line reads it; once the
    // history started afresh on another band, the line still drawn there
    // reads nothing rather than the other band's frequency.
    WaterfallSettings settings;
    settings.lineHeight = 3;
    frame.Waterfall().SetSettings(settings);
    const QRegularExpression newest(
        QStringLiteral(R"(^Cursor at 915\.000000 MHz, -\d+\.\d\d dBm, \d\d:\d\d:\d\d\.\d UTC$)"));
    EXPECT_TRUE(newest.match(frame.Waterfall().ReadoutAt(QPointF(330, 2.5))).hasMatch());
    EXPECT_EQ(frame.Waterfall().ReadoutAt(QPointF(330, 3.5)), QString()) << "no line yet";
    doc.SetCenterSpan(433.92e6, 2e6);
    doc.PerformSweep();
    EXPECT_EQ(frame.Waterfall().ReadoutAt(QPointF(330, 2.5)), QString());
    frame.Waterfall().RequestRepaint();
    EXPECT_TRUE(frame.Waterfall().ReadoutAt(QPointF(330, 2.5)).startsWith("Cursor at 433.9"));

    spectrogram->trigger();
    EXPECT_FALSE(doc.SpectrogramOn());
    EXPECT_TRUE(frame.Waterfall().isHidden());
    doc.CloseDocument();
}

}  // namespace
}  // namespace tavlin
