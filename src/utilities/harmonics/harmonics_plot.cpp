#include "utilities/harmonics/harmonics_plot.h"

#include <algorithm>
#include <array>

#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "ports/logged_procedure.h"

namespace tavlin {

namespace {

constexpr int kFirstPoint = 288;  // the middle tenth: column 320 and 32 either side
constexpr int kSegmentStep = 64;
constexpr int kSegmentPoints = 65;
constexpr double kBelowBottomRow =
    502.0;  // an element no harmonic has reached yet (kBottomRow is the bottom line)
constexpr double kDbPerDiv = 10.0;
constexpr double kRowsPerDivision = 50.0;
// A peak less than this above the middle of its segment cannot be told from
// the noise around it: the level read is the noise's, not the harmonic's.
// The highest of 65 points of noise alone stands some 8 to 10 dB above their
// median, so the margin lies beyond that.
constexpr double kLeastAboveNoiseDb = 12.0;

// How far the peak stands above the segment's median row, the noise there.
template <typename Rows>
double PeakAboveNoiseDb(const Rows& rows, double peakRow) {
    std::array<double, kSegmentPoints> segment{};
    std::copy_n(rows.begin() + kFirstPoint, kSegmentPoints, segment.begin());
    std::nth_element(segment.begin(), segment.begin() + kSegmentPoints / 2, segment.end());
    return (segment[kSegmentPoints / 2] - peakRow) / kRowsPerDivision * kDbPerDiv;
}

}  // namespace

HarmonicsPlot::HarmonicsPlot(AnalyzerDocument& document, std::function<bool()> again)
    : doc_(document), again_(std::move(again)) {}

std::vector<HarmonicReading> HarmonicsPlot::Run() {
    const LoggedProcedure logged("utility", "harmonics plot");
    const FrequencyPair before = doc_.Frequencies();
    const double f0 = before.CenterHz();
    const double span = before.SpanHz();
    doc_.EditSettings([](InstrumentState& s) { s.dbPerDiv = kDbPerDiv; });
    composite_.fill(kBelowBottomRow);
    std::vector<HarmonicReading> readings;
    do {
        readings = SweepAll(f0, span);
    } while (again_ && again_());
    doc_.SetFrequencies(f0 - span / 2.0, f0 + span / 2.0);
    doc_.RequestRepaint();
    return readings;
}

std::vector<HarmonicReading> HarmonicsPlot::SweepAll(double f0, double span) {
    std::vector<HarmonicReading> readings;
    // The levels read as the markers read them, with the reference level offset.
    const MarkerScale scale =
        doc_.ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    for (int k = 0; k < kHarmonics; ++k) {
        const double startHz = (k + 1) * f0 - span / 2.0;
        const double stopHz = (k + 1) * f0 + span / 2.0;
        doc_.SetFrequencies(startHz, stopHz);
        HarmonicReading reading{k + 1, (k + 1) * f0, 0.0, stopHz <= kTopFrequencyHz};
        if (reading.swept) {
            doc_.ApplyLevelPlan();
            doc_.PerformSweep();
        } else {
            // Beyond the receiver's range: the segment sits on the bottom
            // line without a sweep.
            doc_.EditTrace([](ScreenState& s) { s.trace.traceA.fill(kBottomRow); });
        }
        const auto rows = doc_.ReadTrace([](const ScreenState& s) { return s.trace.traceA; });
        const bool compressed =
            doc_.ReadTrace([](const ScreenState& s) { return s.basis.ifCompressed; });
        std::copy_n(rows.begin() + kFirstPoint, kSegmentPoints,
                    composite_.begin() + kSegmentStep * k);
        const auto peak = std::min_element(rows.begin() + kFirstPoint,
                                           rows.begin() + kFirstPoint + kSegmentPoints);
        reading.levelDbm = scale.LevelOfRow(*peak);
        reading.flag = reading.swept ? FlagOfRow(*peak) : ReadingFlag::kNotMeasured;
        if (reading.swept && PeakAboveNoiseDb(rows, *peak) < kLeastAboveNoiseDb) {
            reading.flag = WorseReadingFlag(reading.flag, ReadingFlag::kBelowNoise);
        }
        if (compressed && reading.swept) {
            reading.flag = WorseReadingFlag(reading.flag, ReadingFlag::kOverRange);
        }
        if (reading.swept) {
            reading.freqHz = startHz + static_cast<double>(peak - rows.begin()) * span / 640.0;
        }
        readings.push_back(reading);
        doc_.EditTrace([this](ScreenState& s) {
            std::transform(composite_.begin(), composite_.end(), s.trace.traceAInt.begin(),
                           [](double row) { return static_cast<std::int32_t>(row); });
        });
    }
    // The composite on screen with the frequency axis that describes it, so
    // that the annotations and markers read harmonic n at column 64 n - 32.
    // A harmonic beyond the receiver's range is a gap, not a level on the
    // bottom line.
    doc_.EditTrace([this, &readings](ScreenState& s) {
        s.trace.traceA = composite_;
        std::transform(composite_.begin(), composite_.end(), s.trace.traceAInt.begin(),
                       [](double row) { return static_cast<std::int32_t>(row); });
        for (const HarmonicReading& h : readings) {
            if (!h.swept) {
                std::fill_n(s.trace.traceAInt.begin() + kSegmentStep * (h.n - 1), kSegmentPoints,
                            kNoRow);
            }
        }
    });
    doc_.SetFrequencies(0.5 * f0, 10.5 * f0);
    return readings;
}

}  // namespace tavlin
