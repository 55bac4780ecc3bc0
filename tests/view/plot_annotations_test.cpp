#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/marker_scale.h"
#include "view/plot_annotations.h"

namespace tavlin {
namespace {

// The settings after PRESET, with a 100 kHz RBW and a sweep that took 0.4 s.
PlotSnapshot Preset() {
    PlotSnapshot s;
    InstrumentState& st = s.settings;
    st.startFreqHz = 902e6;
    st.stopFreqHz = 928e6;
    st.refLevelDbm = 0.0;
    st.dbPerDiv = 10.0;
    st.attenDb = 10.0;
    st.rbwHz = 100000.0;
    st.sweepTimeSec = 0.4;
    st.imageReject = 1;
    st.videoAvgCount = 1;
    return s;
}

PlotSnapshot WithSpan(double startHz, double spanHz) {
    PlotSnapshot s = Preset();
    s.settings.startFreqHz = startHz;
    s.settings.stopFreqHz = startHz + spanHz;
    return s;
}

std::string Annunciators(const PlotSnapshot& s) {
    return PlotAnnotations(s, false).Annunciators();
}

// The annotation whose box has this anchor, relative to the graticule's top.
PlotText At(const PlotSnapshot& s, int x, int yFromTop, bool printing = false) {
    const PlotAnnotations a(s, printing);
    for (const PlotText& t : a.Annotations()) {
        const bool widened = t.width == 600 && t.x + 200 == x;
        if ((t.x == x || widened) && t.y - a.Top() == yFromTop) {
            return t;
        }
    }
    return PlotText{};
}

std::string TextAt(const PlotSnapshot& s, int x, int yFromTop) {
    return At(s, x, yFromTop).text;
}

TEST(PlotAnnotationsTest, PresetShowsNoAnnunciatorAndTheSweptAnnotations) {
    const PlotSnapshot s = Preset();
    EXPECT_EQ(Annunciators(s), "U ");  // 26 MHz is beyond the calibrated spans
    EXPECT_EQ(TextAt(s, 10, -60), "REF 0.0 dBm");
    EXPECT_EQ(TextAt(s, 10, -30), "10 dB/div");
    EXPECT_EQ(TextAt(s, 230, -30), "ATTEN 10 dB");
    EXPECT_EQ(TextAt(s, 450, -30), "INT REF");
    EXPECT_EQ(TextAt(s, 10, 510), "START 902.00000 MHz");
    EXPECT_EQ(TextAt(s, 230, 510), "CENTER 915.0000 MHz");
    EXPECT_EQ(TextAt(s, 450, 510), "STOP 928.00000 MHz");
    EXPECT_EQ(TextAt(s, 10, 540), "RBW 100 KHz");
    EXPECT_EQ(TextAt(s, 230, 540), "SPAN 26.000 MHz");
    EXPECT_EQ(TextAt(s, 450, 540), "SWP 400.0 msec");
    EXPECT_EQ(PlotAnnotations(s, false).Annotations().size(), 10u);  // no counter
    const PlotText ref = At(s, 10, -60);
    EXPECT_EQ(ref.y, 70 - 60);
    EXPECT_EQ(ref.width, 200);
    EXPECT_EQ(ref.height, 26);
    EXPECT_EQ(ref.align, TextAlign::Left);
    EXPECT_EQ(At(s, 230, 510).align, TextAlign::Centre);
    EXPECT_EQ(At(s, 450, 540).align, TextAlign::Right);
}

TEST(PlotAnnotationsTest, AnnunciatorsComeInTheirOrder) {
    // The calibrated spans include their limits.
    EXPECT_EQ(Annunciators(WithSpan(1e6, 200.0)), "");
    EXPECT_EQ(Annunciators(WithSpan(1e6, 200000.0)), "");
    EXPECT_EQ(Annunciators(WithSpan(1e6, 199.9)), "U ");
    EXPECT_EQ(Annunciators(WithSpan(1e6, 200000.1)), "U ");
    PlotSnapshot s = WithSpan(1e6, 1000.0);
    InstrumentState& st = s.settings;
    st.freqOffsetHz = 1.0;  // exactly 1 Hz is no converter
    EXPECT_EQ(Annunciators(s), "");
    st.freqOffsetHz = 1.5;
    st.syncTrigMode = 3;  // TRIG IN
    st.realtimeMode = 1;
    st.imageReject = 0;
    st.signalTrack = 1;
    st.videoAvgCount = 10;
    st.stopFreqHz = st.startFreqHz + 100.0;
    EXPECT_EQ(Annunciators(s), "FO U T R I K A ");
    st.syncTrigMode = 2;  // SYNC OUT
    st.videoTrigger = true;
    EXPECT_EQ(Annunciators(s), "FO U T R I K A Y ");
}

TEST(PlotAnnotationsTest, ReferenceLevelFormsAndOffsetMark) {
    PlotSnapshot s = Preset();
    s.settings.refLevelDbm = -20.0;
    s.settings.refLevelOffsetDb = 0.0;
    EXPECT_EQ(TextAt(s, 10, -60), "REF -20.0 dBm");
    s.settings.refLevelOffsetDb = 0.5;
    EXPECT_EQ(TextAt(s, 10, -60), "REF -19.5 dBm OFS");
    // In mV the reference includes the offset, the scale does not.
    s.settings.refLevelInMv = 1;
    s.settings.refLevelDbm = 0.0;
    s.settings.refLevelOffsetDb = 6.0206;
    EXPECT_EQ(TextAt(s, 10, -60), "REF 447.21 mV OFS");
    EXPECT_EQ(TextAt(s, 10, -30), "22.36 mV/div");
}

TEST(PlotAnnotationsTest, FmDeviationScaleIsAFifthOfTheMaximumOffset) {
    PlotSnapshot s = WithSpan(100e6, 0.0);
    s.settings.zeroSpanFm = 1;
    s.settings.maxFmOffsetHz = 100000.0;
    EXPECT_EQ(TextAt(s, 10, -30), "20 KHz/div");
    s.settings.maxFmOffsetHz = 20000.0;
    EXPECT_EQ(TextAt(s, 10, -30), "4 KHz/div");
    s.settings.maxFmOffsetHz = 1000.0;
    EXPECT_EQ(TextAt(s, 10, -30), "0.2 KHz/div");
    s.settings.maxFmOffsetHz = 999.0;
    EXPECT_EQ(TextAt(s, 10, -30), "200 Hz/div");
}

TEST(PlotAnnotationsTest, ZeroSpanShowsTimeOnTheAxis) {
    PlotSnapshot s = WithSpan(100e6, 0.0);
    s.settings.sweepTimeSec = 0.025;
    EXPECT_EQ(TextAt(s, 10, 510), "ZERO SPAN");
    EXPECT_EQ(TextAt(s, 230, 510), "CENTER 100.0000 MHz");
    EXPECT_EQ(TextAt(s, 450, 510), "2.50 msec/div");
    EXPECT_EQ(TextAt(s, 230, 540), "SPAN 0.0 Hz");
    EXPECT_EQ(TextAt(s, 450, 540), "SWP 25.0 msec");
    s.settings.sweepTimeSec = 100.0;
    EXPECT_EQ(TextAt(s, 450, 510), "10000.0 msec/div");
    EXPECT_EQ(TextAt(s, 450, 540), "SWP 100.000 sec");
    // Below a tenth of a hertz the span counts as zero.
    s = WithSpan(100e6, 0.09);
    EXPECT_EQ(TextAt(s, 10, 510), "ZERO SPAN");
}

TEST(PlotAnnotationsTest, FrequenciesIncludeTheConverterOffsetButTheSpanDoesNot) {
    PlotSnapshot s = WithSpan(999e6, 2e6);
    s.settings.freqOffsetHz = 1.0;
    EXPECT_EQ(TextAt(s, 10, 510), "START 999.00000 MHz");
    EXPECT_EQ(TextAt(s, 230, 510), "CENTER 1.000000 GHz");
    EXPECT_EQ(TextAt(s, 450, 510), "STOP 1.001000 GHz");
    EXPECT_EQ(TextAt(s, 230, 540), "SPAN 2.000 MHz");
    s.settings.freqOffsetHz = -10e6;
    EXPECT_EQ(TextAt(s, 10, 510), "START 989.00000 MHz");
    EXPECT_EQ(TextAt(s, 450, 510), "STOP 991.00000 MHz");
}

TEST(PlotAnnotationsTest, UnitsChangeAtTheirThresholds) {
    PlotSnapshot s = Preset();
    const auto rbw = [&s](double hz) {
        s.settings.rbwHz = hz;
        return TextAt(s, 10, 540);
    };
    EXPECT_EQ(rbw(9.9), "RBW 9.9 Hz");
    EXPECT_EQ(rbw(10.0), "RBW 10 Hz");
    EXPECT_EQ(rbw(1000.0), "RBW 1.0 KHz");
    EXPECT_EQ(rbw(10000.0), "RBW 10 KHz");
    const auto span = [](double hz) { return TextAt(WithSpan(1e6, hz), 230, 540); };
    EXPECT_EQ(span(999.0), "SPAN 999.0 Hz");
    EXPECT_EQ(span(1000.0), "SPAN 1.000 KHz");
    EXPECT_EQ(span(1e6), "SPAN 1.000 MHz");
    EXPECT_EQ(span(1e9), "SPAN 1.000 GHz");
    s.settings.sweepTimeSec = 1.0;
    EXPECT_EQ(TextAt(s, 450, 540), "SWP 1.000 sec");
}

TEST(PlotAnnotationsTest, CounterReferenceSourceAndTheWiderBoxOfALongCentredText) {
    PlotSnapshot s = Preset();
    s.settings.extRefLocked = true;
    EXPECT_EQ(TextAt(s, 450, -30), "EXT REF");
    s.settings.counterOn = true;
    s.settings.counterFreqHz = 91501234.5;  // "COUNT 91501234.5 Hz": 19 characters
    EXPECT_EQ(At(s, 230, -60).width, 200);
    s.settings.counterFreqHz = 9150123456.7;  // 21 characters
    const PlotText wide = At(s, 230, -60);
    EXPECT_EQ(wide.text, "COUNT 9150123456.7 Hz");
    EXPECT_EQ(wide.x, 30);
    EXPECT_EQ(wide.width, 600);
    // Left and right texts keep their box whatever their length.
    s.settings.refLevelOffsetDb = 123456789.0;
    EXPECT_EQ(At(s, 10, -60).width, 200);
}

TEST(PlotAnnotationsTest, TitleOnPaperOnlyAndTheReadoutStrip) {
    PlotSnapshot s = Preset();
    s.settings.title = "Band edge 915 MHz";
    EXPECT_FALSE(PlotAnnotations(s, true).Title());  // not set
    s.settings.titleSet = 1;
    EXPECT_FALSE(PlotAnnotations(s, false).Title());
    const auto title = PlotAnnotations(s, true).Title();
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text, "Band edge 915 MHz");
    EXPECT_EQ(title->x, 30);
    EXPECT_EQ(title->width, 600);
    EXPECT_EQ(title->y, 10);
    EXPECT_EQ(title->align, TextAlign::Centre);

