#include "view/qt_plot_painter.h"

#include <QColor>
#include <QFont>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "base/reading_flag.h"
#include "document/level_rows.h"
#include "view/limit_verdict_text.h"
#include "view/measurement_readout.h"

namespace tavlin {

namespace {

constexpr const char* kFontFamily = "Arial";
constexpr int kScreenAnnotationPoints = 14;
constexpr int kPageAnnotationPoints = 13;
constexpr int kReadoutPoints = 12;
constexpr int kAnnunciatorPoints = 12;
constexpr int kMarkerNumberPoints = 9;
constexpr int kMeasurementPoints = 11;

// The measurement readings stand right-aligned in the top right of the
// graticule, clear of the annunciators at its top left, of the annotations
// above it and of the marker readout below it.
constexpr int kMeasurementLeft = 250;
constexpr int kMeasurementInset = 5;
constexpr int kMeasurementLineHeight = 20;

// A marker's number stands in a small box beside its glyph, above and to the
// right, or to the left near the right edge of the graticule.
constexpr int kNumberBoxWidth = 11;
constexpr int kNumberBoxHeight = 14;
constexpr int kNumberBoxGap = 4;

// Rows far outside the screen (a recalled trace, a marker level far off
// scale) are drawn where they would be, but held short of what device units
// can hold once scaled for a printer.
constexpr int kFarthestRow = 100000;

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kCyan(0, 255, 255);
const QColor kBlue(0, 0, 192);
const QColor kTeal(0, 128, 128);
const QColor kPurple(192, 0, 192);
const QColor kOrange(255, 160, 0);

struct PlotColours {
    QColor background;
    QColor text;
    QColor graticule;
    QColor traceA;
    QColor traceB;  // and the lower limit
    QColor upperLimit;
    QColor traceMath;  // A-B
    QColor marker;
    QColor readout;
};

PlotColours ColoursFor(bool classic, bool printing) {
    PlotColours c;
    c.traceB = classic ? kCyan : kRed;
    c.upperLimit = kPurple;
    c.traceMath = kOrange;
    if (printing) {
        c.background = kWhite;
        c.text = kBlack;
        c.graticule = kBlue;
        c.traceA = kBlack;
        c.marker = kBlack;
        c.readout = kBlack;
        return c;
    }
    c.background = kBlack;
    c.text = kYellow;
    c.graticule = classic ? kTeal : kBlue;
    c.traceA = classic ? kYellow : kGreen;
    c.marker = kWhite;
    c.readout = classic ? kWhite : kYellow;
    return c;
}

int DrawnRow(std::int32_t row) {
    return std::clamp(row, -kFarthestRow, kFarthestRow);
}

Qt::Alignment AlignmentOf(TextAlign align) {
    switch (align) {
        case TextAlign::Centre:
            return Qt::AlignHCenter;
        case TextAlign::Right:
            return Qt::AlignRight;
        case TextAlign::Left:
            break;
    }
    return Qt::AlignLeft;
}

QFont PlotFont(int points, bool bold = false) {
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QPen TracePen(const QColor& colour, int width) {
    return QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

// Lines are stroked in device pixels: a pen stroked through a stretching
// transform costs about three times as much. This is the width in pixels of a
// pen `width` plot units wide, stretched by the smaller of the two scales.
int DeviceWidth(const QTransform& toDevice, int width) {
    const double stretch = std::min(toDevice.m11(), toDevice.m22());
    return std::max(1, static_cast<int>(std::lround(width * stretch)));
}

double Degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

}  // namespace

QtPlotPainter::QtPlotPainter(QPainter& painter, const PlotSnapshot& snapshot, bool printing,
                             int scale)
    : p_(painter),
      snapshot_(snapshot),
      annotations_(snapshot, printing),
      printing_(printing),
      s_(std::max(1, scale)),
      top_(annotations_.Top()) {}

void QtPlotPainter::PaintScreen(QPainter& painter, const PlotSnapshot& snapshot,
                                const ActivityIndicator& indicator) {
    QtPlotPainter(painter, snapshot, false, 1).Paint();
    PaintIndicator(painter, snapshot.sweepRunning, indicator);
}

void QtPlotPainter::PaintPage(QPainter& painter, const PlotSnapshot& snapshot, int scale) {
    QtPlotPainter(painter, snapshot, true, scale).Paint();
}

void QtPlotPainter::Paint() {
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, false);
    PaintBackground();
    PaintGraticule();
    if (!printing_) {
        PaintAnnunciators();
    }
    PaintTexts();
    PaintReadout();
    PaintMeasurements();
    PaintTraces();
    PaintLimitVerdict();
    PaintMarkerGlyphs();
    p_.restore();
}

void QtPlotPainter::PaintBackground() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    p_.fillRect(QRect(0, (top_ - 100) * s_, plot::kWidth * s_, (top_ + 630) * s_),
                colours.background);
    // Texts are drawn on their own background, as on the instrument's screen.
    p_.setBackgroundMode(Qt::OpaqueMode);
    p_.setBackground(colours.background);
}

void QtPlotPainter::PaintGraticule() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const QTransform toDevice = p_.worldTransform();
    std::array<QLine, 2 * (plot::kDivisions + 1)> lines;
    const int bottom = top_ + plot::kGraticuleHeight;
    for (int i = 0; i <= plot::kDivisions; ++i) {
        const int x = plot::kLeft + plot::kColumnsPerDivision * i;
        const int y = top_ + plot::kRowsPerDivision * i;
        lines[2 * i] = toDevice.map(QLine(x * s_, top_ * s_, x * s_, bottom * s_));
        lines[2 * i + 1] = toDevice.map(QLine(plot::kLeft * s_, y * s_, plot::kRight * s_, y * s_));
    }
    p_.save();
    p_.resetTransform();
    p_.setPen(QPen(colours.graticule, DeviceWidth(toDevice, s_)));
    p_.drawLines(lines.data(), static_cast<int>(lines.size()));
    p_.restore();
}

