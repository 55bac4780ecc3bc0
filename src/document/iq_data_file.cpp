#include "document/iq_data_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavlin {

namespace {

std::string Describe(const std::string& what, const std::filesystem::path& path, int err) {
    return what + " " + path.string() + ": " + std::strerror(err);
}

}  // namespace

IqDataFile::~IqDataFile() {
    Close();
}

bool IqDataFile::Open(const std::filesystem::path& path, std::string& error) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = Describe("Cannot create", path, errno);
        return false;
    }
    path_ = path;
    return true;
}

bool IqDataFile::Append(std::span<const std::uint8_t> bytes, std::string& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A write that takes nothing and reports nothing is a full disk.
            error = Describe("Cannot write", path_, n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void IqDataFile::TruncateTo(std::uint64_t size) {
    if (fd_ >= 0) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd_, static_cast<off_t>(size));
    }
}

void IqDataFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace tavlin
