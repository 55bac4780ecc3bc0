#include "dsp/split_complex_buffer.h"

#include <cstdint>

namespace tavlin {

namespace {

constexpr std::size_t kAlignDoubles = 64 / sizeof(double);
constexpr std::size_t kStaggerDoubles = 512 / sizeof(double);

std::size_t RoundUp(std::size_t n, std::size_t step) {
    return (n + step - 1) / step * step;
}

}  // namespace

SplitComplexBuffer::SplitComplexBuffer(std::size_t n)
    : size_(n), storage_(RoundUp(n, kAlignDoubles) * 2 + kStaggerDoubles + kAlignDoubles, 0.0) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
    const std::size_t misalignment = address % 64;
    reOffset_ = misalignment == 0 ? 0 : (64 - misalignment) / sizeof(double);
    imOffset_ = reOffset_ + RoundUp(n, kAlignDoubles) + kStaggerDoubles;
}

}  // namespace tavlin
