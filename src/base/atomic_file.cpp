#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

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

bool ReadWholeFile(const std::filesystem::path& source, std::vector<std::uint8_t>& content,
                   std::string& error) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        error = Describe("Cannot open", source, errno);
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "Cannot read " + source.string();
        return false;
    }
    return true;
}

}  // namespace tavlin
