#include "view/sweep_log_file.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

// Enough tries to step over every rotation of a long log that was started
// again on the same name.
constexpr int kMaxIndex = 1'000'000;

std::string SizeText(double bytes) {
    return bytes < 1e6 ? FormatText("%.0f kB", bytes / 1e3) : FormatText("%.1f MB", bytes / 1e6);
}

}  // namespace

SweepLogFile::SweepLogFile(const SweepLogSettings& settings) : settings_(settings) {}

SweepLogFile::~SweepLogFile() {
    Close();
}

std::string SweepLogFile::Open() {
    nextIndex_ = 0;
    return OpenNext();
}

std::filesystem::path SweepLogFile::NameOf(int index) const {
    if (index == 0) {
        return settings_.path;
    }
    std::filesystem::path name = settings_.path;
    name.replace_filename(settings_.path.stem().string() + "-" + std::to_string(index) +
                          settings_.path.extension().string());
    return name;
}

std::string SweepLogFile::OpenNext() {
    Close();
    for (; nextIndex_ < kMaxIndex; ++nextIndex_) {
        const std::filesystem::path name = NameOf(nextIndex_);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            path_ = name;
            size_ = 0;
            ++nextIndex_;
            return "";
        }
        if (errno != EEXIST) {
            return "cannot create the sweep log " + name.string() + ": " + std::strerror(errno);
        }
    }
    return "no free name for the sweep log beside " + settings_.path.string();
}

std::string SweepLogFile::RotateIfDue(std::size_t bytes, double utcSec) {
    if (fd_ < 0) {
        return "the sweep log is closed";
    }
    if (size_ == 0) {
        firstRowUtc_ = utcSec;
        return "";
    }
    const bool bySize = settings_.rotateBytes > 0 && size_ + bytes > settings_.rotateBytes;
    const bool byTime = settings_.rotateSec > 0.0 && utcSec - firstRowUtc_ >= settings_.rotateSec;
    if (!bySize && !byTime) {
        return "";
    }
    firstRowUtc_ = utcSec;
    return OpenNext();
}

std::string SweepLogFile::CheckFreeRoom(std::size_t bytes) const {
    struct statvfs room {};
    if (::fstatvfs(fd_, &room) != 0) {
        return "the sweep log's disk cannot be read: " + std::string(std::strerror(errno));
    }
    const double total = static_cast<double>(room.f_blocks) * room.f_frsize;
    const double free = static_cast<double>(room.f_bavail) * room.f_frsize;
    const double margin = std::min(static_cast<double>(settings_.marginBytes),
                                   total * settings_.marginPercent / 100.0);
    if (free - static_cast<double>(bytes) < margin) {
        return "the disk of " + path_.string() + " is down to " + SizeText(free) +
               " free, the margin kept is " + SizeText(margin);
    }
    return "";
}

std::string SweepLogFile::Write(std::string_view text) {
    if (fd_ < 0) {
        return "the sweep log is closed";
    }
    if (std::string room = CheckFreeRoom(text.size()); !room.empty()) {
        return room;
    }
    ssize_t written = -1;
    do {
        written = ::write(fd_, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size())) {
        size_ += text.size();
        return "";
    }
    const int error = written < 0 ? errno : ENOSPC;
    // The row that did not fit is taken back whole.
    if (written > 0 && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
        return "writing " + path_.string() +
               " failed and its last row could not be cut off: " + std::strerror(errno);
    }
    return "writing " + path_.string() + " failed: " + std::strerror(error);
}

void SweepLogFile::Close() {
    if (fd_ >= 0) {
        ::fdatasync(fd_);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace tavlin
