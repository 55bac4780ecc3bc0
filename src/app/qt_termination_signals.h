#pragma once

#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

namespace tavlin {

// Ctrl+C in the terminal, or a SIGTERM, closes the main window the ordinary
// way, so the sweep stops and the instrument's link is reset before the
// program ends. The signal handler only writes a byte to a pipe; the GUI
// thread reads it from its event loop. A second signal ends the program
// at once.
class QtTerminationSignals final : public QObject {
    Q_OBJECT

  public:
    // One at a time in a process.
    explicit QtTerminationSignals(QWidget& window);
    ~QtTerminationSignals() override;
    QtTerminationSignals(const QtTerminationSignals&) = delete;
    QtTerminationSignals& operator=(const QtTerminationSignals&) = delete;

  private:
    void OnSignal();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tavlin
