#pragma once

#include <cstdint>

#include "dsp/pixel_detector.h"
#include "sweep/rbw_rules.h"

namespace tavlin {

// One zero-span test for every part of the program: a span below 1 Hz is
// swept, shown and marked as zero span.
constexpr bool IsZeroSpan(double spanHz) {
    return spanHz < 1.0;
}

// The settings one sweep works from, copied from the document under its
// settings lock when the sweep starts, so a change made meanwhile by the panel
// or an automation client takes effect at the next sweep and never half-way.
struct SweepSettings {
    double startHz = 0.0;
    double stopHz = 0.0;
    double refLevelDbm = 0.0;
    double dbPerDiv = 10.0;
    double attenDb = 10.0;
    bool linearScale = false;
    std::int32_t gainMode = 1;
    bool preampAvailable = false;
    bool preampOn = false;
    double spanRbwRatio = kDefaultSpanRbwRatio;
    std::int32_t videoAvgCount = 1;
    bool maxHold = false;
    bool minHold = false;
    Detector detector = Detector::kPeak;
    double videoTrigThreshold = 0.0;
    std::int32_t syncTrigMode = 0;
    bool zeroSpanFm = false;
    double maxFmOffsetHz = 100000.0;
    bool imageReject = true;
    bool realtimeMode = false;
    double sweepTimeSec = 2.2;
    double timebaseCorrection = 1.0;
    // Mean power rows, which integrate to the power in a band: the RMS
    // detector, chosen or forced by a measurement that integrates the trace
    // (channel power, occupied bandwidth, the noise marker).
    bool powerAverage = false;

    double CenterHz() const { return (startHz + stopHz) / 2.0; }
    double SpanHz() const { return stopHz - startHz; }
    bool ZeroSpan() const { return IsZeroSpan(SpanHz()); }
};

}  // namespace tavlin