// The status letters are bold, a little smaller than the annotations, so they
// read at a glance without being taken for one.
void QtPlotPainter::PaintAnnunciators() {
    const std::string letters = annotations_.Annunciators();
    if (letters.empty()) {
        return;
    }
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const PlotPoint at = annotations_.AnnunciatorAnchor();
    p_.setPen(colours.text);
    DrawText(QRect(at.x * s_, at.y * s_, (plot::kRight - at.x) * s_,
                   PlotAnnotations::kTextBoxHeight * s_),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(letters),
             PlotFont(kAnnunciatorPoints, true));
}

void QtPlotPainter::DrawText(const QRect& box, int flags, const QString& text, QFont font) {
    const QTransform stretch = p_.worldTransform();
    if (stretch.isIdentity()) {
        p_.setFont(font);
        p_.drawText(box, flags, text);
        return;
    }
    font.setPointSizeF(font.pointSizeF() * std::min(stretch.m11(), stretch.m22()));
    p_.save();
    p_.resetTransform();
    p_.setFont(font);
    p_.drawText(stretch.mapRect(QRectF(box)), flags, text);
    p_.restore();
}

void QtPlotPainter::PaintTexts() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const QFont font = PlotFont(printing_ ? kPageAnnotationPoints : kScreenAnnotationPoints);
    p_.setPen(colours.text);
    const auto draw = [this, &font](const PlotText& t) {
        // A text wider than its box at this font size runs past the box's
        // edges (both, when centred) rather than losing its first letters.
        DrawText(QRect(t.x * s_, t.y * s_, t.width * s_, t.height * s_),
                 static_cast<int>(AlignmentOf(t.align) | Qt::AlignTop | Qt::TextSingleLine |
                                  Qt::TextDontClip),
                 QString::fromStdString(t.text), font);
    };
    if (const auto title = annotations_.Title()) {
        draw(*title);
    }
    for (const PlotText& t : annotations_.Annotations()) {
        draw(t);
    }
}

void QtPlotPainter::PaintReadout() {
    PaintReadoutStrip(annotations_.Readout());
    for (const PlotText& strip : annotations_.ExtraReadouts()) {
        PaintReadoutStrip(strip);
    }
}

void QtPlotPainter::PaintReadoutStrip(const PlotText& readout) {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const QRect strip(readout.x * s_, readout.y * s_, readout.width * s_, readout.height * s_);
    if (!printing_) {
        p_.fillRect(strip, kBlack);
    }
    if (readout.text.empty()) {
        return;
    }
    p_.setPen(colours.readout);
    // Like the annotations, a long line runs past its strip rather than
    // losing its end.
    DrawText(strip, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
             QString::fromStdString(readout.text), PlotFont(kReadoutPoints));
}

