#include "sweep/step_list_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "dsp/fft.h"
#include "dsp/window.h"
#include "ports/clock.h"
#include "ports/prompter.h"
#include "sweep/if_path_response.h"
#include "sweep/sweep_context.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr double kSampleScale = 1.0 / 32768.0;
constexpr int kMissingPauseMs = 100;
constexpr int kStepDecimation = 1;
constexpr double kStepBandHz = StepListReader::kStepBandHalfWidthHz;
constexpr char kCompressionText[] =
    "Warning: IF Level may be into compression\r\nReduce input or increase reference level";
constexpr char kCompressionCaption[] = "IF COMPRESSION WARNING";
constexpr char kMissingCaption[] = "ERROR 5";

std::size_t Log2(std::size_t n) {
    return static_cast<std::size_t>(std::countr_zero(n));
}

double Power(double re, double im) {
    return re * re + im * im;
}

}  // namespace

StepReadPorts StepReadPorts::Of(SweepContext& context) {
    return {context.link, context.prompter, context.clock, context.engine.MissingDataCount()};
}

StepListReader::StepListReader()
    : blockI_(kBlockPairs), blockQ_(kBlockPairs), re_(kUsedPairs), im_(kUsedPairs) {}

StepListReader::~StepListReader() = default;

void StepListReader::SetReceiver(double sampleRateHz, double ifInUseHz, const CalTable& cal) {
    if (sampleRateHz == sampleRateHz_ && ifInUseHz == ifInUseHz_ && &cal == cal_ &&
        cal.IfResponse() == ifResponse_) {
        return;
    }
    sampleRateHz_ = sampleRateHz;
    ifInUseHz_ = ifInUseHz;
    cal_ = &cal;
    ifResponse_ = cal.IfResponse();
    ++receiverVersion_;
}

bool StepListReader::ValidPoints(int pointsPerStep) {
    return pointsPerStep >= 1 && pointsPerStep <= kMaxPointsPerStep &&
           std::has_single_bit(static_cast<unsigned>(pointsPerStep));
}

// The multiplier that undoes the IF path for each bin of an n-point FFT of a
// step block (decimation 1); bins beyond bandHz from the IF centre count
// nothing.
void StepListReader::BuildCorrection(Transform& transform, std::size_t n, double bandHz) const {
    if (cal_ == nullptr) {
        throw std::logic_error("StepListReader: SetReceiver must come before a read");
    }
    transform.correction.resize(n);
    const auto half = static_cast<std::ptrdiff_t>(n / 2);
    for (std::size_t k = 0; k < n; ++k) {
        const std::ptrdiff_t signedBin = static_cast<std::ptrdiff_t>(k) < half
                                             ? static_cast<std::ptrdiff_t>(k)
                                             : static_cast<std::ptrdiff_t>(k) - 2 * half;
        const double basebandHz = static_cast<double>(signedBin) * sampleRateHz_ / n;
        transform.correction[k] = std::abs(basebandHz) <= bandHz ? PowerFactorAt(basebandHz) : 0.0;
    }
}

void StepListReader::Refresh(Transform& transform, std::size_t n, double bandHz) const {
    if (transform.builtFor != receiverVersion_) {
        BuildCorrection(transform, n, bandHz);
        transform.builtFor = receiverVersion_;
    }
}

StepListReader::Transform& StepListReader::SpectrumTransform(std::size_t n) {
    Transform& transform = spectra_[Log2(n)];
    if (!transform.fft) {
        transform.fft = std::make_unique<Fft>(n);
        transform.window.resize(n);
        MakeWindow(kFlatTopWindow, n, transform.window);
    }
    Refresh(transform, n, std::numeric_limits<double>::infinity());
    return transform;
}

