#include "app/qt_worker_entry_dialogs.h"

namespace tavlin {

QtWorkerEntryDialogs::QtWorkerEntryDialogs(EntryDialogs& dialogs, QObject& guiObject)
    : dialogs_(dialogs), guiObject_(guiObject) {}

std::optional<double> QtWorkerEntryDialogs::EnterFrequency(const std::string& label,
                                                           std::optional<double> startHz) {
    return OnGuiThread<std::optional<double>>(
        [&] { return dialogs_.EnterFrequency(label, startHz); });
}

std::optional<double> QtWorkerEntryDialogs::EnterAmplitude(const std::string& label,
                                                           double startDbm) {
    return OnGuiThread<std::optional<double>>(
        [&] { return dialogs_.EnterAmplitude(label, startDbm); });
}

std::optional<double> QtWorkerEntryDialogs::EnterDb(const std::string& label, double start,
                                                    DbRange range) {
    return OnGuiThread<std::optional<double>>(
        [&] { return dialogs_.EnterDb(label, start, range); });
}

std::optional<std::string> QtWorkerEntryDialogs::EnterTitle(const std::string& start) {
    return OnGuiThread<std::optional<std::string>>([&] { return dialogs_.EnterTitle(start); });
}

std::optional<ZeroSpanChoice> QtWorkerEntryDialogs::EnterZeroSpan(double sweepTimeMs) {
    return OnGuiThread<std::optional<ZeroSpanChoice>>(
        [&] { return dialogs_.EnterZeroSpan(sweepTimeMs); });
}

std::optional<double> QtWorkerEntryDialogs::EnterSpanRbwRatio(double ratio) {
    return OnGuiThread<std::optional<double>>([&] { return dialogs_.EnterSpanRbwRatio(ratio); });
}

std::optional<int> QtWorkerEntryDialogs::ChooseAttenuator(int index) {
    return OnGuiThread<std::optional<int>>([&] { return dialogs_.ChooseAttenuator(index); });
}

std::optional<int> QtWorkerEntryDialogs::EnterExtraDelay(int milliseconds) {
    return OnGuiThread<std::optional<int>>([&] { return dialogs_.EnterExtraDelay(milliseconds); });
}

std::optional<TcpIpSettings> QtWorkerEntryDialogs::EnterTcpIp(const TcpIpSettings& start) {
    return OnGuiThread<std::optional<TcpIpSettings>>([&] { return dialogs_.EnterTcpIp(start); });
}

}  // namespace tavlin
