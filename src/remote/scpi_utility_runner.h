#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/reading_flag.h"

namespace tavlin {

// The fields of a receiver reply: carrier, relative and averaged power, then
// four of each modulation block.
constexpr int kScpiReceiverFields = 11;
// The fundamental and harmonics 2 to 10.
constexpr int kScpiHarmonics = 10;
// One point per column of the phase-noise plot, 1 Hz to 1 MHz.
constexpr int kScpiPhaseNoisePoints = 721;

// A number a utility measured, with what may be wrong with it.
struct ScpiReading {
    double value = 0.0;
    ReadingFlag flag = ReadingFlag::kNone;
};

// The measuring receiver's controls, as its dialog opens.
struct ScpiReceiverSettings {
    double ifBandwidthHz = 15000.0;
    bool audioBandPass = true;
    bool showAm = false;
    bool showFm = true;
};

// A modulation block of the receiver: deviation in Hz (FM) or depth in %
// (AM), and the audio frequency in Hz. A block the settings do not show
// reads NOT MEASURED throughout.
struct ScpiModulation {
    ScpiReading rms;
    ScpiReading peakPlus;
    ScpiReading peakMinus;
    ScpiReading audioHz;
};

struct ScpiReceiverResult {
    ScpiReading carrierHz;  // the RF counter, at the receiver's input
    ScpiReading relativeDb;
    ScpiReading averagedDb;
    ScpiModulation fm;
    ScpiModulation am;
};

// A point of a utility's curve: a harmonic (frequency at the receiver's
// input, level in dBm) or phase noise (offset in Hz, dBc/Hz).
struct ScpiPoint {
    double x = 0.0;
    ScpiReading y;
};

// The measurements that take the instrument over from the sweep, as the SCPI
// session asks for them. Each runs on the caller's thread with the sweep
// paused and returns once done, the sweep running again if it ran before.
class ScpiUtilityRunner {
  public:
    virtual ~ScpiUtilityRunner() = default;

    // False while another utility holds the instrument (a dialog of the
    // window is open).
    virtual bool Available() const = 0;
    // The receiver at the centre frequency for `captures` passes: the last
    // pass's numbers, or nothing when the instrument gave no data.
    virtual std::optional<ScpiReceiverResult> RunReceiver(const ScpiReceiverSettings& settings,
                                                          int captures) = 0;
    // The fundamental and its harmonics, in order (kScpiHarmonics).
    virtual std::vector<ScpiPoint> RunHarmonics() = 0;
    // The phase-noise curve, offsets rising (kScpiPhaseNoisePoints); empty
    // when it was not taken.
    virtual std::vector<ScpiPoint> RunPhaseNoise() = 0;
    // The listener for `seconds` of sound into a WAV file: empty when the
    // recording is complete, else why not. `stop` turning true (the server
    // going off) ends it early, incomplete.
    virtual std::string RecordAudio(const std::filesystem::path& file, double seconds, bool fm,
                                    const std::atomic<bool>& stop) = 0;
};

}  // namespace tavlin
