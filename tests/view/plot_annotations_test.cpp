#include "view/plot_annotations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace tavlin {
namespace {

using S = InstrumentState;

// The texts of one screen: the annunciators in brackets, the marker readout
// and the annotations. A centred text too long for its box gets a box 200
// wider on each side rather than being cut.
std::vector<std::string> TextsOf(const PlotSnapshot& s) {
    const PlotAnnotations a(s, false);
    std::vector<std::string> texts{"[" + a.Annunciators() + "]", a.Readout().text};
    // The readout strips stack under one another, inside the screen.
    PlotText above = a.Readout();
    for (const PlotText& strip : a.ExtraReadouts()) {
        EXPECT_EQ(strip.y, above.y + above.height);
        texts.push_back(strip.text);
        above = strip;
    }
    EXPECT_LE(above.y + above.height, plot::kHeight);
    for (const PlotText& t : a.Annotations()) {
        // A right-aligned text ends at its box's right edge.
        EXPECT_TRUE(t.align != TextAlign::Right ||
                    t.y >= plot::kIndicatorTop + plot::kIndicatorSize ||
                    t.x + t.width <= plot::kIndicatorLeft)
            << t.text << " under the turning wheel";
        if (t.align == TextAlign::Centre) {
            EXPECT_EQ(t.width, t.text.size() > 20 ? 600 : 200) << t.text;
        }
        texts.push_back(t.text);
    }
    return texts;
}

std::function<void(S&)> Swept(double startHz, double spanHz, double offsetHz = 0.0) {
    return [=](S& s) {
        s.startFreqHz = startHz;
        s.stopFreqHz = startHz + spanHz;
        s.freqOffsetHz = offsetHz;
    };
}
// Every annunciator but the video trigger's, and with it.
std::function<void(S&)> AllStates(int syncTrigMode, bool videoTrigger) {
    return [=](S& s) {
        Swept(1e6, 100.0, 1.5)(s);
        s.syncTrigMode = syncTrigMode;
        s.realtimeMode = s.signalTrack = 1;
        s.imageReject = 0;
        s.videoAvgCount = 10;
        s.videoTrigger = videoTrigger;
    };
}

MarkerState MarkersOneThreeFiveSix() {
    MarkerState m{.marker1On = 1, .marker1Pos = 915e6, .marker1Level = -20.0};
    m.extra.Of(3) = {true, 903e6, -40.0};
    m.extra.Of(5) = {true, 927.5e6, -45.5};
    m.extra.Of(6) = {true, 927e6, -50.0};
    return m;
}

TEST(PlotAnnotationsTest, TextsOfEachSetting) {
    struct Row {
        const char* name;
        std::function<void(S&)> edit;
        std::vector<std::string> texts;
        MarkerState markers{};
        bool waitingForTrigger = false;
        bool uncalibrated = false;
    };
    const Row rows[] = {
        // 26 MHz is beyond the calibrated spans: U.
        {"preset",
         [](S&) {},
         {"[U ]", "", "10 dB/div", "ATTEN 10 dB", "INT REF", "RBW 100 KHz", "SWP 400.0 msec"}},
        // The calibrated spans include their limits; 1 Hz is no converter.
        {"200 Hz", Swept(1e6, 200.0, 1.0), {"[]"}},
        {"below 200 Hz", Swept(1e6, 199.9), {"[U ]"}},
        {"200 kHz", Swept(1e6, 200000.0), {"[]"}},
        {"above 200 kHz", Swept(1e6, 200000.1), {"[U ]"}},
        {"TRIG IN", AllStates(3, false), {"[FO U T R I K A ]"}},
        {"converter LO above the band", Swept(1e6, 200.0, -100e6), {"[FO ]"}},
        {"SYNC OUT, video", AllStates(2, true), {"[FO U T R I K A Y ]"}},
        {"reference offset", [](S& s) { s.refLevelOffsetDb = 0.5; }, {"REF 0.5 dBm OFS"}},
        // Below 0.1 Hz the axis shows time: a tenth of the sweep time a division.
        {"zero span", Swept(100e6, 0.09), {"ZERO SPAN", "CENTER 100.0000 MHz", "40.00 msec/div"}},
        // Frequencies, the counted one too, include the converter offset; the
        // span does not.
        {"offset",
         Swept(999e6, 2e6, 1.0),
         {"START 999.00000 MHz", "CENTER 1.000000 GHz", "STOP 1.001000 GHz", "SPAN 2.000 MHz"}},
        {"long counter, with the offset",
         [](S& s) {
             s.counterOn = true;
             s.counterFreqHz = 8150123456.7;
             s.freqOffsetHz = 1e9;
         },
         {"COUNT 9150123456.7 Hz"}},
        {"counter that counted noise",
         [](S& s) {
             s.counterOn = true;
             s.counterFreqHz = 915e6;
             s.counterFlag = ReadingFlag::kBelowNoise;
         },
         {"COUNT 915000000.0 Hz NOISE"}},
        // The readout strip with both markers on and their delta.
        {"delta",
         [](S&) {},
         {"MKR 1: 916.500 MHz, -20.00 dBm   MKR DELTA: -1.500 MHz, -6.25 dBc"},
         {1, 1, 0, 1, 916.5e6, 915e6, -20.0, -26.25}},
        // Markers on one level read no difference, not "-0.00".
        {"equal markers",
         [](S&) {},
         {"MKR 1: 915.000 MHz, -20.00 dBm   MKR DELTA: 0.0 Hz, 0.00 dBc"},
         {1, 1, 0, 1, 915e6, 915e6 - 0.01, -20.0, -20.0 - 1e-9}},
        // Markers 3 to 6 that are on, two to a line, each as marker 2 reads.
        {"extra markers",
         [](S&) {},
         {"MKR 1: 915.000000 MHz, -20.00 dBm   ",
          "MKR 3: 903.000 MHz, -40.00 dBm   MKR 5: 927.500 MHz, -45.50 dBm",
          "MKR 6: 927.000 MHz, -50.00 dBm"},
         MarkersOneThreeFiveSix()},
        {"waiting for a trigger",
         Swept(100e6, 0.0),
         {"ZERO SPAN", "WAITING FOR TRIGGER"},
         {},
         true},
        // A table that cannot be right: U in a calibrated span, UNCAL on the levels.
        {"untrusted table",
         Swept(1e6, 200.0, 1.0),
         {"[U ]", "MKR 1: 1.000101 MHz, -20.00 dBm UNCAL"},
         {1, 0, 0, 0, 1000100.0, 0.0, -20.0, 0.0},
         false,
         true},
    };
    for (const Row& row : rows) {
        // The settings after PRESET, with a 100 kHz RBW and a sweep of 0.4 s.
        PlotSnapshot s;
        Swept(902e6, 26e6)(s.settings);
        s.settings.dbPerDiv = 10.0;
        s.settings.attenDb = 10.0;
        s.settings.rbwHz = 100000.0;
        s.settings.sweepTimeSec = 0.4;
        s.settings.imageReject = 1;
        s.markers = row.markers;
        s.waitingForTrigger = row.waitingForTrigger;
        s.uncalibrated = row.uncalibrated;
        row.edit(s.settings);
        s.countedHz = s.settings.counterFreqHz;  // counted by the sweep on screen
        const std::vector<std::string> texts = TextsOf(s);
        for (const std::string& text : row.texts) {
            EXPECT_NE(std::ranges::find(texts, text), texts.end()) << row.name << ": " << text;
        }
    }
}

// The page takes 800 units across in portrait and 900 in landscape, as long
// as the whole screen, down to the marker readout, still fits its height.
TEST(PlotAnnotationsTest, PrintScaleFillsThePageWithoutCuttingOffTheReadout) {
    EXPECT_EQ(PlotAnnotations::PrintScale(4800, 6600), 6);
    EXPECT_EQ(PlotAnnotations::PrintScale(9000, 8000), 10) << "wider than tall, with room";
    // A4 at 1200 dpi: 900 across (15) would put the readout off the page.
    const int landscape = PlotAnnotations::PrintScale(14033, 9917);
    EXPECT_EQ(landscape, 13);
    EXPECT_LE(plot::kPrintedHeight * landscape, 9917);
    EXPECT_EQ(PlotAnnotations::PrintScale(6600, 4800), 6);
    EXPECT_EQ(PlotAnnotations::PrintScale(300, 200), 1) << "too small a page still prints";
}

}  // namespace
}  // namespace tavlin
