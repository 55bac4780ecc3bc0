#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "device/device_link.h"

namespace tavlin {

class ProgressSink;

// Byte offsets of the fields in the calibration memory (words little-endian),
// for the table's lookups and the factory procedures that fill them.
namespace cal_fields {
inline constexpr int kBlankMarkOffset = 0;
inline constexpr int kCalDateOffset = 64;
inline constexpr int kCalDateBytes = 48;
inline constexpr int kPreampRolloffOffset = 112;
inline constexpr int kPreampRolloffPoints = 15;
inline constexpr int kIfGain2_9LowOffset = 129;
inline constexpr int kIfGain2_9HighOffset = 130;
inline constexpr int kBroadbandPowerOffset = 131;
inline constexpr int kLowBandFlatnessOffset = 132;
inline constexpr int kLowBandPoints = 150;
inline constexpr int kHighBandFlatnessOffset = 732;
inline constexpr int kHighBandPoints = 426;
inline constexpr int kFlatnessRows = 4;
inline constexpr int kIfFlatness10M7Offset = 2436;
inline constexpr int kIfFlatness2M9Offset = 2488;
inline constexpr int kIfFlatnessBytes = 52;
inline constexpr int kLowGainStepOffset = 2540;
inline constexpr int kHighGainStepOffset = 2542;
inline constexpr int kIfClipHighOffset = 2544;
inline constexpr int kIfClipLowOffset = 2546;
inline constexpr int kTcxoOffsetOffset = 2548;
inline constexpr int kPreampLowBandOffset = 2552;
inline constexpr int kPreampHighBandOffset = 2702;
}  // namespace cal_fields

enum class CalLoadSource {
    CacheFile,         // the serial's cache file was read; no device traffic
    Device,            // read from the device memory and cached
    DeviceIncomplete,  // the device read came back short: used, not cached
    Implausible,       // the device's table cannot be right: used, flagged, not cached
};

// Image of the instrument's 4096-byte factory calibration memory, with the
// field lookups and the document values derived from it.
class CalTable {
  public:
    static constexpr int kCachedBytes = 3128;
    static constexpr int kIfResponsePoints = 51;

    explicit CalTable(std::filesystem::path cacheDirectory = ".");

    std::array<std::uint8_t, kCalMemoryBytes>& Bytes() { return bytes_; }
    const std::array<std::uint8_t, kCalMemoryBytes>& Bytes() const { return bytes_; }

    // Raw fields (layout of the device memory, little-endian).
    std::uint8_t BlankMark() const;
    std::string CalDate() const;                  // up to the terminator, at most 48 bytes
    std::uint8_t PreampRolloff(int index) const;  // 0 .. 14
    std::uint8_t IfGain2_9(bool highBand) const;  // IFGAIN2_9B1 / IFGAIN2_9B0
    std::uint8_t BroadbandPower() const;
    std::uint8_t LowBandFlatness(int row, int index) const;   // row 0..3, index 0..149
    std::uint8_t HighBandFlatness(int row, int index) const;  // row 0..3, index 0..425
    std::uint8_t IfFlatness10M7(int index) const;             // 0 .. 51
    std::uint8_t IfFlatness2M9(int index) const;              // 0 .. 51
    std::uint16_t LowGainStep() const;
    std::uint16_t HighGainStep() const;
    std::uint16_t IfClip(bool highBand) const;  // IFClipHB150 / IFClipLB150
    std::uint16_t TcxoOffset() const;
    std::uint8_t PreampLowBand(int index) const;   // 0 .. 149
    std::uint8_t PreampHighBand(int index) const;  // 0 .. 425

    // Derived values, recomputed by every load.
    const std::array<double, kIfResponsePoints>& IfResponse() const { return ifResponse_; }
    const std::array<double, kIfResponsePoints>& IfResponse2() const { return ifResponse2_; }
    double TimebaseCorrection() const { return timebaseCorrection_; }
    double IfFreq1Hz() const { return ifFreq1Hz_; }
    double IfFreq2Hz() const { return ifFreq2Hz_; }
    double SampleRateHz() const { return sampleRateHz_; }
    // 1 + (tcxoOffset - 32768) x 1e-9, straight from the table.
    double TimebaseFromTable() const;
    void DeriveValues();

    // Cache file of a serial: only letters, digits, '-' and '_' of the serial
    // are kept, so a serial can never name a file outside the cache folder.
    std::filesystem::path CacheFilePath(const std::string& deviceSerial) const;

    // Fills the image from the serial's cache file or from the device memory,
    // then derives the values. A table that cannot be right is used (it is
    // the unit's, or the file holds adjustments the unit lacks) and
    // Untrusted says why, naming where it came from; one read from the
    // device is never cached.
    CalLoadSource Load(const std::string& deviceSerial, DeviceLink& link, ProgressSink& progress);

    // Stamps calDate with the given asctime text, writes the device memory and
    // the cache file. False when the device write or its reopen failed.
    bool Store(const std::string& deviceSerial, DeviceLink& link, const std::string& asctimeText);
    // Writes the serial's cache file alone (the device memory keeps its old
    // table). False, with LastCacheError, when the file could not be written.
    bool SaveCacheFile(const std::string& deviceSerial);

    // Why the table in use cannot be trusted, naming the field; empty when
    // it can. Set by every load.
    const std::string& Untrusted() const { return untrusted_; }

    // Why the last cache file write failed; empty when it succeeded. A failed
    // write is not reported to the user: the next preset reads the device.
    const std::string& LastCacheError() const { return lastCacheError_; }

  private:
    bool LoadCacheFile(const std::filesystem::path& path);
    // Why the image cannot be right, against the factory limits when the
    // cache folder holds them.
    std::optional<std::string> Implausibility() const;
    bool WriteCacheFile(const std::filesystem::path& path);
    std::uint16_t Word(int offset) const;

    std::filesystem::path cacheDirectory_;
    std::string lastCacheError_;
    std::string untrusted_;
    std::array<std::uint8_t, kCalMemoryBytes> bytes_{};
    std::array<double, kIfResponsePoints> ifResponse_{};
    std::array<double, kIfResponsePoints> ifResponse2_{};
    double timebaseCorrection_ = 1.0;
    double ifFreq1Hz_ = 10694444.4444;
    double ifFreq2Hz_ = 2916666.6667;
    double sampleRateHz_ = 486111.1111;
};

}  // namespace tavlin
