// FFT kernels with four doubles per vector and fused multiply-add, chosen at
// run time on processors that have AVX2 and FMA.
#include "dsp/fft_kernels_impl.h"

namespace tavlin::fft_kernels {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

constexpr int kWidth = 4;

[[gnu::target("avx2,fma")]] void Avx2FirstPassTile(const double* srcRe, const double* srcIm,
                                                   std::size_t srcStride, double* dstRe,
                                                   double* dstIm, std::size_t dstStride,
                                                   bool twoEightPoint, double scale) {
    FirstPassTile<kWidth>(srcRe, srcIm, srcStride, dstRe, dstIm, dstStride, twoEightPoint, scale);
}

[[gnu::target("avx2,fma")]] void Avx2Radix4Stage(double* re, double* im, std::size_t length,
                                                 std::size_t groups, const double* table) {
    Radix4Stage<kWidth>(re, im, length, groups, table);
}

[[gnu::target("avx2,fma")]] void Avx2Radix4StageTwoLevel(double* re, double* im, std::size_t length,
                                                         const double* table) {
    Radix4StageTwoLevel<kWidth>(re, im, length, table);
}

constexpr KernelSet kAvx2Kernels{&Avx2FirstPassTile, &Avx2Radix4Stage, &Avx2Radix4StageTwoLevel};

}  // namespace

const KernelSet* Avx2Kernels() {
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported ? &kAvx2Kernels : nullptr;
}

#else

const KernelSet* Avx2Kernels() {
    return nullptr;
}

#endif

}  // namespace tavlin::fft_kernels
