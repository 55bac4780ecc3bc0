// The SCPI session's marker functions (scpi_session.cpp): the peak searches
// after PEAK, the noise marker, delta mode and the counter, each on the
// marker operations of the panel.
#include <cmath>
#include <string>
#include <tuple>
#include <utility>

#include "base/bounded_format.h"
#include "document/analyzer_document.h"
#include "document/counter_reading.h"
#include "document/marker_commands.h"
#include "remote/scpi_session.h"

namespace tavlin {

namespace {

constexpr int kDeltaMarkers = 1;

std::string NotANumberText() {
    return FormatText("%.2E", kScpiNotANumber);
}

}  // namespace

// ON or OFF for markers 1 to 6; nothing after queuing the error.
std::optional<bool> ScpiSession::MarkerSwitch(const Call& call) {
    if (call.suffix > ExtraMarkers::kLast) {
        PushError(kSuffixOutOfRange);
        return std::nullopt;
    }
    return Boolean(call);
}

// As the panel's buttons: marker 1 on is NORMAL (at the centre) when it was
// off, marker 2 on is DELTA; marker 1 off is OFF (marker 2 lives only in
// delta mode), marker 2 off leaves delta mode. Markers 3 to 6 on are the
// window's: at the centre when they were off, and active.
void ScpiSession::SetMarkerOn(Call& call) {
    const std::optional<bool> on = MarkerSwitch(call);
    if (!on) {
        return;
    }
    MarkerCommands markers(doc_);
    if (ExtraMarkers::Holds(call.suffix)) {
        *on ? markers.ActivateMarker(call.suffix) : markers.ExtraMarkerOff(call.suffix);
        return;
    }
    const MarkerState m = markers.Snapshot();
    const bool first = call.suffix == 1;
    if (*on && (first ? m.marker1On : m.marker2On) != 0) {
        return;
    }
    if (first && *on) {
        markers.Normal();
    } else if (first) {
        markers.Off();
    } else if (*on) {
        SelectMarker(call);
    } else {
        markers.DeltaOff();
    }
}

void ScpiSession::QueryMarkerOn(Call& call) {
    const MarkerState m = MarkerCommands(doc_).Snapshot();
    if (ExtraMarkers::Holds(call.suffix)) {
        call.reply = m.extra.Of(call.suffix).on ? "1" : "0";
        return;
    }
    call.reply = (call.suffix == 2 ? m.marker2On : m.marker1On) != 0 ? "1" : "0";
}

void ScpiSession::MarkersOff(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        MarkerCommands(doc_).Off();
    }
}

// The marker on, active, at a frequency as the screen shows it (with the
// downconverter offset), as Set Marker Freq and a click place it.
void ScpiSession::SetMarkerX(Call& call) {
    const std::optional<double> hz = Frequency(call);
    if (!hz) {
        return;
    }
    MarkerCommands markers(doc_);
    const MarkerScale scale = markers.Scale();
    if (scale.ZeroSpan()) {
        PushError(kSettingsConflict);  // the marker reads a time
        return;
    }
    if (call.suffix == 1) {
        markers.SetMarkerFreq(scale.FreqOffset().Stored(*hz));
    } else if (SelectMarker(call)) {
        markers.PlaceActiveMarker(scale.ColumnOfPosition(scale.FreqOffset().Stored(*hz)));
    }
}

// --- Peak searches -------------------------------------------------------------------------

void ScpiSession::MarkerNextPeak(Call& call) {
    MarkerPeakSearch(call, PeakSearch::kNextLower);
}

void ScpiSession::MarkerPeakLeft(Call& call) {
    MarkerPeakSearch(call, PeakSearch::kLeft);
}

void ScpiSession::MarkerPeakRight(Call& call) {
    MarkerPeakSearch(call, PeakSearch::kRight);
}

// The marker must be on; a search that finds no peak leaves it where it is.
void ScpiSession::MarkerPeakSearch(Call& call, PeakSearch search) {
    if (!CheckParameterCount(call.unit, 0, 0) || !ReadMarker(call) || !SelectMarker(call)) {
        return;
    }
    if (!MarkerCommands(doc_).NextPeak(search)) {
        PushError(kExecutionError);
    }
}

// --- Noise marker --------------------------------------------------------------------------

// While on, every marker reads the noise density in dBm/Hz: its level less
// the noise bandwidth of the resolution filter, read from the mean power of
// each pixel (the average detector, turned on with it and off again after).
void ScpiSession::SetMarkerNoise(Call& call) {
    if (const std::optional<bool> on = MarkerSwitch(call)) {
        noiseMarker_ = *on;
        SetDetectorAverage(*on);
    }
}

void ScpiSession::QueryMarkerNoise(Call& call) {
    call.reply = noiseMarker_ ? "1" : "0";
}