StepListReader::Transform& StepListReader::StepBandTransform() {
    constexpr std::size_t n = kUsedPairs;
    if (!stepBand_.fft) {
        stepBand_.fft = std::make_unique<Fft>(n);
        stepBand_.window.resize(n);
        MakeWindow(kNuttallWindow, n, stepBand_.window);
        double meanSquare = 0.0;
        for (const double w : stepBand_.window) {
            meanSquare += w * w / n;
        }
        for (double& w : stepBand_.window) {
            w /= std::sqrt(meanSquare);
        }
    }
    Refresh(stepBand_, n, kStepBandHz);
    return stepBand_;
}

void StepListReader::TransformBlock(const std::int32_t* i, const std::int32_t* q,
                                    Transform& transform, std::size_t n, std::size_t first) {
    for (std::size_t k = 0; k < n; ++k) {
        re_[k] = i[first + k] * kSampleScale;
        im_[k] = q[first + k] * kSampleScale;
    }
    ApplyWindow(n, re_, im_, transform.window);
    transform.fft->ForwardInPlace(std::span<double>(re_.data(), n),
                                  std::span<double>(im_.data(), n));
}

// Parseval: with the forward transform's 1/N and a window of mean square 1
// the bin powers add up to the mean power of the samples, so weighting each
// bin corrects the total and leaving bins out limits it to the slot.
double StepListReader::StepPower(const std::int32_t* i, const std::int32_t* q) {
    Transform& transform = StepBandTransform();
    TransformBlock(i, q, transform, kUsedPairs);
    double sum = 0.0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(kUsedPairs); ++k) {
        sum += Power(re_[k], im_[k]) * transform.correction[k];
    }
    return sum;
}

void StepListReader::StepSpectrum(const std::int32_t* i, const std::int32_t* q, int pointsPerStep,
                                  double* out) {
    if (!ValidPoints(pointsPerStep) || pointsPerStep < 2) {
        throw std::invalid_argument("StepSpectrum: points per step must be 2 .. 128, a power of 2");
    }
    const auto p = static_cast<std::size_t>(pointsPerStep);
    Transform& transform = SpectrumTransform(2 * p);
    const std::size_t segments = meanSpectra_ ? kUsedPairs / (2 * p) : 1;
    for (std::size_t j = 0; j < p; ++j) {
        out[j] = 0.0;
    }
    for (std::size_t s = 0; s < segments; ++s) {
        TransformBlock(i, q, transform, 2 * p, kFirstUsed + s * 2 * p);
        for (std::size_t j = 0; j < p; ++j) {
            const std::size_t bin = j < p / 2 ? j : j + p;
            out[j] += Power(re_[bin], im_[bin]) / segments;
        }
    }
}

void StepListReader::StepFullSpectrum(const std::int32_t* i, const std::int32_t* q,
                                      int pointsPerStep, double* out) {
    if (!ValidPoints(pointsPerStep) || pointsPerStep < 2) {
        throw std::invalid_argument(
            "StepFullSpectrum: points per step must be 2 .. 128, a power of 2");
    }
    const std::size_t n = 2 * static_cast<std::size_t>(pointsPerStep);
    Transform& transform = SpectrumTransform(n);
    TransformBlock(i, q, transform, n);
    for (std::size_t bin = 0; bin < n; ++bin) {
        out[bin] = Power(re_[bin], im_[bin]) * transform.correction[bin];
    }
}

double StepListReader::PowerFactorAt(double basebandHz) const {
    if (cal_ == nullptr) {
        throw std::logic_error("StepListReader: SetReceiver must come before a read");
    }
    return IfPathPowerFactor(*cal_, false, kStepDecimation, ifInUseHz_, ifInUseHz_ - basebandHz);
}

bool StepListReader::CompressionSeen(const std::int32_t* i, const std::int32_t* q, int n) {
    for (int k = 0; k < n; ++k) {
        if (std::abs(i[k]) > kCompressionLevel || std::abs(q[k]) > kCompressionLevel) {
            return true;
        }
    }
    return false;
}

void StepListReader::ProcessBlock(int pointsPerStep, double* out) {
    if (pointsPerStep == 1) {
        *out = StepPower(blockI_.data(), blockQ_.data());
    } else {
        StepSpectrum(blockI_.data(), blockQ_.data(), pointsPerStep, out);
    }
}

