#include "document/instrument_info.h"

#include "document/analyzer_document.h"

namespace tavlin {

namespace {

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

void AppendLine(std::string& text, const char* name, const std::string& value) {
    text.append(name).append(value).append("\n");
}

}  // namespace

std::string FormatInstrumentInfo(const AnalyzerDocument& document) {
    const InstrumentState settings =
        document.ReadSettings([](const InstrumentState& s) { return s; });
    const int tcxoPpb = static_cast<int>(document.calTable.TcxoOffset()) - 32768;
    std::string info;
    AppendLine(info, "Serial: ", settings.deviceSerial);
    AppendLine(info, "Firmware: ", settings.firmwareVersion);
    AppendLine(info, "Preamp: ", settings.preampAvailable ? "yes" : "no");
    AppendLine(info, "Cal date: ", WithoutLineEnd(document.calTable.CalDate()));
    AppendLine(info, "TCXO: ", std::to_string(tcxoPpb) + " ppb");
    return info;
}

}  // namespace tavlin
