#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace tavlin {

namespace {

std::string Describe(const std::string& what, const std::filesystem::path& path, int err) {
    return what + " " + path.string() + ": " + std::strerror(err);
}

bool WriteAll(int fd, std::span<const std::uint8_t> content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadRegularFile(int fd, const std::filesystem::path& source, std::size_t maxBytes,
                     std::vector<std::uint8_t>& content, std::string& error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = Describe("Cannot read", source, errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "Cannot open " + source.string() + ": not a regular file";
        return false;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        error = "Cannot open " + source.string() + ": larger than " + std::to_string(maxBytes) +
                " bytes";
        return false;
    }
    // One byte more than the size is asked for, so a file that grew since
    // fstat is noticed rather than cut short.
    const auto size = static_cast<std::size_t>(info.st_size);
    content.assign(size + 1, 0);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = Describe("Cannot read", source, errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (done > size) {
        error = "Cannot read " + source.string() + ": the file changed while it was read";
        return false;
    }
    content.resize(done);
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> content,
                         std::string& error) {
    const std::filesystem::path directory =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string pattern = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = Describe("Cannot create a file in", directory, errno);
        return false;
    }
    // mkstemp makes the file private; a saved document gets the usual rights.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(pattern.c_str());
        error = Describe("Cannot write", target, written ? errno : writeErrno);
        return false;
    }
    if (::rename(pattern.c_str(), target.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(pattern.c_str());
        error = Describe("Cannot replace", target, renameErrno);
        return false;
    }
    return true;
}

bool WriteTextAtomically(const std::filesystem::path& target, std::string_view text,
                         std::string& error) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return WriteFileAtomically(target, std::span<const std::uint8_t>(bytes, text.size()), error);
}

// Opened without blocking, so a FIFO named as a file cannot hold the program
// at the open; only a regular file is read, and only up to its bound, so a
// folder, a device such as /dev/zero or a huge file is refused with a reason.
bool ReadWholeFile(const std::filesystem::path& source, std::size_t maxBytes,
                   std::vector<std::uint8_t>& content, std::string& error) {
    const int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = Describe("Cannot open", source, errno);
        return false;
    }
    const bool read = ReadRegularFile(fd, source, maxBytes, content, error);
    ::close(fd);
    return read;
}

}  // namespace tavlin
