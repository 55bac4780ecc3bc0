#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "view/marker_readout.h"
#include "view/plot_geometry.h"
#include "view/plot_snapshot.h"

namespace tavlin {

enum class TextAlign { Left, Centre, Right };

// A text in its box, in plot units; the box's top left corner is the anchor.
struct PlotText {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    TextAlign align = TextAlign::Left;
    std::string text;
};

// The texts and marker positions of one paint of the analyzer screen, worked
// out from one snapshot of the document. The painter draws what it is given;
// every unit, threshold and selection rule lives here.
class PlotAnnotations {
  public:
    static constexpr int kTextBoxWidth = 200;
    static constexpr int kTextBoxHeight = 26;
    // A centred text longer than this gets a box 200 wider on each side.
    static constexpr std::size_t kLongCentredText = 20;

    // Keeps a reference to the snapshot, which must outlive it.
    PlotAnnotations(const PlotSnapshot& snapshot, bool printing);
    PlotAnnotations(PlotSnapshot&&, bool) = delete;

    // The graticule's top line: lower on paper, where the title goes above it.
    int Top() const { return top_; }

    // The status letters ("FO U T R I K A Y X"), each followed by a blank;
    // empty when none applies. Shown on screen only.
    std::string Annunciators() const;
    PlotPoint AnnunciatorAnchor() const { return {18, top_ + 5}; }

    // The title, above the graticule, on paper only.
    std::optional<PlotText> Title() const;

    // Reference level, scale, counter, attenuation, reference source, the
    // frequency axis, RBW, span and sweep time; on screen, "WAITING FOR
    // TRIGGER" while a zero-span capture waits for one.
    std::vector<PlotText> Annotations() const;

    // The strip below the annotations; its text is empty when no marker is on.
    PlotText Readout() const;
    // The two strips under it, for markers 3 and 4, and 5 and 6 (or the
    // first two of them that are on, then the others); their texts are empty
    // while those markers are off.
    std::vector<PlotText> ExtraReadouts() const;

    // Where a marker's glyph goes, when it is on: the column of its position
    // and the row of its level, not clamped to the graticule.
    std::optional<PlotPoint> Marker1Glyph() const;
    std::optional<PlotPoint> Marker2Glyph() const;
    // Markers 3 to 6, each where it reads the trace.
    std::optional<PlotPoint> ExtraMarkerGlyph(int number) const;

    // Printer units per plot unit for a page of this drawing area: a landscape
    // page holds 900 units across, a portrait one 800, and the page must hold
    // the screen down to its marker readout (a landscape page is too short
    // for 900 across). Never below 1, so a small page still prints (too
    // large) rather than collapsing to a point.
    static int PrintScale(int pageWidth, int pageHeight);

  private:
    PlotText Text(int x, int yFromTop, TextAlign align, std::string text) const;
    std::string TraceText() const;
    std::string ReferenceText() const;
    std::string VerticalScaleText() const;
    std::string StartText() const;
    std::string CentreText() const;
    std::string StopText() const;
    std::string RbwText() const;
    std::string SpanText() const;
    std::string SweepTimeText() const;
    bool ZeroSpan() const;
    bool MarkerLevelsStale() const;
    MarkerReadout ReadoutOfLevels() const;
    PlotText ReadoutStrip(int yFromTop, int height, std::string line) const;
    PlotPoint GlyphAt(double position, double level) const;

    const PlotSnapshot& snapshot_;
    const InstrumentState& s_;
    bool printing_;
    int top_;
};

}  // namespace tavlin
