#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "view/sweep_log_settings.h"

namespace tavlin {

// The files of one sweep log. The first is the path asked for; each later one
// (a rotation, or the path already taken) is STEM-1.EXT, STEM-2.EXT, ...,
// the first name free. A file is created only where none is, so no earlier
// log is ever overwritten. A row goes out in one write; when the disk takes
// only part of it, the part is cut off again, so the file always ends on a
// whole row.
class SweepLogFile {
  public:
    explicit SweepLogFile(const SweepLogSettings& settings);
    ~SweepLogFile();
    SweepLogFile(const SweepLogFile&) = delete;
    SweepLogFile& operator=(const SweepLogFile&) = delete;

    // Opens the first file: "" when open, else why not, for the user.
    std::string Open();
    // Starts the next file first when the one open is due for rotation
    // before a row of `bytes` of a sweep that ended at `utcSec`: by size, or
    // by the time since the file's first row. "" when a file is open for it.
    std::string RotateIfDue(std::size_t bytes, double utcSec);
    // Nothing written to the file open yet: a layout with a header starts it.
    bool Fresh() const { return size_ == 0; }
    // Writes the text whole or not at all. "" when written, else why the log
    // must stop (the disk is full or gone, or its free room is down to the
    // margin).
    std::string Write(std::string_view text);
    void Close();
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::string OpenNext();
    std::filesystem::path NameOf(int index) const;
    std::string CheckFreeRoom(std::size_t bytes) const;

    SweepLogSettings settings_;
    std::filesystem::path path_;
    int fd_ = -1;
    int nextIndex_ = 0;
    std::uint64_t size_ = 0;
    double firstRowUtc_ = 0.0;
};

}  // namespace tavlin
