#pragma once

#include <string>

namespace tavlin {

class VUDAVEZid;

// The identity of the connected unit, one "Name: value" line each: serial,
// firmware, preamplifier, calibration date and the stored reference error.
std::string FormatInstrumentInfo(const VUDAVEZid& document);

}  // namespace tavlin