    EXPECT_EQ(PlotAnnotations(s, false).Readout().text, "");
    s.markers.marker1On = 1;
    s.markers.marker1Pos = 915e6;
    s.markers.marker1Level = -30.0;
    const PlotText readout = PlotAnnotations(s, true).Readout();
    EXPECT_EQ(readout.text, "MKR 1: 915.000000 MHz, -30.00 dBm   ");
    EXPECT_EQ(readout.x, 10);
    EXPECT_EQ(readout.y, 100 + 570);
    EXPECT_EQ(readout.width, 640);
}

TEST(PlotAnnotationsTest, MarkerGlyphsSitOnTheirColumnAndLevelRow) {
    PlotSnapshot s = Preset();
    EXPECT_FALSE(PlotAnnotations(s, false).Marker1Glyph());
    MarkerState& m = s.markers;
    m.marker1On = 1;
    m.marker1Pos = 915e6;  // the centre: column 320
    m.marker1Level = -30.0;
    m.marker2On = 1;
    m.marker2Pos = 902e6;
    m.marker2Level = -100.0;
    const auto one = PlotAnnotations(s, false).Marker1Glyph();
    const auto two = PlotAnnotations(s, false).Marker2Glyph();
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->x, 330);
    EXPECT_EQ(one->y, 70 + 150);
    EXPECT_EQ(two->x, 10);
    EXPECT_EQ(two->y, 70 + 500);
    EXPECT_EQ(PlotAnnotations(s, true).Marker1Glyph()->y, 100 + 150);

