#include "view/qt_waterfall_view.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/utc_time.h"
#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "view/plot_geometry.h"
#include "view/utc_time_axis.h"
#include "view/waterfall_readout.h"

namespace tavlin {

namespace {

constexpr int kMapTop = 255;
constexpr double kColourBarWidth = 10.0;
constexpr int kAgeRefreshMs = 1000;
const QColor kFrameBlue(0, 0, 192);

// matplotlib's viridis map (public domain, CC0) as a sixth-degree polynomial
// in t = 0 .. 1 per channel, a published CC0 fit that stays within about two
// counts of the map's own table.
std::array<QRgb, kMapTop + 1> BuildViridis() {
    constexpr double c[7][3] = {
        {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
        {0.1050930431085774, 1.404613529898575, 1.384590162594685},
        {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
        {-4.634230498983486, -5.799100973351585, -19.33244095627987},
        {6.228269936347081, 14.17993336680509, 56.69055260068105},
        {4.776384997670288, -13.74514537774601, -65.35303263337234},
        {-5.435455855934631, 4.645852612178535, 26.3124352495832},
    };
    std::array<QRgb, kMapTop + 1> map{};
    for (int i = 0; i <= kMapTop; ++i) {
        const double t = static_cast<double>(i) / kMapTop;
        int rgb[3];
        for (int k = 0; k < 3; ++k) {
            double v = c[6][k];
            for (int p = 5; p >= 0; --p) {
                v = c[p][k] + t * v;
            }
            rgb[k] = static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
        }
        map[i] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
    return map;
}

const std::array<QRgb, kMapTop + 1>& Viridis() {
    static const std::array<QRgb, kMapTop + 1> map = BuildViridis();
    return map;
}

// Levels at or below the range's bottom take the darkest colour, at or
// above its top the brightest.
struct LevelToIndex {
    explicit LevelToIndex(const ColourRange& colours) {
        bottomDbm = colours.bottomDbm;
        const double span = colours.topDbm - colours.bottomDbm;
        perDb = span > 0.0 ? kMapTop / span : 0.0;
    }
    int operator()(float levelDbm) const {
        const double index = (levelDbm - bottomDbm) * perDb;
        if (!(index > 0.0)) {
            return 0;  // below the range, or not a level
        }
        return index >= kMapTop ? kMapTop : static_cast<int>(std::lround(index));
    }
    double bottomDbm;
    double perDb;
};

// The screen's range: the bottom graticule line, ten divisions below the
// reference level, to the reference level.
ColourRange ScreenRange(const InstrumentState& state) {
    const MarkerScale scale = MarkerScale::From(state);
    const double dbPerDiv = scale.dbPerDiv > 0.0 ? scale.dbPerDiv : 10.0;
    return {scale.ReferenceDbm() - plot::kDivisions * dbPerDiv, scale.ReferenceDbm()};
}

// The smallest of the usual steps that leaves at most `most` labels, so
// that they read as the plot's own divisions do.
double LabelStepDb(double spanDb, double most) {
    for (const double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 25.0, 50.0}) {
        if (spanDb / step <= most) {
            return step;
        }
    }
    return 100.0;
}

// A black box with white text, its top right corner at `topRight`.
void PaintLabel(QPainter& painter, const QString& text, const QPointF& topRight) {
    const QFontMetrics metrics = painter.fontMetrics();
    QRectF label(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height());
    label.moveTopRight(topRight);
    painter.fillRect(label, Qt::black);
    painter.setPen(Qt::white);
    painter.drawText(label, Qt::AlignCenter, text);
}

}  // namespace

// --- The picture ---------------------------------------------------------------------

QtWaterfallImage::QtWaterfallImage()
    : image_(kTracePoints, static_cast<int>(SpectrogramHistory::kDefaultCapacity),
             QImage::Format_RGB32),
      rowUtc_(SpectrogramHistory::kDefaultCapacity, 0.0),
      rowSeq_(SpectrogramHistory::kDefaultCapacity, 0) {
    image_.fill(Qt::black);
}

std::vector<double> QtWaterfallImage::LineTimes() const {
    return {rowUtc_.begin(), rowUtc_.begin() + lines_};
}

QRgb QtWaterfallImage::MapColour(int index) {
    return Viridis()[std::clamp(index, 0, kMapTop)];
}

QRgb QtWaterfallImage::ColourOf(float levelDbm, const ColourRange& colours) {
    return Viridis()[LevelToIndex(colours)(levelDbm)];
}

QtWaterfallImage::Change QtWaterfallImage::Sync(const SpectrogramHistory& history,
                                                const ColourRange& colours) {
    const int capacity = Capacity();
    if (history.Generation() != generation_ || colours != colours_ ||
        history.Capacity() != static_cast<std::size_t>(capacity)) {
        colours_ = colours;
        Redraw(history);
        return Change::Redrawn;
    }
    // Within one generation the lines are numbered without gaps.
    const std::uint64_t fresh = history.NewestSeq() - drawnSeq_;
    if (fresh == 0) {
        return Change::None;
    }
    if (fresh >= static_cast<std::uint64_t>(capacity)) {
        Redraw(history);
        return Change::Redrawn;
    }
    const int rows = static_cast<int>(fresh);
    const qsizetype bytesPerLine = image_.bytesPerLine();
    uchar* bits = image_.bits();
    std::memmove(bits + rows * bytesPerLine, bits, (capacity - rows) * bytesPerLine);
    std::copy_backward(rowUtc_.begin(), rowUtc_.end() - rows, rowUtc_.end());
    std::copy_backward(rowSeq_.begin(), rowSeq_.end() - rows, rowSeq_.end());
    int y = rows;
    history.ForEachSince(drawnSeq_,
                         [this, &y](const SpectrogramLine& line) { DrawLine(--y, line); });
    drawnSeq_ = history.NewestSeq();
    lines_ = std::min(lines_ + rows, capacity);
    return Change::Scrolled;
}

void QtWaterfallImage::Redraw(const SpectrogramHistory& history) {
    const int capacity = static_cast<int>(history.Capacity());
    if (capacity != Capacity()) {
        image_ = QImage(kTracePoints, capacity, QImage::Format_RGB32);
        rowUtc_.assign(history.Capacity(), 0.0);
        rowSeq_.assign(history.Capacity(), 0);
    }
    image_.fill(Qt::black);
    lines_ = static_cast<int>(history.Size());
    for (int age = 0; age < lines_; ++age) {
        DrawLine(age, history.Line(static_cast<std::size_t>(age)));
    }
    drawnSeq_ = history.NewestSeq();
    generation_ = history.Generation();
}

void QtWaterfallImage::DrawLine(int y, const SpectrogramLine& line) {
    const LevelToIndex index(colours_);
    const auto& map = Viridis();
    rowUtc_[y] = line.utcSec;
    rowSeq_[y] = line.seq;
    auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int column = 0; column < kTracePoints; ++column) {
        row[column] = map[index(line.levelsDbm[column])];
    }
}

// --- The view ------------------------------------------------------------------------

QtWaterfallView::QtWaterfallView(AnalyzerDocument& document, QWidget* parent)
    : QWidget(parent), doc_(document) {
    setObjectName(QStringLiteral("waterfall"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
    // With sweeping stopped no repaint comes from the document, but the
    // oldest line keeps getting older.
    ageTimer_.setInterval(kAgeRefreshMs);
    connect(&ageTimer_, &QTimer::timeout, this, [this] {
        if (isVisible() && picture_.Lines() > 0) {
            update();
        }
    });
    ageTimer_.start();
}

QSize QtWaterfallView::sizeHint() const {
    return {plot::kWidth, plot::kHeight / 2};
}

QSize QtWaterfallView::minimumSizeHint() const {
    return {plot::kWidth / 2, plot::kHeight / 6};
}

void QtWaterfallView::SetSettings(const WaterfallSettings& settings) {
    settings_ = settings.Bounded();
    doc_.SetSpectrogramLines(settings_.historyLines);
    RequestRepaint();
}

void QtWaterfallView::RequestRepaint() {
    Render();
    update();
}

void QtWaterfallView::Render() {
    const ColourRange screen = doc_.ReadSettings(&ScreenRange);
    doc_.ReadSpectrogram([this, &screen](const SpectrogramHistory& history) {
        const ColourRange colours = settings_.manualColours
                                        ? ColourRange{settings_.bottomDbm, settings_.topDbm}
                                        : automaticColours_.Follow(history, screen);
        picture_.Sync(history, colours);
        if (!history.Empty()) {
            oldestEndSec_ = history.Line(history.Size() - 1).endSec;
        }
    });
}

double QtWaterfallView::OldestAge() const {
    return picture_.Lines() == 0 ? 0.0 : doc_.ClockSeconds() - oldestEndSec_;
}

// With lines of a fixed height the oldest line shown may not be the oldest
// kept; its age is then the newest line's plus the sweeps between, which
// the view does not know, so the age label goes with the oldest kept line
// only when that line is on the view.
void QtWaterfallView::Paint(QPainter& painter, const QSize& size, const QtWaterfallImage& picture,
                            int lineHeight, double oldestAgeSec) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::black);
    const double sx = static_cast<double>(size.width()) / plot::kWidth;
    const QRectF area(plot::kLeft * sx, 0.0, kTracePoints * sx, size.height());
    const WaterfallRows rows(area.height(), lineHeight,
                             static_cast<std::size_t>(picture.Capacity()));
    const int slots = rows.SlotsShown();
    painter.drawImage(QRectF(area.left(), 0.0, area.width(), rows.TopOf(slots)), picture.Image(),
                      QRectF(0, 0, kTracePoints, slots));
    painter.setPen(kFrameBlue);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    PaintColourBar(painter, area, picture.Colours());
    if (picture.Lines() == 0) {
        return;
    }
    PaintUtcAxis(painter, area, picture, rows);
    if (picture.Lines() <= slots) {
        PaintOldestAge(painter, area, rows.TopOf(picture.Lines()), oldestAgeSec);
    }
}

// How long ago the oldest line was swept, beside it, left of the colour
// bar's levels.
void QtWaterfallView::PaintOldestAge(QPainter& painter, const QRectF& area, double oldestY,
                                     double oldestAgeSec) {
    const QString age =
        QStringLiteral("%1 s").arg(oldestAgeSec >= 0.05 ? -oldestAgeSec : 0.0, 0, 'f', 1);
    const QFontMetrics metrics = painter.fontMetrics();
    const double textHeight = metrics.height();
    const double right =
        area.right() - kColourBarWidth - metrics.horizontalAdvance(QStringLiteral("-100 dBm")) - 16;
    const double bottom = std::min(std::max(oldestY, textHeight + 1), area.height() - 1);
    PaintLabel(painter, age, QPointF(right, bottom - textHeight));
    painter.drawLine(QPointF(right - 6, oldestY), QPointF(right + 2, oldestY));
}

// The map from the top of the range (at the top) to its bottom, down the
// right edge, with the levels at whole steps of dB beside it so that a
// colour can be read in dBm.
void QtWaterfallView::PaintColourBar(QPainter& painter, const QRectF& area,
                                     const ColourRange& colours) {
    const double textHeight = painter.fontMetrics().height();
    const QRectF bar(area.right() - kColourBarWidth, 1.0, kColourBarWidth - 1, area.height() - 2.0);
    const double spanDb = colours.topDbm - colours.bottomDbm;
    if (bar.height() < 2.0 * textHeight || !(spanDb > 0.0)) {
        return;
    }
    const double pixelsPerDb = (bar.height() - 1.0) / spanDb;
    for (int y = 0; y < static_cast<int>(bar.height()); ++y) {
        const int index = static_cast<int>(std::lround(kMapTop * (1.0 - y / (bar.height() - 1.0))));
        painter.setPen(QColor::fromRgb(QtWaterfallImage::MapColour(index)));
        painter.drawLine(QPointF(bar.left(), bar.top() + y), QPointF(bar.right(), bar.top() + y));
    }
    const double stepDb = LabelStepDb(spanDb, bar.height() / (3.0 * textHeight));
    for (double level = std::ceil(colours.bottomDbm / stepDb) * stepDb;
         level <= colours.topDbm + 1e-9; level += stepDb) {
        const double y = bar.top() + (colours.topDbm - level) * pixelsPerDb;
        const QString text = QStringLiteral("%1 dBm").arg(level, 0, 'f', stepDb < 1.0 ? 1 : 0);
        const double top = std::clamp(y - textHeight / 2.0, 0.0, area.height() - textHeight - 1);
        PaintLabel(painter, text, QPointF(bar.left() - 4, top));
        painter.setPen(Qt::white);
        painter.drawLine(QPointF(bar.left() - 4, y), QPointF(bar.left(), y));
    }
}

// hh:mm:ss UTC at whole steps of the clock down the left edge, each with a
// tick at the top of the line it names; three text heights apart at least
// over the lines shown.
void QtWaterfallView::PaintUtcAxis(QPainter& painter, const QRectF& area,
                                   const QtWaterfallImage& picture, const WaterfallRows& rows) {
    const QFontMetrics metrics = painter.fontMetrics();
    const double textHeight = metrics.height();
    std::vector<double> times = picture.LineTimes();
    times.resize(std::min(times.size(), static_cast<std::size_t>(rows.SlotsShown())));
    const double linesHeight = std::min(area.height(), rows.TopOf(static_cast<int>(times.size())));
    const int maxLabels = std::max(1, static_cast<int>(linesHeight / (3.0 * textHeight)));
    bool first = true;
    for (const UtcTick& tick : UtcTimeAxis::Ticks(times, maxLabels)) {
        const double y = rows.TopOf(tick.row);
        const QString text = QString::fromStdString(UtcClockText(tick.utcSec)) +
                             (first ? QStringLiteral(" UTC") : QString());
        first = false;
        const double top = std::min(y, area.height() - textHeight - 1);
        PaintLabel(painter, text,
                   QPointF(area.left() + 9 + metrics.horizontalAdvance(text) + 6, top));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.left() + 8, y));
    }
}

