#include "view/marker_readout.h"

#include <cmath>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

constexpr double kColumns = 640.0;
constexpr const char* kDeltaUnit = "dBc";
constexpr const char* kMarker1Gap = "   ";

// The long form (marker 1 alone) shows more decimals of GHz and MHz.
enum class Digits { Short, Long };

// "<label>: <frequency> <unit>, <level text>", the frequency unit by the
// magnitude.
std::string FrequencyText(const char* label, double f, Digits digits, const std::string& level) {
    const double magnitude = std::abs(f);
    const bool longForm = digits == Digits::Long;
    if (magnitude >= 1e9) {
        return FormatText("%s: %.*f GHz, %s", label, longForm ? 9 : 6, f * 1e-9, level.c_str());
    }
    if (magnitude >= 1e6) {
        return FormatText("%s: %.*f MHz, %s", label, longForm ? 6 : 3, f * 1e-6, level.c_str());
    }
    if (magnitude >= 1000.0) {
        return FormatText("%s: %.3f KHz, %s", label, f * 0.001, level.c_str());
    }
    return FormatText("%s: %.1f Hz, %s", label, f, level.c_str());
}

// A difference that rounds to nothing at the digits shown is shown as 0, not
// as "-0.00": markers on equal levels read no difference, whichever is the
// larger in the last bit.
double Shown(double value, int decimals) {
    const double unit = std::pow(10.0, decimals);
    return std::round(value * unit) == 0.0 ? 0.0 : value;
}

}  // namespace

const char* MarkerReadout::LevelUnit() const {
    return scale_.linearScale ? "mV " : "dBm";
}

std::string MarkerReadout::Line(const MarkerState& markers) const {
    std::string line;
    if (markers.marker1On != 0) {
        line += Marker1Text(markers);
    }
    if (markers.marker2On != 0) {
        line += markers.markerDelta != 0 ? DeltaText(markers) : Marker2Text(markers);
    }
    return line;
}

std::string MarkerReadout::LevelText(const char* format, double level, const char* unit) const {
    return FlaggedReadingText(FormatText(format, level) + " " + unit, levelFlag_);
}

std::string MarkerReadout::Marker1Text(const MarkerState& m) const {
    std::string text;
    if (scale_.FmDeviation()) {
        text = FormatText("MKR 1: %.3f msec, ", m.marker1Pos) +
               LevelText("%.0f", m.marker1Level, "Hz");
    } else if (scale_.ZeroSpan()) {
        text = FormatText("MKR 1: %.3f msec, ", m.marker1Pos) +
               LevelText("%.2f", m.marker1Level, LevelUnit());
    } else {
        const Digits digits = m.marker2On != 0 ? Digits::Short : Digits::Long;
        text = FrequencyText("MKR 1", scale_.FreqOffset().Shown(m.marker1Pos), digits,
                             LevelText("%.2f", m.marker1Level, LevelUnit()));
    }
    return text + kMarker1Gap;
}

std::string MarkerReadout::DeltaText(const MarkerState& m) const {
    const double d = m.marker2Pos - m.marker1Pos;
    const double levelDelta = m.marker2Level - m.marker1Level;
    if (scale_.FmDeviation()) {
        return FormatText("MKR 2-1: %.3f msec, ", Shown(d, 3)) +
               LevelText("%.0f", Shown(levelDelta, 0), "Hz");
    }
    if (scale_.ZeroSpan()) {
        return FormatText("MKR DELTA: %.3f msec, ", Shown(d, 3)) +
               LevelText("%.2f", Shown(levelDelta, 2), kDeltaUnit);
    }
    // Below a tenth of a hertz every unit of the readout shows zero.
    return FrequencyText("MKR DELTA", Shown(d, 1), Digits::Short,
                         LevelText("%.2f", Shown(levelDelta, 2), kDeltaUnit));
}

std::string MarkerReadout::Marker2Text(const MarkerState& m) const {
    if (scale_.FmDeviation()) {
        return FormatText("MKR 2: %.3f msec, ", m.marker2Pos) +
               LevelText("%.0f", m.marker2Level, "Hz");
    }
    if (scale_.ZeroSpan()) {
        return FormatText("MKR 2: %.3f msec, ", m.marker2Pos) +
               LevelText("%.2f", m.marker2Level, LevelUnit());
    }
    return FrequencyText("MKR 2", scale_.FreqOffset().Shown(m.marker2Pos), Digits::Short,
                         LevelText("%.2f", m.marker2Level, LevelUnit()));
}

std::string MarkerReadout::Cursor(int column, double level) const {
    const char* unit = scale_.linearScale ? "mV" : "dBm";
    const std::string levelText = LevelText("%.2f", level, unit);
    if (scale_.ZeroSpan()) {
        const double t = column * scale_.sweepTimeSec / 0.64;
        if (scale_.FmDeviation()) {
            return FormatText("Cursor at %.3f msec, ", t) + LevelText("%.1f", level, "Hz");
        }
        return FormatText("Cursor at %.3f msec, %s", t, levelText.c_str());
    }
    const double p = scale_.startHz + scale_.SpanHz() * column / kColumns;
    const DownconverterOffset offset = scale_.FreqOffset();
    // With a converter offset in use the sum is shown, in GHz; a smaller
    // offset is left out of the finer units.
    if (p >= 1e9 || offset.InUse()) {
        return FormatText("Cursor at %.9f GHz, %s", offset.Shown(p) * 1e-9, levelText.c_str());
    }
    if (p >= 1e6) {
        return FormatText("Cursor at %.6f MHz, %s", p * 1e-6, levelText.c_str());
    }
    if (p >= 1000.0) {
        return FormatText("Cursor at %.3f KHz, %s", p * 0.001, levelText.c_str());
    }
    return FormatText("Cursor at %.3f Hz, %s", p, levelText.c_str());
}

}  // namespace tavlin
