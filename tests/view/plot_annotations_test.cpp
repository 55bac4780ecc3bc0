#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "view/plot_annotations.h"

namespace tavlin {
namespace {

// Where a text is shown: the annunciator letters, an annotation's box (by its
// anchor) or the marker readout strip.
enum Where {
    Annunciators,
    Ref,
    Scale,
    Counter,
    Atten,
    Source,
    Start,
    Centre,
    Stop,
    Rbw,
    Span,
    Swp,
    Readout
};
constexpr int kAnchor[][2] = {{0, 0},     {10, -60},  {10, -30},  {230, -60},
                              {230, -30}, {450, -30}, {10, 510},  {230, 510},
                              {450, 510}, {10, 540},  {230, 540}, {450, 540}};

std::string TextAt(const PlotSnapshot& s, Where where) {
    const PlotAnnotations a(s, false);
    if (where == Annunciators || where == Readout) {
        return where == Readout ? a.Readout().text : a.Annunciators();
    }
    const auto [x, y] = kAnchor[where];
    for (const PlotText& t : a.Annotations()) {
        // A centred text of more than 20 characters has a box 200 wider on each side.
        const bool wide = t.text.size() > 20 && t.align == TextAlign::Centre;
        if (t.x + (wide ? 200 : 0) == x && t.width == (wide ? 600 : 200) && t.y - a.Top() == y) {
            return t.text;
        }
    }
    return "(none)";
}

using Edit = std::function<void(InstrumentState&, MarkerState&)>;
Edit Swept(double startHz, double spanHz, double offsetHz = 0.0) {
    return [=](InstrumentState& s, MarkerState&) {
        s.startFreqHz = startHz;
        s.stopFreqHz = startHz + spanHz;
        s.freqOffsetHz = offsetHz;
    };
}
Edit ZeroSpan(double sweepTimeSec, double maxFmOffsetHz = 0.0) {
    return [=](InstrumentState& s, MarkerState&) {
        s.stopFreqHz = s.startFreqHz = 100e6;
        s.sweepTimeSec = sweepTimeSec;
        s.zeroSpanFm = maxFmOffsetHz > 0.0 ? 1 : 0;
        s.maxFmOffsetHz = maxFmOffsetHz;
    };
}
// Every annunciator but the video trigger's, and with it.
Edit AllStates(int syncTrigMode, bool videoTrigger) {
    return [=](InstrumentState& s, MarkerState& m) {
        Swept(1e6, 100.0, 1.5)(s, m);
        s.syncTrigMode = syncTrigMode;
        s.realtimeMode = s.signalTrack = 1;
        s.imageReject = 0;
        s.videoAvgCount = 10;
        s.videoTrigger = videoTrigger;
    };
}
Edit Millivolts(double offsetDb) {
    return [=](InstrumentState& s, MarkerState&) {
        s.refLevelInMv = s.linearScale = 1;
        s.refLevelOffsetDb = offsetDb;
    };
}
Edit Counting(double hz) {
    return [=](InstrumentState& s, MarkerState&) {
        s.counterOn = true;
        s.counterFreqHz = hz;
    };
}
Edit Marker1(double pos, double level) {
    return [=](InstrumentState&, MarkerState& m) { m = {1, 0, 0, 0, pos, 0.0, level, 0.0}; };
}
Edit Delta(double pos1, double level1, double pos2, double level2) {
    return [=](InstrumentState&, MarkerState& m) { m = {1, 1, 0, 1, pos1, pos2, level1, level2}; };
}
template <typename Field, typename Value>
Edit Set(Field InstrumentState::*field, Value value) {
    return [=](InstrumentState& s, MarkerState&) { s.*field = value; };
}

TEST(PlotAnnotationsTest, TextsOfEachSetting) {
    struct Row {
        const char* name;
        Edit edit;
        Where where;
        const char* text;
    };
    using S = InstrumentState;
    const Row rows[] = {
        // The settings after PRESET, with a 100 kHz RBW and a sweep of 0.4 s.
        {"preset", {}, Annunciators, "U "},  // 26 MHz is beyond the calibrated spans
        {"preset", {}, Ref, "REF 0.0 dBm"},
        {"preset", {}, Scale, "10 dB/div"},
        {"preset", {}, Atten, "ATTEN 10 dB"},
        {"preset", {}, Source, "INT REF"},
        {"preset", {}, Start, "START 902.00000 MHz"},
        {"preset", {}, Centre, "CENTER 915.0000 MHz"},
        {"preset", {}, Stop, "STOP 928.00000 MHz"},
        {"preset", {}, Rbw, "RBW 100 KHz"},
        {"preset", {}, Span, "SPAN 26.000 MHz"},
        {"preset", {}, Swp, "SWP 400.0 msec"},
        {"preset", {}, Counter, "(none)"},
        {"preset", {}, Readout, ""},
        // The calibrated spans include their limits; 1 Hz is no converter.
        {"200 Hz", Swept(1e6, 200.0, 1.0), Annunciators, ""},
        {"below 200 Hz", Swept(1e6, 199.9), Annunciators, "U "},
        {"200 kHz", Swept(1e6, 200000.0), Annunciators, ""},
        {"above 200 kHz", Swept(1e6, 200000.1), Annunciators, "U "},
        {"TRIG IN", AllStates(3, false), Annunciators, "FO U T R I K A "},
        {"SYNC OUT, video", AllStates(2, true), Annunciators, "FO U T R I K A Y "},
        {"reference", Set(&S::refLevelDbm, -20.0), Ref, "REF -20.0 dBm"},
        {"reference offset", Set(&S::refLevelOffsetDb, 0.5), Ref, "REF 0.5 dBm OFS"},
        // In mV the reference includes the offset, the scale does not.
        {"mV", Millivolts(6.0206), Ref, "REF 447.21 mV OFS"},
        {"mV", Millivolts(6.0206), Scale, "22.36 mV/div"},
        // The FM deviation scale is a fifth of the maximum offset.
        {"FM", ZeroSpan(0.4, 100000.0), Scale, "20 KHz/div"},
        {"FM", ZeroSpan(0.4, 1000.0), Scale, "0.2 KHz/div"},
        {"FM", ZeroSpan(0.4, 999.0), Scale, "200 Hz/div"},
        {"zero span", ZeroSpan(0.025), Start, "ZERO SPAN"},
        {"zero span", ZeroSpan(0.025), Centre, "CENTER 100.0000 MHz"},
        {"zero span", ZeroSpan(0.025), Stop, "2.50 msec/div"},
        {"zero span", ZeroSpan(0.025), Span, "SPAN 0.0 Hz"},
        {"zero span", ZeroSpan(0.025), Swp, "SWP 25.0 msec"},
        {"zero span", ZeroSpan(100.0), Stop, "10000.0 msec/div"},
        {"zero span", ZeroSpan(100.0), Swp, "SWP 100.000 sec"},
        {"below 0.1 Hz", Swept(100e6, 0.09), Start, "ZERO SPAN"},
        // Frequencies include the converter offset, the span does not.
        {"offset", Swept(999e6, 2e6, 1.0), Start, "START 999.00000 MHz"},
        {"offset", Swept(999e6, 2e6, 1.0), Centre, "CENTER 1.000000 GHz"},
        {"offset", Swept(999e6, 2e6, 1.0), Stop, "STOP 1.001000 GHz"},
        {"offset", Swept(999e6, 2e6, 1.0), Span, "SPAN 2.000 MHz"},
        {"offset below", Swept(999e6, 2e6, -10e6), Start, "START 989.00000 MHz"},
        {"RBW", Set(&S::rbwHz, 9.9), Rbw, "RBW 9.9 Hz"},
        {"RBW", Set(&S::rbwHz, 10.0), Rbw, "RBW 10 Hz"},
        {"RBW", Set(&S::rbwHz, 1000.0), Rbw, "RBW 1.0 KHz"},
        {"RBW", Set(&S::rbwHz, 10000.0), Rbw, "RBW 10 KHz"},
        {"span", Swept(1e6, 999.0), Span, "SPAN 999.0 Hz"},
        {"span", Swept(1e6, 1000.0), Span, "SPAN 1.000 KHz"},
        {"span", Swept(1e6, 1e9), Span, "SPAN 1.000 GHz"},
        {"sweep time", Set(&S::sweepTimeSec, 1.0), Swp, "SWP 1.000 sec"},
        {"reference source", Set(&S::extRefLocked, true), Source, "EXT REF"},
        {"counter", Counting(91501234.5), Counter, "COUNT 91501234.5 Hz"},
        {"long counter", Counting(9150123456.7), Counter, "COUNT 9150123456.7 Hz"},
        // The readout strip: marker 1 alone in its long form; with marker 2
        // shorter; the delta without the converter offset.
        {"marker 1", Marker1(2.4e9, -20.0), Readout, "MKR 1: 2.400000000 GHz, -20.00 dBm   "},
        {"delta", Delta(916.5e6, -20.0, 915e6, -26.25), Readout,
         "MKR 1: 916.500 MHz, -20.00 dBm   MKR DELTA: -1.500 MHz, -6.25 dBc"},
    };
    for (const Row& row : rows) {
        PlotSnapshot s;
        s.settings.startFreqHz = 902e6;
        s.settings.stopFreqHz = 928e6;
        s.settings.refLevelDbm = 0.0;
        s.settings.dbPerDiv = 10.0;
        s.settings.attenDb = 10.0;
        s.settings.rbwHz = 100000.0;
        s.settings.sweepTimeSec = 0.4;
        s.settings.imageReject = 1;
        s.settings.videoAvgCount = 1;
        if (row.edit) {
            row.edit(s.settings, s.markers);
        }
        EXPECT_EQ(TextAt(s, row.where), row.text) << row.name;
    }
}

}  // namespace
}  // namespace tavlin
