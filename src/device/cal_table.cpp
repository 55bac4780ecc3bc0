#include "device/cal_table.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "device/cal_plausibility.h"

namespace tavlin {

namespace {

using namespace cal_fields;

constexpr double kTcxoCentre = 32768.0;
constexpr double kFirstIfNominalHz = 10694444.4444;
constexpr double kSecondIfNominalHz = 2916666.6667;
constexpr double kSampleRateNominalHz = 486111.1111;

// Lookups clamp their index into the field, so a caller's slip reads the
// field's edge instead of a neighbouring field.
int Clamped(int index, int count) {
    return std::clamp(index, 0, count - 1);
}

bool IsSafeFileNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

}  // namespace

CalTable::CalTable(std::filesystem::path cacheDirectory)
    : cacheDirectory_(std::move(cacheDirectory)) {}

std::uint16_t CalTable::Word(int offset) const {
    return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
}

std::uint8_t CalTable::BlankMark() const {
    return bytes_[kBlankMarkOffset];
}

std::string CalTable::CalDate() const {
    const char* text = reinterpret_cast<const char*>(bytes_.data() + kCalDateOffset);
    const std::size_t length = ::strnlen(text, kCalDateBytes);
    return std::string(text, length);
}

std::uint8_t CalTable::PreampRolloff(int index) const {
    return bytes_[kPreampRolloffOffset + Clamped(index, kPreampRolloffPoints)];
}

std::uint8_t CalTable::IfGain2_9(bool highBand) const {
    return bytes_[highBand ? kIfGain2_9HighOffset : kIfGain2_9LowOffset];
}

std::uint8_t CalTable::BroadbandPower() const {
    return bytes_[kBroadbandPowerOffset];
}

std::uint8_t CalTable::LowBandFlatness(int row, int index) const {
    return bytes_[kLowBandFlatnessOffset + Clamped(row, kFlatnessRows) * kLowBandPoints +
                  Clamped(index, kLowBandPoints)];
}

std::uint8_t CalTable::HighBandFlatness(int row, int index) const {
    return bytes_[kHighBandFlatnessOffset + Clamped(row, kFlatnessRows) * kHighBandPoints +
                  Clamped(index, kHighBandPoints)];
}

std::uint8_t CalTable::IfFlatness10M7(int index) const {
    return bytes_[kIfFlatness10M7Offset + Clamped(index, kIfFlatnessBytes)];
}

std::uint8_t CalTable::IfFlatness2M9(int index) const {
    return bytes_[kIfFlatness2M9Offset + Clamped(index, kIfFlatnessBytes)];
}

std::uint16_t CalTable::LowGainStep() const {
    return Word(kLowGainStepOffset);
}
std::uint16_t CalTable::HighGainStep() const {
    return Word(kHighGainStepOffset);
}

std::uint16_t CalTable::IfClip(bool highBand) const {
    return Word(highBand ? kIfClipHighOffset : kIfClipLowOffset);
}

std::uint16_t CalTable::TcxoOffset() const {
    return Word(kTcxoOffsetOffset);
}

std::uint8_t CalTable::PreampLowBand(int index) const {
    return bytes_[kPreampLowBandOffset + Clamped(index, kLowBandPoints)];
}

std::uint8_t CalTable::PreampHighBand(int index) const {
    return bytes_[kPreampHighBandOffset + Clamped(index, kHighBandPoints)];
}

double CalTable::TimebaseFromTable() const {
    return 1.0 + (static_cast<double>(TcxoOffset()) - kTcxoCentre) * 1e-9;
}

void CalTable::DeriveValues() {
    for (int i = 0; i < kIfResponsePoints; ++i) {
        ifResponse_[i] = IfFlatness10M7(i) * 0.01;
    }
    for (int i = 0; i < kIfResponsePoints; ++i) {
        ifResponse2_[i] = IfFlatness2M9(i) * 0.01;
    }
    timebaseCorrection_ = TimebaseFromTable();
    ifFreq1Hz_ = timebaseCorrection_ * kFirstIfNominalHz;
    ifFreq2Hz_ = timebaseCorrection_ * kSecondIfNominalHz;
    sampleRateHz_ = timebaseCorrection_ * kSampleRateNominalHz;
}

std::filesystem::path CalTable::CacheFilePath(const std::string& deviceSerial) const {
    std::string name;
    std::copy_if(deviceSerial.begin(), deviceSerial.end(), std::back_inserter(name),
                 IsSafeFileNameChar);
    return cacheDirectory_ / (name + ".kvo");
}

CalLoadSource CalTable::Load(const std::string& deviceSerial, DeviceLink& link,
                             ProgressSink& progress) {
    const std::filesystem::path path = CacheFilePath(deviceSerial);
    untrusted_.clear();
    CalLoadSource source = CalLoadSource::CacheFile;
    if (LoadCacheFile(path)) {
        // The file may hold adjustments the unit's memory has not been given
        // (a TCXO recalibration saves the file alone): it stays in use, and
        // deleting it reads the unit again.
        if (const std::optional<std::string> doubt = Implausibility()) {
            untrusted_ = path.filename().string() + ": " + *doubt;
        }
    } else if (!link.ReadCalMemory(bytes_.data(), progress)) {
        // A read that came back short must not be cached: every later preset
        // would load the damaged image for good instead of asking the device.
        source = CalLoadSource::DeviceIncomplete;
        untrusted_ = "the calibration memory was not read whole";
    } else if (const std::optional<std::string> doubt = Implausibility()) {
        // Nor a table that cannot be right: a blank or damaged memory would
        // stay in the file after the unit is calibrated.
        source = CalLoadSource::Implausible;
        untrusted_ = "the unit's memory: " + *doubt;
    } else {
        WriteCacheFile(path);
        source = CalLoadSource::Device;
    }
    DeriveValues();
    return source;
}

std::optional<std::string> CalTable::Implausibility() const {
    const std::optional<CalFieldLimits> limits = ReadCalFieldLimits(cacheDirectory_);
    return FindImplausibleCalField(bytes_, limits ? &*limits : nullptr);
}

bool CalTable::Store(const std::string& deviceSerial, DeviceLink& link,
                     const std::string& asctimeText) {
    const std::filesystem::path path = CacheFilePath(deviceSerial);
    std::uint8_t* date = bytes_.data() + kCalDateOffset;
    std::fill_n(date, kCalDateBytes, 0);
    // The text and its terminator; the zeros after it carry no meaning.
    const std::size_t length = ::strnlen(asctimeText.c_str(), kCalDateBytes - 1);
    std::copy_n(asctimeText.begin(), length, date);

    const bool written = link.WriteCalMemory(bytes_.data());
    // The file keeps the adjusted table even when the device refused it, so
    // the adjustment is not lost; the caller reports the failed write.
    WriteCacheFile(path);
    return written;
}

// A cache file of any other size than the cached part is treated as missing:
// a short file would splice another unit's table into this one.
bool CalTable::LoadCacheFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> content;
    std::string error;
    if (!ReadWholeFile(path, kCachedBytes, content, error) || content.size() != kCachedBytes) {
        return false;
    }
    std::memcpy(bytes_.data(), content.data(), kCachedBytes);
    return true;
}

bool CalTable::SaveCacheFile(const std::string& deviceSerial) {
    return WriteCacheFile(CacheFilePath(deviceSerial));
}

bool CalTable::WriteCacheFile(const std::filesystem::path& path) {
    lastCacheError_.clear();
    return WriteFileAtomically(path, std::span<const std::uint8_t>(bytes_.data(), kCachedBytes),
                               lastCacheError_);
}

}  // namespace tavlin
