#include "document/state_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "base/bounded_format.h"
#include "document/instrument_state.h"
#include "sweep/sweep_settings.h"

namespace tavlin {

namespace {

// Length prefix of the title: one byte below 255; else 255 and a 16-bit count
// below 65534; else 255, the 16-bit escape 65535 and a 32-bit count. The
// 16-bit value 65534 is reserved and never written.
constexpr std::uint8_t kTitleWide = 255;
constexpr std::uint16_t kTitleReserved = 0xFFFE;
constexpr std::uint16_t kTitleLong = 0xFFFF;

std::string FormatNumber(double value) {
    return FormatText("%.10g", value);
}

std::string FormatPoint(const char* field, std::size_t index) {
    return std::string(field) + " point " + std::to_string(index);
}

// Every field of the file in its order. The writer, the reader and the finite
// check all walk the record through this one list, so they cannot disagree on
// the layout.
template <typename Record, typename Visitor>
void VisitStateFields(Record& r, Visitor& v) {
    v.Double("refLevelOffsetDb", r.refLevelOffsetDb);
    v.Double("startFreqHz", r.startFreqHz);
    v.Double("stopFreqHz", r.stopFreqHz);
    v.Double("cfStepHz", r.cfStepHz);
    v.Double("refLevelStepDb", r.refLevelStepDb);
    v.Double("refLevelDbm", r.refLevelDbm);
    v.Flag("refLevelInMv", r.refLevelInMv);
    v.Double("dbPerDiv", r.dbPerDiv);
    v.Double("attenDb", r.attenDb);
    v.Flag("linearScale", r.linearScale);
    v.Flag("signalTrack", r.signalTrack);
    v.Int32("videoAvgCount", r.videoAvgCount);
    v.Double("videoTrigThreshold", r.videoTrigThreshold);
    v.Flag("videoTrigger", r.videoTrigger);
    v.Flag("zeroSpanFm", r.zeroSpanFm);
    v.Double("maxFmOffsetHz", r.maxFmOffsetHz);
    v.Rows("traceAInt", r.traceAInt);
    v.Rows("traceBRows", r.traceBRows);
    v.Rows("upperLimitRows", r.upperLimitRows);
    v.Flag("limitLinesOn", r.limitLinesOn);
    v.Doubles("traceA", r.traceA);
    v.OpaqueDoubles("traceAExtra", r.traceAExtra);
    v.Int32("syncTrigMode", r.syncTrigMode);
    v.Flag("marker1On", r.marker1On);
    v.Flag("marker2On", r.marker2On);
    v.Flag("marker2Active", r.marker2Active);
    v.Flag("markerDelta", r.markerDelta);
    v.Flag("titleSet", r.titleSet);
    v.Title("title", r.title);
    v.Flag("maxHold", r.maxHold);
    v.Flag("imageReject", r.imageReject);
    v.Flag("realtimeMode", r.realtimeMode);
    v.Double("sweepTimeSec", r.sweepTimeSec);
    v.Double("marker1Pos", r.marker1Pos);
    v.Double("marker2Pos", r.marker2Pos);
    v.Double("marker1Level", r.marker1Level);
    v.Double("marker2Level", r.marker2Level);
    v.Double("rbwHz", r.rbwHz);
    v.Double("counterFreqHz", r.counterFreqHz);
    v.Flag("counterOn", r.counterOn);
    v.Double("spanRbwRatio", r.spanRbwRatio);
    v.Double("peakFreqHint", r.peakFreqHint);
    v.Flag("classicColours", r.classicColours);
    v.Flag("traceBShown", r.traceBShown);
}

class FieldWriter {
  public:
    explicit FieldWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Double(const char*, const double& value) { PutU64(std::bit_cast<std::uint64_t>(value)); }
    void Int32(const char*, const std::int32_t& value) {
        PutU32(static_cast<std::uint32_t>(value));
    }
    void Flag(const char*, const bool& value) { PutU32(value ? 1u : 0u); }
    void Rows(const char*, const std::array<std::int32_t, kTracePoints>& rows) {
        for (const std::int32_t row : rows) {
            PutU32(static_cast<std::uint32_t>(row));
        }
    }
    void Doubles(const char*, const std::array<double, kTracePoints>& values) {
        for (const double value : values) {
            PutU64(std::bit_cast<std::uint64_t>(value));
        }
    }
    void OpaqueDoubles(const char* name, const std::array<double, kTracePoints>& values) {
        Doubles(name, values);
    }
    void Title(const char*, const std::string& title) {
        const std::size_t count = title.size();
        if (count > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("a state file title is limited to 4 GiB");
        }
        if (count < kTitleWide) {
            out_.push_back(static_cast<std::uint8_t>(count));
        } else if (count < kTitleReserved) {
            out_.push_back(kTitleWide);
            PutU16(static_cast<std::uint16_t>(count));
        } else {
            out_.push_back(kTitleWide);
            PutU16(kTitleLong);
            PutU32(static_cast<std::uint32_t>(count));
        }
        out_.insert(out_.end(), title.begin(), title.end());
    }

