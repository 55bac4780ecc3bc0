#pragma once

#include "view/activity_indicator.h"
#include "view/plot_annotations.h"
#include "view/plot_snapshot.h"

class QFont;
class QPainter;
class QRect;
class QString;

namespace tavlin {

// Draws the analyzer screen from one snapshot of the document: background,
// graticule, annunciators, annotations, marker readout, the channel power and
// occupied bandwidth readings with the channel's frame, trace A, trace B and
// the limit lines, the marker glyphs and, on screen, the sweep-activity
// indicator. On paper the page is white, the ink black (the traces keep the
// colours that tell them apart), the title is printed and everything is
// `scale` printer units per screen pixel.
//
// On screen the painter's transform may stretch the plot to the view: lines
// and traces follow it, and each text is placed through it but drawn upright
// in a font grown by the smaller of its two scales.
class QtPlotPainter {
  public:
    static void PaintScreen(QPainter& painter, const PlotSnapshot& snapshot,
                            const ActivityIndicator& indicator);
    static void PaintPage(QPainter& painter, const PlotSnapshot& snapshot, int scale);
    // The indicator's square alone: black, with the two white wedges while a
    // sweep runs.
    static void PaintIndicator(QPainter& painter, bool sweepRunning,
                               const ActivityIndicator& indicator);

  private:
    QtPlotPainter(QPainter& painter, const PlotSnapshot& snapshot, bool printing, int scale);
    void Paint();
    void PaintBackground();
    void PaintGraticule();
    void PaintAnnunciators();
    void PaintTexts();
    void PaintReadout();
    void PaintReadoutStrip(const PlotText& readout);
    void PaintMeasurements();
    void PaintTraces();
    void PaintLimitVerdict();
    void PaintMarkerGlyphs();
    void PaintMarkerNumber(const PlotPoint& glyph, int number, bool active);
    // `box` in plot units times the print scale.
    void DrawText(const QRect& box, int flags, const QString& text, QFont font);

    QPainter& p_;
    const PlotSnapshot& snapshot_;
    PlotAnnotations annotations_;
    bool printing_;
    int s_;
    int top_;
};

}  // namespace tavlin
