// libFuzzer target: the plausibility check of a calibration table, on any
// bytes. The input is the table's cached part, optionally followed by the
// factory's lowest and highest tables. The check must never read outside the
// image, must give the same answer twice, must name what it refuses in a
// short message, and must never pass an erased memory or a reference
// oscillator beyond 30 ppm.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/cal_plausibility.h"
#include "device/cal_table.h"

namespace {

constexpr std::size_t kTableBytes = tavlin::CalTable::kCachedBytes;
constexpr std::size_t kLongestMessage = 300;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input's size, so a read past it is caught.
    const std::vector<std::uint8_t> input(data, data + size);
    const std::span<const std::uint8_t> image(input.data(), std::min(size, kTableBytes));
    std::optional<tavlin::CalFieldLimits> limits;
    if (size >= kTableBytes + 2 * tavlin::CalFieldLimits::kBytes) {
        limits.emplace();
        std::memcpy(limits->min.data(), data + kTableBytes, tavlin::CalFieldLimits::kBytes);
        std::memcpy(limits->max.data(), data + kTableBytes + tavlin::CalFieldLimits::kBytes,
                    tavlin::CalFieldLimits::kBytes);
    }
    const tavlin::CalFieldLimits* given = limits ? &*limits : nullptr;
    const std::optional<std::string> found = tavlin::FindImplausibleCalField(image, given);
    Require(found == tavlin::FindImplausibleCalField(image, given));
    if (found) {
        Require(!found->empty() && found->size() < kLongestMessage);
        return 0;
    }
    // The first byte is the blank mark, which a unit calibrated here keeps:
    // only a wholly erased image is refused for its 0xFF.
    Require(image.size() == kTableBytes &&
            !std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; }));
    const int tcxoPpb = (image[2548] | (image[2549] << 8)) - 32768;
    Require(tcxoPpb >= -30000 && tcxoPpb <= 30000);
    return 0;
}
