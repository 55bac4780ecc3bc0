#include "panel/qt_entry_dialogs.h"

#include <QApplication>
#include <QThread>
#include <stdexcept>
#include <utility>

#include "panel/qt_amplitude_dialog.h"
#include "panel/qt_attenuator_dialog.h"
#include "panel/qt_db_entry_dialog.h"
#include "panel/qt_extra_delay_dialog.h"
#include "panel/qt_keypad_dialog.h"
#include "panel/qt_ratio_dialog.h"
#include "panel/qt_tcp_ip_dialog.h"
#include "panel/qt_title_dialog.h"
#include "panel/qt_zero_span_dialog.h"

namespace tavlin {

namespace {

// Owns one dialog for one modal run. The dialog lives on the heap behind a
// guarded pointer: if its parent window is destroyed while it is open (the
// program closing under it), the dialog goes with the parent and is neither
// read nor deleted a second time.
template <typename Dialog>
class ModalRun {
  public:
    template <typename... Args>
    explicit ModalRun(Args&&... args) : dialog_(new Dialog(std::forward<Args>(args)...)) {}
    ~ModalRun() { delete dialog_.data(); }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

    // The dialog after OK; null after Cancel or when it was destroyed.
    const Dialog* Accepted() {
        const int code = dialog_->exec();
        return dialog_ && code == QDialog::Accepted ? dialog_.data() : nullptr;
    }

  private:
    QPointer<Dialog> dialog_;
};

void RequireGuiThread() {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        throw std::logic_error("entry dialogs opened outside the GUI thread");
    }
}

}  // namespace

QWidget* QtEntryDialogs::Parent() const {
    RequireGuiThread();
    return parent_.data();
}

std::optional<double> QtEntryDialogs::EnterFrequency(const std::string& label,
                                                     std::optional<double> startHz) {
    ModalRun<QtKeypadDialog> run(QString::fromStdString(label), startHz, Parent());
    if (const QtKeypadDialog* dialog = run.Accepted()) {
        return dialog->ResultHz();
    }
    return std::nullopt;
}

std::optional<double> QtEntryDialogs::EnterAmplitude(const std::string& label, double startDbm) {
    ModalRun<QtAmplitudeDialog> run(QString::fromStdString(label), startDbm, Parent());
    if (const QtAmplitudeDialog* dialog = run.Accepted()) {
        return dialog->ResultDbm();
    }
    return std::nullopt;
}

std::optional<double> QtEntryDialogs::EnterDb(const std::string& label, double start,
                                              DbRange range) {
    ModalRun<QtDbEntryDialog> run(QString::fromStdString(label), start, range, Parent());
    if (const QtDbEntryDialog* dialog = run.Accepted()) {
        return dialog->ResultDb();
    }
    return std::nullopt;
}

std::optional<std::string> QtEntryDialogs::EnterTitle(const std::string& start) {
    ModalRun<QtTitleDialog> run(start, Parent());
    if (const QtTitleDialog* dialog = run.Accepted()) {
        return dialog->ResultText();
    }
    return std::nullopt;
}

std::optional<ZeroSpanChoice> QtEntryDialogs::EnterZeroSpan(double sweepTimeMs) {
    ModalRun<QtZeroSpanDialog> run(sweepTimeMs, Parent());
    if (const QtZeroSpanDialog* dialog = run.Accepted()) {
        return ZeroSpanChoice{dialog->ResultSweepTimeMs(), dialog->ResultFm()};
    }
    return std::nullopt;
}

std::optional<double> QtEntryDialogs::EnterSpanRbwRatio(double ratio) {
    ModalRun<QtRatioDialog> run(ratio, Parent());
    if (const QtRatioDialog* dialog = run.Accepted()) {
        return dialog->ResultRatio();
    }
    return std::nullopt;
}

std::optional<int> QtEntryDialogs::ChooseAttenuator(int index) {
    ModalRun<QtAttenuatorDialog> run(index, Parent());
    if (const QtAttenuatorDialog* dialog = run.Accepted()) {
        return dialog->ResultIndex();
    }
    return std::nullopt;
}

std::optional<int> QtEntryDialogs::EnterExtraDelay(int milliseconds) {
    ModalRun<QtExtraDelayDialog> run(milliseconds, Parent());
    if (const QtExtraDelayDialog* dialog = run.Accepted()) {
        return dialog->ResultMs();
    }
    return std::nullopt;
}

std::optional<TcpIpSettings> QtEntryDialogs::EnterTcpIp(const TcpIpSettings& start) {
    ModalRun<QtTcpIpDialog> run(start, Parent());
    if (const QtTcpIpDialog* dialog = run.Accepted()) {
        return dialog->Result();
    }
    return std::nullopt;
}

}  // namespace tavlin
