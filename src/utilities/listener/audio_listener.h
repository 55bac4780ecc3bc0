#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/ring_buffer.h"
#include "ports/audio_sink.h"
#include "utilities/listener/listener_demodulator.h"

namespace tavlin {

class AnalyzerDocument;
class InstrumentLease;

// The listener's choices, as the dialog shows them.
struct ListenSettings {
    double freqHz = 100e6;
    bool fm = true;
    bool wideIf = true;
    double deemphasisUs = 125.0;
    // A recording of a given length stops taking sound after this many
    // values; 0 plays until STOP.
    std::int64_t maxValues = 0;
};

// Plays the AM or FM demodulated signal at one frequency: an audio thread
// streams I/Q from the instrument, demodulates it into a ring of sound
// blocks, and an output thread hands the blocks to the sink, which paces
// them. The caller holds a UtilitySession while it listens.
class AudioListener {
  public:
    static constexpr int kRingBlocks = 20;
    static constexpr int kBlockValues = 4096;  // 2048 stereo frames, about 67 ms
    // Stereo at 30382 frames per second: the mono stream of 60764 values per
    // second, consecutive values alternately left and right.
    static constexpr AudioFormat kFormat{2, 30382};
    static constexpr int kValuesPerSecond = 60764;
    static constexpr const char* kOpenFailedText = "Error 7: opening sound card failed";
    static constexpr const char* kOpenFailedCaption = "ERROR 7";
    static constexpr const char* kNoDataText = "no data from the instrument";

    // `ended` (may be empty) is called from the audio thread when a stream
    // ends by itself: no data, or the sound device failed.
    AudioListener(InstrumentLease& instrument, AudioSink& sink, std::function<void()> ended = {});
    ~AudioListener();
    AudioListener(const AudioListener&) = delete;
    AudioListener& operator=(const AudioListener&) = delete;

    // Start (and APPLY): a running stream is stopped first, then a new one
    // plays with these settings. The sound device is opened here, on the
    // caller's thread: when it cannot be, "Error 7" is shown from there, no
    // thread starts and false is returned.
    bool Start(const ListenSettings& settings);
    // STOP: returns once the audio thread has ended and the instrument's
    // stream is closed; at once when nothing plays. While it waits it serves
    // the message boxes the audio thread may be showing.
    void Stop();
    // AM / FM switch the running stream from its next fetch on.
    void SetFm(bool fm) { fm_ = fm; }
    bool Playing() const { return playing_.load(); }

    // Values handed to the sink since the last Start.
    std::int64_t ValuesWritten() const { return valuesWritten_.load(); }
    // Waits until `values` were handed to the sink, or the stream ended, or
    // `timeout` passed; true when they were.
    bool WaitForValues(std::int64_t values, std::chrono::milliseconds timeout);
    // Why the last stream ended by itself; empty after a STOP.
    std::string Failure() const;

  private:
    using Block = std::array<std::int16_t, kBlockValues>;

    void AudioThread(ListenSettings settings);
    void JoinAudioThread();
    void OutputThread();
    ListenerTuning TuneInstrument(const ListenSettings& settings);
    bool FillBlock(Block& block, bool wideIf);
    void EndStream();
    void Fail(const std::string& why);

    // The ring: the audio thread fills free blocks in turn, the output thread
    // plays queued ones in the same order and frees them.
    Block* AcquireFree();
    void Queue();
    void ReleasePlayed();

    InstrumentLease& instrument_;
    AnalyzerDocument& doc_;
    AudioSink& sink_;
    std::function<void()> ended_;
    ListenerDemodulator demodulator_;
    RingBuffer<Block> ring_{kRingBlocks};  // never grown: the threads keep its places
    std::vector<std::int32_t> i_ = std::vector<std::int32_t>(kBlockValues);
    std::vector<std::int32_t> q_ = std::vector<std::int32_t>(kBlockValues);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;   // STOP asked: every wait ends
    bool producing_ = false;  // the audio thread may still queue blocks
    bool audioDone_ = true;
    std::string failure_;

    std::atomic<bool> fm_{true};
    std::atomic<bool> playing_{false};
    std::atomic<std::int64_t> valuesWritten_{0};
    std::int64_t maxValues_ = 0;
    std::thread audio_;
    std::thread output_;
};

// The Listen dialog's opening: marker 1's frequency when it is on and
// inside the span, else the centre, with the choices kept in the document.
ListenSettings OpeningListenSettings(const AnalyzerDocument& document);
// Its closing: marker 1 moves to the frequency last in the dialog, the
// choices are kept, and the instrument's queues are purged before the
// sweep resumes.
void CloseListening(InstrumentLease& instrument, const ListenSettings& settings);

}  // namespace tavlin
