#include "ports/rotating_file_log_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <utility>

namespace tavlin {

namespace {

// "2026-12-07T21:30:01.123Z "
std::string UtcStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms.count() % 1000));
    return text;
}

}  // namespace

RotatingFileLogSink::RotatingFileLogSink(std::filesystem::path path, std::uintmax_t maxBytes,
                                         int keep)
    : path_(std::move(path)), maxBytes_(maxBytes), keep_(keep < 1 ? 1 : keep) {
    Open();
}

RotatingFileLogSink::~RotatingFileLogSink() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RotatingFileLogSink::IsOpen() const {
    const std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

std::filesystem::path RotatingFileLogSink::DefaultPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path folder;
    if (state != nullptr && state[0] == '/') {
        folder = state;
    } else if (home != nullptr && home[0] == '/') {
        folder = std::filesystem::path(home) / ".local" / "state";
    } else {
        return {};
    }
    return folder / "tavlin" / "tavlin.log";
}

bool RotatingFileLogSink::Open() {
    std::error_code error;
    std::filesystem::create_directories(path_.parent_path(), error);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    struct stat status {};
    size_ =
        fd_ >= 0 && ::fstat(fd_, &status) == 0 ? static_cast<std::uintmax_t>(status.st_size) : 0;
    return fd_ >= 0;
}

std::filesystem::path RotatingFileLogSink::OldFile(int index) const {
    return path_.string() + "." + std::to_string(index);
}

void RotatingFileLogSink::Rotate() {
    ::close(fd_);
    std::error_code error;
    std::filesystem::remove(OldFile(keep_), error);
    for (int i = keep_ - 1; i >= 1; --i) {
        std::filesystem::rename(OldFile(i), OldFile(i + 1), error);
    }
    std::filesystem::rename(path_, OldFile(1), error);
    Open();
}

void RotatingFileLogSink::Write(std::string_view line) noexcept {
    try {
        const std::lock_guard lock(mutex_);
        if (fd_ < 0) {
            return;
        }
        const std::size_t level = std::min(line.find(' '), line.size());
        const std::string stamp = " " + UtcStamp();
        const std::size_t bytes = line.size() + stamp.size();
        if (size_ > 0 && size_ + bytes > maxBytes_) {
            Rotate();
            if (fd_ < 0) {
                return;
            }
        }
        std::string_view rest = line.substr(level);
        rest.remove_prefix(rest.empty() ? 0 : 1);
        char end = '\n';
        iovec pieces[4] = {{const_cast<char*>(line.data()), level},
                           {const_cast<char*>(stamp.data()), stamp.size()},
                           {const_cast<char*>(rest.data()), rest.size()},
                           {&end, 1}};
        const ssize_t written = ::writev(fd_, pieces, 4);
        size_ += written > 0 ? static_cast<std::uintmax_t>(written) : 0;
    } catch (...) {
        // No memory for the time stamp: the line is lost, the program goes on.
    }
}

}  // namespace tavlin
