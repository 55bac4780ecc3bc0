#pragma once

#include <QObject>
#include <atomic>
#include <memory>

#include "ports/progress_sink.h"

class QDialog;
class QProgressBar;

namespace tavlin {

// Owner of the modeless "Collecting Data... Please Wait" dialog with its one
// progress bar (0 .. 100), driven by the calibration-memory read and the
// narrow-span capture.
//
// A call from another thread is queued to the GUI thread and returns at
// once; the caller never waits for the GUI thread, which may itself be busy
// in the calibration read of a preset. A call on the GUI thread acts at once.
// The read of the first start runs on a thread of its own, so there the
// dialog is painted and can be moved while the bar advances.
class QtProgressDialog final : public QObject, public ProgressSink {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Collecting Data... Please Wait";

    // Created on the GUI thread; the dialog, a window of its own, starts hidden.
    QtProgressDialog();
    ~QtProgressDialog() override;

    void Show() override;
    void SetPosition(int percent) override;
    void Hide() override;
    // The start-up's way of giving up the read when the user closes the
    // dialog or the session ends: from then on Cancelled() is true.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const override { return cancelled_.load(); }

    QDialog* Dialog() const { return dialog_.get(); }
    int Position() const;

  private:
    bool OnGuiThread() const;
    template <typename Action>
    void OnGui(Action action);
    void ShowNow();
    void SetPositionNow(int percent);
    void HideNow();

    std::unique_ptr<QDialog> dialog_;
    QProgressBar* bar_ = nullptr;
    std::atomic<bool> cancelled_{false};
};

}  // namespace tavlin
