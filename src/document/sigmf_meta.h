#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavlin {

// One stretch of samples under one tuning, taken without a gap.
struct IqSegment {
    std::uint64_t sampleStart = 0;
    double frequencyHz = 0.0;
    std::chrono::system_clock::time_point startedAt{};
    double scaleDb = 0.0;  // dBm = 10 log10((I^2 + Q^2) / 32768^2) + scaleDb
    std::vector<std::pair<double, double>> bandCorrectionDb;  // [offset Hz, dB] on top
    double attenDb = 0.0;
    int gainMode = 1;
    bool preampOn = false;
    double rbwHz = 0.0;
};

// The metadata file of an I/Q recording: 16-bit complex samples, the unit
// that took them, and one capture entry per segment with what turns its
// counts into dBm, in the extension namespace "tavlin".
class SigmfMeta {
  public:
    static constexpr const char* kExtension = "tavlin";
    static constexpr const char* kExtensionVersion = "1.0.0";

    double sampleRateHz = 0.0;
    std::string serial;
    std::string firmware;
    std::string recorder;
    double referenceCorrection = 1.0;  // the timebase factor the sample rate includes
    std::uint64_t droppedCaptures = 0;
    std::vector<IqSegment> segments;

    // The JSON text of the metadata file.
    std::string Text() const;

    // ISO 8601 in UTC with microseconds and a Z: 2026-12-08T06:45:19.123456Z.
    static std::string UtcTimestamp(std::chrono::system_clock::time_point at);
};

}  // namespace tavlin