// The verdict of the limit test stands in the graticule's top left corner,
// under the annunciators and clear of the measurement readouts, where a
// glance finds it: green PASS, red FAIL with the first failing frequency.
void QtPlotPainter::PaintLimitVerdict() {
    const LimitVerdict& verdict = snapshot_.limitVerdict;
    const std::string text = LimitVerdictText(
        verdict, IsZeroSpan(snapshot_.settings.stopFreqHz - snapshot_.settings.startFreqHz));
    if (text.empty()) {
        return;
    }
    p_.setPen(verdict.pass ? kGreen : kRed);
    constexpr int kInset = 8;
    constexpr int kBelowAnnunciators = 30;
    constexpr int kWidth = 230;
    DrawText(QRect((plot::kLeft + kInset) * s_, (top_ + kBelowAnnunciators) * s_, kWidth * s_,
                   PlotAnnotations::kTextBoxHeight * s_),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
             QString::fromStdString(text), PlotFont(kReadoutPoints, true));
}

// The channel is framed by two dashed lines at its edges, drawn under the
// traces; the readings above them, one line each.
void QtPlotPainter::PaintMeasurements() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const InstrumentState& settings = snapshot_.settings;
    const double spanHz = settings.stopFreqHz - settings.startFreqHz;
    if (const auto& channel = snapshot_.channelPower; channel && spanHz > 0.0) {
        const auto columnOf = [&](double hz) {
            const double column = (hz - settings.startFreqHz) / spanHz * plot::kLastColumn;
            return plot::kLeft + static_cast<int>(std::lround(std::clamp(
                                     column, 0.0, static_cast<double>(plot::kLastColumn))));
        };
        const int bottom = top_ + plot::kGraticuleHeight;
        p_.setPen(QPen(colours.text, s_, Qt::DashLine));
        for (const double edge : {channel->centreHz - channel->bandwidthHz / 2.0,
                                  channel->centreHz + channel->bandwidthHz / 2.0}) {
            const int x = columnOf(edge);
            p_.drawLine(QPoint(x * s_, top_ * s_), QPoint(x * s_, bottom * s_));
        }
    }
    std::vector<std::string> lines;
    // Taken from the last complete sweep while the newest failed: flagged.
    if (snapshot_.channelPower) {
        lines.push_back(
            FlaggedReadingText(ChannelPowerText(*snapshot_.channelPower), snapshot_.traceFlag));
    }
    if (snapshot_.occupiedBandwidth) {
        lines.push_back(FlaggedReadingText(OccupiedBandwidthText(*snapshot_.occupiedBandwidth),
                                           snapshot_.traceFlag));
    }
    p_.setPen(colours.text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int y = top_ + kMeasurementInset + static_cast<int>(i) * kMeasurementLineHeight;
        DrawText(QRect(kMeasurementLeft * s_, y * s_,
                       (plot::kRight - kMeasurementInset - kMeasurementLeft) * s_,
                       kMeasurementLineHeight * s_),
                 Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                 QString::fromStdString(lines[i]), PlotFont(kMeasurementPoints));
    }
}

// Each trace is 640 segments from one column's row to the next's.
void QtPlotPainter::PaintTraces() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const DisplayState& display = snapshot_.display;
    const QTransform toDevice = p_.worldTransform();
    const int width = DeviceWidth(toDevice, 2 * s_);
    std::array<QPoint, kTracePoints> points;
    std::array<QLine, kTracePoints> segments;
    const auto drawRows = [&](const std::array<std::int32_t, kTracePoints>& rows,
                              const QColor& colour) {
        for (int i = 0; i < kTracePoints; ++i) {
            points[i] =
                toDevice.map(QPoint((plot::kLeft + i) * s_, (top_ + DrawnRow(rows[i])) * s_));
        }
        // A column that measured nothing of this screen leaves a gap; a
        // column between two gaps (a narrow trace on a wide screen) is a dot.
        const auto shows = [&rows](int i) {
            return i >= 0 && i < kTracePoints && rows[i] != kNoRow;
        };
        int count = 0;
        for (int i = 0; i < kTracePoints; ++i) {
            if (shows(i) && shows(i + 1)) {
                segments[count++] = QLine(points[i], points[i + 1]);
            } else if (shows(i) && !shows(i - 1)) {
                segments[count++] = QLine(points[i], points[i]);
            }
        }
        p_.setPen(TracePen(colour, width));
        p_.drawLines(segments.data(), count);
    };
    // The lines stay on the graticule: a limit far above the reference level
    // would otherwise be drawn over the annotations. Trace A keeps the few
    // rows its sweep clamps beyond either line.
    constexpr int kClampedRows = 8;
    const QRect graticule(plot::kLeft * s_, top_ * s_, plot::kLastColumn * s_ + 1,
                          plot::kGraticuleHeight * s_ + 1);
    p_.save();
    p_.resetTransform();
    p_.setClipRect(
        toDevice.mapRect(graticule.adjusted(0, -kClampedRows * s_, 0, kClampedRows * s_)));
    drawRows(snapshot_.traceAInt, colours.traceA);
    p_.setClipRect(toDevice.mapRect(graticule));
    // With the limit lines on, the lower limit takes trace B's place and pen.
    if (display.traceBShown || display.limitLinesOn) {
        drawRows(display.limitLinesOn ? display.lowerLimitRows : display.traceBRows,
                 colours.traceB);
    }
    if (display.limitLinesOn) {
        drawRows(display.upperLimitRows, colours.upperLimit);
    }
    if (display.traceMathShown) {
        drawRows(snapshot_.traceMathRows, colours.traceMath);
    }
    p_.restore();
}

