#pragma once

#include "base/reading_flag.h"
#include "document/marker_scale.h"
#include "document/marker_state.h"
#include "document/trace_peaks.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class AnalyzerDocument;
struct ScreenState;

// The marker operations of the front panel, the menu, a click on the
// graticule and the automation commands, and the level refresh that follows
// every sweep.
//
// Marker fields are read and changed through the document's trace accessors,
// the lock the sweep thread holds while it publishes a trace; the settings
// are copied first, so the two locks are never held together.
class MarkerCommands {
  public:
    explicit MarkerCommands(AnalyzerDocument& document) : doc_(document) {}

    // PEAK: the lowest row (highest level) into the active marker; equal rows
    // resolve to the rightmost point.
    void Peak();
    // NORMAL: marker 1 alone, at the centre of the screen.
    void Normal();
    // OFF: every marker off, delta mode left.
    void Off();
    // DELTA: the first press puts marker 2 on marker 1 and makes it active;
    // later presses swap the active marker. It repaints at once: with the
    // sweep stopped no pass would show the swap.
    void Delta();
    // Delta mode left: marker 2 off, marker 1 active where it stands.
    void DeltaOff();
    // NEXT PEAK, NEXT PEAK LEFT, NEXT PEAK RIGHT: the active marker from its
    // point to the peak found that way; false (the marker unmoved) when it is
    // off or there is no such peak.
    bool NextPeak(PeakSearch search);
    // MKR->CF: the centre to the active marker, span kept.
    void MarkerToCenter();
    // MKR->REF LVL: the reference level to marker 1's level.
    void MarkerToRefLevel();
    // 3 dB points: the markers on the -3 dB edges of the highest peak, in
    // delta mode, so the readout shows the -3 dB bandwidth.
    void ThreeDbPoints();
    // Set Marker Freq's OK: marker 1 to the entered position and active.
    void SetMarkerFreq(double position);
    // A left click on the graticule: the active marker to that column.
    void PlaceActiveMarker(int column);
    // The arrow keys: the active marker `points` points along the trace from
    // the point nearest it, when it is on.
    void MoveActiveMarker(int points);
    // After each sweep: of markers 1 and 2 only the active one follows the
    // trace, so in delta mode the other keeps its level as the reference;
    // markers 3 to 6 all follow it.
    void RefreshMarkerLevel();

    // Markers 3 to 6, the window's own. The active marker (1 to 6) is the
    // one PEAK, NEXT PEAK, a click and the arrow keys move; it is turned on
    // when it was off.
    void ActivateMarker(int number);
    void ExtraMarkerOff(int number);
    // Marker `number` (3 to 6) on at `position`, its level read there.
    void PlaceExtraMarker(int number, double position);
    // Their positions from the window's settings: those on are put back at
    // their positions (levels read from the trace shown), none active.
    void RestoreExtraMarkers(const ExtraMarkers& kept);

    // The conversions, with the document's present settings and trace.
    MarkerScale Scale() const;
    // The scale trace A's rows were measured on, which the levels read from
    // them are in; the screen's until a sweep has published.
    MarkerScale RowsScale() const;
    // kStale while the marker levels are in another unit than the screen's.
    ReadingFlag LevelFlag() const;
    // The one flag a reading of a marker's level carries: its worst cause of
    // the screen edge or span, a unit changed since, or a failed sweep.
    ReadingFlag LevelReadingFlag(const MarkerState& m, bool second) const;
    ReadingFlag LevelReadingFlag(double position, ReadingFlag measured) const;
    int ColumnOfPosition(double position) const;
    double PositionOfColumn(int column) const;
    double LevelOfColumn(int column) const;
    // Its flag: the screen edge's bound, over range, off span.
    ReadingFlag FlagOfColumn(int column) const;
    MarkerState Snapshot() const;

  private:
    // The level and its flag, as read from the trace under the marker.
    static void StoreIntoActiveMarker(MarkerState& m, double position, double level,
                                      ReadingFlag flag);
    // The active marker's level from the trace under it.
    static void RefreshLevel(MarkerState& m, const ScreenState& screen, const MarkerScale& shown);

    AnalyzerDocument& doc_;
};

}  // namespace tavlin
