#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tavlin {

// The samples file of an I/Q recording, written only by appending. A write
// that fails (a full disk, a drive pulled out) can be cut back to the last
// whole capture so what stays on disk is whole. Virtual so that a test can
// stand in a file that fails.
class IqDataFile {
  public:
    IqDataFile() = default;
    virtual ~IqDataFile();
    IqDataFile(const IqDataFile&) = delete;
    IqDataFile& operator=(const IqDataFile&) = delete;

    // Creates (or empties) the file; false with `error` when it cannot.
    virtual bool Open(const std::filesystem::path& path, std::string& error);
    // Appends all of `bytes`, or returns false with `error`.
    virtual bool Append(std::span<const std::uint8_t> bytes, std::string& error);
    // Cuts the file back to `size` bytes (best effort after a failure).
    virtual void TruncateTo(std::uint64_t size);
    virtual void Close();

  private:
    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace tavlin
