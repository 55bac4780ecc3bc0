#pragma once

#include <string>

namespace tavlin {

class AnalyzerDocument;

// The identity of the connected unit, one "Name: value" line each: serial,
// firmware, preamplifier, calibration date and the stored reference error.
std::string FormatInstrumentInfo(const AnalyzerDocument& document);

// The printable characters of a text read from the instrument: an erased
// memory holds 0xFF bytes, and a terminal or a dialog must not get them.
std::string PrintableText(const std::string& text);

}  // namespace tavlin
