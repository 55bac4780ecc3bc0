#include "utilities/sound/wav_file_sink.h"

#include <array>
#include <cstring>
#include <system_error>

namespace tavlin {

namespace {

// RIFF sizes are 32 bits: a recording stops short of the limit rather than
// wrap its header (about 9.8 hours of the listener's sound).
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - WavFileSink::kHeaderBytes;

void PutLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::array<std::uint8_t, WavFileSink::kHeaderBytes> Header(const AudioFormat& format,
                                                           std::uint32_t dataBytes) {
    std::array<std::uint8_t, WavFileSink::kHeaderBytes> h{};
    const auto rate = static_cast<std::uint32_t>(format.framesPerSecond);
    const auto align = static_cast<std::uint32_t>(format.BytesPerFrame());
    std::memcpy(&h[0], "RIFF", 4);
    PutLe(&h[4], 36 + dataBytes, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutLe(&h[16], 16, 4);  // size of the format chunk
    PutLe(&h[20], 1, 2);   // integer PCM
    PutLe(&h[22], static_cast<std::uint32_t>(format.channels), 2);
    PutLe(&h[24], rate, 4);
    PutLe(&h[28], rate * align, 4);
    PutLe(&h[32], align, 2);
    PutLe(&h[34], 16, 2);  // bits per sample
    std::memcpy(&h[36], "data", 4);
    PutLe(&h[40], dataBytes, 4);
    return h;
}

}  // namespace

WavFileSink::WavFileSink(std::filesystem::path path) : path_(std::move(path)) {
    temporary_ = path_;
    temporary_ += ".partial";
}

WavFileSink::~WavFileSink() {
    Discard();
}

bool WavFileSink::Open(const AudioFormat& format) {
    Discard();
    ClearStop();
    format_ = format;
    dataBytes_ = 0;
    failed_ = false;
    error_.clear();
    if (format.channels < 1 || format.channels > 8 || format.framesPerSecond < 1) {
        error_ = "unusable sound format";
        return false;
    }
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = "cannot create " + temporary_.string() + ": " + std::strerror(errno);
        return false;
    }
    const auto header = Header(format_, 0);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) {
        Fail("cannot write " + temporary_.string());
        return false;
    }
    return true;
}

// A file never waits, so a stop request does not cut off sound already
// demodulated. Samples are stored little-endian whatever the host's order.
AudioSink::WriteResult WavFileSink::Write(std::span<const std::int16_t> samples,
                                          std::chrono::milliseconds /*timeout*/) {
    if (file_ == nullptr || failed_) {
        return WriteResult::Failed;
    }
    const std::uint64_t bytes = samples.size() * 2;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        Fail("the recording reached the largest size of a WAV file");
        return WriteResult::Failed;
    }
    std::array<std::uint8_t, 8192> buffer;
    std::size_t done = 0;
    while (done < samples.size()) {
        const std::size_t n = std::min(samples.size() - done, buffer.size() / 2);
        for (std::size_t k = 0; k < n; ++k) {
            const auto v = static_cast<std::uint16_t>(samples[done + k]);
            buffer[2 * k] = static_cast<std::uint8_t>(v);
            buffer[2 * k + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        if (std::fwrite(buffer.data(), 1, 2 * n, file_) != 2 * n) {
            Fail("cannot write " + temporary_.string());
            return WriteResult::Failed;
        }
        done += n;
    }
    dataBytes_ += bytes;
    return WriteResult::Written;
}

bool WavFileSink::Close() {
    if (file_ == nullptr) {
        return false;
    }
    if (!failed_) {
        const auto header = Header(format_, static_cast<std::uint32_t>(dataBytes_));
        if (std::fseek(file_, 0, SEEK_SET) != 0 ||
            std::fwrite(header.data(), 1, header.size(), file_) != header.size() ||
            std::fflush(file_) != 0) {
            Fail("cannot complete " + temporary_.string());
        }
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed && !failed_) {
        Fail("cannot close " + temporary_.string());
    }
    std::error_code ec;
    if (!failed_) {
        std::filesystem::rename(temporary_, path_, ec);
        if (ec) {
            Fail("cannot rename to " + path_.string() + ": " + ec.message());
        }
    }
    if (failed_) {
        std::filesystem::remove(temporary_, ec);
    }
    return !failed_;
}

void WavFileSink::Fail(const std::string& what) {
    if (!failed_) {
        error_ = what;
    }
    failed_ = true;
}

// An unfinished recording is dropped: only Close puts a file in place.
void WavFileSink::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ec;
        std::filesystem::remove(temporary_, ec);
    }
}

}  // namespace tavlin
