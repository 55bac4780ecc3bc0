#include "view/plot_annotations.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "document/trace_basis.h"
#include "document/trace_mode.h"
#include "view/marker_readout.h"

namespace tavlin {

namespace {

constexpr int kTrigIn = 3;
constexpr int kSyncOut = 2;
// Below this span the axis shows time: zero span.
constexpr double kZeroSpanHz = 0.1;
// The receiver's amplitude is calibrated between these spans, both included.
constexpr double kCalibratedMinSpanHz = 200.0;
constexpr double kCalibratedMaxSpanHz = 200000.0;

// Annotation anchors: three columns of boxes, two rows above the graticule
// and two below it.
constexpr int kLeftColumn = 10;
constexpr int kMiddleColumn = 230;
constexpr int kRightColumn = 450;
constexpr int kUpperRow = -60;
constexpr int kLowerRow = -30;
constexpr int kAxisRow = 510;
constexpr int kSettingsRow = 540;
constexpr int kIndicatorGap = 4;
// A capture waiting for its trigger says so in the middle of the graticule.
constexpr int kTriggerWaitRow = 237;

constexpr int kTitleLeft = 30;
constexpr int kTitleWidth = 600;
constexpr int kTitleAboveTop = 90;
constexpr int kReadoutBelowTop = 570;

}  // namespace

PlotAnnotations::PlotAnnotations(const PlotSnapshot& snapshot, bool printing)
    : snapshot_(snapshot),
      s_(snapshot.settings),
      printing_(printing),
      top_(printing ? plot::kPrintTop : plot::kScreenTop) {}

bool PlotAnnotations::ZeroSpan() const {
    return s_.stopFreqHz - s_.startFreqHz < kZeroSpanHz;
}

std::string PlotAnnotations::Annunciators() const {
    const double span = s_.stopFreqHz - s_.startFreqHz;
    std::string letters;
    const auto add = [&letters](bool applies, const char* letter) {
        if (applies) {
            letters += letter;
            letters += ' ';
        }
    };
    add(s_.FreqOffset().InUse(), "FO");
    add(span < kCalibratedMinSpanHz || span > kCalibratedMaxSpanHz || snapshot_.uncalibrated, "U");
    add(s_.videoTrigger || s_.syncTrigMode == kTrigIn, "T");
    add(s_.realtimeMode != 0, "R");
    add(s_.imageReject == 0, "I");
    add(s_.signalTrack != 0, "K");
    add(s_.videoAvgCount > 1, "A");
    add(s_.syncTrigMode == kSyncOut, "Y");
    add(snapshot_.levels.Transducer() != nullptr, "X");
    return letters;
}

std::optional<PlotText> PlotAnnotations::Title() const {
    if (!printing_ || s_.titleSet == 0) {
        return std::nullopt;
    }
    return PlotText{kTitleLeft,     top_ - kTitleAboveTop, kTitleWidth,
                    kTextBoxHeight, TextAlign::Centre,     s_.title};
}

PlotText PlotAnnotations::Text(int x, int yFromTop, TextAlign align, std::string text) const {
    PlotText t{x, top_ + yFromTop, kTextBoxWidth, kTextBoxHeight, align, std::move(text)};
    if (align == TextAlign::Centre && t.text.size() > kLongCentredText) {
        t.x -= kTextBoxWidth;
        t.width += 2 * kTextBoxWidth;
    }
    return t;
}

std::vector<PlotText> PlotAnnotations::Annotations() const {
    std::vector<PlotText> texts;
    texts.reserve(12);
    texts.push_back(Text(kLeftColumn, kUpperRow, TextAlign::Left, ReferenceText()));
    texts.push_back(Text(kLeftColumn, kLowerRow, TextAlign::Left, VerticalScaleText()));
    if (s_.counterOn) {
        // Counted at the receiver's tuning; shown, like the markers and the
        // axis, at the converter's input.
        const double counted = s_.FreqOffset().Shown(snapshot_.countedHz);
        const ReadingFlag countFlag = WorseReadingFlag(snapshot_.countFlag, s_.counterFlag);
        texts.push_back(
            Text(kMiddleColumn, kUpperRow, TextAlign::Centre,
                 "COUNT " + FlaggedReadingText(FormatText("%.1f Hz", counted), countFlag)));
    }
    // Wider to the left than a box of its own: "RMS AVG 100/100" does not
    // fit one, and the counter's reading keeps to the middle. It ends left
    // of the sweep's turning wheel, which would cover its last letters.
    PlotText trace = Text(kRightColumn, kUpperRow, TextAlign::Right, TraceText());
    trace.x -= kTextBoxWidth / 2;
    trace.width = plot::kIndicatorLeft - kIndicatorGap - trace.x;
    texts.push_back(trace);
    texts.push_back(
        Text(kMiddleColumn, kLowerRow, TextAlign::Centre, FormatText("ATTEN %.0f dB", s_.attenDb)));
    texts.push_back(
        Text(kRightColumn, kLowerRow, TextAlign::Right, s_.extRefLocked ? "EXT REF" : "INT REF"));
    texts.push_back(Text(kLeftColumn, kAxisRow, TextAlign::Left, StartText()));
    texts.push_back(Text(kMiddleColumn, kAxisRow, TextAlign::Centre, CentreText()));
    texts.push_back(Text(kRightColumn, kAxisRow, TextAlign::Right, StopText()));
    texts.push_back(Text(kLeftColumn, kSettingsRow, TextAlign::Left, RbwText()));
    texts.push_back(Text(kMiddleColumn, kSettingsRow, TextAlign::Centre, SpanText()));
    texts.push_back(Text(kRightColumn, kSettingsRow, TextAlign::Right, SweepTimeText()));
    if (snapshot_.waitingForTrigger && !printing_) {
        texts.push_back(
            Text(kMiddleColumn, kTriggerWaitRow, TextAlign::Centre, "WAITING FOR TRIGGER"));
    } else if (snapshot_.traceFlag != ReadingFlag::kNone) {
        // On paper too: a printed trace must not pass for the sweep that failed.
        texts.push_back(Text(kMiddleColumn, kTriggerWaitRow, TextAlign::Centre,
                             std::string(ReadingFlagWord(snapshot_.traceFlag))));
    }
    return texts;
}

// Trace A's detector and mode: "PK", "RMS MAXH", "SMP AVG 7/10". Video
// averaging has its annunciator, A-B its own line.
std::string PlotAnnotations::TraceText() const {
    return TraceModeText(s_, snapshot_.detectorInUse);
}

std::string PlotAnnotations::ReferenceText() const {
    const double ref = s_.refLevelDbm + s_.refLevelOffsetDb;
    std::string text = s_.refLevelInMv != 0 ? FormatText("REF %.2f mV", DbmToMillivolts(ref))
                                            : FormatText("REF %.1f dBm", ref);
    if (!snapshot_.levels.Plain()) {
        text = snapshot_.levels.ReferenceText(MarkerScale::From(s_));
    }
    if (s_.refLevelOffsetDb != 0.0) {
        text += " OFS";
    }
    return text;
}

// In FM zero span a division is a fifth of the largest deviation shown. The mV
// scale is a tenth of the reference level without its offset, so with an
// offset it does not agree with the REF annotation.
std::string PlotAnnotations::VerticalScaleText() const {
    if (s_.zeroSpanFm != 0) {
        const double offset = s_.maxFmOffsetHz;
        if (offset >= 20000.0) {
            return FormatText("%.0f KHz/div", offset * 0.0002);
        }
        if (offset >= 1000.0) {
            return FormatText("%.1f KHz/div", offset * 0.0002);
        }
        return FormatText("%.0f Hz/div", offset * 0.2);
    }
    if (s_.refLevelInMv != 0) {
        return FormatText("%.2f mV/div", DbmToMillivolts(s_.refLevelDbm) * 0.1);
    }
    return FormatText("%.0f dB/div", s_.dbPerDiv);
}

// The axis shows the frequencies at the converter's input: the downconverter
// offset is added to start, centre and stop, never to the span.
std::string PlotAnnotations::StartText() const {
    if (ZeroSpan()) {
        return "ZERO SPAN";
    }
    const double start = s_.FreqOffset().Shown(s_.startFreqHz);
    return start >= 1e9 ? FormatText("START %.6f GHz", start * 1e-9)
                        : FormatText("START %.5f MHz", start * 1e-6);
}

std::string PlotAnnotations::CentreText() const {
    const double centre = s_.FreqOffset().Shown((s_.startFreqHz + s_.stopFreqHz) / 2.0);
    return centre >= 1e9 ? FormatText("CENTER %.6f GHz", centre * 1e-9)
                         : FormatText("CENTER %.4f MHz", centre * 1e-6);
}

std::string PlotAnnotations::StopText() const {
    if (ZeroSpan()) {
        const double perDivision = s_.sweepTimeSec * 100.0;  // ms per tenth of the sweep
        return s_.sweepTimeSec >= 100.0 ? FormatText("%.1f msec/div", perDivision)
                                        : FormatText("%.2f msec/div", perDivision);
    }
    const double stop = s_.FreqOffset().Shown(s_.stopFreqHz);
    return stop >= 1e9 ? FormatText("STOP %.6f GHz", stop * 1e-9)
                       : FormatText("STOP %.5f MHz", stop * 1e-6);
}

std::string PlotAnnotations::RbwText() const {
    const double rbw = s_.rbwHz;
    if (rbw >= 10000.0) {
        return FormatText("RBW %.0f KHz", rbw * 0.001);
    }
    if (rbw >= 1000.0) {
        return FormatText("RBW %.1f KHz", rbw * 0.001);
    }
    if (rbw >= 10.0) {
        return FormatText("RBW %.0f Hz", rbw);
    }
    return FormatText("RBW %.1f Hz", rbw);
}

std::string PlotAnnotations::SpanText() const {
    const double span = s_.stopFreqHz - s_.startFreqHz;
    if (span >= 1e9) {
        return FormatText("SPAN %.3f GHz", span * 1e-9);
    }
    if (span >= 1e6) {
        return FormatText("SPAN %.3f MHz", span * 1e-6);
    }
    if (span >= 1000.0) {
        return FormatText("SPAN %.3f KHz", span * 0.001);
    }
    return FormatText("SPAN %.1f Hz", span);
}

std::string PlotAnnotations::SweepTimeText() const {
    const double t = s_.sweepTimeSec;
    return t >= 1.0 ? FormatText("SWP %.3f sec", t) : FormatText("SWP %.1f msec", t * 1000.0);
}

MarkerReadout PlotAnnotations::ReadoutOfLevels() const {
    return MarkerReadout(MarkerScale::From(s_),
                         MarkerLevelsStale() ? ReadingFlag::kStale : ReadingFlag::kNone,
                         snapshot_.levels);
}

PlotText PlotAnnotations::Readout() const {
    return ReadoutStrip(kReadoutBelowTop, kTextBoxHeight,
                        ReadoutOfLevels().Line(snapshot_.markers));
}

std::vector<PlotText> PlotAnnotations::ExtraReadouts() const {
    std::vector<std::string> lines = ReadoutOfLevels().ExtraLines(snapshot_.markers);
    lines.resize(plot::kExtraReadoutLines);
    std::vector<PlotText> strips;
    for (int i = 0; i < plot::kExtraReadoutLines; ++i) {
        strips.push_back(
            ReadoutStrip(kReadoutBelowTop + kTextBoxHeight + i * plot::kExtraReadoutHeight,
                         plot::kExtraReadoutHeight, std::move(lines[static_cast<std::size_t>(i)])));
    }
    return strips;
}

PlotText PlotAnnotations::ReadoutStrip(int yFromTop, int height, std::string line) const {
    if (!line.empty()) {
        line = FlaggedReadingText(line, snapshot_.traceFlag);
    }
    // Every level on the line comes through the same table, so one word
    // after the line covers them all.
    if (snapshot_.uncalibrated && !line.empty()) {
        line.erase(line.find_last_not_of(' ') + 1);
        line = FlaggedReadingText(line, ReadingFlag::kUncalibrated);
    }
    return PlotText{plot::kLeft, top_ + yFromTop, plot::kRight - plot::kLeft,
                    height,      TextAlign::Left, std::move(line)};
}

// A glyph at a level of another unit would stand at a made-up height.
bool PlotAnnotations::MarkerLevelsStale() const {
    return LevelsStaleOn(snapshot_.traceABasis, MarkerScale::From(s_));
}

std::optional<PlotPoint> PlotAnnotations::Marker1Glyph() const {
    const MarkerState& m = snapshot_.markers;
    if (m.marker1On == 0 || MarkerLevelsStale() || !MarkerScale::From(s_).Shows(m.marker1Pos)) {
        return std::nullopt;  // a marker off the span has no place on the graticule
    }
    return GlyphAt(m.marker1Pos, m.marker1Level);
}

std::optional<PlotPoint> PlotAnnotations::Marker2Glyph() const {
    const MarkerState& m = snapshot_.markers;
    if (m.marker2On == 0 || MarkerLevelsStale() || !MarkerScale::From(s_).Shows(m.marker2Pos)) {
        return std::nullopt;  // a marker off the span has no place on the graticule
    }
    return GlyphAt(m.marker2Pos, m.marker2Level);
}

std::optional<PlotPoint> PlotAnnotations::ExtraMarkerGlyph(int number) const {
    const ExtraMarker& m = snapshot_.markers.extra.Of(number);
    if (!m.on || MarkerLevelsStale() || !MarkerScale::From(s_).Shows(m.position)) {
        return std::nullopt;
    }
    return GlyphAt(m.position, m.level);
}

PlotPoint PlotAnnotations::GlyphAt(double position, double level) const {
    const MarkerScale scale = MarkerScale::From(s_);
    // Where the trace is drawn: moved by the transducer's factor.
    const double shown = snapshot_.levels.CorrectedLevel(scale, position, level);
    return {plot::kLeft + scale.ColumnOfPosition(position), top_ + LevelToRow(scale, shown)};
}

int PlotAnnotations::PrintScale(int pageWidth, int pageHeight) {
    const int unitsAcross = pageWidth > pageHeight ? 900 : 800;
    return std::max(1, std::min(pageWidth / unitsAcross, pageHeight / plot::kPrintedHeight));
}

}  // namespace tavlin
