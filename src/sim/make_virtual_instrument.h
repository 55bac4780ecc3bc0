#pragma once

#include <memory>
#include <string>

#include "sim/virtual_instrument.h"

namespace tavlin::sim {

// The virtual unit of the `--simulate[=SCENE]` and `--simulate-usb[=SCENE]`
// options: the built-in scene when no scene file is named, else the file's. Null when the file
// cannot be used; `error` then names the file and the problem.
std::unique_ptr<VirtualInstrument> MakeVirtualInstrument(Clock& clock, const std::string& scenePath,
                                                         std::string& error);

}  // namespace tavlin::sim