// A trace whose filter's noise bandwidth is not known (wide sweep, zero span,
// nothing swept with the average detector yet) gives no density.
std::string ScpiSession::MarkerLevelText(const MarkerReading& marker) {
    const MarkerScale scale = MarkerCommands(doc_).RowsScale();
    if (!noiseMarker_) {
        return ReplyLevelText(marker.level, scale);
    }
    const double noiseBandwidthHz =
        doc_.ReadTrace([](const ScreenState& screen) { return screen.basis.noiseBandwidthHz; });
    if (!(noiseBandwidthHz > 0.0) || scale.FmDeviation()) {
        PushError(kSettingsConflict);
        return NotANumberText();
    }
    const auto [averaged, maxHeld, minHeld] = doc_.ReadSettings([](const InstrumentState& s) {
        return std::tuple(s.videoAvgCount > 1, s.maxHold != 0, s.minHold != 0);
    });
    if (averaged) {
        // Averaging logarithmic rows reads noise low, by up to 2.5 dB for
        // rows of single samples and by less the more each row averaged:
        // the bias is not known, so the density is given as questionable.
        Queue({kDataQuestionable, "Data questionable;VIDEO AVG"});
    }
    // The highest or the lowest of many sweeps' noise is no density at all.
    if (maxHeld) {
        Queue({kDataQuestionable, "Data questionable;MAX HOLD"});
    }
    if (minHeld) {
        Queue({kDataQuestionable, "Data questionable;MIN HOLD"});
    }
    const double dbm = scale.linearScale ? MillivoltsToDbm(marker.level) : marker.level;
    return FormatText("%.3f", dbm - 10.0 * std::log10(noiseBandwidthHz));
}

// --- Delta marker --------------------------------------------------------------------------

// ON is the DELTA button's first press: marker 2 on marker 1, and active.
void ScpiSession::SetDeltaMarker(Call& call) {
    if (call.suffix > kDeltaMarkers) {
        PushError(kSuffixOutOfRange);
        return;
    }
    const std::optional<bool> on = Boolean(call);
    if (!on) {
        return;
    }
    MarkerCommands markers(doc_);
    const MarkerState m = markers.Snapshot();
    if (!*on) {
        markers.DeltaOff();
    } else if (m.marker1On == 0) {
        PushError(kSettingsConflict);
    } else if (m.markerDelta == 0) {
        markers.Delta();
    }
}

void ScpiSession::QueryDeltaMarker(Call& call) {
    call.reply = MarkerCommands(doc_).Snapshot().markerDelta != 0 ? "1" : "0";
}

std::optional<std::pair<ScpiSession::MarkerReading, ScpiSession::MarkerReading>>
ScpiSession::ReadDeltaPair(const Call& call) {
    if (call.suffix > kDeltaMarkers) {
        PushError(kSuffixOutOfRange);
        return std::nullopt;
    }
    if (MarkerCommands(doc_).Snapshot().markerDelta == 0) {
        PushError(kSettingsConflict);
        return std::nullopt;
    }
    const std::optional<MarkerReading> first = ReadMarker({call.unit, 1, {}});
    const std::optional<MarkerReading> second = ReadMarker({call.unit, 2, {}});
    if (!first || !second) {
        return std::nullopt;
    }
    return std::pair(*first, *second);
}

// Marker 2 less marker 1: Hz, or ms in zero span.
void ScpiSession::QueryDeltaX(Call& call) {
    if (const auto pair = ReadDeltaPair(call)) {
        call.reply = FormatText("%.3f", pair->second.position - pair->first.position);
        PushReadingFlag(doc_.TraceReadingFlag());
    }
}

// Marker 2 less marker 1 in dB (Hz of deviation in FM zero span), as the
// delta readout shows it.
void ScpiSession::QueryDeltaY(Call& call) {
    const auto pair = ReadDeltaPair(call);
    if (!pair) {
        return;
    }
    const ReadingFlag flag = WorseReadingFlag(pair->first.flag, pair->second.flag);
    if (!ReadingFlagKeepsNumber(flag)) {
        call.reply = NotANumberText();
    } else {
        const MarkerScale scale = MarkerCommands(doc_).RowsScale();
        const bool millivolts = scale.linearScale && !scale.FmDeviation();
        const auto level = [millivolts](double value) {
            return millivolts ? MillivoltsToDbm(value) : value;
        };
        call.reply = FormatText("%.3f", level(pair->second.level) - level(pair->first.level));
    }
    PushReadingFlag(flag);
}

// --- Counter -------------------------------------------------------------------------------

void ScpiSession::SetCounter(Call& call) {
    if (const std::optional<bool> on = MarkerSwitch(call)) {
        doc_.EditSettings([on](InstrumentState& s) { s.counterOn = *on; });
    }
}

void ScpiSession::QueryCounter(Call& call) {
    call.reply =
        doc_.ReadSettings([](const InstrumentState& s) { return s.counterOn; }) ? "1" : "0";
}

// The frequency counted by the last sweep, shown at the converter's input;
// the standard's not-a-number with -230 when the sweep on screen counted
// nothing or under other frequencies.
void ScpiSession::QueryCounterFrequency(Call& call) {
    const auto [on, sweepFlag] = doc_.ReadSettings(
        [](const InstrumentState& s) { return std::pair(s.counterOn, s.counterFlag); });
    if (!on) {
        PushError(kSettingsConflict);
        call.reply = NotANumberText();
        return;
    }
    const MarkerScale shown = MarkerCommands(doc_).Scale();
    const auto [counted, screenFlag] = doc_.ReadTrace([&shown](const ScreenState& screen) {
        return std::pair(screen.countedHz.value_or(0.0), CounterReadingFlag(screen, shown));
    });
    const ReadingFlag flag = WorseReadingFlag(screenFlag, sweepFlag);
    call.reply = ReadingFlagKeepsNumber(flag)
                     ? FormatText("%.3f", shown.FreqOffset().Shown(counted))
                     : NotANumberText();
    PushReadingFlag(flag);
}

}  // namespace tavlin
