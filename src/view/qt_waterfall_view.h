#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "document/spectrogram_history.h"
#include "view/waterfall_colour_range.h"
#include "view/waterfall_rows.h"
#include "view/waterfall_settings.h"

class QPainter;

namespace tavlin {

class AnalyzerDocument;

// The waterfall's picture: one row of 641 pixels for each line the history
// can hold, the newest at the top, black where no line is yet. A new sweep
// moves the rows down by one and draws one; the whole picture is drawn again
// only when the history started afresh or changed its length, the colours
// changed or more lines came than it holds.
class QtWaterfallImage {
  public:
    enum class Change { None, Scrolled, Redrawn };

    QtWaterfallImage();

    Change Sync(const SpectrogramHistory& history, const ColourRange& colours);
    const QImage& Image() const { return image_; }
    int Lines() const { return lines_; }  // rows holding a line, from the top
    int Capacity() const { return image_.height(); }
    const ColourRange& Colours() const { return colours_; }
    // The sequence number of the line in row `row` (< Lines()).
    std::uint64_t SeqOf(int row) const { return rowSeq_[static_cast<std::size_t>(row)]; }
    // The UTC end of each line drawn, from the top.
    std::vector<double> LineTimes() const;

    // The perceptually uniform map from dark (0) to bright (255).
    static QRgb MapColour(int index);
    static QRgb ColourOf(float levelDbm, const ColourRange& colours);

  private:
    void DrawLine(int y, const SpectrogramLine& line);
    void Redraw(const SpectrogramHistory& history);

    QImage image_;
    std::vector<double> rowUtc_;
    std::vector<std::uint64_t> rowSeq_;
    std::uint64_t drawnSeq_ = 0;
    std::uint64_t generation_ = 0;
    ColourRange colours_;
    int lines_ = 0;
};

// The waterfall under the plot, its columns under the plot's columns, with
// the colour bar of its levels at the right. A left click places the active
// marker at the frequency under the pointer, as a click on the plot does;
// the pointer over a line reads its frequency, level and time. The picture is brought up to the
// history when a sweep is published or a setting changes (RequestRepaint), on the GUI thread but
// outside the paint: a paint only draws the picture it is handed. The sweep never waits for either.
class QtWaterfallView : public QWidget {
    Q_OBJECT

  public:
    explicit QtWaterfallView(AnalyzerDocument& document, QWidget* parent = nullptr);

    // The waterfall drawn into an image of the plot's width in plot units,
    // for "Export Screen".
    QImage RenderImage(int height);
    // The waterfall painted into a rectangle of another device (a printed page).
    void PaintOn(QPainter& painter, const QRect& area);
    const QtWaterfallImage& Picture() const { return picture_; }

    // The settings are taken within their bounds; the history is given the
    // new length at once.
    void SetSettings(const WaterfallSettings& settings);
    const WaterfallSettings& Settings() const { return settings_; }
    // The cursor readout for the pointer at `pos`: empty where no line is,
    // or where the line drawn there is no longer in the history.
    QString ReadoutAt(const QPointF& pos) const;

    // The whole view: the picture stretched to the columns of a plot of the
    // given width and each line `lineHeight` pixels tall (or the history's
    // length fitted to the height), the time of the oldest line shown beside
    // it on the right, the UTC time of the lines on the left.
    static void Paint(QPainter& painter, const QSize& size, const QtWaterfallImage& picture,
                      int lineHeight, double oldestAgeSec);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  public Q_SLOTS:
    void RequestRepaint();

  Q_SIGNALS:
    // The pointer's readout for the status bar; empty when it reads nothing.
    void cursorReadout(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    static void PaintUtcAxis(QPainter& painter, const QRectF& area, const QtWaterfallImage& picture,
                             const WaterfallRows& rows);
    static void PaintColourBar(QPainter& painter, const QRectF& area, const ColourRange& colours);
    static void PaintOldestAge(QPainter& painter, const QRectF& area, double oldestY,
                               double oldestAgeSec);
    // The graticule column under the pointer, if any.
    std::optional<int> ColumnAt(double x) const;
    // Brings the picture up to the history and the colours in force.
    void Render();
    // How long ago the oldest line of the picture was swept, in s.
    double OldestAge() const;

    AnalyzerDocument& doc_;
    WaterfallSettings settings_;
    WaterfallColourRange automaticColours_;
    QtWaterfallImage picture_;
    double oldestEndSec_ = 0.0;  // when the oldest line's sweep ended
    QTimer ageTimer_;            // keeps the age of the oldest line counting between sweeps
};

}  // namespace tavlin
