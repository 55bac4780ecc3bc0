#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <new>
#include <numbers>
#include <stdexcept>

#include "dsp/fft_kernels.h"

namespace tavlin {

namespace {

using fft_kernels::kChunkDoubles;
using fft_kernels::kChunkValues;
using fft_kernels::kRadix16ChunkDoubles;
using fft_kernels::kTileSize;
using fft_kernels::kTwoLevelLowDoubles;
using fft_kernels::kTwoLevelSpan;

// Up to this length one straight-line routine of the kernel set does the
// whole transform; the tiled first pass needs at least one 16 x 16 tile.
constexpr std::size_t kShortMaxSize = std::size_t{1} << fft_kernels::kShortMaxLog2;
// Blocks up to this length run all their stages while they sit in the
// first-level cache; longer blocks are split in four first (depth first), so
// each stage of a long transform works on data that is still cached.
constexpr std::size_t kLeafLength = std::size_t{1} << 11;
// Stages up to this length read full twiddle tables; longer ones build their
// twiddles from two short tables, which keeps the tables small and cached.
constexpr std::size_t kFullTableMaxLength = std::size_t{1} << 12;
// Radix-16 stages up to this length: beyond it the sixteen rows of a
// butterfly lie 2 KiB or more apart and share too few cache sets.
constexpr std::size_t kRadix16MaxLength = std::size_t{1} << 11;
static_assert(kRadix16MaxLength <= kFullTableMaxLength, "radix-16 stages read full tables");
constexpr std::size_t kTableAlignment = 64;
// From this length on an in-place transform on arrays off the kernels'
// alignment turns them first (see Placement); below it the extra sweep costs
// more than it saves.
constexpr std::size_t kShiftMinSize = std::size_t{1} << 12;
// Row distance (in values) from which the first pass reads its tiles through
// contiguous copies.
constexpr std::size_t kBufferedRowStride = 512;
// From this length on an out-of-place transform copies the input to the
// output in one sequential sweep and runs in place there: the bit-reversing
// first pass then moves data within one pair of arrays instead of two, which
// is the faster of the two once they no longer fit the cache together.
constexpr std::size_t kCopyInPlaceMinSize = std::size_t{1} << 15;

struct ComplexValue {
    double re;
    double im;
};

// e^(-2 pi i k / n), from the exact angle in extended precision so that each
// value is within about half a unit in the last place.
ComplexValue Twiddle(std::size_t k, std::size_t n) {
    const long double angle = 2.0L * std::numbers::pi_v<long double> *
                              static_cast<long double>(k % n) / static_cast<long double>(n);
    return {static_cast<double>(std::cos(angle)), static_cast<double>(-std::sin(angle))};
}

std::size_t ReverseBits(std::size_t value, int bits) {
    std::size_t reversed = 0;
    for (int b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | ((value >> b) & 1U);
    }
    return reversed;
}

// w^pk (w = e^(-2 pi i / length)) for k < count and p = 1, 2, 3, in chunks of
// chunkDoubles.
void FillChunks(double* table, std::size_t count, std::size_t length,
                std::size_t chunkDoubles = kChunkDoubles) {
    for (std::size_t k = 0; k < count; ++k) {
        double* chunk = table + k / kChunkValues * chunkDoubles + k % kChunkValues;
        for (std::size_t p = 1; p <= 3; ++p) {
            const ComplexValue w = Twiddle(p * k, length);
            chunk[2 * (p - 1) * kChunkValues] = w.re;
            chunk[(2 * (p - 1) + 1) * kChunkValues] = w.im;
        }
    }
}

std::size_t StageTableSize(std::size_t length, std::size_t radix, bool twoLevel) {
    const std::size_t span = length / radix;
    if (twoLevel) {
        return kTwoLevelLowDoubles + 6 * (span / kTwoLevelSpan);
    }
    return span / kChunkValues * (radix == 4 ? kChunkDoubles : kRadix16ChunkDoubles);
}

// w^pk = w^(p * 64 h) * w^(p * l) for k = 64 h + l: the short factors first,
// then the coarse ones.
void FillStageTable(double* table, std::size_t length, std::size_t radix, bool twoLevel) {
    const std::size_t span = length / radix;
    if (radix == 16) {
        FillChunks(table, span, length / 4, kRadix16ChunkDoubles);
        FillChunks(table + kChunkDoubles, span, length, kRadix16ChunkDoubles);
        return;
    }
    if (!twoLevel) {
        FillChunks(table, span, length);
        return;
    }
    FillChunks(table, kTwoLevelSpan, length);
    double* high = table + kTwoLevelLowDoubles;
    for (std::size_t h = 0; h < span / kTwoLevelSpan; ++h) {
        for (std::size_t p = 1; p <= 3; ++p) {
            const ComplexValue w = Twiddle(p * h * kTwoLevelSpan, length);
            high[6 * h + 2 * (p - 1)] = w.re;
            high[6 * h + 2 * (p - 1) + 1] = w.im;
        }
    }
}

const fft_kernels::KernelSet* KernelsFor(FftInstructionSet set) {
    switch (set) {
        case FftInstructionSet::kPortable:
            return &fft_kernels::PortableKernels();
        case FftInstructionSet::kAvx2:
            return fft_kernels::Avx2Kernels();
        case FftInstructionSet::kAvx512:
            return fft_kernels::Avx512Kernels();
        case FftInstructionSet::kBest:
            break;
    }
    return nullptr;
}

// The widest vectors the processor has; where AVX-512 exists it was the
// fastest at every length on the machines measured.
FftInstructionSet BestInstructionSet() {
    if (fft_kernels::Avx512Kernels() != nullptr) {
        return FftInstructionSet::kAvx512;
    }
    if (fft_kernels::Avx2Kernels() != nullptr) {
        return FftInstructionSet::kAvx2;
    }
    return FftInstructionSet::kPortable;
}

// x[p] to index (p + shift) mod n, and back.
void RotateRight(double* values, std::size_t n, std::size_t shift) {
    double wrapped[8];
    std::copy_n(values + n - shift, shift, wrapped);
    std::copy_backward(values, values + n - shift, values + n);
    std::copy_n(wrapped, shift, values);
}

void RotateLeft(double* values, std::size_t n, std::size_t shift) {
    double wrapped[8];
    std::copy_n(values, shift, wrapped);
    std::copy(values + shift, values + n, values);
    std::copy_n(wrapped, shift, values + n - shift);
}

bool Overlaps(const double* a, std::size_t aSize, const double* b, std::size_t bSize) {
    const std::less<const double*> before;
    return before(a, b + bSize) && before(b, a + aSize);
}

}  // namespace

void Fft::AlignedDelete::operator()(double* p) const {
    ::operator delete[](p, std::align_val_t{kTableAlignment});
}

Fft::Fft(std::size_t n, FftInstructionSet instructionSet)
    : size_(n), forwardScale_(1.0 / static_cast<double>(n)) {
    if (n < kMinSize || n > kMaxSize || (n & (n - 1)) != 0) {
        throw std::invalid_argument("FFT length must be a power of two from 2 to 2^24");
    }
    instructionSet_ =
        instructionSet == FftInstructionSet::kBest ? BestInstructionSet() : instructionSet;
    kernels_ = KernelsFor(instructionSet_);
    if (kernels_ == nullptr) {
        throw std::invalid_argument("FFT instruction set not available on this processor");
    }
    while ((std::size_t{1} << log2Size_) < n) {
        ++log2Size_;
    }
    if (n <= kShortMaxSize) {
        BuildShortTable();
    } else {
        BuildStages();
    }
}

Fft::~Fft() = default;
Fft::Fft(Fft&&) noexcept = default;
Fft& Fft::operator=(Fft&&) noexcept = default;

bool Fft::Supports(FftInstructionSet instructionSet) {
    return instructionSet == FftInstructionSet::kBest || KernelsFor(instructionSet) != nullptr;
}

// w^(r c) for the rows r = 1 .. R - 1 of the short routine's R x C layout, W
// columns at a time: W real parts, then W imaginary parts; once as they are
// (inverse) and once divided by N (forward).
void Fft::BuildShortTable() {
    const fft_kernels::ShortKernel& kernel = kernels_->shortKernels[log2Size_];
    shortTransform_ = kernel.transform;
    const auto rows = static_cast<std::size_t>(kernel.rows);
    const auto width = static_cast<std::size_t>(kernel.width);
    const std::size_t columns = size_ / rows;
    shortTableSize_ = 2 * (rows - 1) * columns;
    tables_.reset(static_cast<double*>(
        ::operator new[](2 * shortTableSize_ * sizeof(double), std::align_val_t{kTableAlignment})));
    double* entry = tables_.get();
    for (std::size_t r = 1; r < rows; ++r) {
        for (std::size_t group = 0; group < columns; group += width) {
            for (std::size_t j = 0; j < width; ++j) {
                const ComplexValue w = Twiddle(r * (group + j), size_);
                entry[j] = w.re;
                entry[width + j] = w.im;
                entry[shortTableSize_ + j] = w.re * forwardScale_;
                entry[shortTableSize_ + width + j] = w.im * forwardScale_;
            }
            entry += 2 * width;
        }
    }
}

// The first pass does four radix-2 stages (one 16-point DFT, or two 8-point
// DFTs when log2 N is odd). Radix-4 stages follow; up to kRadix16MaxLength
// they go in pairs, as radix-16 stages (one pass over the data for two
// stages), with a single radix-4 stage first when their count is odd.
void Fft::BuildStages() {
    const int firstLevels = log2Size_ % 2 == 0 ? 4 : 3;
    std::size_t length = std::size_t{1} << firstLevels;
    int pairable = 0;
    for (std::size_t l = length * 4; l <= std::min(size_, kRadix16MaxLength); l *= 4) {
        ++pairable;
    }
    std::size_t total = 0;
    const auto add = [&](std::size_t radix) {
        length *= radix;
        const bool twoLevel = radix == 4 && length > kFullTableMaxLength;
        stages_.push_back({length, total, radix, twoLevel});
        total += StageTableSize(length, radix, twoLevel);
    };
    if (pairable % 2 != 0) {
        add(4);
    }
    for (int pair = 0; pair < pairable / 2; ++pair) {
        add(16);
    }
    while (length < size_) {
        add(4);
    }
    tables_.reset(static_cast<double*>(
        ::operator new[](total * sizeof(double), std::align_val_t{kTableAlignment})));
    for (const Stage& stage : stages_) {
        FillStageTable(tables_.get() + stage.tableOffset, stage.length, stage.radix,
                       stage.twoLevel);
    }
}

const double* Fft::ShortTable(double scale) const {
    return scale == 1.0 ? tables_.get() : tables_.get() + shortTableSize_;
}

void Fft::Transform(FftDirection direction, std::span<const double> inRe,
                    std::span<const double> inIm, std::span<double> outRe,
                    std::span<double> outIm) const {
    if (inRe.size() < size_ || inIm.size() < size_ || outRe.size() < size_ ||
        outIm.size() < size_) {
        throw std::invalid_argument("FFT array shorter than the transform");
    }
    const bool inPlace = outRe.data() == inRe.data() && outIm.data() == inIm.data();
    if (Overlaps(outRe.data(), size_, outIm.data(), size_) ||
        (!inPlace && (Overlaps(outRe.data(), size_, inRe.data(), size_) ||
                      Overlaps(outRe.data(), size_, inIm.data(), size_) ||
                      Overlaps(outIm.data(), size_, inRe.data(), size_) ||
                      Overlaps(outIm.data(), size_, inIm.data(), size_)))) {
        throw std::invalid_argument("FFT output overlaps an input");
    }
    if (inPlace) {
        TransformInPlace(direction, outRe, outIm);
        return;
    }
    if (direction == FftDirection::kForward) {
        Run(inRe.data(), inIm.data(), outRe.data(), outIm.data(), forwardScale_);
    } else {
        // conj(DFT(conj(x))) is the inverse; exchanging real and imaginary parts
        // on the way in and out does the same without touching a value.
        Run(inIm.data(), inRe.data(), outIm.data(), outRe.data(), 1.0);
    }
}

void Fft::TransformInPlace(FftDirection direction, std::span<double> re,
                           std::span<double> im) const {
    if (re.size() < size_ || im.size() < size_) {
        throw std::invalid_argument("FFT array shorter than the transform");
    }
    if (Overlaps(re.data(), size_, im.data(), size_)) {
        throw std::invalid_argument("FFT real and imaginary arrays overlap");
    }
    if (direction == FftDirection::kForward) {
        RunInPlace(re.data(), im.data(), forwardScale_);
    } else {
        RunInPlace(im.data(), re.data(), 1.0);
    }
}

void Fft::Run(const double* inRe, const double* inIm, double* outRe, double* outIm,
              double scale) const {
    if (shortTransform_ != nullptr) {
        shortTransform_(inRe, inIm, outRe, outIm, scale, ShortTable(scale));
        return;
    }
    if (size_ >= kCopyInPlaceMinSize) {
        std::copy_n(inRe, size_, outRe);
        std::copy_n(inIm, size_, outIm);
        RunInPlace(outRe, outIm, scale);
        return;
    }
    FirstPass(inRe, inIm, outRe, outIm, scale);
    CompleteBlock(outRe, outIm, stages_.size() - 1, nullptr);
}

// The arrays are turned so that the kernels' vectors start on their alignment
// boundary (see Placement), transformed and turned back: the two sequential
// sweeps cost less than unaligned reads and writes in every pass (and less
// than a last stage that reads turned arrays and writes unaligned).
void Fft::RunInPlace(double* re, double* im, double scale) const {
    if (shortTransform_ != nullptr) {
        shortTransform_(re, im, re, im, scale, ShortTable(scale));
        return;
    }
    const std::size_t top = stages_.size() - 1;
    const Placement placement{re, im, ShiftFor(re), ShiftFor(im)};
    if (size_ < kShiftMinSize || (placement.shiftRe == 0 && placement.shiftIm == 0)) {
        FirstPassInPlace(re, im, scale, nullptr);
        CompleteBlock(re, im, top, nullptr);
        return;
    }
    RotateRight(re, size_, placement.shiftRe);
    RotateRight(im, size_, placement.shiftIm);
    double* shiftedRe = re + placement.shiftRe;
    double* shiftedIm = im + placement.shiftIm;
    FirstPassInPlace(shiftedRe, shiftedIm, scale, &placement);
    CompleteBlock(shiftedRe, shiftedIm, top, &placement);
    RotateLeft(re, size_, placement.shiftRe);
    RotateLeft(im, size_, placement.shiftIm);
}

std::size_t Fft::ShiftFor(const double* values) const {
    const auto address = reinterpret_cast<std::uintptr_t>(values);
    const std::size_t alignment = kernels_->alignment;
    if (address % sizeof(double) != 0 || address % kernels_->fairAlignment == 0) {
        return 0;
    }
    return (alignment - address % alignment) % alignment / sizeof(double);
}

double& Fft::Placement::Re(std::size_t position, std::size_t size) const {
    const std::size_t index = position + shiftRe;
    return re[index < size ? index : index - size];
}

double& Fft::Placement::Im(std::size_t position, std::size_t size) const {
    const std::size_t index = position + shiftIm;
    return im[index < size ? index : index - size];
}

// A tile in contiguous memory, 16 rows of 16 values.
struct Fft::TileBuffer {
    alignas(kTableAlignment) double re[kTileSize * kTileSize];
    alignas(kTableAlignment) double im[kTileSize * kTileSize];

