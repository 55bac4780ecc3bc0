#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "document/sweep_record.h"
#include "ports/clock.h"
#include "view/sweep_log_file.h"
#include "view/sweep_log_settings.h"

namespace tavlin {

// Every sweep with its UTC time, for hours or days. Whoever hosts the log
// (the console, the server, the window) hands it each complete sweep; the
// rows are formatted and written on the log's own thread through a short
// queue, so a slow disk never holds up the sweep. A sweep that finds the
// queue full is dropped, counted and said in the program's log. The log
// stops by itself, with its reason, when its duration is over, the disk is
// full or gone, or the disk's free room comes down to the margin.
class SweepLog {
  public:
    static constexpr std::size_t kQueueDepth = 64;

    struct Status {
        bool running = false;
        std::uint64_t written = 0;
        std::uint64_t dropped = 0;
        std::uint64_t skipped = 0;  // zero-span sweeps the heat-map layout has no row for
        std::string file;           // the file written now, or last
        std::string stopReason;     // empty while running or after Stop()
    };

    SweepLog(const SweepLogSettings& settings, Clock& clock);
    ~SweepLog();
    SweepLog(const SweepLog&) = delete;
    SweepLog& operator=(const SweepLog&) = delete;

    // Opens the first file and starts the writer: "" when logging, else why
    // not, for the user.
    std::string Start();
    // From the sweep thread: returns at once.
    void Offer(const SweepRecord& record);
    // Writes what is queued, closes the file and ends the thread.
    void Stop();
    // False once the log has stopped for any reason.
    bool Running();
    Status GetStatus() const;
    // "412 sweeps logged to FILE, 0 dropped" and the stop reason, if any.
    std::string Summary() const;

  private:
    void WriterMain();
    std::string WriteRecord(const SweepRecord& record);
    bool DurationOverLocked();
    void EndLocked(const std::string& reason);

    const SweepLogSettings settings_;
    Clock& clock_;
    SweepLogFile file_;  // the writer thread's alone once started
    std::optional<SweepRecord> lastWritten_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<SweepRecord> queue_;
    bool accepting_ = false;
    bool stopping_ = false;
    Clock::TimePoint startedAt_{};
    std::optional<Clock::TimePoint> lastKept_;
    Status status_;
    std::thread writer_;
};

}  // namespace tavlin
