#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace tavlin {

namespace fft_kernels {
struct KernelSet;
}

enum class FftDirection {
    kForward = 0,  // exponent negative, result divided by N
    kInverse = 1,  // exponent positive, no scaling
};

// Which vector instructions the inner loops use. kBest takes the widest the
// processor offers; the others let a test check each variant on its own.
enum class FftInstructionSet { kBest, kPortable, kAvx2, kAvx512 };

// Complex FFT of one power-of-two length on split real and imaginary arrays.
// The plan builds its twiddle tables once, from cos and sin of the exact
// angles (a rotation carried from stage to stage would lose a little accuracy
// in every stage, which shows as spurs and a raised floor at the longest
// lengths), and then transforms without allocating. A plan is immutable after
// construction, so one plan may serve several threads at once.
//
// Forward: X[k] = (1 / N) * sum over n of x[n] * e^(-2 pi i n k / N).
// Inverse: x[n] = sum over k of X[k] * e^(+2 pi i n k / N).
class Fft {
  public:
    static constexpr std::size_t kMinSize = 2;
    static constexpr std::size_t kMaxSize = std::size_t{1} << 24;

    // Throws std::invalid_argument when n is not a power of two from kMinSize to
    // kMaxSize, or when the processor lacks the instruction set asked for.
    explicit Fft(std::size_t n, FftInstructionSet instructionSet = FftInstructionSet::kBest);
    ~Fft();
    Fft(Fft&&) noexcept;
    Fft& operator=(Fft&&) noexcept;
    Fft(const Fft&) = delete;
    Fft& operator=(const Fft&) = delete;

    std::size_t Size() const { return size_; }
    FftInstructionSet InstructionSet() const { return instructionSet_; }
    static bool Supports(FftInstructionSet instructionSet);

    // The first Size() values of each array are used. The outputs may be the
    // inputs themselves (then the transform runs in place) but must not
    // overlap them otherwise, nor each other; a violation throws
    // std::invalid_argument, as does an array shorter than Size().
    void Transform(FftDirection direction, std::span<const double> inRe,
                   std::span<const double> inIm, std::span<double> outRe,
                   std::span<double> outIm) const;
    void Forward(std::span<const double> inRe, std::span<const double> inIm,
                 std::span<double> outRe, std::span<double> outIm) const {
        Transform(FftDirection::kForward, inRe, inIm, outRe, outIm);
    }
    void Inverse(std::span<const double> inRe, std::span<const double> inIm,
                 std::span<double> outRe, std::span<double> outIm) const {
        Transform(FftDirection::kInverse, inRe, inIm, outRe, outIm);
    }

    // In place: no arrays beyond the two given and the plan's tables, for the
    // longest transforms, where a second pair of arrays would not fit. Arrays
    // that start on a 64-byte boundary (32 is nearly as good) are the fastest;
    // from 4096 values on others are turned in place for the transform, at the
    // cost of two sequential sweeps.
    void TransformInPlace(FftDirection direction, std::span<double> re, std::span<double> im) const;
    void ForwardInPlace(std::span<double> re, std::span<double> im) const {
        TransformInPlace(FftDirection::kForward, re, im);
    }
    void InverseInPlace(std::span<double> re, std::span<double> im) const {
        TransformInPlace(FftDirection::kInverse, re, im);
    }

  private:
    struct Stage {
        std::size_t length;
        std::size_t tableOffset;
        std::size_t radix;  // 4, or 16 for two radix-4 stages in one pass
        bool twoLevel;
    };
    struct TileBuffer;
    // Where an in-place transform keeps the values from the first pass to the
    // last stage: position p at index (p + shift) mod N of each array, the
    // shift chosen so that the kernels' vectors start on their alignment
    // boundary. The few butterflies that reach the wrapped positions (the
    // last row of the last first-pass tile, and the last `width` positions of
    // each stage) run on copies.
    struct Placement {
        double* re;  // the arrays as given
        double* im;
        std::size_t shiftRe;
        std::size_t shiftIm;

        double& Re(std::size_t position, std::size_t size) const;
        double& Im(std::size_t position, std::size_t size) const;
    };
    // One butterfly's values: up to 16 rows of up to 8.
    struct TailCopy {
        alignas(64) double re[16 * 8];
        alignas(64) double im[16 * 8];
    };
    struct AlignedDelete {
        void operator()(double* p) const;
    };

    void BuildStages();
    void BuildShortTable();

    // Forward transform with the exponent negative and the given scale; the
    // inverse runs it with real and imaginary parts exchanged.
    void Run(const double* inRe, const double* inIm, double* outRe, double* outIm,
             double scale) const;
    void RunInPlace(double* re, double* im, double scale) const;
    void FirstPass(const double* inRe, const double* inIm, double* outRe, double* outIm,
                   double scale) const;
    void FirstPassInPlace(double* re, double* im, double scale, const Placement* placement) const;
    void CompleteBlock(double* re, double* im, std::size_t top, const Placement* tail) const;
    void RunStage(std::size_t index, double* re, double* im, std::size_t groups,
                  const Placement* tail) const;
    void CopyTail(const Stage& stage, std::size_t blockStart, const Placement& placement,
                  TailCopy& copy, bool into) const;
    void RunTail(const Stage& stage, std::size_t blockStart, const Placement& placement) const;
    std::size_t ShiftFor(const double* values) const;
    const double* ShortTable(double scale) const;

    std::size_t size_ = 0;
    double forwardScale_ = 0.0;  // 1 / N
    int log2Size_ = 0;
    FftInstructionSet instructionSet_ = FftInstructionSet::kPortable;
    const fft_kernels::KernelSet* kernels_ = nullptr;
    std::vector<Stage> stages_;
    std::unique_ptr<double[], AlignedDelete> tables_;
    // Lengths up to 512: one straight-line routine does the whole transform.
    void (*shortTransform_)(const double*, const double*, double*, double*, double,
                            const double*) = nullptr;
    std::size_t shortTableSize_ = 0;  // doubles in each of its two tables
};

}  // namespace tavlin
