// FFT kernels with two doubles per vector: SSE2 on every x86-64, NEON or the
// compiler's own lowering elsewhere.
#include "dsp/fft_kernels_impl.h"

namespace tavlin::fft_kernels {
namespace {

constexpr int kWidth = 2;

void PortableFirstPassTile(const double* srcRe, const double* srcIm, std::size_t srcStride,
                           double* dstRe, double* dstIm, std::size_t dstStride, bool twoEightPoint,
                           double scale) {
    FirstPassTile<kWidth>(srcRe, srcIm, srcStride, dstRe, dstIm, dstStride, twoEightPoint, scale);
}

void PortableRadix4Stage(double* re, double* im, std::size_t length, std::size_t groups,
                         const double* table) {
    Radix4Stage<kWidth>(re, im, length, groups, table);
}

void PortableRadix4StageTwoLevel(double* re, double* im, std::size_t length, const double* table) {
    Radix4StageTwoLevel<kWidth>(re, im, length, table);
}

constexpr KernelSet kPortableKernels{&PortableFirstPassTile, &PortableRadix4Stage,
                                     &PortableRadix4StageTwoLevel};

}  // namespace

const KernelSet& PortableKernels() {
    return kPortableKernels;
}

}  // namespace tavlin::fft_kernels
