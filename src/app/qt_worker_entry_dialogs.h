#pragma once

#include <QObject>
#include <QThread>
#include <functional>

#include "ports/entry_dialogs.h"

namespace tavlin {

// The window's entry dialogs for a procedure on a worker thread: each dialog
// is opened on the GUI thread, which owns every widget, while the worker
// waits for the value. Closing the program rejects an open dialog, so the
// worker is never left waiting.
class QtWorkerEntryDialogs final : public EntryDialogs {
  public:
    // dialogs must be the GUI thread's; guiObject any object living there.
    QtWorkerEntryDialogs(EntryDialogs& dialogs, QObject& guiObject);

    std::optional<double> EnterFrequency(const std::string& label,
                                         std::optional<double> startHz) override;
    std::optional<double> EnterAmplitude(const std::string& label, double startDbm) override;
    std::optional<double> EnterDb(const std::string& label, double start, DbRange range) override;
    std::optional<std::string> EnterTitle(const std::string& start) override;
    std::optional<ZeroSpanChoice> EnterZeroSpan(double sweepTimeMs) override;
    std::optional<double> EnterSpanRbwRatio(double ratio) override;
    std::optional<int> ChooseAttenuator(int index) override;
    std::optional<int> EnterExtraDelay(int milliseconds) override;
    std::optional<TcpIpSettings> EnterTcpIp(const TcpIpSettings& start) override;

  private:
    template <typename T>
    T OnGuiThread(const std::function<T()>& ask) {
        if (QThread::currentThread() == guiObject_.thread()) {
            return ask();
        }
        T answer{};
        QMetaObject::invokeMethod(
            &guiObject_, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
        return answer;
    }

    EntryDialogs& dialogs_;
    QObject& guiObject_;
};

}  // namespace tavlin
