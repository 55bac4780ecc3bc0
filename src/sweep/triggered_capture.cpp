#include "sweep/triggered_capture.h"

#include <algorithm>

#include "device/device_link.h"
#include "ports/clock.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr int kStreamSettleMs = 10;

}  // namespace

TriggeredCapture::TriggeredCapture() : blockI_(kBlockSamples), blockQ_(kBlockSamples) {}

int TriggeredCapture::FirstAbove(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                                 double threshold) {
    const std::size_t count = std::min(i.size(), q.size());
    for (std::size_t n = 0; n < count; ++n) {
        const std::int64_t re = i[n];
        const std::int64_t im = q[n];
        if (static_cast<double>(re * re + im * im) > threshold) {
            return static_cast<int>(n);
        }
    }
    return -1;
}

bool TriggeredCapture::TriggerOn(SweepContext& context) {
    return context.videoTriggerOn();
}

bool TriggeredCapture::StopRequested(const SweepContext& context) {
    return context.stopRequest.load() != 0;
}

TriggeredCapture::Result TriggeredCapture::Capture(SweepContext& context, int samples) {
    const int length = static_cast<int>(context.engine.Capture().i.size());
    samples = std::clamp(samples / kBlockSamples * kBlockSamples, kBlockSamples,
                         length / kBlockSamples * kBlockSamples);
    DeviceLink& link = context.link;
    link.StartStream();
    link.ReadStreamHeader();

    int triggerIndex = 0;
    bool blockRead = false;
    Result result = WaitForTrigger(context, triggerIndex, blockRead);
    if (result == Result::kCaptured) {
        result = ReadBlocks(context, samples);
    }

    link.StopStream();
    context.clock.SleepMs(kStreamSettleMs);
    link.PurgeBoth();

    // Without a block from the wait (the trigger was off from the start) the
    // stream itself is the capture.
    if (result == Result::kCaptured && blockRead) {
        PutTriggerBlockInFront(context, samples, triggerIndex);
    }
    return result;
}

// A threshold no signal reaches, or one that is not a number, never ends the
// wait by itself: the trigger being switched off or a stop request does.
TriggeredCapture::Result TriggeredCapture::WaitForTrigger(SweepContext& context, int& triggerIndex,
                                                          bool& blockRead) {
    const double threshold = context.settings.videoTrigThreshold;
    triggerIndex = 0;
    while (TriggerOn(context)) {
        if (StopRequested(context)) {
            return Result::kStopped;
        }
        if (!context.link.ReadStreamBlock(blockI_.data(), blockQ_.data())) {
            return Result::kTimedOut;
        }
        blockRead = true;
        const int found = FirstAbove(blockI_, blockQ_, threshold);
        if (found >= 0) {
            triggerIndex = found;
            break;
        }
    }
    return Result::kCaptured;
}

// One time-out message is enough: with the unit gone every further block
// would bring another.
TriggeredCapture::Result TriggeredCapture::ReadBlocks(SweepContext& context, int samples) {
    std::int32_t* i = context.engine.Capture().i.data();
    std::int32_t* q = context.engine.Capture().q.data();
    for (int start = 0; start < samples; start += kBlockSamples) {
        if (StopRequested(context)) {
            return Result::kStopped;
        }
        if (!context.link.ReadStreamBlock(i + start, q + start)) {
            return Result::kTimedOut;
        }
    }
    return Result::kCaptured;
}

// The capture starts at the trigger sample: the rest of the trigger block in
// front, the stream after it, its last 4096 - n samples dropped.
void TriggeredCapture::PutTriggerBlockInFront(SweepContext& context, int samples,
                                              int triggerIndex) {
    const int lead = kBlockSamples - triggerIndex;
    const int kept = samples - lead;
    for (auto* column : {&context.engine.Capture().i, &context.engine.Capture().q}) {
        std::copy_backward(column->begin(), column->begin() + kept, column->begin() + samples);
    }
    std::copy(blockI_.begin() + triggerIndex, blockI_.end(), context.engine.Capture().i.begin());
    std::copy(blockQ_.begin() + triggerIndex, blockQ_.end(), context.engine.Capture().q.begin());
}

}  // namespace tavlin
