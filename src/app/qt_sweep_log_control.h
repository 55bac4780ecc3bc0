#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

#include "view/sweep_log_settings.h"

class QAction;
class QLabel;
class QWidget;

namespace tavlin {

class AnalyzerDocument;
class SweepLog;

// The window's sweep log: File "Log Sweeps..." starts it, "Stop Logging
// Sweeps" ends it, and a status bar pane says "LOG" with the count while it
// runs. A log that stops by itself (its duration over, the disk full or
// gone) is ended here and its reason shown.
class QtSweepLogControl final : public QObject {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 500;
    static constexpr const char* kStoppedCaption = "SWEEP LOG STOPPED";

    QtSweepLogControl(AnalyzerDocument& document, QWidget* window);
    ~QtSweepLogControl() override;

    QAction* StartAction() const { return start_; }
    QAction* StopAction() const { return stop_; }
    QLabel* Pane() const { return pane_; }
    bool Logging() const { return log_ != nullptr; }

    // "" when the log runs, else why not (the file could not be made).
    std::string Start(const SweepLogSettings& settings);
    void Stop();
    // Ends a log that stopped by itself and brings the pane up to date.
    void Refresh();

  private:
    void AskAndStart();
    void Finish();

    AnalyzerDocument& doc_;
    QWidget* window_;
    QAction* start_ = nullptr;
    QAction* stop_ = nullptr;
    QLabel* pane_ = nullptr;
    QTimer refresh_;
    std::unique_ptr<SweepLog> log_;
};

}  // namespace tavlin
