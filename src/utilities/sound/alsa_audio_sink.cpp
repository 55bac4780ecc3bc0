#include "utilities/sound/alsa_audio_sink.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <thread>

namespace tavlin {

namespace {

// About 0.2 s in ALSA's own buffer: the listener's block ring holds the rest
// of the sound that bridges a stall.
constexpr unsigned kLatencyUs = 200000;
constexpr int kPollMs = 50;
constexpr std::chrono::milliseconds kDrainLimit{1000};

// ALSA prints its own complaints (no card, no configuration) on standard
// error; ours are the ones shown.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AlsaAudioSink::AlsaAudioSink(std::string device) : device_(std::move(device)) {}

AlsaAudioSink::~AlsaAudioSink() {
    if (pcm_ != nullptr) {
        snd_pcm_close(pcm_);
    }
}

bool AlsaAudioSink::Open(const AudioFormat& format) {
    ClearStop();
    error_.clear();
    format_ = format;
    if (pcm_ != nullptr) {
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
    snd_lib_error_set_handler(QuietAlsa);
    int err = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err == 0) {
        err = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 static_cast<unsigned>(format.channels),
                                 static_cast<unsigned>(format.framesPerSecond), 1, kLatencyUs);
    }
    if (err < 0) {
        error_ = snd_strerror(err);
        if (pcm_ != nullptr) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
        return false;
    }
    return true;
}

AudioSink::WriteResult AlsaAudioSink::Write(std::span<const std::int16_t> samples,
                                            std::chrono::milliseconds timeout) {
    if (pcm_ == nullptr) {
        return WriteResult::Failed;
    }
    const auto frames = static_cast<snd_pcm_uframes_t>(samples.size()) /
                        static_cast<snd_pcm_uframes_t>(format_.channels);
    snd_pcm_uframes_t done = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (done < frames) {
        const snd_pcm_sframes_t n =
            snd_pcm_writei(pcm_, samples.data() + done * format_.channels, frames - done);
        if (n > 0) {
            done += static_cast<snd_pcm_uframes_t>(n);
            deadline = std::chrono::steady_clock::now() + timeout;
        } else if (n == -EAGAIN || n == 0) {
            if (StopRequested()) {
                return WriteResult::Stopped;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return WriteResult::TimedOut;
            }
            snd_pcm_wait(pcm_, kPollMs);
        } else if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) {
            error_ = snd_strerror(static_cast<int>(n));
            return WriteResult::Failed;
        }
    }
    return WriteResult::Written;
}

// The queued sound plays out unless a stop was asked for; a device that does
// not play is dropped after a while instead of holding the caller.
bool AlsaAudioSink::Close() {
    if (pcm_ == nullptr) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    snd_pcm_sframes_t queued = 0;
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
        snd_pcm_start(pcm_);  // less than a buffer was written: play it anyway
    }
    while (!StopRequested() && std::chrono::steady_clock::now() < deadline &&
           snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING && snd_pcm_delay(pcm_, &queued) == 0 &&
           queued > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return true;
}

}  // namespace tavlin
