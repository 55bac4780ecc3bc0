#include "view/marker_readout.h"

#include <cmath>

#include "base/bounded_format.h"
#include "base/reading_flag.h"

namespace tavlin {

namespace {

constexpr const char* kDeltaUnit = "dBc";
constexpr const char* kMarker1Gap = "   ";

// The long form (marker 1 alone) shows more decimals of GHz and MHz.
enum class Digits { Short, Long };

// "<label>: <frequency> <unit>, <level>", the frequency unit by the
// magnitude; the level text carries its own unit or flag.
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

// "-20.00 dBm", ">1.00 dBm" at the top of the screen, "OFF SPAN" alone when
// nothing was measured.
std::string LevelText(double level, ReadingFlag flag, const char* format, const char* unit) {
    if (!ReadingFlagKeepsNumber(flag)) {
        return FlaggedReadingText("", flag);
    }
    return FlaggedReadingText(FormatText(format, level) + " " + unit, flag);
}

// A difference of two readings off the screen's edges: marker 2 above the
// top reads a delta of at least, marker 1 above the top one of at most.
ReadingFlag DeltaFlag(ReadingFlag first, ReadingFlag second) {
    ReadingFlag reversed = first;
    if (first == ReadingFlag::kAboveScreen) {
        reversed = ReadingFlag::kBelowScreen;
    } else if (first == ReadingFlag::kBelowScreen) {
        reversed = ReadingFlag::kAboveScreen;
    }
    const bool opposite =
        (reversed == ReadingFlag::kAboveScreen && second == ReadingFlag::kBelowScreen) ||
        (reversed == ReadingFlag::kBelowScreen && second == ReadingFlag::kAboveScreen);
    if (opposite) {
        return ReadingFlag::kOverRange;  // bounds either way: no difference is known
    }
    return WorseReadingFlag(reversed, second);
}

// A difference that rounds to nothing at the digits shown is shown as 0, not
// as "-0.00": markers on equal levels read no difference, whichever is the
// larger in the last bit.
double Shown(double value, int decimals) {
    const double unit = std::pow(10.0, decimals);
    return std::round(value * unit) == 0.0 ? 0.0 : value;
}

}  // namespace

ReadingFlag MarkerReadout::DifferenceFlag(ReadingFlag reference, ReadingFlag other) {
    return DeltaFlag(reference, other);
}

const char* MarkerReadout::LevelUnit() const {
    return scale_.linearScale ? "mV " : "dBm";
}

std::string MarkerReadout::Reading(double position, double level, ReadingFlag flag) const {
    if (levels_.Plain()) {
        return LevelText(level, flag, "%.2f", LevelUnit());
    }
    return levels_.ReadingText(scale_, position, level, flag);
}

double MarkerReadout::FactorDifference(const MarkerState& m) const {
    const auto factor = [this](double position) {
        return levels_.FactorAt(LevelDisplay::ShownHz(scale_, position)).db;
    };
    return factor(m.marker2Pos) - factor(m.marker1Pos);
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

std::string MarkerReadout::Marker1Text(const MarkerState& m) const {
    std::string text;
    const ReadingFlag flag =
        WorseReadingFlag(scale_.FlagAt(m.marker1Pos, m.marker1Flag), levelFlag_);
    if (scale_.FmDeviation()) {
        text = FormatText("MKR 1: %.3f msec, ", m.marker1Pos) +
               LevelText(m.marker1Level, flag, "%.0f", "Hz");
    } else if (scale_.ZeroSpan()) {
        text = FormatText("MKR 1: %.3f msec, ", m.marker1Pos) +
               Reading(m.marker1Pos, m.marker1Level, flag);
    } else {
        const Digits digits = m.marker2On != 0 ? Digits::Short : Digits::Long;
        text = FrequencyText("MKR 1", scale_.FreqOffset().Shown(m.marker1Pos), digits,
                             Reading(m.marker1Pos, m.marker1Level, flag));
    }
    return text + kMarker1Gap;
}

std::string MarkerReadout::DeltaText(const MarkerState& m) const {
    const double d = m.marker2Pos - m.marker1Pos;
    // In dB the transducer's factor at each marker enters the difference.
    const double levelDelta =
        m.marker2Level - m.marker1Level + (scale_.linearScale ? 0.0 : FactorDifference(m));
    const ReadingFlag flag = WorseReadingFlag(DeltaFlag(scale_.FlagAt(m.marker1Pos, m.marker1Flag),
                                                        scale_.FlagAt(m.marker2Pos, m.marker2Flag)),
                                              levelFlag_);
    if (scale_.FmDeviation()) {
        return FormatText("MKR 2-1: %.3f msec, ", Shown(d, 3)) +
               LevelText(Shown(levelDelta, 0), flag, "%.0f", "Hz");
    }
    if (scale_.ZeroSpan()) {
        return FormatText("MKR DELTA: %.3f msec, ", Shown(d, 3)) +
               LevelText(Shown(levelDelta, 2), flag, "%.2f", kDeltaUnit);
    }
    // Below a tenth of a hertz every unit of the readout shows zero.
    return FrequencyText("MKR DELTA", Shown(d, 1), Digits::Short,
                         LevelText(Shown(levelDelta, 2), flag, "%.2f", kDeltaUnit));
}

std::string MarkerReadout::Marker2Text(const MarkerState& m) const {
    return SingleText(2, m.marker2Pos, m.marker2Level, m.marker2Flag);
}

std::vector<std::string> MarkerReadout::ExtraLines(const MarkerState& m) const {
    std::vector<std::string> lines;
    bool secondOnLine = false;
    for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
        const ExtraMarker& marker = m.extra.Of(n);
        if (!marker.on) {
            continue;
        }
        const std::string text = SingleText(n, marker.position, marker.level, marker.flag);
        if (secondOnLine) {
            lines.back() += kMarker1Gap + text;
        } else {
            lines.push_back(text);
        }
        secondOnLine = !secondOnLine;
    }
    return lines;
}

std::string MarkerReadout::SingleText(int number, double position, double level,
                                      ReadingFlag own) const {
    const ReadingFlag flag = WorseReadingFlag(scale_.FlagAt(position, own), levelFlag_);
    const std::string label = FormatText("MKR %d", number);
    if (scale_.FmDeviation()) {
        return FormatText("%s: %.3f msec, ", label.c_str(), position) +
               LevelText(level, flag, "%.0f", "Hz");
    }
    if (scale_.ZeroSpan()) {
        return FormatText("%s: %.3f msec, ", label.c_str(), position) +
               Reading(position, level, flag);
    }
    return FrequencyText(label.c_str(), scale_.FreqOffset().Shown(position), Digits::Short,
                         Reading(position, level, flag));
}

std::string MarkerReadout::Cursor(int column, double level, ReadingFlag own) const {
    const char* unit = scale_.linearScale ? "mV" : "dBm";
    const double p = scale_.ZeroSpan() ? scale_.startHz : scale_.PositionOfColumn(column);
    const ReadingFlag flag = WorseReadingFlag(own, levelFlag_);
    const std::string levelText = levels_.Plain() ? LevelText(level, flag, "%.2f", unit)
                                                  : levels_.ReadingText(scale_, p, level, flag);
    if (scale_.ZeroSpan()) {
        const double t = column * scale_.sweepTimeSec / 0.64;
        if (scale_.FmDeviation()) {
            return FormatText("Cursor at %.3f msec, ", t) + LevelText(level, flag, "%.1f", "Hz");
        }
        return FormatText("Cursor at %.3f msec, %s", t, levelText.c_str());
    }
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