    void Gather(const double* srcRe, const double* srcIm, std::size_t stride) {
        for (std::size_t row = 0; row < kTileSize; ++row) {
            std::copy_n(srcRe + row * stride, kTileSize, re + row * kTileSize);
            std::copy_n(srcIm + row * stride, kTileSize, im + row * kTileSize);
        }
    }
    void Scatter(double* dstRe, double* dstIm, std::size_t stride) const {
        for (std::size_t row = 0; row < kTileSize; ++row) {
            std::copy_n(re + row * kTileSize, kTileSize, dstRe + row * stride);
            std::copy_n(im + row * kTileSize, kTileSize, dstIm + row * stride);
        }
    }
};

// The input seen as 16 rows of N / 16 values is cut into 16 x 16 tiles; tile m
// (columns 16 m .. 16 m + 15) lands, transformed, on tile m' (m' = m with its
// bits reversed). The rows of a tile lie a power of two apart and so share
// their cache sets: on long transforms a tile is copied in and out whole,
// each row in one piece, instead of being visited column by column.
void Fft::FirstPass(const double* inRe, const double* inIm, double* outRe, double* outIm,
                    double scale) const {
    const std::size_t rowStride = size_ / kTileSize;
    const int middleBits = log2Size_ - 8;
    const bool odd = log2Size_ % 2 != 0;
    const std::size_t tiles = std::size_t{1} << middleBits;
    if (rowStride < kBufferedRowStride) {
        for (std::size_t m = 0; m < tiles; ++m) {
            const std::size_t target = ReverseBits(m, middleBits) * kTileSize;
            kernels_->firstPassTile(inRe + m * kTileSize, inIm + m * kTileSize, rowStride,
                                    outRe + target, outIm + target, rowStride, odd, scale);
        }
        return;
    }
    TileBuffer in;
    TileBuffer out;
    for (std::size_t m = 0; m < tiles; ++m) {
        const std::size_t target = ReverseBits(m, middleBits) * kTileSize;
        in.Gather(inRe + m * kTileSize, inIm + m * kTileSize, rowStride);
        kernels_->firstPassTile(in.re, in.im, kTileSize, out.re, out.im, kTileSize, odd, scale);
        out.Scatter(outRe + target, outIm + target, rowStride);
    }
}

// Tiles m and m' trade places: m is copied aside, m' is transformed into the
// place of m, then the copy of m into the place of m'. Tile m' is read in
// place while its rows are close together; from kBufferedRowStride on it is
// copied aside first as well, which costs less than reading rows that all
// share a cache set (writing them through a copy costs more). With the
// arrays turned, the last row of the last tile wraps round to the start of
// the arrays, and that tile goes through copies element by element.
void Fft::FirstPassInPlace(double* re, double* im, double scale, const Placement* placement) const {
    const std::size_t rowStride = size_ / kTileSize;
    const int middleBits = log2Size_ - 8;
    const std::size_t tiles = std::size_t{1} << middleBits;
    const bool odd = log2Size_ % 2 != 0;
    TileBuffer tile;
    TileBuffer partnerTile;
    for (std::size_t m = 0; m < tiles; ++m) {
        const std::size_t partner = ReverseBits(m, middleBits);
        if (partner < m) {
            continue;
        }
        if (placement != nullptr && m + 1 == tiles) {
            TileBuffer out;
            for (std::size_t row = 0; row < kTileSize; ++row) {
                for (std::size_t column = 0; column < kTileSize; ++column) {
                    const std::size_t position = row * rowStride + m * kTileSize + column;
                    tile.re[row * kTileSize + column] = placement->Re(position, size_);
                    tile.im[row * kTileSize + column] = placement->Im(position, size_);
                }
            }
            kernels_->firstPassTile(tile.re, tile.im, kTileSize, out.re, out.im, kTileSize, odd,
                                    scale);
            for (std::size_t row = 0; row < kTileSize; ++row) {
                for (std::size_t column = 0; column < kTileSize; ++column) {
                    const std::size_t position = row * rowStride + m * kTileSize + column;
                    placement->Re(position, size_) = out.re[row * kTileSize + column];
                    placement->Im(position, size_) = out.im[row * kTileSize + column];
                }
            }
            continue;
        }
        double* tileRe = re + m * kTileSize;
        double* tileIm = im + m * kTileSize;
        double* partnerRe = re + partner * kTileSize;
        double* partnerIm = im + partner * kTileSize;
        tile.Gather(tileRe, tileIm, rowStride);
        if (partner != m && rowStride >= kBufferedRowStride) {
            partnerTile.Gather(partnerRe, partnerIm, rowStride);
            kernels_->firstPassTile(partnerTile.re, partnerTile.im, kTileSize, tileRe, tileIm,
                                    rowStride, odd, scale);
        } else if (partner != m) {
            kernels_->firstPassTile(partnerRe, partnerIm, rowStride, tileRe, tileIm, rowStride, odd,
                                    scale);
        }
        kernels_->firstPassTile(tile.re, tile.im, kTileSize, partnerRe, partnerIm, rowStride, odd,
                                scale);
    }
}

// `tail` is set when the block ends at the end of the turned arrays.
void Fft::CompleteBlock(double* re, double* im, std::size_t top, const Placement* tail) const {
    const Stage& stage = stages_[top];
    if (stage.length <= kLeafLength || top == 0) {
        for (std::size_t s = 0; s <= top; ++s) {
            RunStage(s, re, im, stage.length / stages_[s].length, tail);
        }
        return;
    }
    const std::size_t part = stage.length / stage.radix;
    for (std::size_t j = 0; j < stage.radix; ++j) {
        CompleteBlock(re + j * part, im + j * part, top - 1, j + 1 == stage.radix ? tail : nullptr);
    }
    RunStage(top, re, im, 1, tail);
}

void Fft::RunStage(std::size_t index, double* re, double* im, std::size_t groups,
                   const Placement* tail) const {
    const Stage& stage = stages_[index];
    const double* table = tables_.get() + stage.tableOffset;
    const bool skipLast = tail != nullptr;
    if (stage.radix == 16) {
        kernels_->radix16Stage(re, im, stage.length, groups, table, skipLast);
    } else if (!stage.twoLevel) {
        kernels_->radix4Stage(re, im, stage.length, groups, table, skipLast);
    } else {
        for (std::size_t g = 0; g < groups; ++g) {
            kernels_->radix4StageTwoLevel(re + g * stage.length, im + g * stage.length,
                                          stage.length, table, skipLast && g + 1 == groups);
        }
    }
    if (skipLast) {
        const auto lastBlock =
            static_cast<std::size_t>(re - (tail->re + tail->shiftRe)) + (groups - 1) * stage.length;
        RunTail(stage, lastBlock, *tail);
    }
}

// The values of the butterfly of the last `width` positions of each part of
// the block at blockStart (the one whose last row wraps round in the turned
// arrays), copied out or, from `into`, back where `placement` puts them.
void Fft::CopyTail(const Stage& stage, std::size_t blockStart, const Placement& placement,
                   TailCopy& copy, bool into) const {
    const std::size_t width = kernels_->width;
    const std::size_t part = stage.length / stage.radix;
    for (std::size_t row = 0; row < stage.radix; ++row) {
        const std::size_t first = blockStart + row * part + part - width;
        for (std::size_t lane = 0; lane < width; ++lane) {
            double& re = placement.Re(first + lane, size_);
            double& im = placement.Im(first + lane, size_);
            const std::size_t at = row * width + lane;
            if (into) {
                re = copy.re[at];
                im = copy.im[at];
            } else {
                copy.re[at] = re;
                copy.im[at] = im;
            }
        }
    }
}

void Fft::RunTail(const Stage& stage, std::size_t blockStart, const Placement& placement) const {
    TailCopy copy;
    CopyTail(stage, blockStart, placement, copy, false);
    const double* table = tables_.get() + stage.tableOffset;
    if (stage.radix == 16) {
        kernels_->radix16Tail(copy.re, copy.im, stage.length, table);
    } else {
        kernels_->radix4Tail(copy.re, copy.im, stage.length, table, stage.twoLevel);
    }
    CopyTail(stage, blockStart, placement, copy, true);
}

}  // namespace tavlin
