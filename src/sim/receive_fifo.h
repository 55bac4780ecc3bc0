#pragma once

#include <cstdint>

#include "base/ring_buffer.h"

namespace tavlin::sim {

// The converter's receive buffer of one channel: a bounded first-in
// first-out byte queue. Bytes that do not fit are refused (Push takes as
// many as fit), as a full FIFO drops what the far end keeps sending.
using ReceiveFifo = RingBuffer<std::uint8_t>;

}  // namespace tavlin::sim