  private:
    void PutU16(std::uint16_t value) {
        out_.push_back(static_cast<std::uint8_t>(value));
        out_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void PutU32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            out_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void PutU64(std::uint64_t value) {
        for (int shift = 0; shift < 64; shift += 8) {
            out_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }

    std::vector<std::uint8_t>& out_;
};

// Reads fields in order and stops at the first one the file cannot hold.
// Every read checks the remaining length first, so nothing past the buffer is
// touched and the title is never allocated beyond what the file contains.
class FieldReader {
  public:
    explicit FieldReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool failed() const { return status_ != StateFileStatus::Ok; }
    StateFileStatus status() const { return status_; }
    const std::string& message() const { return message_; }
    std::size_t position() const { return pos_; }

    void Double(const char* name, double& value) {
        std::uint64_t raw = 0;
        if (Take(name, 8, raw)) {
            value = std::bit_cast<double>(raw);
        }
    }
    void Int32(const char* name, std::int32_t& value) {
        std::uint64_t raw = 0;
        if (Take(name, 4, raw)) {
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
        }
    }
    // Any nonzero word is an "on" flag.
    void Flag(const char* name, bool& value) {
        std::uint64_t raw = 0;
        if (Take(name, 4, raw)) {
            value = raw != 0;
        }
    }
    void Rows(const char* name, std::array<std::int32_t, kTracePoints>& rows) {
        if (!Fits(name, rows.size() * 4)) {
            return;
        }
        for (std::int32_t& row : rows) {
            Int32(name, row);
        }
    }
    void Doubles(const char* name, std::array<double, kTracePoints>& values) {
        if (!Fits(name, values.size() * 8)) {
            return;
        }
        for (double& value : values) {
            Double(name, value);
        }
    }
    void OpaqueDoubles(const char* name, std::array<double, kTracePoints>& values) {
        Doubles(name, values);
    }
    void Title(const char* name, std::string& title) {
        std::uint64_t count = 0;
        if (!Take(name, 1, count)) {
            return;
        }
        if (count == kTitleWide) {
            if (!Take(name, 2, count)) {
                return;
            }
            if (count == kTitleReserved) {
                Fail(StateFileStatus::OutOfRange,
                     std::string("the length of the ") + name + " uses the reserved value 65534");
                return;
            }
            if (count == kTitleLong && !Take(name, 4, count)) {
                return;
            }
        }
        TakeText(name, count, title);
    }

  private:
    std::size_t Remaining() const { return bytes_.size() - pos_; }

    bool Fits(const char* name, std::size_t size) {
        if (failed()) {
            return false;
        }
        if (size > Remaining()) {
            Fail(StateFileStatus::Truncated,
                 "the file is too short: it has " + std::to_string(bytes_.size()) +
                     " bytes and ends inside " + name + ", which takes bytes " +
                     std::to_string(pos_) + " to " + std::to_string(pos_ + size - 1));
            return false;
        }
        return true;
    }

    // Little-endian unsigned value of `size` bytes (at most 8).
    bool Take(const char* name, std::size_t size, std::uint64_t& value) {
        if (!Fits(name, size)) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint64_t>(bytes_[pos_ + i]) << (8 * i);
        }
        pos_ += size;
        return true;
    }

    void TakeText(const char* name, std::uint64_t count, std::string& text) {
        if (failed()) {
            return;
        }
        if (count > Remaining()) {
            Fail(StateFileStatus::Truncated, "the file is too short: the " + std::string(name) +
                                                 " claims " + std::to_string(count) +
                                                 " characters but only " +
                                                 std::to_string(Remaining()) + " bytes follow");
            return;
        }
        const auto* first = reinterpret_cast<const char*>(bytes_.data() + pos_);
        text.assign(first, static_cast<std::size_t>(count));
        pos_ += static_cast<std::size_t>(count);
    }

    void Fail(StateFileStatus status, std::string message) {
        status_ = status;
        message_ = std::move(message);
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    StateFileStatus status_ = StateFileStatus::Ok;
    std::string message_;
};

// Names the first number that is NaN or infinite. The array kept beside
// trace A is carried through unread, so whatever it holds is left alone.
class FiniteCheck {
  public:
    const std::optional<std::string>& problem() const { return problem_; }

    void Double(const char* name, const double& value) {
        if (!problem_ && !std::isfinite(value)) {
            problem_ = std::string(name) + " is not a finite number (" + FormatNumber(value) + ")";
        }
    }
    void Doubles(const char* name, const std::array<double, kTracePoints>& values) {
        for (std::size_t i = 0; i < values.size() && !problem_; ++i) {
            if (!std::isfinite(values[i])) {
                problem_ = FormatPoint(name, i) + " is not a finite number (" +
                           FormatNumber(values[i]) + ")";
            }
        }
    }
    void Int32(const char*, const std::int32_t&) {}
    void Flag(const char*, const bool&) {}
    void Rows(const char*, const std::array<std::int32_t, kTracePoints>&) {}
    void OpaqueDoubles(const char*, const std::array<double, kTracePoints>&) {}
    void Title(const char*, const std::string&) {}

  private:
    std::optional<std::string> problem_;
};

class Adjuster {
  public:
    explicit Adjuster(std::vector<std::string>& notes) : notes_(notes) {}

    void Set(const char* name, double& field, double value) {
        notes_.push_back(std::string(name) + " " + FormatNumber(field) + " became " +
                         FormatNumber(value));
        field = value;
    }
    void Set(const char* name, std::int32_t& field, std::int32_t value) {
        notes_.push_back(std::string(name) + " " + std::to_string(field) + " became " +
                         std::to_string(value));
        field = value;
    }
    void ClampDouble(const char* name, double& field, double low, double high) {
        if (field < low || field > high) {
            Set(name, field, std::clamp(field, low, high));
        }
    }
    template <typename T>
    void ClampArray(const char* name, std::array<T, kTracePoints>& values, T low, T high) {
        int changed = 0;
        for (T& value : values) {
            if (value < low || value > high) {
                value = std::clamp(value, low, high);
                ++changed;
            }
        }
        if (changed > 0) {
            notes_.push_back(std::string(name) + ": " + std::to_string(changed) + " of " +
                             std::to_string(kTracePoints) + " points brought into " +
                             FormatNumber(low) + " .. " + FormatNumber(high));
        }
    }

  private:
    std::vector<std::string>& notes_;
};

bool IsZeroSpan(const StateRecord& r) {
    return tavlin::IsZeroSpan(r.stopFreqHz - r.startFreqHz);
}

// Values that nothing in the program can mean and no command rule maps to a
// legal one: the file is refused rather than guessed at.
//  - dB/div at or below 0: every row is a division by it; the dB/div entry has
//    no rule that picks a scale.
//  - SYNC / TRIG outside 0..3: a connector mode that does not exist; moving it
//    to the nearest mode could leave the sweep waiting for an external trigger.
//  - RBW at or below 0: no sweep kind reports one, and noise readouts take its
//    logarithm.
//  - a negative swept-mode sweep time: it is a measured duration.
std::optional<std::string> FindMeaninglessValue(const StateRecord& r) {
    if (r.dbPerDiv <= 0.0) {
        return "dbPerDiv " + FormatNumber(r.dbPerDiv) + " is not a positive scale";
    }
    if (r.syncTrigMode < 0 || r.syncTrigMode > 3) {
        return "syncTrigMode " + std::to_string(r.syncTrigMode) + " is not a mode from 0 to 3";
    }
    if (r.rbwHz <= 0.0) {
        return "rbwHz " + FormatNumber(r.rbwHz) + " is not a positive bandwidth";
    }
    if (!IsZeroSpan(r) && r.sweepTimeSec < 0.0) {
        return "sweepTimeSec " + FormatNumber(r.sweepTimeSec) + " is a negative sweep time";
    }
    return std::nullopt;
}

// Start and stop as the start/stop validation leaves them: each edge inside
// the band, and a stop below the start folded onto the centre.
void BringFrequenciesIntoBand(StateRecord& r, Adjuster& adjust) {
    adjust.ClampDouble("startFreqHz", r.startFreqHz, 0.0, kMaxFreqHz);
    adjust.ClampDouble("stopFreqHz", r.stopFreqHz, 0.0, kMaxFreqHz);
    if (r.stopFreqHz < r.startFreqHz) {
        const double centre = (r.startFreqHz + r.stopFreqHz) / 2;
        adjust.Set("startFreqHz", r.startFreqHz, centre);
        adjust.Set("stopFreqHz", r.stopFreqHz, centre);
    }
}

// Nearest of 0, 5, 10 and 15 dB; halfway goes to the higher attenuation,
// which is the safer side for the input.
double NearestAttenuation(double attenDb) {
    const double steps = std::clamp(std::round(attenDb / 5.0), 0.0, 3.0);
    return steps * 5.0;
}

// Nearest of the three averaging choices 1, 10 and 100; halfway goes to the
// lighter averaging.
std::int32_t NearestVideoAverage(std::int32_t count) {
    constexpr std::int32_t kChoices[] = {1, 10, 100};
    std::int32_t best = kChoices[0];
    for (const std::int32_t choice : kChoices) {
        const std::int64_t distance = std::abs(std::int64_t{count} - choice);
        if (distance < std::abs(std::int64_t{count} - best)) {
            best = choice;
        }
    }
    return best;
}

// What a setting can mean on this instrument. A finite number beyond these
// (1e300 dBm) has no meaning either, and printed it fills the screen with
// digits: it is brought to the nearest end.
// The reference level as the SCPI server accepts it.
constexpr double kLowestRefLevelDbm = -200.0;
constexpr double kHighestRefLevelDbm = 100.0;
constexpr double kLargestLevelOffsetDb = 200.0;  // external amplifiers and attenuators
constexpr double kLargestLevelStepDb = 100.0;
constexpr double kLargestDbPerDiv = 100.0;
constexpr double kLargestSpanRbwRatio = 1e6;
constexpr double kLongestSweepSec = 3600.0;
// Marker levels are dBm, mV on the linear scale (707 V is +100 dBm) or Hz
// of FM deviation.
constexpr double kLargestMarkerLevel = 1e6;

struct SettingRange {
    const char* name;
    double StateRecord::*field;
    double low;
    double high;
};

constexpr SettingRange kSettingRanges[] = {
    {"refLevelDbm", &StateRecord::refLevelDbm, kLowestRefLevelDbm, kHighestRefLevelDbm},
    {"refLevelOffsetDb", &StateRecord::refLevelOffsetDb, -kLargestLevelOffsetDb,
     kLargestLevelOffsetDb},
    {"refLevelStepDb", &StateRecord::refLevelStepDb, -kLargestLevelStepDb, kLargestLevelStepDb},
    {"dbPerDiv", &StateRecord::dbPerDiv, 0.0, kLargestDbPerDiv},
    {"cfStepHz", &StateRecord::cfStepHz, -kMaxFreqHz, kMaxFreqHz},
    {"rbwHz", &StateRecord::rbwHz, 0.0, kMaxFreqHz},
    {"spanRbwRatio", &StateRecord::spanRbwRatio, 0.0, kLargestSpanRbwRatio},
    {"sweepTimeSec", &StateRecord::sweepTimeSec, 0.0, kLongestSweepSec},
    {"marker1Pos", &StateRecord::marker1Pos, 0.0, kMaxFreqHz},
    {"marker2Pos", &StateRecord::marker2Pos, 0.0, kMaxFreqHz},
    {"marker1Level", &StateRecord::marker1Level, -kLargestMarkerLevel, kLargestMarkerLevel},
    {"marker2Level", &StateRecord::marker2Level, -kLargestMarkerLevel, kLargestMarkerLevel},
    {"counterFreqHz", &StateRecord::counterFreqHz, -kMaxFreqHz, kMaxFreqHz},
    {"peakFreqHint", &StateRecord::peakFreqHint, -1.0, kMaxFreqHz},
};

// The ranges' lower ends of dB/div, RBW, ratio and sweep time are refused or
// mended by the rules before, so only their upper ends act here.
void BringIntoMeaning(StateRecord& r, Adjuster& adjust) {
    for (const SettingRange& range : kSettingRanges) {
        adjust.ClampDouble(range.name, r.*range.field, range.low, range.high);
    }
}

// Values that a command of the program would have brought into range by its
// own rule get that rule here; a value already legal is never touched, so a
// file the program saved loads back exactly.
void BringIntoRange(StateRecord& r, Adjuster& adjust) {
    if (const double atten = NearestAttenuation(r.attenDb); atten != r.attenDb) {
        adjust.Set("attenDb", r.attenDb, atten);
    }
    if (const std::int32_t count = NearestVideoAverage(r.videoAvgCount); count != r.videoAvgCount) {
        adjust.Set("videoAvgCount", r.videoAvgCount, count);
    }
    // The Max FM Offset entry's rule: below 10 Hz becomes 10 Hz, above 120 kHz
    // becomes 100 kHz.
    if (r.maxFmOffsetHz < kMinFmOffsetHz) {
        adjust.Set("maxFmOffsetHz", r.maxFmOffsetHz, kMinFmOffsetHz);
    } else if (r.maxFmOffsetHz > kMaxFmOffsetHz) {
        adjust.Set("maxFmOffsetHz", r.maxFmOffsetHz, kReducedFmOffsetHz);
    }
    // The bandwidth rule falls back to the preset ratio for a ratio that
    // cannot divide a span.
    if (r.spanRbwRatio <= 0.0) {
        adjust.Set("spanRbwRatio", r.spanRbwRatio, preset::kSpanRbwRatio);
    }
    // In zero span the sweep time sets the decimation and the capture length:
    // keep it to what the Zero Span Settings dialog accepts.
    if (IsZeroSpan(r)) {
        adjust.ClampDouble("sweepTimeSec", r.sweepTimeSec, kMinZeroSpanSweepSec,
                           kMaxZeroSpanSweepSec);
    }
    adjust.ClampArray<double>("traceA", r.traceA, kTraceRowTop, kTraceRowBottom);
    adjust.ClampArray<std::int32_t>("traceAInt", r.traceAInt, kTraceRowTop, kTraceRowBottom);
    adjust.ClampArray<std::int32_t>("traceBRows", r.traceBRows, -kLimitRowGuard, kLimitRowGuard);
    adjust.ClampArray<std::int32_t>("upperLimitRows", r.upperLimitRows, -kLimitRowGuard,
                                    kLimitRowGuard);
}

StateFileDecodeResult Failure(StateFileStatus status, std::string message) {
    StateFileDecodeResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

}  // namespace

std::vector<std::uint8_t> EncodeStateFile(const StateRecord& record) {
    std::vector<std::uint8_t> out;
    out.reserve(kStateFileLengthNoTitle + 6 + record.title.size());
    FieldWriter writer(out);
    writer.Int32("version", kStateFileVersion);
    VisitStateFields(record, writer);
    return out;
}

StateFileDecodeResult DecodeStateFile(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return Failure(StateFileStatus::Empty, "the file is empty");
    }
    FieldReader reader(bytes);
    std::int32_t version = 0;
    reader.Int32("the format version", version);
    if (!reader.failed() && version != kStateFileVersion) {
        return Failure(StateFileStatus::NotRecognized,
                       "the format version is " + std::to_string(version) + ", not 1");
    }
    StateRecord record;
    VisitStateFields(record, reader);
    if (reader.failed()) {
        return Failure(reader.status(), reader.message());
    }

    FiniteCheck finite;
    VisitStateFields(std::as_const(record), finite);
    if (finite.problem()) {
        return Failure(StateFileStatus::NotFinite, *finite.problem());
    }

    std::vector<std::string> adjustments;
    Adjuster adjust(adjustments);
    BringFrequenciesIntoBand(record, adjust);
    if (const auto problem = FindMeaninglessValue(record)) {
        return Failure(StateFileStatus::OutOfRange, *problem);
    }
    BringIntoRange(record, adjust);
    BringIntoMeaning(record, adjust);
    if (const std::size_t extra = bytes.size() - reader.position(); extra > 0) {
        adjustments.push_back(std::to_string(extra) + " bytes after the last field were ignored");
    }

    StateFileDecodeResult result;
    result.status = StateFileStatus::Ok;
    result.record = std::move(record);
    result.adjustments = std::move(adjustments);
    return result;
}

}  // namespace tavlin
