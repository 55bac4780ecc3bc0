#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QTransform>
#include <QWidget>
#include <functional>

#include "view/activity_indicator.h"
#include "view/level_display.h"
#include "view/plot_snapshot.h"

class QPrinter;
class QRubberBand;

namespace tavlin {

class AnalyzerDocument;

// The analyzer screen, drawn from one snapshot of the document per paint.
// It fills the view: the 660 by 714 pixels of the designed screen are
// stretched to the view's size, and the texts grow with the smaller stretch,
// so they keep their shape. A left click on the graticule places the active
// marker; moving the pointer over it reports the cursor readout for the
// status bar. A marker can be dragged, and the left and right arrow keys
// move the active one a point at a time (Shift: a division). What tunes
// (the wheel, a double-click, a drag along the frequency axis, a box drawn
// with the right button, a right click's menu, the up and down keys) goes as
// signals in trace columns to whoever tunes the settings.
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

    // The unit and transducer every level on the plot is shown with.
    const LevelDisplay& Levels() const { return levels_; }
    void SetLevels(const LevelDisplay& levels);

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
    // with the keys held and the column under the pointer (held to the trace).
    void wheelNotches(int notches, Qt::KeyboardModifiers modifiers, int column);
    // A double-click on the graticule.
    void columnDoubleClicked(int column);
    // The frequency axis dragged by this many columns to the right since the
    // last report.
    void axisDragged(int columns);
    // A box drawn over the graticule with the right button, edge to edge.
    void boxDrawn(int fromColumn, int toColumn);
    // A right click on the graticule: the menu at that column, shown at the
    // pointer (global coordinates).
    void menuRequested(int column, const QPoint& globalPosition);
    // The up (+1) and down (-1) keys.
    void referenceStepped(int steps);
    // A sweep began or ended, whoever started or stopped it; seen within a
    // tick of the activity indicator.
    void sweepStartedOrEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
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
    // What one paint draws: the document's snapshot in the window's levels.
    PlotSnapshot Snapshot() const;
    void ReportCursor(const QString& text);
    void PressLeft(const QPoint& at);
    void PressRight(const QPoint& at, const QPoint& viewAt);
    void ReleaseRight(const QPoint& at, const QPointF& globalAt);
    static int HeldColumn(const QPoint& at);

    AnalyzerDocument& doc_;
    ActivityIndicator indicator_;
    QTimer indicatorTimer_;
    bool indicatorSpinning_ = false;  // the square shows the wedges
    QString lastCursorText_;
    LevelDisplay levels_;
    // What a button held down drags: the active marker (left button on the
    // graticule), the frequency axis (left button on it), a zoom box (right
    // button on the graticule).
    enum class Drag { kNone, kMarker, kAxis, kBox };
    Drag drag_ = Drag::kNone;
    int dragColumn_ = 0;  // the axis: the column last reported; the box: where it began
    QPoint boxOrigin_;    // the box's first corner in the view's pixels
    QRubberBand* box_ = nullptr;
    int wheelEighths_ = 0;  // what a fine-grained wheel has turned short of a notch
};

}  // namespace tavlin