void QtWaterfallView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    Paint(painter, size(), picture_, settings_.lineHeight, OldestAge());
}

QImage QtWaterfallView::RenderImage(int height) {
    QImage image(plot::kWidth, height, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintOn(painter, image.rect());
    painter.end();
    return image;
}

// An export or a page takes the history as it is now.
void QtWaterfallView::PaintOn(QPainter& painter, const QRect& area) {
    Render();
    const double age = OldestAge();
    painter.save();
    painter.translate(area.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), area.size()));
    Paint(painter, area.size(), picture_, settings_.lineHeight, age);
    painter.restore();
}

// The same column a click on the plot above would pick.
std::optional<int> QtWaterfallView::ColumnAt(double x) const {
    const double sx = static_cast<double>(width()) / plot::kWidth;
    const int column = static_cast<int>(std::floor(x / sx)) - plot::kLeft;
    if (column < 0 || column > plot::kLastColumn) {
        return std::nullopt;
    }
    return column;
}

void QtWaterfallView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (const std::optional<int> column = ColumnAt(event->position().x())) {
            MarkerCommands(doc_).PlaceActiveMarker(*column);
        }
    }
    QWidget::mousePressEvent(event);
}

// The line is looked up by its sequence number, never reused, in the
// history as it is now: a line drawn before the history started afresh
// (another band) or dropped from its end reads nothing until the picture is
// drawn again, never another band's frequency or another sweep's level.
QString QtWaterfallView::ReadoutAt(const QPointF& pos) const {
    const std::optional<int> column = ColumnAt(pos.x());
    const WaterfallRows rows(height(), settings_.lineHeight,
                             static_cast<std::size_t>(picture_.Capacity()));
    const std::optional<int> row = rows.AgeAt(pos.y());
    if (!column || !row || *row >= picture_.Lines()) {
        return {};
    }
    const std::uint64_t seq = picture_.SeqOf(*row);
    const std::string text = doc_.ReadSpectrogram([&](const SpectrogramHistory& history) {
        const std::uint64_t age = history.NewestSeq() - seq;
        if (seq > history.NewestSeq() || age >= history.Size()) {
            return std::string();
        }
        return WaterfallReadout::Text(history.Band(), history.Line(age), *column);
    });
    return QString::fromStdString(text);
}

void QtWaterfallView::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT cursorReadout(ReadoutAt(event->position()));
    QWidget::mouseMoveEvent(event);
}

void QtWaterfallView::leaveEvent(QEvent* event) {
    Q_EMIT cursorReadout(QString());
    QWidget::leaveEvent(event);
}

}  // namespace tavlin
