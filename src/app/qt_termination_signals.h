#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tavlin {

// Ctrl+C in the terminal, or a SIGTERM, asks the program to close the
// ordinary way (the main window closes, or a start in progress is given up),
// so the sweep stops and the instrument's link is reset before the program
// ends. The signal handler only writes a byte to a pipe; the GUI thread reads
// it from its event loop. A second signal ends the program at once.
class QtTerminationSignals final : public QObject {
    Q_OBJECT

  public:
    // One at a time in a process. `close` runs on the GUI thread.
    explicit QtTerminationSignals(std::function<void()> close);
    ~QtTerminationSignals() override;
    QtTerminationSignals(const QtTerminationSignals&) = delete;
    QtTerminationSignals& operator=(const QtTerminationSignals&) = delete;

  private:
    void OnSignal();

    std::function<void()> close_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tavlin
