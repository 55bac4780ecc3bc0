#pragma once

namespace tavlin {

class AnalyzerDocument;

// What a notch of the wheel over the plot does: the centre by a tenth of the
// span, by a hundredth (Shift), or the span halved or doubled about the
// frequency under the pointer (Ctrl).
enum class WheelTuning { kCoarse, kFine, kZoom };

// Tuning with the mouse on the plot, as receiver programs do it: the wheel,
// a double-click, a drag along the frequency axis and a box drawn over the
// graticule. Columns are the trace's, 0 to 640 across the span.
//
// Every change goes through the document's centre/span rules, as a keypad
// entry does. Before that the centre is held where the whole span stays in
// the band, so a turn past either end stops at the band's edge instead of
// cutting the span there. A zoom stays between the smallest span step and
// the whole band. In zero span the columns are times: the wheel moves the
// centre by the CF step, as the panel's step keys do, and nothing else tunes.
class PlotTuning {
  public:
    static constexpr double kCoarseShare = 0.1;
    static constexpr double kFineShare = 0.01;
    static constexpr double kZoomFactor = 2.0;

    explicit PlotTuning(AnalyzerDocument& document) : doc_(document) {}

    // Notches away from the user are positive: up in frequency, or zoom in.
    void Wheel(int notches, WheelTuning how, int column);
    // The centre to the frequency of the column, span kept.
    void CentreAtColumn(int column);
    // The axis dragged `columns` to the right: the spectrum follows the
    // pointer, so the centre moves down by that share of the span.
    void Pan(int columns);
    // The span from one column's frequency to the other's; a box narrower
    // than a zoom box is none.
    void ZoomToColumns(int from, int to);
    // The span doubled about the centre.
    void ZoomOut();

  private:
    double FrequencyOfColumn(int column) const;
    void Tune(double centreHz, double spanHz);

    AnalyzerDocument& doc_;
};

}  // namespace tavlin
