#pragma once

#include <functional>
#include <vector>

#include "device/ftdi_channel.h"
#include "device/usb_driver.h"

namespace tavlin {

// One entry of the device list: one interface of a converter.
struct FtdiListEntry {
    FtdiLocation where;
    UsbDeviceInfo info;
};

// Builds the device list the way the vendor's driver shows a dual-channel
// converter: two entries per device, one per interface, described
// "<product> A" and "<product> B", with serials "<serial>A" and "<serial>B".
class FtdiEnumerator {
  public:
    // Tells whether this process holds the interface already.
    using OwnedHere = std::function<bool(const FtdiLocation&)>;

    // Fills `entries` (empty when there is no USB at all or no converter) and
    // returns a UsbStatus.
    static int List(std::vector<FtdiListEntry>& entries, const OwnedHere& ownedHere);
};

}  // namespace tavlin
