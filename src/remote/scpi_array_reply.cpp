#include "remote/scpi_array_reply.h"

#include <bit>
#include <cstdint>

namespace tavlin {

namespace {

constexpr int kFloatBytes = 4;

void AppendFloat(std::string& block, double value, bool swapped) {
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    for (int i = 0; i < kFloatBytes; ++i) {
        const int shift = swapped ? 8 * i : 8 * (kFloatBytes - 1 - i);
        block += static_cast<char>((bits >> shift) & 0xFFu);
    }
}

std::string BinaryBlock(std::span<const double> values, bool swapped) {
    const std::string length = std::to_string(values.size() * kFloatBytes);
    std::string block = "#" + std::to_string(length.size()) + length;
    block.reserve(block.size() + values.size() * kFloatBytes);
    for (const double value : values) {
        AppendFloat(block, value, swapped);
    }
    return block;
}

}  // namespace

std::string ScpiArrayReply(std::span<const double> values, ScpiDataFormat format, bool swapped,
                           const std::function<std::string(double)>& text) {
    if (format == ScpiDataFormat::kReal32) {
        return BinaryBlock(values, swapped);
    }
    std::string reply;
    reply.reserve(values.size() * 10);
    for (const double value : values) {
        if (!reply.empty()) {
            reply += ',';
        }
        reply += text(value);
    }
    return reply;
}

}  // namespace tavlin
