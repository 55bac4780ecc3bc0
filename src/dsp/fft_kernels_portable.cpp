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
                         const double* table, bool skipLast) {
    Radix4Stage<kWidth>(re, im, length, groups, table, skipLast);
}

void PortableRadix4StageTwoLevel(double* re, double* im, std::size_t length, const double* table,
                                 bool skipLast) {
    Radix4StageTwoLevel<kWidth>(re, im, length, table, skipLast);
}

void PortableRadix4Tail(double* re, double* im, std::size_t length, const double* table,
                        bool twoLevel) {
    Radix4Tail<kWidth>(re, im, length, table, twoLevel);
}

void PortableRadix16Stage(double* re, double* im, std::size_t length, std::size_t groups,
                          const double* table, bool skipLast) {
    Radix16Stage<kWidth>(re, im, length, groups, table, skipLast);
}

void PortableRadix16Tail(double* re, double* im, std::size_t length, const double* table) {
    Radix16Tail<kWidth>(re, im, length, table);
}

template <int W, int R, int C>
void PortableShort(const double* inRe, const double* inIm, double* outRe, double* outIm,
                   double scale, const double* table) {
    ShortTransform<W, R, C>(inRe, inIm, outRe, outIm, scale, table);
}

void PortableTwoPoint(const double* inRe, const double* inIm, double* outRe, double* outIm,
                      double scale, const double* table) {
    TwoPointTransform(inRe, inIm, outRe, outIm, scale, table);
}

// Vectors of 16 bytes are not worth turning the arrays for: the alignment
// asked for is that of any double.
constexpr KernelSet kPortableKernels{kWidth,
                                     sizeof(double),
                                     sizeof(double),
                                     &PortableFirstPassTile,
                                     &PortableRadix4Stage,
                                     &PortableRadix4StageTwoLevel,
                                     &PortableRadix4Tail,
                                     &PortableRadix16Stage,
                                     &PortableRadix16Tail,
                                     {{nullptr, 0, 0},
                                      {&PortableTwoPoint, 2, 1},
                                      {&PortableShort<2, 2, 2>, 2, 2},
                                      {&PortableShort<2, 4, 2>, 4, 2},
                                      {&PortableShort<2, 4, 4>, 4, 2},
                                      {&PortableShort<2, 8, 4>, 8, 2},
                                      {&PortableShort<2, 8, 8>, 8, 2},
                                      {&PortableShort<2, 16, 8>, 16, 2},
                                      {&PortableShort<2, 16, 16>, 16, 2},
                                      {&PortableShort<2, 16, 32>, 16, 2}}};

}  // namespace

const KernelSet& PortableKernels() {
    return kPortableKernels;
}

}  // namespace tavlin::fft_kernels
