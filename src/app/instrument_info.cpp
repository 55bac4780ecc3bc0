#include "app/instrument_info.h"

#include "app/vudavezid.h"

namespace tavlin {

namespace {

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string FormatInstrumentInfo(const VUDAVEZid& document) {
    const int tcxoPpb = static_cast<int>(document.calTable.TcxoOffset()) - 32768;
    std::string info;
    info += "Serial: " + document.state.deviceSerial + "\n";
    info += "Firmware: " + document.state.firmwareVersion + "\n";
    info += std::string("Preamp: ") + (document.state.preampAvailable ? "yes" : "no") + "\n";
    info += "Cal date: " + WithoutLineEnd(document.calTable.CalDate()) + "\n";
    info += "TCXO: " + std::to_string(tcxoPpb) + " ppb\n";
    return info;
}

}  // namespace tavlin
