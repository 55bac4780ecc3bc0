#include "utilities/phase_noise/qt_phase_noise_painter.h"

#include <QFont>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tavlin {

namespace {

constexpr int kLeft = 100;
constexpr int kRight = 820;
constexpr int kTop = 60;
constexpr int kBottom = 560;
constexpr int kPixelsPerDecade = 120;
constexpr int kDecades = 6;
constexpr int kLines = 11;
constexpr int kLineStep = 50;
constexpr double kPixelsPerDb = 5.0;
constexpr int kLowestCurveOffset = 505;
constexpr double kInitialReference = -30.0;

const QColor kGridColour(0, 0, 192);
const QColor kCurveColour(0, 255, 0);
// Where the instrument's own floor is read rather than the carrier's noise.
const QColor kFloorColour(128, 128, 128);
const QColor kTextColour(255, 255, 0);

struct Label {
    int x;
    int y;
    const char* text;
};

// The offset labels sit under their decade lines.
constexpr Label kOffsetLabels[] = {{80, 572, "1 Hz"}, {206, 570, "10"},  {320, 570, "100"},
                                   {446, 570, "1K"},  {560, 570, "10K"}, {674, 570, "100K"},
                                   {806, 570, "1M"}};

void Text(QPainter& painter, int x, int y, const QString& text) {
    painter.drawText(QRect(x, y, 400, 40), Qt::AlignLeft | Qt::AlignTop, text);
}

}  // namespace

int QtPhaseNoisePainter::CurveY(double dbcPerHz, double referenceDbcHz) {
    const double offset = std::clamp((referenceDbcHz - dbcPerHz) * kPixelsPerDb, 0.0,
                                     static_cast<double>(kLowestCurveOffset));
    return static_cast<int>(kTop + offset);
}

void QtPhaseNoisePainter::Paint(QPainter& painter) const {
    painter.fillRect(0, 0, kWidth, kHeight, Qt::black);
    PaintGrid(painter);
    PaintLabels(painter);
    PaintCurve(painter);
}

void QtPhaseNoisePainter::PaintGrid(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kGridColour, 1));
    for (int d = 0; d < kDecades; ++d) {
        for (int n = 1; n <= 10; ++n) {
            const int x = static_cast<int>(kLeft + kPixelsPerDecade * d +
                                           kPixelsPerDecade * std::log10(static_cast<double>(n)));
            painter.drawLine(x, kTop, x, kBottom);
        }
    }
    for (int i = 0; i < kLines; ++i) {
        painter.drawLine(kLeft, kTop + kLineStep * i, kRight, kTop + kLineStep * i);
    }
}

void QtPhaseNoisePainter::PaintLabels(QPainter& painter) const {
    QFont font("Arial");
    font.setPointSize(14);
    painter.setFont(font);
    painter.setPen(kTextColour);
    Text(painter, 20, 24, "dBc/Hz");
    Text(painter, 340, 24, QString::fromStdString(title_));
    const int top = static_cast<int>(reference_);
    for (int i = 0; i < kLines; ++i) {
        Text(painter, 50, 50 + kLineStep * i, QString::number(top - 10 * i));
    }
    for (const Label& label : kOffsetLabels) {
        Text(painter, label.x, label.y, label.text);
    }
}

// The curve in runs of one colour: green where it reads the carrier, grey
// where it reads the instrument's own floor, with a label to say so.
void QtPhaseNoisePainter::PaintCurve(QPainter& painter) const {
    const auto& points = curve_.Points();
    bool anyFloor = false;
    for (int j = 1; j < PhaseNoiseCurve::kColumns; ++j) {
        const bool floor = points[j].atFloor;
        anyFloor = anyFloor || floor;
        painter.setPen(QPen(floor ? kFloorColour : kCurveColour, 2));
        painter.drawLine(QPointF(kLeft + j - 1, CurveY(points[j - 1].dbcPerHz, reference_)),
                         QPointF(kLeft + j, CurveY(points[j].dbcPerHz, reference_)));
    }
    if (anyFloor) {
        painter.setPen(kFloorColour);
        Text(painter, 600, 24, "grey: instrument floor");
    }
}

QImage QtPhaseNoisePainter::Render() const {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    Paint(painter);
    return image;
}

PlotImage QtPhaseNoisePainter::RenderPlotImage() const {
    const QImage image = Render();
    PlotImage plot;
    for (int y = 0; y < kHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            plot.pixels[static_cast<std::size_t>(y) * kWidth + x] = line[x] & 0x00FFFFFFu;
        }
    }
    return plot;
}

PlotImage RenderPhaseNoisePlot(const PhaseNoiseSweeps& sweeps) {
    const PhaseNoiseCurve curve(sweeps);
    return QtPhaseNoisePainter(curve, kInitialReference, sweeps.title).RenderPlotImage();
}

}  // namespace tavlin
