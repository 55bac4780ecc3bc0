#include "view/qt_plot_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <optional>

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "view/marker_readout.h"
#include "view/plot_annotations.h"
#include "view/plot_geometry.h"
#include "view/plot_snapshot.h"
#include "view/qt_plot_painter.h"

namespace tavlin {

namespace {

constexpr int kIndicatorTickMs = 100;

const QRect kIndicatorSquare(plot::kIndicatorLeft, plot::kIndicatorTop, plot::kIndicatorSize,
                             plot::kIndicatorSize);

// Under the printed plot: as wide as the plot and at most half its height,
// where the page has room for a useful strip (a landscape page has none).
std::optional<QRect> PrintedBelowPlot(int pageHeight, int scale) {
    constexpr int kGap = 10;
    constexpr int kLeastHeight = 100;
    const int top = plot::kPrintedHeight + kGap;
    const int height = std::min(plot::kHeight / 2, pageHeight / scale - top - kGap);
    if (height < kLeastHeight) {
        return std::nullopt;
    }
    return QRect(0, top * scale, plot::kWidth * scale, height * scale);
}

}  // namespace

QtPlotView::QtPlotView(AnalyzerDocument& document, QWidget* parent)
    : QWidget(parent), doc_(document) {
    setMouseTracking(true);
    // Every paint covers the whole view in black first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Clicked or tabbed to, the plot takes the arrow keys.
    setFocusPolicy(Qt::StrongFocus);
    // The right button's press and release come here whatever the platform:
    // a click is the menu, a drag the zoom box.
    setContextMenuPolicy(Qt::PreventContextMenu);
    box_ = new QRubberBand(QRubberBand::Rectangle, this);
    indicatorTimer_.setInterval(kIndicatorTickMs);
    connect(&indicatorTimer_, &QTimer::timeout, this, &QtPlotView::AdvanceIndicator);
    indicatorTimer_.start();
}

QSize QtPlotView::sizeHint() const {
    return {plot::kWidth, plot::kHeight};
}

QSize QtPlotView::minimumSizeHint() const {
    return {plot::kWidth * 3 / 4, plot::kHeight * 3 / 4};
}

QTransform QtPlotView::ScreenTransform() const {
    return QTransform::fromScale(static_cast<double>(width()) / plot::kWidth,
                                 static_cast<double>(height()) / plot::kHeight);
}

QRect QtPlotView::IndicatorRect() const {
    return ScreenTransform().mapRect(QRectF(kIndicatorSquare)).toAlignedRect();
}

QPoint QtPlotView::PlotPoint(const QPointF& at) const {
    const QPointF p = ScreenTransform().inverted().map(at);
    return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

void QtPlotView::RequestRepaint() {
    update();
}

// A sweep is shown turning ten times a second by repainting the indicator's
// square alone, never the whole plot. One more repaint when the sweep has
// ended clears the wedges.
void QtPlotView::AdvanceIndicator() {
    const bool running = doc_.SweepRunning();
    if (running) {
        indicator_.Advance();
    } else if (!indicatorSpinning_) {
        return;
    }
    if (running != indicatorSpinning_) {
        Q_EMIT sweepStartedOrEnded();
    }
    indicatorSpinning_ = running;
    update(IndicatorRect());
}

void QtPlotView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (IndicatorRect().contains(event->rect())) {
        // The square's edges fall between pixels when stretched: the pixels
        // the update takes in around it are filled as the screen has them.
        painter.fillRect(event->rect(), Qt::black);
        painter.setTransform(ScreenTransform());
        QtPlotPainter::PaintIndicator(painter, doc_.SweepRunning(), indicator_);
        return;
    }
    painter.setTransform(ScreenTransform());
    QtPlotPainter::PaintScreen(painter, Snapshot(), indicator_);
}

void QtPlotView::SetLevels(const LevelDisplay& levels) {
    levels_ = levels;
    update();
}

PlotSnapshot QtPlotView::Snapshot() const {
    PlotSnapshot snapshot = TakePlotSnapshot(doc_);
    ShowLevelsAs(levels_, snapshot);
    return snapshot;
}

QImage QtPlotView::RenderScreen() const {
    QImage image(plot::kWidth, plot::kHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QtPlotPainter::PaintScreen(painter, Snapshot(), indicator_);
    return image;
}

bool QtPlotView::Print(QPrinter& printer, const PaintBelow& paintBelow) const {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const int scale = PlotAnnotations::PrintScale(printer.width(), printer.height());
    QtPlotPainter::PaintPage(painter, Snapshot(), scale);
    if (paintBelow) {
        if (const auto area = PrintedBelowPlot(printer.height(), scale)) {
            painter.save();
            paintBelow(painter, *area);
            painter.restore();
        }
    }
    return painter.end();
}

int QtPlotView::HeldColumn(const QPoint& at) {
    return std::clamp(at.x() - plot::kLeft, 0, plot::kLastColumn);
}

void QtPlotView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = PlotPoint(event->position());
    if (event->button() == Qt::LeftButton) {
        PressLeft(at);
    } else if (event->button() == Qt::RightButton) {
        PressRight(at, event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void QtPlotView::PressLeft(const QPoint& at) {
    if (const auto column = plot::ClickColumn(at.x(), at.y(), plot::kScreenTop)) {
        MarkerCommands(doc_).PlaceActiveMarker(*column);
        drag_ = Drag::kMarker;
        update();
    } else if (plot::OnFrequencyAxis(at.x(), at.y(), plot::kScreenTop)) {
        drag_ = Drag::kAxis;
        dragColumn_ = at.x() - plot::kLeft;
    }
}

void QtPlotView::PressRight(const QPoint& at, const QPoint& viewAt) {
    if (const auto column = plot::ClickColumn(at.x(), at.y(), plot::kScreenTop)) {
        drag_ = Drag::kBox;
        dragColumn_ = *column;
        boxOrigin_ = viewAt;
        box_->setGeometry(QRect(viewAt, QSize()));
    }
}

// A marker being dragged follows the pointer's column, held to the trace's
// ends when the pointer leaves the graticule; so do the axis and the box.
void QtPlotView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = PlotPoint(event->position());
    if (drag_ == Drag::kMarker && (event->buttons() & Qt::LeftButton)) {
        MarkerCommands(doc_).PlaceActiveMarker(HeldColumn(at));
    } else if (drag_ == Drag::kAxis && (event->buttons() & Qt::LeftButton)) {
        const int column = HeldColumn(at);
        if (column != dragColumn_) {
            Q_EMIT axisDragged(column - dragColumn_);
            dragColumn_ = column;
        }
    } else if (drag_ == Drag::kBox && (event->buttons() & Qt::RightButton)) {
        box_->setGeometry(QRect(boxOrigin_, event->position().toPoint()).normalized());
        box_->show();
    }
    const auto column = plot::CursorColumn(at.x(), at.y(), plot::kScreenTop);
    ReportCursor(column ? CursorText(*column) : QString());
    // Taken here: passed on, the frame would read the pointer in its own
    // coordinates and overwrite this readout with another column's.
    event->accept();
}

void QtPlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && drag_ != Drag::kBox) {
        drag_ = Drag::kNone;
    } else if (event->button() == Qt::RightButton && drag_ == Drag::kBox) {
        ReleaseRight(PlotPoint(event->position()), event->globalPosition());
    }
    QWidget::mouseReleaseEvent(event);
}

// A box too narrow to be a span was a click: the menu opens where the button
// went down.
void QtPlotView::ReleaseRight(const QPoint& at, const QPointF& globalAt) {
    drag_ = Drag::kNone;
    box_->hide();
    const int column = HeldColumn(at);
    if (std::abs(column - dragColumn_) < plot::kLeastBoxColumns) {
        Q_EMIT menuRequested(dragColumn_, globalAt.toPoint());
    } else {
        Q_EMIT boxDrawn(dragColumn_, column);
    }
}

void QtPlotView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = PlotPoint(event->position());
    if (event->button() == Qt::LeftButton) {
        if (const auto column = plot::ClickColumn(at.x(), at.y(), plot::kScreenTop)) {
            drag_ = Drag::kNone;
            Q_EMIT columnDoubleClicked(*column);
            return;
        }
    }
    QWidget::mouseDoubleClickEvent(event);
}