bool StepListReader::AwaitBlock(const StepReadPorts& ports, int index, int count) {
    if (ports.link.ReadSampleBlock512(blockI_.data(), blockQ_.data()) == 1) {
        return true;
    }
    ++ports.missingDataCount;
    // A lost block leaves the sweep incomplete, and the user must know why:
    // the first of a sweep is said, the rest of that sweep add nothing new.
    if (!missingWarned_) {
        missingWarned_ = true;
        ports.prompter.Inform(
            "Missing data i = " + std::to_string(index) + " of " + std::to_string(count),
            kMissingCaption);
    }
    ports.clock.SleepMs(kMissingPauseMs);
    ports.link.FlushDataChannel();
    return false;
}

int StepListReader::ReadStepList(const StepReadPorts& ports, int first, int last, int pointsPerStep,
                                 std::span<double> out) {
    if (!ValidPoints(pointsPerStep) || last < first) {
        throw std::invalid_argument("ReadStepList: bad step range or points per step");
    }
    const int count = last - first + 1;
    const std::size_t values = static_cast<std::size_t>(count) * pointsPerStep;
    if (out.size() < values) {
        throw std::invalid_argument("ReadStepList: output too short");
    }
    const auto filled = out.first(values);
    // A command the link refused or could not write asks for nothing to wait for.
    if (ports.link.RunStepList(first, last) != kLinkOk) {
        std::fill(filled.begin(), filled.end(), 0.0);
        return kAborted;
    }
    int compressionStep = -1;
    for (int step = 0; step < count; ++step) {
        if (!AwaitBlock(ports, step, count)) {
            // Without the missing block, the ones before it cannot be placed
            // either: one skipped by the instrument shifts all that follow.
            std::fill(filled.begin(), filled.end(), 0.0);
            return kAborted;
        }
        if (compressionStep < 0 &&
            CompressionSeen(blockI_.data() + kFirstUsed, blockQ_.data() + kFirstUsed, kUsedPairs)) {
            compressionStep = step;
        }
        ProcessBlock(pointsPerStep, filled.data() + static_cast<std::size_t>(step) * pointsPerStep);
    }
    int result = kComplete;
    if (compressionStep >= 0) {
        result = kCompressed;
        if (!compressionWarned_) {
            compressionWarned_ = true;
            ports.prompter.Inform(kCompressionText, kCompressionCaption);
        }
    }
    ports.link.FlushDataChannel();
    return result;
}

int StepListReader::ReadStepListDescending(const StepReadPorts& ports, int high, int low,
                                           int pointsPerStep, std::span<double> out) {
    if (!ValidPoints(pointsPerStep) || pointsPerStep < 2 || high < low) {
        throw std::invalid_argument("ReadStepListDescending: bad step range or points per step");
    }
    const int count = high - low + 1;
    const std::size_t perBlock = 2 * static_cast<std::size_t>(pointsPerStep);
    const std::size_t values = static_cast<std::size_t>(count) * perBlock;
    if (out.size() < values) {
        throw std::invalid_argument("ReadStepListDescending: output too short");
    }
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(values), 0.0);
    if (ports.link.RunStepListDown(low, high) != kLinkOk) {
        return kAborted;
    }
    // A block that did not come costs its own entries: the unit sends the
    // rest as it tunes on, and the read goes on with the next. Two in a row
    // mean the unit has stopped sending, and waiting for every block left
    // would hold the sweep for seconds.
    int result = kComplete;
    bool previousMissing = false;
    for (int block = 0; block < count; ++block) {
        if (!AwaitBlock(ports, block, count)) {
            result = kAborted;
            if (previousMissing) {
                return result;
            }
            previousMissing = true;
            continue;
        }
        previousMissing = false;
        StepFullSpectrum(blockI_.data(), blockQ_.data(), pointsPerStep,
                         out.data() + static_cast<std::size_t>(block) * perBlock);
    }
    ports.link.FlushDataChannel();
    return result;
}

}  // namespace tavlin
