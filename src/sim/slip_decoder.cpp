#include "sim/slip_decoder.h"

namespace tavlin::sim {

void SlipDecoder::Feed(const std::uint8_t* data, std::size_t count,
                       std::vector<std::vector<std::uint8_t>>& frames) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == kEnd) {
            if (overlong_) {
                ++discarded_;
            } else if (!frame_.empty()) {
                frames.push_back(frame_);
            }
            Reset();
            continue;
        }
        if (escaped_) {
            escaped_ = false;
            // An escape followed by anything else keeps that byte, as
            // RFC 1055 receivers do.
            if (byte == kEscapedEnd) {
                Append(kEnd);
            } else if (byte == kEscapedEscape) {
                Append(kEscape);
            } else {
                Append(byte);
            }
            continue;
        }
        if (byte == kEscape) {
            escaped_ = true;
            continue;
        }
        Append(byte);
    }
}

void SlipDecoder::Reset() {
    frame_.clear();
    escaped_ = false;
    overlong_ = false;
}

void SlipDecoder::Append(std::uint8_t byte) {
    if (frame_.size() >= kMaxFrameBytes) {
        overlong_ = true;
        return;
    }
    frame_.push_back(byte);
}

}  // namespace tavlin::sim
