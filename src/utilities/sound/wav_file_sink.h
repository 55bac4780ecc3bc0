#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ports/audio_sink.h"

namespace tavlin {

// A recording of the sound as a RIFF/WAVE PCM file. The samples go to a
// temporary file beside the target; Close writes the chunk sizes into the
// header and renames it over the target, so an interrupted or failed
// recording never leaves a file with a wrong header nor spoils an old one.
class WavFileSink final : public AudioSink {
  public:
    static constexpr std::uint32_t kHeaderBytes = 44;

    explicit WavFileSink(std::filesystem::path path);
    ~WavFileSink() override;
    WavFileSink(const WavFileSink&) = delete;
    WavFileSink& operator=(const WavFileSink&) = delete;

    bool Open(const AudioFormat& format) override;
    WriteResult Write(std::span<const std::int16_t> samples,
                      std::chrono::milliseconds timeout) override;
    bool Close() override;
    std::string Error() const override { return error_; }

    const std::filesystem::path& Path() const { return path_; }

  private:
    void Fail(const std::string& what);
    void Discard();

    std::filesystem::path path_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
    AudioFormat format_;
    std::uint64_t dataBytes_ = 0;
    bool failed_ = false;
    std::string error_;
};

}  // namespace tavlin
