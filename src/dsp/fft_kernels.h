#pragma once

#include <cstddef>

// The inner loops of the FFT, compiled once per instruction set. Fft (fft.h)
// owns the twiddle tables and the order of the passes; a kernel set only does
// arithmetic on the arrays it is given.
//
// Layout shared by the tables and the kernels:
// - A tile is 16 rows of 16 contiguous values. The first pass reads one tile of
//   the input, does the first four radix-2 stages (one 16-point DFT down every
//   column, or two 8-point DFTs on the even and odd rows when log2 N is odd)
//   and writes the columns as rows of the output, which is the bit reversal.
// - A radix-4 stage of length L combines four quarter blocks of length L / 4.
//   Its twiddles w^k, w^2k, w^3k (w = e^(-2 pi i / L), k < L / 4) are stored in
//   chunks of 8 values of k: w1 re, w1 im, w2 re, w2 im, w3 re, w3 im, each 8
//   doubles, so one chunk is 48 doubles.
// - A two-level table serves the long stages without a table of L / 4 entries:
//   w^pk = A_p[k / 64] * B_p[k % 64]. B comes first, as 8 chunks in the layout
//   above; A follows, 6 doubles per entry (A1 re, A1 im, A2 re, A2 im, A3 re,
//   A3 im).
// - A radix-16 stage of length L does the radix-4 stages of lengths L / 4 and L
//   in one pass over the data. Its chunks hold 8 values of k < L / 16: first
//   w_{L/4}^(pk) in the radix-4 layout (48 doubles), then w_L^(pk) (48 more).
namespace tavlin::fft_kernels {

inline constexpr std::size_t kTileSize = 16;
inline constexpr std::size_t kChunkValues = 8;
inline constexpr std::size_t kChunkDoubles = 6 * kChunkValues;
inline constexpr std::size_t kTwoLevelSpan = 64;
inline constexpr std::size_t kTwoLevelLowDoubles = kTwoLevelSpan / kChunkValues * kChunkDoubles;
inline constexpr std::size_t kRadix16ChunkDoubles = 2 * kChunkDoubles;

// The transforms of 2 to 512 points, each a routine of its own with its
// shape: N = rows x (N / rows) values, W = width values per vector (see
// ShortTransform in fft_kernels_impl.h for the table it reads).
inline constexpr int kShortMaxLog2 = 9;

using ShortTransformFunction = void (*)(const double* inRe, const double* inIm, double* outRe,
                                        double* outIm, double scale, const double* table);

struct ShortKernel {
    ShortTransformFunction transform;
    int rows;
    int width;
};

struct KernelSet {
    // Values per vector; the address boundary (bytes) from which a vector is
    // read and written at full speed, and the coarser one from which it costs
    // too little more to be worth turning the arrays for (see Fft::Placement).
    std::size_t width;
    std::size_t alignment;
    std::size_t fairAlignment;
    // One tile: rows of the source srcStride apart, output row r (the bit
    // reversal of the source column) at dst + r * dstStride. Every value
    // written is multiplied by scale.
    void (*firstPassTile)(const double* srcRe, const double* srcIm, std::size_t srcStride,
                          double* dstRe, double* dstIm, std::size_t dstStride, bool twoEightPoint,
                          double scale);
    // In place over `groups` consecutive blocks of `length` values; with
    // skipLast, without the butterfly of the last `width` values of each
    // quarter of the last block, which the tail routine then does on a copy
    // of its 4 x width values.
    void (*radix4Stage)(double* re, double* im, std::size_t length, std::size_t groups,
                        const double* table, bool skipLast);
    // In place over one block of `length` values, with a two-level table.
    void (*radix4StageTwoLevel)(double* re, double* im, std::size_t length, const double* table,
                                bool skipLast);
    void (*radix4Tail)(double* re, double* im, std::size_t length, const double* table,
                       bool twoLevel);
    // Two radix-4 stages at once, lengths L / 4 and L; the tail is 16 x width.
    void (*radix16Stage)(double* re, double* im, std::size_t length, std::size_t groups,
                         const double* table, bool skipLast);
    void (*radix16Tail)(double* re, double* im, std::size_t length, const double* table);
    // By log2 N, from 1 to kShortMaxLog2: the output may be the input.
    ShortKernel shortKernels[kShortMaxLog2 + 1];
};

// Two values per vector; every x86-64 and most other processors.
const KernelSet& PortableKernels();
// Four values per vector with fused multiply-add; nullptr when not built in.
const KernelSet* Avx2Kernels();
// Eight values per vector; nullptr when not built in.
const KernelSet* Avx512Kernels();

}  // namespace tavlin::fft_kernels
