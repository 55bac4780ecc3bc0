#include "calibration/linux_gpib_bus.h"

#include <dlfcn.h>

#include <vector>

namespace tavlin {

namespace {

constexpr int kStatusError = 0x8000;  // ERR in ibsta
constexpr int kTimeout1s = 11;        // T1s
constexpr int kHighestAddress = 30;

template <typename Function>
Function Symbol(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

}  // namespace

void LinuxGpibBus::Load() {
    std::call_once(loaded_, [this] {
        void* library = dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            loadError_ = library_ + " not found: linux-gpib is not installed";
            return;
        }
        ibdev_ = Symbol<IbDev>(library, "ibdev");
        ibwrt_ = Symbol<IbWrt>(library, "ibwrt");
        ibrd_ = Symbol<IbRd>(library, "ibrd");
        ibcntl_ = Symbol<IbCount>(library, "ThreadIbcntl");
        ibonl_ = Symbol<IbOnl>(library, "ibonl");
        if (ibdev_ == nullptr || ibwrt_ == nullptr || ibrd_ == nullptr || ibcntl_ == nullptr ||
            ibonl_ == nullptr) {
            loadError_ = library_ +
                         " lacks a function we use (ibdev, ibwrt, ibrd, ibonl, "
                         "ThreadIbcntl): install linux-gpib 4.3 or later";
        }
    });
}

bool LinuxGpibBus::Available() {
    return Unavailable().empty();
}

std::string LinuxGpibBus::Unavailable() {
    Load();
    return loadError_;
}

void LinuxGpibBus::CloseDevice(int device) {
    if (device > 0 && Available()) {
        ibonl_(device, 0);
    }
}

// Board 0, no secondary address, 1 s time-out, EOI on the last byte, no
// end-of-string character. The library misbehaves on addresses it does not
// know, so they never reach it.
int LinuxGpibBus::OpenDevice(int primaryAddress) {
    if (primaryAddress < 0 || primaryAddress > kHighestAddress || !Available()) {
        return -1;
    }
    const int device = ibdev_(0, primaryAddress, 0, kTimeout1s, 1, 0);
    return device < 0 ? -1 : device;
}

bool LinuxGpibBus::Write(int device, std::string_view bytes) {
    if (device < 0 || !Available()) {
        return false;
    }
    const int status = ibwrt_(device, bytes.data(), static_cast<long>(bytes.size()));
    return (status & kStatusError) == 0 && ibcntl_() == static_cast<long>(bytes.size());
}

std::optional<std::string> LinuxGpibBus::Read(int device, std::size_t maxBytes) {
    if (device < 0 || maxBytes == 0 || !Available()) {
        return std::nullopt;
    }
    std::vector<char> buffer(maxBytes);
    const int status = ibrd_(device, buffer.data(), static_cast<long>(maxBytes));
    const long count = ibcntl_();
    if ((status & kStatusError) != 0 || count <= 0 || count > static_cast<long>(maxBytes)) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(count));
}

}  // namespace tavlin
