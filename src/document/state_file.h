#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "document/preset_values.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

constexpr std::int32_t kStateFileVersion = 1;
// Length of a state file whose title is empty (one byte of length prefix).
constexpr std::size_t kStateFileLengthNoTitle = 18181;
// The longest title recalled: the format's four-byte count would allow 4 GiB,
// far beyond any screen (the title entry stops at 32767 characters). The
// largest file recalled is the fixed part with the longest title count.
constexpr std::size_t kMaxStateFileTitleBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxStateFileBytes =
    kStateFileLengthNoTitle - 1 + 7 + kMaxStateFileTitleBytes;

// Trace A rows are kept to the screen and a little beyond it.
constexpr std::int32_t kTraceRowTop = -5;
constexpr std::int32_t kTraceRowBottom = 505;
// Limit lines (and trace B, which also carries the lower limit) may lie far off
// the screen: a limit above the reference level has a negative row. Rows
// beyond this guard are off every screen, and keeping them there keeps the
// drawing arithmetic away from integer overflow.
constexpr std::int32_t kLimitRowGuard = 100000;

// Zero-span sweep time as the Zero Span Settings dialog accepts it
// (0.5 ms to 2000 ms, entered in ms and scaled the same way).
constexpr double kMinZeroSpanSweepSec = 0.5 * 0.001;
constexpr double kMaxZeroSpanSweepSec = 2000 * 0.001;

constexpr double kMinFmOffsetHz = 10.0;
constexpr double kMaxFmOffsetHz = 120000.0;
constexpr double kReducedFmOffsetHz = 100000.0;

template <typename T>
constexpr std::array<T, kTracePoints> FilledTrace(T value) {
    std::array<T, kTracePoints> rows{};
    rows.fill(value);
    return rows;
}

// Everything a state file holds, in file order. The defaults are the state
// after start-up and preset, so a default record encodes to the file a fresh
// program would save. Flags are normalised to 0/1 when read.
struct StateRecord {
    double refLevelOffsetDb = preset::kRefLevelOffsetDb;
    double startFreqHz = preset::kStartHz;
    double stopFreqHz = preset::kStopHz;
    double cfStepHz = preset::kCfStepHz;
    double refLevelStepDb = preset::kRefLevelStepDb;
    double refLevelDbm = preset::kRefLevelDbm;
    bool refLevelInMv = false;
    double dbPerDiv = preset::kDbPerDiv;
    double attenDb = preset::kAttenDb;
    bool linearScale = false;
    bool signalTrack = false;
    std::int32_t videoAvgCount = preset::kVideoAvgCount;
    double videoTrigThreshold = 0.0;
    bool videoTrigger = false;
    bool zeroSpanFm = false;
    double maxFmOffsetHz = preset::kMaxFmOffsetHz;
    std::array<std::int32_t, kTracePoints> traceAInt = FilledTrace<std::int32_t>(500);
    std::array<std::int32_t, kTracePoints> traceBRows = FilledTrace<std::int32_t>(500);
    std::array<std::int32_t, kTracePoints> upperLimitRows = FilledTrace<std::int32_t>(0);
    bool limitLinesOn = false;
    std::array<double, kTracePoints> traceA = FilledTrace<double>(500.0);
    // Kept beside trace A and carried through unread, bit for bit.
    std::array<double, kTracePoints> traceAExtra = FilledTrace<double>(0.0);
    std::int32_t syncTrigMode = preset::kSyncTrigMode;
    bool marker1On = false;
    bool marker2On = false;
    bool marker2Active = false;
    bool markerDelta = false;
    bool titleSet = false;
    std::string title;  // single-byte characters, any byte value
    bool maxHold = false;
    bool imageReject = preset::kImageReject;
    bool realtimeMode = false;
    double sweepTimeSec = preset::kSweepTimeSec;
    double marker1Pos = 0.0;
    double marker2Pos = 0.0;
    double marker1Level = 0.0;
    double marker2Level = 0.0;
    double rbwHz = preset::kRbwHz;
    double counterFreqHz = 0.0;
    bool counterOn = false;
    double spanRbwRatio = preset::kSpanRbwRatio;
    double peakFreqHint = -1.0;   // -1 for none
    bool classicColours = false;  // false = the KVO scheme, true = CLASSIC
    bool traceBShown = false;

    bool operator==(const StateRecord&) const = default;
};

enum class StateFileStatus {
    Ok,             // the record is complete and legal (some values may have been adjusted)
    Empty,          // length 0: change nothing, show nothing
    NotRecognized,  // the version word is not 1: "FILE NOT RECOGNIZED" / "UNABLE TO OPEN"
    Truncated,      // the file ends inside a field
    NotFinite,      // a frequency, level, time or other number is NaN or infinite
    OutOfRange,     // a value has no legal meaning and no rule to bring it into range
};

struct StateFileDecodeResult {
    StateFileStatus status = StateFileStatus::Empty;
    // The whole file, checked and adjusted. Meaningful only when status is Ok;
    // otherwise it holds the defaults and nothing of the file.
    StateRecord record;
    // What is wrong, naming the field, when status is not Ok.
    std::string message;
    // One line per value brought into its legal range on an Ok load.
    std::vector<std::string> adjustments;

    bool ok() const { return status == StateFileStatus::Ok; }
};

// The file exactly as it is laid out on disk: little-endian, no padding,
// flags as 32-bit 0 or 1, the title with the shortest length prefix.
// Throws std::length_error for a title of 4 GiB or more.
std::vector<std::uint8_t> EncodeStateFile(const StateRecord& record);

// Reads and checks a whole file before anything is returned as Ok, so the
// caller can apply all or nothing. Never reads past `bytes`; allocates no more
// than the file's own size for the title.
StateFileDecodeResult DecodeStateFile(std::span<const std::uint8_t> bytes);

}  // namespace tavlin
