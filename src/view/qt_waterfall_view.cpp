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

namespace tavlin {

namespace {

constexpr int kCapacity = static_cast<int>(SpectrogramHistory::kCapacity);
constexpr int kMapTop = 255;
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

// The bottom graticule line lies ten divisions below the reference level.
struct LevelToIndex {
    explicit LevelToIndex(const WaterfallColours& colours) {
        const double dbPerDiv = colours.dbPerDiv > 0.0 ? colours.dbPerDiv : 10.0;
        bottomDbm = colours.refDbm - plot::kDivisions * dbPerDiv;
        perDb = kMapTop / (plot::kDivisions * dbPerDiv);
    }
    int operator()(float levelDbm) const {
        const double index = (levelDbm - bottomDbm) * perDb;
        if (!(index > 0.0)) {
            return 0;  // below the screen, or not a level
        }
        return index >= kMapTop ? kMapTop : static_cast<int>(std::lround(index));
    }
    double bottomDbm;
    double perDb;
};

}  // namespace

// --- The picture ---------------------------------------------------------------------

QtWaterfallImage::QtWaterfallImage()
    : image_(kTracePoints, kCapacity, QImage::Format_RGB32), rowUtc_(kCapacity, 0.0) {
    image_.fill(Qt::black);
}

std::vector<double> QtWaterfallImage::LineTimes() const {
    return {rowUtc_.begin(), rowUtc_.begin() + lines_};
}

QRgb QtWaterfallImage::MapColour(int index) {
    return Viridis()[std::clamp(index, 0, kMapTop)];
}

QRgb QtWaterfallImage::ColourOf(float levelDbm, const WaterfallColours& colours) {
    return Viridis()[LevelToIndex(colours)(levelDbm)];
}

QtWaterfallImage::Change QtWaterfallImage::Sync(const SpectrogramHistory& history,
                                                const WaterfallColours& colours) {
    if (history.Generation() != generation_ || colours != colours_) {
        colours_ = colours;
        Redraw(history);
        return Change::Redrawn;
    }
    // Within one generation the lines are numbered without gaps.
    const std::uint64_t fresh = history.NewestSeq() - drawnSeq_;
    if (fresh == 0) {
        return Change::None;
    }
    if (fresh >= static_cast<std::uint64_t>(kCapacity)) {
        Redraw(history);
        return Change::Redrawn;
    }
    const int rows = static_cast<int>(fresh);
    const qsizetype bytesPerLine = image_.bytesPerLine();
    uchar* bits = image_.bits();
    std::memmove(bits + rows * bytesPerLine, bits, (kCapacity - rows) * bytesPerLine);
    std::copy_backward(rowUtc_.begin(), rowUtc_.end() - rows, rowUtc_.end());
    int y = rows;
    history.ForEachSince(drawnSeq_,
                         [this, &y](const SpectrogramLine& line) { DrawLine(--y, line); });
    drawnSeq_ = history.NewestSeq();
    lines_ = std::min(lines_ + rows, kCapacity);
    return Change::Scrolled;
}

void QtWaterfallImage::Redraw(const SpectrogramHistory& history) {
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

void QtWaterfallView::RequestRepaint() {
    Render();
    update();
}

void QtWaterfallView::Render() {
    const WaterfallColours colours = doc_.ReadSettings([](const InstrumentState& s) {
        const MarkerScale scale = MarkerScale::From(s);
        return WaterfallColours{scale.ReferenceDbm(), scale.dbPerDiv};
    });
    doc_.ReadSpectrogram([this, &colours](const SpectrogramHistory& history) {
        picture_.Sync(history, colours);
        if (!history.Empty()) {
            oldestEndSec_ = history.Line(history.Size() - 1).endSec;
        }
    });
}

double QtWaterfallView::OldestAge() const {
    return picture_.Lines() == 0 ? 0.0 : doc_.ClockSeconds() - oldestEndSec_;
}

void QtWaterfallView::Paint(QPainter& painter, const QSize& size, const QtWaterfallImage& picture,
                            double oldestAgeSec) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::black);
    const double sx = static_cast<double>(size.width()) / plot::kWidth;
    const QRectF area(plot::kLeft * sx, 0.0, kTracePoints * sx, size.height());
    painter.drawImage(area, picture.Image(), QRectF(0, 0, kTracePoints, kCapacity));
    painter.setPen(kFrameBlue);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    if (picture.Lines() == 0) {
        return;
    }
    PaintUtcAxis(painter, area, picture);
    // How long ago the oldest line was swept, beside it.
    const double oldestY = area.height() * picture.Lines() / kCapacity;
    const QString age =
        QStringLiteral("%1 s").arg(oldestAgeSec >= 0.05 ? -oldestAgeSec : 0.0, 0, 'f', 1);
    const QFontMetrics metrics = painter.fontMetrics();
    const double textHeight = metrics.height();
    QRectF label(0, 0, metrics.horizontalAdvance(age) + 6, textHeight);
    label.moveBottomRight(
        QPointF(area.right() - 2, std::min(std::max(oldestY, textHeight + 1), area.height() - 1)));
    painter.fillRect(label, Qt::black);
    painter.setPen(Qt::white);
    painter.drawText(label, Qt::AlignCenter, age);
    painter.drawLine(QPointF(area.right() - 8, oldestY), QPointF(area.right(), oldestY));
}

// hh:mm:ss UTC at whole steps of the clock down the left edge, each with a
// tick at the top of the line it names; three text heights apart at least
// over the lines drawn so far.
void QtWaterfallView::PaintUtcAxis(QPainter& painter, const QRectF& area,
                                   const QtWaterfallImage& picture) {
    const QFontMetrics metrics = painter.fontMetrics();
    const double textHeight = metrics.height();
    const double rowHeight = area.height() / kCapacity;
    const double linesHeight = rowHeight * picture.Lines();
    const int maxLabels = std::max(1, static_cast<int>(linesHeight / (3.0 * textHeight)));
    painter.setPen(Qt::white);
    bool first = true;
    for (const UtcTick& tick : UtcTimeAxis::Ticks(picture.LineTimes(), maxLabels)) {
        const double y = tick.row * rowHeight;
        const QString text = QString::fromStdString(UtcClockText(tick.utcSec)) +
                             (first ? QStringLiteral(" UTC") : QString());
        first = false;
        QRectF label(area.left() + 9, 0, metrics.horizontalAdvance(text) + 6, textHeight);
        label.moveTop(std::min(y, area.height() - textHeight - 1));
        painter.fillRect(label, Qt::black);
        painter.drawText(label, Qt::AlignCenter, text);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.left() + 8, y));
    }
}

void QtWaterfallView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    Paint(painter, size(), picture_, OldestAge());
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
    Paint(painter, area.size(), picture_, age);
    painter.restore();
}

// The same column a click on the plot above would pick.
void QtWaterfallView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const double sx = static_cast<double>(width()) / plot::kWidth;
        const int column = static_cast<int>(std::floor(event->position().x() / sx)) - plot::kLeft;
        if (column >= 0 && column <= plot::kLastColumn) {
            MarkerCommands(doc_).PlaceActiveMarker(column);
        }
    }
    QWidget::mousePressEvent(event);
}

}  // namespace tavlin
