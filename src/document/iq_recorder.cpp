#include "document/iq_recorder.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "ports/log.h"

namespace tavlin {

namespace {

constexpr char kLogTopic[] = "iq";
constexpr std::size_t kBytesPerPair = 4;
// The metadata is brought up to date about once a second while recording,
// so that a drive pulled out mid-recording leaves little undescribed; a
// long recording's metadata grows with its captures, and is rewritten a
// second less often for every thousand of them, so the rewriting stays a
// small part of the writer's work.
constexpr double kMetaIntervalSec = 1.0;
constexpr double kSegmentsPerExtraSecond = 1000.0;
constexpr char kRateChanged[] =
    "The sample rate changed (another span or sweep time): the I/Q recording ends here";

void StoreWord(std::int32_t value, std::uint8_t* at) {
    const auto word = static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
    const auto bits = static_cast<std::uint16_t>(word);
    at[0] = static_cast<std::uint8_t>(bits & 0xFF);
    at[1] = static_cast<std::uint8_t>(bits >> 8);
}

double SecondsBetween(std::chrono::steady_clock::time_point from,
                      std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

std::filesystem::path IqRecorder::BasePath(const std::filesystem::path& path) {
    const std::string name = path.string();
    for (const std::string suffix : {".sigmf-meta", ".sigmf-data", ".sigmf"}) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) {
            return name.substr(0, name.size() - suffix.size());
        }
    }
    return path;
}

IqRecorder::IqRecorder(const std::filesystem::path& path, Unit unit, double seconds,
                       std::unique_ptr<IqDataFile> dataFile)
    : metaPath_(BasePath(path).string() + ".sigmf-meta"),
      dataPath_(BasePath(path).string() + ".sigmf-data"),
      unit_(std::move(unit)),
      seconds_(seconds > 0.0 ? seconds : 0.0),
      data_(dataFile ? std::move(dataFile) : std::make_unique<IqDataFile>()) {
    meta_.serial = unit_.serial;
    meta_.firmware = unit_.firmware;
    meta_.recorder = unit_.recorder;
}

IqRecorder::~IqRecorder() {
    Stop();
}

bool IqRecorder::Start(std::string& error) {
    if (!data_->Open(dataPath_, error) || !WriteMeta(error)) {
        data_->Close();
        return false;
    }
    std::lock_guard lock(mutex_);
    startedAt_ = std::chrono::steady_clock::now();
    lastOfferAt_ = startedAt_;
    accepting_ = true;
    writer_ = std::thread([this] { WriterLoop(); });
    LogInfo(kLogTopic, "recording I/Q to " + metaPath_.string());
    return true;
}

void IqRecorder::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (accepting_) {
            lastOfferAt_ = std::chrono::steady_clock::now();
        }
        accepting_ = false;
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
}

// Past its length the recording takes nothing more; the time it ended is
// the length, not the moment someone noticed.
bool IqRecorder::Accepting(std::chrono::steady_clock::time_point now) {
    if (accepting_ && seconds_ > 0.0 && SecondsBetween(startedAt_, now) >= seconds_) {
        accepting_ = false;
        lastOfferAt_ = startedAt_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(seconds_));
    }
    return accepting_;
}

void IqRecorder::Offer(const IqCapture& capture) {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (!Accepting(now)) {
            return;
        }
        if (queue_.size() >= kQueueCaptures) {
            ++dropped_;
            lostSinceWritten_ = true;
            if (dropped_ == 1 || dropped_ % 100 == 0) {
                LogWarning(kLogTopic, "the I/Q recording cannot keep up: " +
                                          std::to_string(dropped_) + " captures dropped");
            }
            return;
        }
    }
    Queued item = Copy(capture);
    {
        std::lock_guard lock(mutex_);
        item.continues = capture.continuesPrevious && !lostSinceWritten_;
        lostSinceWritten_ = false;
        lastOfferAt_ = now;
        queue_.push_back(std::move(item));
    }
    wake_.notify_one();
}

