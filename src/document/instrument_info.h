#pragma once

#include <string>

namespace tavlin {

class AnalyzerDocument;

// The identity of the connected unit, one "Name: value" line each: serial,
// firmware, preamplifier, calibration date and the stored reference error.
std::string FormatInstrumentInfo(const AnalyzerDocument& document);

}  // namespace tavlin
