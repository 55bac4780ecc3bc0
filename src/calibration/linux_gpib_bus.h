#pragma once

#include <mutex>
#include <string>

#include "ports/gpib_bus.h"

namespace tavlin {

// linux-gpib's library, loaded on first use. Without the library (it is not
// part of every distribution) or one of its functions every open returns -1,
// so a procedure reports its instruments missing rather than failing to
// start. The library is never unloaded: it registers fork handlers.
class LinuxGpibBus final : public GpibBus {
  public:
    static constexpr const char* kLibrary = "libgpib.so.0";

    explicit LinuxGpibBus(std::string library = kLibrary) : library_(std::move(library)) {}

    int OpenDevice(int primaryAddress) override;
    bool Write(int device, std::string_view bytes) override;
    std::optional<std::string> Read(int device, std::size_t maxBytes) override;
    // ibonl(device, 0): the descriptor is released.
    void CloseDevice(int device) override;
    // "libgpib.so.0 not found (...)" or the missing function; empty when
    // the library is loaded.
    std::string Unavailable() override;

    // Whether the library and every function we use could be loaded.
    bool Available();

  private:
    using IbDev = int (*)(int, int, int, int, int, int);
    using IbWrt = int (*)(int, const void*, long);
    using IbRd = int (*)(int, void*, long);
    using IbCount = long (*)();
    using IbOnl = int (*)(int, int);

    void Load();

    std::once_flag loaded_;
    std::string library_;
    IbDev ibdev_ = nullptr;
    IbWrt ibwrt_ = nullptr;
    IbRd ibrd_ = nullptr;
    IbCount ibcntl_ = nullptr;
    IbOnl ibonl_ = nullptr;
    std::string loadError_;
};

}  // namespace tavlin
