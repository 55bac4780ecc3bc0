#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QTransform>
#include <QWidget>
#include <functional>

#include "view/activity_indicator.h"

class QPrinter;

namespace tavlin {

class AnalyzerDocument;

// The analyzer screen, drawn from one snapshot of the document per paint.
// It fills the view: the 660 by 670 pixels of the designed screen are
// stretched to the view's size, and the texts grow with the smaller stretch,
// so they keep their shape. A left click on the graticule places the active
// marker; moving the pointer over it reports the cursor readout for the
// status bar. A marker can be dragged, and the arrow keys move the active
// one a point at a time (Shift: a division). The wheel's notches go to
// whoever steps the settings (the front panel).
class QtPlotView : public QWidget {
    Q_OBJECT

  public:
    explicit QtPlotView(AnalyzerDocument& document, QWidget* parent = nullptr);

    // The plot as it is on screen, with the annotations and the marker
    // readout, for "Export Screen".
    QImage RenderScreen() const;

    // What a page carries under the plot (the waterfall): it paints into the
    // rectangle given, in the printer's device pixels.
    using PaintBelow = std::function<void(QPainter&, const QRect&)>;

    // One page: white paper, black ink, the title when one is set, scaled to
    // the printer's drawing area, and under it what paintBelow draws where
    // the page has room for it. False when the printer cannot be drawn on.
    bool Print(QPrinter& printer, const PaintBelow& paintBelow = {}) const;

    float IndicatorAngle() const { return indicator_.Angle(); }

    // The designed screen; the smallest is three quarters of it, where the
    // annotations still stand apart.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  public Q_SLOTS:
    // Repaints the whole view from the document. Any thread may ask, through
    // QMetaObject::invokeMethod(view, "RequestRepaint", Qt::QueuedConnection).
    void RequestRepaint();

  Q_SIGNALS:
    // The cursor readout under the pointer, or an empty text when the
    // pointer is off the trace.
    void cursorReadout(const QString& text);
    // Whole notches of the wheel over the plot, away from the user positive,
    // with the keys held.
    void wheelNotches(int notches, Qt::KeyboardModifiers modifiers);
    // A sweep began or ended, whoever started or stopped it; seen within a
    // tick of the activity indicator.
    void sweepStartedOrEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private Q_SLOTS:
    void AdvanceIndicator();

  private:
    // From plot units (the designed screen's pixels) to the view's pixels.
    QTransform ScreenTransform() const;
    QRect IndicatorRect() const;
    // The pointer in plot units.
    QPoint PlotPoint(const QPointF& at) const;
    QString CursorText(int column) const;
    void ReportCursor(const QString& text);

    AnalyzerDocument& doc_;
    ActivityIndicator indicator_;
    QTimer indicatorTimer_;
    bool indicatorSpinning_ = false;  // the square shows the wedges
    QString lastCursorText_;
    bool dragging_ = false;  // the left button went down on the graticule
    int wheelEighths_ = 0;   // what a fine-grained wheel has turned short of a notch
};

}  // namespace tavlin
