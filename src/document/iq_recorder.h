#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "document/iq_data_file.h"
#include "document/sigmf_meta.h"
#include "sweep/iq_capture_tap.h"

namespace tavlin {

// What a recording shows while it runs and says when it has ended.
struct IqRecordingStatus {
    bool running = false;  // captures are still taken
    bool failed = false;   // a write failed: the recording ended there
    std::string message;   // why it ended, when it did not end as asked
    std::uint64_t bytesWritten = 0;
    std::uint64_t captures = 0;  // written whole
    std::uint64_t droppedCaptures = 0;
    double secondsElapsed = 0.0;
    double secondsWanted = 0.0;  // 0: until stopped
};

// Records the raw captures the sweep kinds offer as a SigMF pair: NAME.sigmf-data
// (16-bit pairs, appended) and NAME.sigmf-meta (rewritten whole through a
// temporary file, so it is always a complete file). The sweep thread only
// copies a capture into a bounded queue; a writer thread of the recorder's
// own writes it. A capture that finds the queue full is dropped and counted,
// never waited for. A failed write (full disk, drive gone) ends the
// recording; the samples file is cut back to its last whole capture and the
// metadata describes exactly what stays.
class IqRecorder : public IqCaptureTap {
  public:
    static constexpr std::size_t kQueueCaptures = 16;

    struct Unit {
        std::string serial;
        std::string firmware;
        std::string recorder;  // the program and its version
    };

    // `path` names either file of the pair or their common base name.
    // `seconds` 0 records until Stop. The data file may be given (a test's
    // failing one); by default it is the real file.
    IqRecorder(const std::filesystem::path& path, Unit unit, double seconds,
               std::unique_ptr<IqDataFile> dataFile = nullptr);
    ~IqRecorder() override;
    IqRecorder(const IqRecorder&) = delete;
    IqRecorder& operator=(const IqRecorder&) = delete;

    // Creates both files and starts the writer; false with `error` when the
    // files cannot be made.
    bool Start(std::string& error);
    // Takes no more captures, writes what is queued and the final metadata.
    void Stop();

    void Offer(const IqCapture& capture) override;

    IqRecordingStatus Status() const;
    const std::filesystem::path& MetaPath() const { return metaPath_; }
    const std::filesystem::path& DataPath() const { return dataPath_; }

    // The pair's two names for a name the user gave (either file or the base).
    static std::filesystem::path BasePath(const std::filesystem::path& path);

  private:
    struct Queued {
        std::vector<std::uint8_t> bytes;  // ci16_le, already oriented
        IqSegment segment;
        double sampleRateHz = 0.0;
        double referenceCorrection = 1.0;
        bool continues = false;  // appends to the segment before it
    };

    static Queued Copy(const IqCapture& capture);
    void WriterLoop();
    void WriteCapture(Queued& item);
    bool WriteMeta(std::string& error);
    void Fail(const std::string& message);
    bool Accepting(std::chrono::steady_clock::time_point now);

    std::filesystem::path metaPath_;
    std::filesystem::path dataPath_;
    Unit unit_;
    double seconds_;
    std::unique_ptr<IqDataFile> data_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Queued> queue_;
    bool stopping_ = false;
    bool accepting_ = false;
    bool failed_ = false;
    bool lostSinceWritten_ = false;  // a capture was dropped since the last one queued
    std::string message_;
    std::uint64_t dropped_ = 0;
    std::uint64_t captures_ = 0;
    std::uint64_t bytesWritten_ = 0;
    std::chrono::steady_clock::time_point startedAt_{};
    std::chrono::steady_clock::time_point lastOfferAt_{};

    // Written by the writer thread only.
    SigmfMeta meta_;
    std::uint64_t samplesWritten_ = 0;
    std::uint64_t samplesInMeta_ = 0;  // what the metadata on disk describes
    std::chrono::steady_clock::time_point metaWrittenAt_{};
    std::thread writer_;
};

}  // namespace tavlin
