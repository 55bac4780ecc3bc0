#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sweep/sweep_context.h"

namespace tavlin {

// The zero-span capture on a video trigger: the stream runs while blocks of
// 4096 samples are scanned for the first one whose I^2 + Q^2 exceeds the
// trigger threshold; the capture then starts at that sample.
class TriggeredCapture {
  public:
    enum class Result {
        kCaptured,  // the capture holds the requested samples
        kStopped,   // a stop request ended the wait; the capture holds nothing new
        kTimedOut,  // a block never came (the link has said so); abandoned there
    };

    static constexpr int kBlockSamples = 4096;

    TriggeredCapture();

    // Fills the first `samples` entries (a multiple of 4096, at most the
    // capture's length) of captureI/captureQ. Waits while the live video
    // trigger stays on and no stop is requested; when the trigger is
    // switched off the capture proceeds from the stream at once.
    Result Capture(SweepContext& context, int samples);

    // Index of the first sample of a block whose power exceeds the threshold,
    // or -1. The power is formed in 64 bits: two full-scale words overflow 32.
    static int FirstAbove(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                          double threshold);

  private:
    static bool TriggerOn(SweepContext& context);
    static bool StopRequested(const SweepContext& context);
    Result WaitForTrigger(SweepContext& context, int& triggerIndex, bool& blockRead);
    Result ReadBlocks(SweepContext& context, int samples);
    void PutTriggerBlockInFront(SweepContext& context, int samples, int triggerIndex);

    std::vector<std::int32_t> blockI_;
    std::vector<std::int32_t> blockQ_;
};

}  // namespace tavlin