// A notch is 120 eighths of a degree; a fine-grained wheel or a touchpad
// sends less at a time, kept until a notch is made up. A wheel turned with
// Shift may arrive sideways.
void QtPlotView::wheelEvent(QWheelEvent* event) {
    constexpr int kNotch = 120;
    const QPoint turned = event->angleDelta();
    wheelEighths_ += turned.y() != 0 ? turned.y() : turned.x();
    const int notches = wheelEighths_ / kNotch;
    wheelEighths_ -= notches * kNotch;
    if (notches != 0) {
        Q_EMIT wheelNotches(notches, event->modifiers(), HeldColumn(PlotPoint(event->position())));
    }
    event->accept();
}

void QtPlotView::keyPressEvent(QKeyEvent* event) {
    const int points = (event->modifiers() & Qt::ShiftModifier) ? plot::kColumnsPerDivision : 1;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        MarkerCommands(doc_).MoveActiveMarker(event->key() == Qt::Key_Left ? -points : points);
        return;
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        Q_EMIT referenceStepped(event->key() == Qt::Key_Up ? 1 : -1);
        return;
    }
    QWidget::keyPressEvent(event);
}

void QtPlotView::leaveEvent(QEvent* event) {
    ReportCursor(QString());
    QWidget::leaveEvent(event);
}

QString QtPlotView::CursorText(int column) const {
    // The level measured at the column's frequency, as a marker reads it.
    const MarkerCommands markers(doc_);
    const MarkerReadout readout(markers.Scale(), markers.LevelFlag(), levels_);
    return QString::fromStdString(
        readout.Cursor(column, markers.LevelOfColumn(column), markers.FlagOfColumn(column)));
}

void QtPlotView::ReportCursor(const QString& text) {
    if (text == lastCursorText_) {
        return;
    }
    lastCursorText_ = text;
    Q_EMIT cursorReadout(text);
}

}  // namespace tavlin