// Pairs a mirrored sampler delivered are conjugated, so that in the file a
// rising frequency is a rising input frequency.
IqRecorder::Queued IqRecorder::Copy(const IqCapture& capture) {
    Queued item;
    const std::size_t pairs = std::min(capture.i.size(), capture.q.size());
    item.bytes.resize(pairs * kBytesPerPair);
    const std::int32_t sign = capture.mirrored ? -1 : 1;
    for (std::size_t n = 0; n < pairs; ++n) {
        StoreWord(capture.i[n], &item.bytes[n * kBytesPerPair]);
        StoreWord(sign * capture.q[n], &item.bytes[n * kBytesPerPair + 2]);
    }
    item.segment.frequencyHz = capture.centerHz;
    item.segment.startedAt = std::chrono::system_clock::now();
    item.segment.scaleDb = capture.scaleDb;
    item.segment.bandCorrectionDb = capture.bandCorrectionDb;
    item.segment.attenDb = capture.attenDb;
    item.segment.gainMode = capture.gainMode;
    item.segment.preampOn = capture.preampOn;
    item.segment.rbwHz = capture.rbwHz;
    item.sampleRateHz = capture.sampleRateHz;
    item.referenceCorrection = capture.referenceCorrection;
    return item;
}

IqRecordingStatus IqRecorder::Status() const {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    IqRecordingStatus status;
    status.running = accepting_ && !(seconds_ > 0.0 && SecondsBetween(startedAt_, now) >= seconds_);
    status.failed = failed_;
    status.message = message_;
    status.bytesWritten = bytesWritten_;
    status.captures = captures_;
    status.droppedCaptures = dropped_;
    status.secondsElapsed = SecondsBetween(startedAt_, status.running ? now : lastOfferAt_);
    if (seconds_ > 0.0) {
        status.secondsElapsed = std::min(status.secondsElapsed, seconds_);
    }
    status.secondsWanted = seconds_;
    return status;
}

void IqRecorder::WriterLoop() {
    for (;;) {
        Queued item;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) {
                break;
            }
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        WriteCapture(item);
        std::string error;
        const auto now = std::chrono::steady_clock::now();
        const double interval =
            kMetaIntervalSec + static_cast<double>(meta_.segments.size()) / kSegmentsPerExtraSecond;
        if (SecondsBetween(metaWrittenAt_, now) >= interval && !WriteMeta(error)) {
            Fail(error);
        }
    }
    std::string error;
    if (!WriteMeta(error)) {
        // The metadata on disk is the last one written: the samples it does
        // not describe go, so the pair stays whole.
        data_->TruncateTo(samplesInMeta_ * kBytesPerPair);
        Fail(error);
    }
    data_->Close();
    std::lock_guard lock(mutex_);
    LogInfo(kLogTopic, "I/Q recording ended: " + std::to_string(bytesWritten_) + " bytes, " +
                           std::to_string(dropped_) + " captures dropped");
}

void IqRecorder::WriteCapture(Queued& item) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) {
            return;
        }
    }
    if (meta_.segments.empty()) {
        meta_.sampleRateHz = item.sampleRateHz;
        meta_.referenceCorrection = item.referenceCorrection;
    } else if (item.sampleRateHz != meta_.sampleRateHz) {
        Fail(kRateChanged);
        return;
    }
    std::string error;
    if (!data_->Append(item.bytes, error)) {
        data_->TruncateTo(samplesWritten_ * kBytesPerPair);
        Fail(error);
        return;
    }
    if (!item.continues || meta_.segments.empty()) {
        item.segment.sampleStart = samplesWritten_;
        meta_.segments.push_back(item.segment);
    }
    samplesWritten_ += item.bytes.size() / kBytesPerPair;
    std::lock_guard lock(mutex_);
    bytesWritten_ += item.bytes.size();
    ++captures_;
}

bool IqRecorder::WriteMeta(std::string& error) {
    {
        std::lock_guard lock(mutex_);
        meta_.droppedCaptures = dropped_;
    }
    if (!WriteTextAtomically(metaPath_, meta_.Text(), error)) {
        return false;
    }
    samplesInMeta_ = samplesWritten_;
    metaWrittenAt_ = std::chrono::steady_clock::now();
    return true;
}

// The first failure is the one to report; the recording takes nothing more.
void IqRecorder::Fail(const std::string& message) {
    std::lock_guard lock(mutex_);
    if (!failed_) {
        failed_ = message != kRateChanged;
        message_ = message;
        LogError(kLogTopic, "I/Q recording stopped: " + message);
    }
    if (accepting_) {
        lastOfferAt_ = std::chrono::steady_clock::now();
    }
    accepting_ = false;
    queue_.clear();
}

}  // namespace tavlin
