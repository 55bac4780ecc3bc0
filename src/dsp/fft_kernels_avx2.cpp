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
                                                 std::size_t groups, const double* table,
                                                 bool skipLast) {
    Radix4Stage<kWidth>(re, im, length, groups, table, skipLast);
}

[[gnu::target("avx2,fma")]] void Avx2Radix4StageTwoLevel(double* re, double* im, std::size_t length,
                                                         const double* table, bool skipLast) {
    Radix4StageTwoLevel<kWidth>(re, im, length, table, skipLast);
}

[[gnu::target("avx2,fma")]] void Avx2Radix4Tail(double* re, double* im, std::size_t length,
                                                const double* table, bool twoLevel) {
    Radix4Tail<kWidth>(re, im, length, table, twoLevel);
}

[[gnu::target("avx2,fma")]] void Avx2Radix16Stage(double* re, double* im, std::size_t length,
                                                  std::size_t groups, const double* table,
                                                  bool skipLast) {
    Radix16Stage<kWidth>(re, im, length, groups, table, skipLast);
}

[[gnu::target("avx2,fma")]] void Avx2Radix16Tail(double* re, double* im, std::size_t length,
                                                 const double* table) {
    Radix16Tail<kWidth>(re, im, length, table);
}

template <int W, int R, int C>
[[gnu::target("avx2,fma")]] void Avx2Short(const double* inRe, const double* inIm, double* outRe,
                                           double* outIm, double scale, const double* table) {
    ShortTransform<W, R, C>(inRe, inIm, outRe, outIm, scale, table);
}

[[gnu::target("avx2,fma")]] void Avx2TwoPoint(const double* inRe, const double* inIm, double* outRe,
                                              double* outIm, double scale, const double* table) {
    TwoPointTransform(inRe, inIm, outRe, outIm, scale, table);
}

constexpr KernelSet kAvx2Kernels{kWidth,
                                 32,
                                 32,
                                 &Avx2FirstPassTile,
                                 &Avx2Radix4Stage,
                                 &Avx2Radix4StageTwoLevel,
                                 &Avx2Radix4Tail,
                                 &Avx2Radix16Stage,
                                 &Avx2Radix16Tail,
                                 {{nullptr, 0, 0},
                                  {&Avx2TwoPoint, 2, 1},
                                  {&Avx2Short<2, 2, 2>, 2, 2},
                                  {&Avx2Short<2, 4, 2>, 4, 2},
                                  {&Avx2Short<4, 4, 4>, 4, 4},
                                  {&Avx2Short<4, 8, 4>, 8, 4},
                                  {&Avx2Short<4, 16, 4>, 16, 4},
                                  {&Avx2Short<4, 16, 8>, 16, 4},
                                  {&Avx2Short<4, 16, 16>, 16, 4},
                                  {&Avx2Short<4, 16, 32>, 16, 4}}};

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
