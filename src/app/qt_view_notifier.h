#pragma once

#include <QObject>
#include <atomic>

#include "ports/view_notifier.h"

namespace tavlin {

// Repaint requests from any thread, delivered to the GUI thread as the
// signals below. A request only posts; a burst of requests before the GUI
// thread gets round to them becomes one repaint.
class QtViewNotifier final : public QObject, public ViewNotifier {
    Q_OBJECT

  public:
    // Created on the GUI thread; the signals are emitted there.
    explicit QtViewNotifier(QObject* parent = nullptr);

    void UpdateAllViews() override;
    void InvalidateTrace() override;

  Q_SIGNALS:
    // Everything changed: repaint the whole view.
    void updateAllViews();
    // A sweep pass ended: the trace and what follows it changed.
    void traceInvalidated();

  private:
    void DeliverUpdate();
    void DeliverTrace();

    std::atomic<bool> updatePending_{false};
    std::atomic<bool> tracePending_{false};
};

}  // namespace tavlin