    // Off the screen to the right and far above the top: the column is held
    // at the edge, the row is not.
    m.marker1Pos = 5e9;
    m.marker1Level = 20.0;
    EXPECT_EQ(PlotAnnotations(s, false).Marker1Glyph()->x, 650);
    EXPECT_EQ(PlotAnnotations(s, false).Marker1Glyph()->y, 70 - 100);

    s = Preset();
    s.settings.linearScale = 1;
    s.markers.marker1On = 1;
    s.markers.marker1Pos = 915e6;
    s.markers.marker1Level = DbmToMillivolts(0.0) * 0.5;
    EXPECT_EQ(PlotAnnotations(s, false).Marker1Glyph()->y, 70 + 250);

    s = WithSpan(100e6, 0.0);
    s.settings.zeroSpanFm = 1;
    s.settings.maxFmOffsetHz = 100000.0;
    s.markers.marker1On = 1;
    s.markers.marker1Pos = 200.0;  // ms, half of the 0.4 s sweep
    s.markers.marker1Level = 50000.0;
    const auto glyph = PlotAnnotations(s, false).Marker1Glyph();
    EXPECT_EQ(glyph->x, 10 + 320);
    EXPECT_EQ(glyph->y, 70 + 125);
}

TEST(PlotAnnotationsTest, PrintScaleFitsThePageAndNeverVanishes) {
    EXPECT_EQ(PlotAnnotations::PrintScale(4800, 6600), 6);  // portrait: 800 across
    EXPECT_EQ(PlotAnnotations::PrintScale(6600, 4800), 7);  // landscape: 900 across
    EXPECT_EQ(PlotAnnotations::PrintScale(800, 1000), 1);
    EXPECT_EQ(PlotAnnotations::PrintScale(794, 1123), 1);  // A4 at 96 dpi
    EXPECT_EQ(PlotAnnotations::PrintScale(0, 0), 1);
}

TEST(PlotGeometryTest, ClickAndPointerPickAColumnOnTheGraticule) {
    const int top = plot::kScreenTop;
    EXPECT_EQ(plot::ClickColumn(10, 71, top), 0);
    EXPECT_EQ(plot::ClickColumn(650, 570, top), 640);
    EXPECT_FALSE(plot::ClickColumn(9, 300, top));
    EXPECT_FALSE(plot::ClickColumn(651, 300, top));
    EXPECT_FALSE(plot::ClickColumn(300, 70, top));  // the top line itself
    EXPECT_FALSE(plot::ClickColumn(300, 571, top));

    // The pointer reads only columns that hold a trace point.
    EXPECT_EQ(plot::CursorColumn(10, 51, top), 0);
    EXPECT_EQ(plot::CursorColumn(650, 624, top), 640);
    EXPECT_FALSE(plot::CursorColumn(651, 300, top));
    EXPECT_FALSE(plot::CursorColumn(655, 300, top));
    EXPECT_FALSE(plot::CursorColumn(9, 300, top));
    EXPECT_FALSE(plot::CursorColumn(300, 50, top));
    EXPECT_FALSE(plot::CursorColumn(300, 625, top));
}

}  // namespace
}  // namespace tavlin