void QtPlotPainter::PaintMarkerGlyphs() {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    p_.setPen(TracePen(colours.marker, 2 * s_));
    p_.setBrush(Qt::NoBrush);
    const auto scaled = [this](int x, int y) { return QPoint(x * s_, y * s_); };
    const int active = snapshot_.markers.ActiveNumber();
    if (const auto m = annotations_.Marker1Glyph()) {
        const std::array<QPoint, 5> square = {
            scaled(m->x - 2, m->y - 2), scaled(m->x + 2, m->y - 2), scaled(m->x + 2, m->y + 2),
            scaled(m->x - 2, m->y + 2), scaled(m->x - 2, m->y - 2)};
        p_.drawPolyline(square.data(), static_cast<int>(square.size()));
        PaintMarkerNumber(*m, 1, active == 1);
    }
    if (const auto m = annotations_.Marker2Glyph()) {
        p_.drawLine(scaled(m->x - 2, m->y - 2), scaled(m->x + 2, m->y + 2));
        p_.drawLine(scaled(m->x - 2, m->y + 2), scaled(m->x + 2, m->y - 2));
        PaintMarkerNumber(*m, 2, active == 2);
    }
    // Markers 3 to 6: a diamond, so the two markers state files keep stay
    // told apart from the window's own.
    for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
        if (const auto m = annotations_.ExtraMarkerGlyph(n)) {
            const std::array<QPoint, 5> diamond = {scaled(m->x, m->y - 3), scaled(m->x + 3, m->y),
                                                   scaled(m->x, m->y + 3), scaled(m->x - 3, m->y),
                                                   scaled(m->x, m->y - 3)};
            p_.drawPolyline(diamond.data(), static_cast<int>(diamond.size()));
            PaintMarkerNumber(*m, n, active == n);
        }
    }
}

// The active marker, the one PEAK, a click and the arrow keys move, has its
// number in a filled box.
void QtPlotPainter::PaintMarkerNumber(const PlotPoint& glyph, int number, bool active) {
    const PlotColours colours = ColoursFor(snapshot_.display.classicColours, printing_);
    const int x = glyph.x + kNumberBoxGap + kNumberBoxWidth <= plot::kRight
                      ? glyph.x + kNumberBoxGap
                      : glyph.x - kNumberBoxGap - kNumberBoxWidth;
    // A marker on the top line has its number below it, inside the
    // graticule, not over the annotations above.
    const int above = glyph.y - kNumberBoxGap - kNumberBoxHeight;
    const int y = above >= top_ ? above : glyph.y + kNumberBoxGap;
    const QRect box(x * s_, y * s_, kNumberBoxWidth * s_, kNumberBoxHeight * s_);
    p_.save();
    if (active) {
        p_.fillRect(box, colours.marker);
        p_.setBackgroundMode(Qt::TransparentMode);
    }
    p_.setPen(active ? colours.background : colours.marker);
    DrawText(box, Qt::AlignCenter | Qt::TextSingleLine, QString::number(number),
             PlotFont(kMarkerNumberPoints, true));
    p_.restore();
}

void QtPlotPainter::PaintIndicator(QPainter& painter, bool sweepRunning,
                                   const ActivityIndicator& indicator) {
    const QRect square(plot::kIndicatorLeft, plot::kIndicatorTop, plot::kIndicatorSize,
                       plot::kIndicatorSize);
    painter.save();
    painter.fillRect(square, kBlack);
    if (sweepRunning) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        // Filled without an outline, so the wedges stay inside the square
        // that the indicator's ticks repaint.
        painter.setPen(Qt::NoPen);
        painter.setBrush(kWhite);
        // Qt counts angles in sixteenths of a degree, counter-clockwise.
        for (const ActivityIndicator::Wedge& w : indicator.Wedges()) {
            painter.drawPie(square, static_cast<int>(std::lround(Degrees(w.fromRad) * 16.0)),
                            static_cast<int>(std::lround(Degrees(w.toRad - w.fromRad) * 16.0)));
        }
    }
    painter.restore();
}

}  // namespace tavlin
