#include "device/cal_plausibility.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/atomic_file.h"
#include "device/cal_table.h"

namespace tavlin {

namespace {

using namespace cal_fields;

constexpr std::uint8_t kErasedByte = 0xFF;
// The adjustments store flatness entries of 0 to 254 and judge a measured
// entry against the factory limits with this much room either side.
constexpr int kLimitMargin = 16;
// The IF response tables hold 1/response in hundredths, 1.00 in the middle of
// the passband; a middle entry this far from it is no passband.
constexpr int kIfMiddleEntry = 25;
constexpr int kIfMiddleLowest = 50;
constexpr int kIfMiddleHighest = 200;
// The sample clock and IFs are corrected for up to 30 ppm of reference
// error, far more than any working oscillator has; the word's own ends,
// +-32.8 ppm, are where erased and zeroed memories land.
constexpr double kLargestTcxoPpb = 30000.0;
constexpr double kTcxoCentre = 32768.0;
// Gain steps in dB: value x 0.02 + base; a step of the IF gain modes is some
// ten to twenty dB.
constexpr double kGainStepDbPerCount = 0.02;
constexpr double kLowGainStepBaseDb = 16.0 - 2.56;
constexpr double kHighGainStepBaseDb = 12.0 - 2.56;
constexpr double kLargestGainStepDb = 40.0;
// Absolute level references: (value - 32768) x 0.001 - 10.5 dB; a unit's
// front end is within a few dB of the nominal -10.5.
constexpr double kLevelDbPerCount = 0.001;
constexpr double kLevelBaseDb = -10.5;
constexpr double kLevelLowestDb = -30.5;
constexpr double kLevelHighestDb = 9.5;

std::string Hex(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string Number(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

std::uint16_t Word(std::span<const std::uint8_t> image, int offset) {
    return static_cast<std::uint16_t>(image[offset] | (image[offset + 1] << 8));
}

// The blank mark alone proves nothing: no adjustment writes it, so a blank
// unit calibrated here keeps it. An erased memory is all 0xFF.
std::optional<std::string> CheckWholeMemory(std::span<const std::uint8_t> image) {
    const std::uint8_t first = image[0];
    const auto cached = image.first(CalTable::kCachedBytes);
    if (!std::all_of(cached.begin(), cached.end(),
                     [first](std::uint8_t b) { return b == first; })) {
        return std::nullopt;
    }
    if (first == kErasedByte) {
        return "every byte of the table is 0xFF: the calibration memory is erased, as on a unit "
               "never calibrated";
    }
    return "every byte of the table is " + Hex(first) + ": the memory holds no calibration";
}

struct FlatnessField {
    const char* name;
    int offset;
    int points;
};

constexpr FlatnessField kFlatnessFields[] = {
    {"lowBandFlatness", kLowBandFlatnessOffset, kLowBandPoints},
    {"highBandFlatness", kHighBandFlatnessOffset, kHighBandPoints},
};

std::string EntryName(const FlatnessField& field, int index) {
    return std::string(field.name) + " row " + std::to_string(index / field.points) + " entry " +
           std::to_string(index % field.points);
}

std::optional<std::string> CheckFlatness(std::span<const std::uint8_t> image,
                                         const CalFieldLimits* limits) {
    for (const FlatnessField& field : kFlatnessFields) {
        for (int i = 0; i < field.points * kFlatnessRows; ++i) {
            const int at = field.offset + i;
            const int value = image[at];
            if (value == kErasedByte) {
                return EntryName(field, i) + " is 0xFF, an erased byte: no adjustment stores it";
            }
            if (limits != nullptr && (value < limits->min[at] - kLimitMargin ||
                                      value > limits->max[at] + kLimitMargin)) {
                return EntryName(field, i) + " is " + std::to_string(value) +
                       ", outside the factory limits " + std::to_string(limits->min[at]) + " .. " +
                       std::to_string(limits->max[at]);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckIfResponse(std::span<const std::uint8_t> image, const char* name,
                                           int offset) {
    for (int i = 0; i < CalTable::kIfResponsePoints; ++i) {
        if (image[offset + i] == 0) {
            return std::string(name) + " entry " + std::to_string(i) +
                   " is 0: the IF path would have no response there";
        }
    }
    const int middle = image[offset + kIfMiddleEntry];
    if (middle < kIfMiddleLowest || middle > kIfMiddleHighest) {
        char multiplier[16];
        std::snprintf(multiplier, sizeof multiplier, "%.2f", middle * 0.01);
        return std::string(name) + " is " + multiplier +
               " at the middle of the passband, where a unit reads about 1.00";
    }
    return std::nullopt;
}

std::optional<std::string> CheckIfGainOffsets(std::span<const std::uint8_t> image) {
    if (image[kIfGain2_9LowOffset] == kErasedByte || image[kIfGain2_9HighOffset] == kErasedByte) {
        const bool low = image[kIfGain2_9LowOffset] == kErasedByte;
        return std::string(low ? "IFGAIN2_9B0" : "IFGAIN2_9B1") +
               " is 0xFF, an erased byte: a 25.5 dB difference between the IF paths";
    }
    return std::nullopt;
}

std::optional<std::string> CheckGainStep(std::span<const std::uint8_t> image, const char* name,
                                         int offset, double baseDb) {
    const double db = Word(image, offset) * kGainStepDbPerCount + baseDb;
    if (db > kLargestGainStepDb) {
        return std::string(name) + " is a step of " + Number(db, "dB") + ", beyond the " +
               Number(kLargestGainStepDb, "dB") + " any IF gain mode steps";
    }
    return std::nullopt;
}

std::optional<std::string> CheckLevelReference(std::span<const std::uint8_t> image,
                                               const char* name, int offset) {
    const double db = (Word(image, offset) - kTcxoCentre) * kLevelDbPerCount + kLevelBaseDb;
    if (db < kLevelLowestDb || db > kLevelHighestDb) {
        return std::string(name) + " is " + Number(db, "dB") + ", outside the " +
               Number(kLevelLowestDb, "..") + " " + Number(kLevelHighestDb, "dB") +
               " of a working front end";
    }
    return std::nullopt;
}

std::optional<std::string> CheckTcxo(std::span<const std::uint8_t> image) {
    const double ppb = Word(image, kTcxoOffsetOffset) - kTcxoCentre;
    if (std::abs(ppb) > kLargestTcxoPpb) {
        return "tcxoOffset is " + Number(ppb, "ppb") + ", beyond the +-" +
               Number(kLargestTcxoPpb, "ppb") + " the reference can be corrected for";
    }
    return std::nullopt;
}

}  // namespace

std::optional<CalFieldLimits> ReadCalFieldLimits(const std::filesystem::path& folder) {
    CalFieldLimits limits;
    const std::pair<const char*, std::uint8_t*> files[] = {{"CALMIN.kvo", limits.min.data()},
                                                           {"CALMAX.kvo", limits.max.data()}};
    for (const auto& [name, into] : files) {
        std::vector<std::uint8_t> content;
        std::string error;
        // A file that is there but cannot be read is no limit either.
        if (!std::filesystem::exists(folder / name) ||
            !ReadWholeFile(folder / name, CalTable::kCachedBytes, content, error) ||
            content.size() < CalFieldLimits::kBytes) {
            return std::nullopt;
        }
        std::memcpy(into, content.data(), CalFieldLimits::kBytes);
    }
    return limits;
}

std::optional<std::string> FindImplausibleCalField(std::span<const std::uint8_t> image,
                                                   const CalFieldLimits* limits) {
    if (image.size() < static_cast<std::size_t>(CalTable::kCachedBytes)) {
        return "the table has " + std::to_string(image.size()) + " bytes, not " +
               std::to_string(CalTable::kCachedBytes);
    }
    using Check = std::optional<std::string> (*)(std::span<const std::uint8_t>);
    constexpr Check kChecks[] = {
        CheckWholeMemory,
        CheckTcxo,
        [](std::span<const std::uint8_t> t) {
            return CheckLevelReference(t, "IFClipHB150", kIfClipHighOffset);
        },
        [](std::span<const std::uint8_t> t) {
            return CheckLevelReference(t, "IFClipLB150", kIfClipLowOffset);
        },
        [](std::span<const std::uint8_t> t) {
            return CheckGainStep(t, "lowGainStep", kLowGainStepOffset, kLowGainStepBaseDb);
        },
        [](std::span<const std::uint8_t> t) {
            return CheckGainStep(t, "highGainStep", kHighGainStepOffset, kHighGainStepBaseDb);
        },
        CheckIfGainOffsets,
        [](std::span<const std::uint8_t> t) {
            return CheckIfResponse(t, "ifFlatness10M7", kIfFlatness10M7Offset);
        },
        [](std::span<const std::uint8_t> t) {
            return CheckIfResponse(t, "ifFlatness2M9", kIfFlatness2M9Offset);
        },
    };
    for (const Check check : kChecks) {
        if (std::optional<std::string> found = check(image)) {
            return found;
        }
    }
    return CheckFlatness(image, limits);
}

}  // namespace tavlin
