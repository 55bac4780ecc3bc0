#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "document/spectrogram_history.h"

class QPainter;

namespace tavlin {

class AnalyzerDocument;

// What decides a line's colours: the bottom graticule line is the darkest
// colour of the map, the reference level the brightest.
struct WaterfallColours {
    double refDbm = 0.0;
    double dbPerDiv = 10.0;
    bool operator==(const WaterfallColours&) const = default;
};

// The waterfall's picture: one row of 641 pixels for each line the history
// can hold, the newest at the top, black where no line is yet. A new sweep
// moves the rows down by one and draws one; the whole picture is drawn again
// only when the history started afresh, the colours changed or more lines
// came than it holds.
class QtWaterfallImage {
  public:
    enum class Change { None, Scrolled, Redrawn };

    QtWaterfallImage();

    Change Sync(const SpectrogramHistory& history, const WaterfallColours& colours);
    const QImage& Image() const { return image_; }
    int Lines() const { return lines_; }  // rows holding a line, from the top
    // The UTC end of each line drawn, from the top.
    std::vector<double> LineTimes() const;

    // The perceptually uniform map from dark (0) to bright (255).
    static QRgb MapColour(int index);
    static QRgb ColourOf(float levelDbm, const WaterfallColours& colours);

  private:
    void DrawLine(int y, const SpectrogramLine& line);
    void Redraw(const SpectrogramHistory& history);

    QImage image_;
    std::vector<double> rowUtc_;
    std::uint64_t drawnSeq_ = 0;
    std::uint64_t generation_ = 0;
    WaterfallColours colours_;
    int lines_ = 0;
};

// The waterfall under the plot, its columns under the plot's columns. A left
// click places the active marker at the frequency under the pointer, as a
// click on the plot does. The picture is brought up to the history when a
// sweep is published or a setting changes (RequestRepaint), on the GUI thread
// but outside the paint: a paint only draws the picture it is handed. The
// sweep never waits for either.
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

    // The whole view: the picture stretched to the columns of a plot of the
    // given width, the time of the oldest line beside it on the right, the
    // UTC time of the lines on the left.
    static void Paint(QPainter& painter, const QSize& size, const QtWaterfallImage& picture,
                      double oldestAgeSec);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  public Q_SLOTS:
    void RequestRepaint();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    static void PaintUtcAxis(QPainter& painter, const QRectF& area,
                             const QtWaterfallImage& picture);
    // Brings the picture up to the history and the colours in force.
    void Render();
    // How long ago the oldest line of the picture was swept, in s.
    double OldestAge() const;

    AnalyzerDocument& doc_;
    QtWaterfallImage picture_;
    double oldestEndSec_ = 0.0;  // when the oldest line's sweep ended
    QTimer ageTimer_;            // keeps the age of the oldest line counting between sweeps
};

}  // namespace tavlin
