#pragma once

#include <string>

#include "ports/audio_sink.h"

typedef struct _snd_pcm snd_pcm_t;

namespace tavlin {

// Sound through ALSA's PCM `device` ("default": the desktop's sound server or
// the first card). Opened non-blocking, so that every wait for room is a
// bounded poll that sees a stop request.
class AlsaAudioSink final : public AudioSink {
  public:
    explicit AlsaAudioSink(std::string device = "default");
    ~AlsaAudioSink() override;
    AlsaAudioSink(const AlsaAudioSink&) = delete;
    AlsaAudioSink& operator=(const AlsaAudioSink&) = delete;

    bool Open(const AudioFormat& format) override;
    WriteResult Write(std::span<const std::int16_t> samples,
                      std::chrono::milliseconds timeout) override;
    bool Close() override;
    std::string Error() const override { return error_; }

  private:
    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    AudioFormat format_;
    std::string error_;
};

}  // namespace tavlin
