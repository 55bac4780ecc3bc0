#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tavlin {

// The real and imaginary parts of n complex values as two arrays in one
// allocation, for the in-place FFT. Each part starts on a 64-byte boundary
// (the transform's vectors load whole cache lines), and the imaginary part
// lies 512 bytes beyond the end of the real one: two arrays a power of two
// apart fall into the same cache sets, and a transform that walks both side
// by side then evicts its own data.
class SplitComplexBuffer {
  public:
    explicit SplitComplexBuffer(std::size_t n);

    std::size_t size() const { return size_; }
    std::span<double> Re() { return {storage_.data() + reOffset_, size_}; }
    std::span<double> Im() { return {storage_.data() + imOffset_, size_}; }
    std::span<const double> Re() const { return {storage_.data() + reOffset_, size_}; }
    std::span<const double> Im() const { return {storage_.data() + imOffset_, size_}; }

  private:
    std::size_t size_;
    std::vector<double> storage_;
    std::size_t reOffset_ = 0;
    std::size_t imOffset_ = 0;
};

}  // namespace tavlin
