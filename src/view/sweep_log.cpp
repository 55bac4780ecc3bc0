#include "view/sweep_log.h"

#include <chrono>

#include "ports/log.h"
#include "view/sweep_log_rows.h"

namespace tavlin {

namespace {

constexpr const char* kTopic = "sweep log";

double SecondsBetween(Clock::TimePoint from, Clock::TimePoint to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

SweepLog::SweepLog(const SweepLogSettings& settings, Clock& clock)
    : settings_(settings), clock_(clock), file_(settings) {}

SweepLog::~SweepLog() {
    Stop();
}

std::string SweepLog::Start() {
    std::string error = file_.Open();
    std::lock_guard lock(mutex_);
    status_.file = file_.Path().string();
    if (!error.empty()) {
        status_.stopReason = error;
        return error;
    }
    accepting_ = true;
    status_.running = true;
    startedAt_ = clock_.Now();
    writer_ = std::thread(&SweepLog::WriterMain, this);
    LogInfo(kTopic, "logging sweeps to " + status_.file);
    return "";
}

bool SweepLog::DurationOverLocked() {
    if (accepting_ && settings_.durationSec > 0.0 &&
        SecondsBetween(startedAt_, clock_.Now()) >= settings_.durationSec) {
        EndLocked("");
        LogInfo(kTopic, "the log's duration is over");
    }
    return !accepting_;
}

void SweepLog::EndLocked(const std::string& reason) {
    accepting_ = false;
    status_.running = false;
    status_.stopReason = reason;
    wake_.notify_all();
}

void SweepLog::Offer(const SweepRecord& record) {
    std::lock_guard lock(mutex_);
    if (DurationOverLocked()) {
        return;
    }
    const Clock::TimePoint now = clock_.Now();
    if (settings_.intervalSec > 0.0 && lastKept_ &&
        SecondsBetween(*lastKept_, now) < settings_.intervalSec) {
        return;
    }
    if (queue_.size() >= kQueueDepth) {
        ++status_.dropped;
        LogWarning(kTopic, "a sweep was dropped: the disk does not keep up with the sweeps");
        return;
    }
    lastKept_ = now;
    queue_.push_back(record);
    wake_.notify_all();
}

void SweepLog::WriterMain() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            break;
        }
        const SweepRecord record = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const std::string error = WriteRecord(record);
        lock.lock();
        status_.file = file_.Path().string();
        if (!error.empty()) {
            queue_.clear();
            EndLocked(error);
            LogError(kTopic, error + ": the sweep log stops");
            break;
        }
    }
    file_.Close();
}

std::string SweepLog::WriteRecord(const SweepRecord& record) {
    if (!SweepLogRows::Writable(settings_.format, record)) {
        const std::lock_guard lock(mutex_);
        if (status_.skipped++ == 0) {
            LogWarning(kTopic,
                       "zero-span sweeps have no frequencies: the heat-map layout "
                       "leaves them out");
        }
        return "";
    }
    const bool table = settings_.format == SweepLogFormat::kTable;
    std::string text = table ? SweepLogRows::TableRow(record) : SweepLogRows::HeatmapRow(record);
    if (std::string error = file_.RotateIfDue(text.size(), record.utcSec); !error.empty()) {
        return error;
    }
    if (table &&
        (file_.Fresh() || !lastWritten_ || !SweepLogRows::SameSettings(*lastWritten_, record))) {
        text = SweepLogRows::TableHeader(record) + text;
    }
    if (std::string error = file_.Write(text); !error.empty()) {
        return error;
    }
    lastWritten_ = record;
    const std::lock_guard lock(mutex_);
    ++status_.written;
    return "";
}

void SweepLog::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (accepting_) {
            EndLocked("");
        }
        // Also when the log ended before (its duration): the writer may be
        // waiting for a sweep that will not come.
        wake_.notify_all();
    }
    if (writer_.joinable()) {
        writer_.join();
    }
}

bool SweepLog::Running() {
    std::lock_guard lock(mutex_);
    return !DurationOverLocked();
}

SweepLog::Status SweepLog::GetStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::string SweepLog::Summary() const {
    const Status status = GetStatus();
    const bool rotated = status.file != settings_.path.string();
    std::string text = std::to_string(status.written) + " sweeps logged" +
                       (rotated ? ", the last to " : " to ") + status.file + ", " +
                       std::to_string(status.dropped) + " dropped";
    if (status.skipped > 0) {
        text += ", " + std::to_string(status.skipped) + " zero-span sweeps left out";
    }
    return status.stopReason.empty() ? text : text + "; stopped: " + status.stopReason;
}

}  // namespace tavlin
