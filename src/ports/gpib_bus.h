#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// The GPIB instruments of the calibration bench: a signal generator, a power
// meter and the devices beside them, each reached by its primary address.
// Either linux-gpib on a real bench or the virtual bench beside the virtual
// instrument.
class GpibBus {
  public:
    virtual ~GpibBus() = default;

    // A device descriptor (greater than 0) for the primary address, or -1
    // when the device cannot be opened (no library, no board, no address).
    virtual int OpenDevice(int primaryAddress) = 0;
    // Sends the bytes as they are, with EOI on the last. False when the bus
    // reported an error or not every byte went.
    virtual bool Write(int device, std::string_view bytes) = 0;
    // Up to maxBytes of the device's answer; nothing when the bus reported an
    // error or the device had nothing to say before its time-out.
    virtual std::optional<std::string> Read(int device, std::size_t maxBytes) = 0;
    // Gives an opened descriptor back to the bus at the procedure's end, so
    // a long-running program does not run out of them.
    virtual void CloseDevice(int /*device*/) {}
    // Why no device can be opened at all (the bus library is missing, ...);
    // empty when the bus is there and only an instrument may be missing.
    virtual std::string Unavailable() { return {}; }
    // While a procedure runs, a bench with its own 10 MHz standard feeds it to
    // the unit's reference input; a bench cabled by hand ignores this.
    virtual void ProcedureRunning(bool /*running*/) {}
    // Where the operator is asked to disconnect RF IN (and terminate it), a
    // bench with an RF switch opens the generator's path; a bench cabled by
    // hand ignores this. A procedure that starts finds the path closed.
    virtual void ConnectGenerator(bool /*connected*/) {}
    // Where the operator is told to disconnect or connect the 10 MHz standard
    // at the unit's reference input; a bench cabled by hand ignores this.
    virtual void ConnectReference(bool /*connected*/) {}
};

}  // namespace tavlin
