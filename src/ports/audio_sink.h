#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace tavlin {

// Signed 16-bit little-endian PCM, channels interleaved.
struct AudioFormat {
    int channels = 2;
    int framesPerSecond = 30382;

    int BytesPerFrame() const { return channels * 2; }
};

// Where demodulated sound goes: the sound card, or a recording. One writer
// thread at a time; RequestStop may come from any thread.
class AudioSink {
  public:
    enum class WriteResult { Written, Stopped, TimedOut, Failed };

    virtual ~AudioSink() = default;

    // False when the destination cannot take sound; Error() says why.
    virtual bool Open(const AudioFormat& format) = 0;
    // Hands over whole frames (samples.size() a multiple of the channels).
    // Returns once all are taken, or earlier when it would have to wait after
    // a stop request, when the destination took nothing for `timeout`, or
    // when it failed: a write never waits for ever on a stalled device.
    virtual WriteResult Write(std::span<const std::int16_t> samples,
                              std::chrono::milliseconds timeout) = 0;
    // Ends the sound: what is queued plays out (for a bounded time), or is
    // dropped after a stop request. True when everything written reached its
    // destination (a recording is complete under its own name).
    virtual bool Close() = 0;
    virtual std::string Error() const = 0;

    // Any thread: a write waiting for room returns at once, and so do later
    // ones that would wait, until the next Open.
    void RequestStop() { stopRequested_ = true; }

  protected:
    bool StopRequested() const { return stopRequested_.load(); }
    void ClearStop() { stopRequested_ = false; }

  private:
    std::atomic<bool> stopRequested_{false};
};

}  // namespace tavlin
