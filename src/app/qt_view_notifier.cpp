#include "app/qt_view_notifier.h"

namespace tavlin {

QtViewNotifier::QtViewNotifier(QObject* parent) : QObject(parent) {}

void QtViewNotifier::UpdateAllViews() {
    if (!updatePending_.exchange(true)) {
        QMetaObject::invokeMethod(this, &QtViewNotifier::DeliverUpdate, Qt::QueuedConnection);
    }
}

void QtViewNotifier::InvalidateTrace() {
    if (!tracePending_.exchange(true)) {
        QMetaObject::invokeMethod(this, &QtViewNotifier::DeliverTrace, Qt::QueuedConnection);
    }
}

// The flag is cleared before the signal, so a request that arrives while the
// view repaints is delivered again rather than lost.
void QtViewNotifier::DeliverUpdate() {
    updatePending_ = false;
    Q_EMIT updateAllViews();
}

void QtViewNotifier::DeliverTrace() {
    tracePending_ = false;
    Q_EMIT traceInvalidated();
}

}  // namespace tavlin
