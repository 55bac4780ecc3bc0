#include "document/instrument_info.h"

#include "document/analyzer_document.h"

namespace tavlin {

namespace {

void AppendLine(std::string& text, const char* name, const std::string& value) {
    text.append(name).append(value).append("\n");
}

}  // namespace

std::string FormatInstrumentInfo(const AnalyzerDocument& document) {
    const InstrumentState settings =
        document.ReadSettings([](const InstrumentState& s) { return s; });
    const int tcxoPpb = static_cast<int>(document.CalTcxoWord()) - 32768;
    std::string info;
    AppendLine(info, "Serial: ", PrintableText(settings.deviceSerial));
    AppendLine(info, "Firmware: ", PrintableText(settings.firmwareVersion));
    AppendLine(info, "Preamp: ", settings.preampAvailable ? "yes" : "no");
    AppendLine(info, "Cal date: ", PrintableText(document.CalDate()));
    AppendLine(info, "TCXO: ", std::to_string(tcxoPpb) + " ppb");
    if (const std::string doubt = document.CalibrationUntrusted(); !doubt.empty()) {
        AppendLine(info, "Calibration: UNCAL, ", PrintableText(doubt));
    }
    return info;
}

std::string PrintableText(const std::string& text) {
    std::string printable;
    for (const char c : text) {
        if (c >= ' ' && c <= '~') {
            printable.push_back(c);
        }
    }
    return printable;
}

}  // namespace tavlin
