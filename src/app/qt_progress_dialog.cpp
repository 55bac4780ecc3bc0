#include "app/qt_progress_dialog.h"

#include <QDialog>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

namespace tavlin {

QtProgressDialog::QtProgressDialog() : dialog_(std::make_unique<QDialog>()) {
    dialog_->setWindowTitle(QString::fromLatin1(kTitle));
    dialog_->setModal(false);
    bar_ = new QProgressBar(dialog_.get());
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setMinimumWidth(300);
    auto* layout = new QVBoxLayout(dialog_.get());
    layout->addWidget(bar_);
}

QtProgressDialog::~QtProgressDialog() = default;

bool QtProgressDialog::OnGuiThread() const {
    return QThread::currentThread() == thread();
}

template <typename Action>
void QtProgressDialog::OnGui(Action action) {
    if (OnGuiThread()) {
        action();
    } else {
        QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
    }
}

void QtProgressDialog::Show() {
    OnGui([this] { ShowNow(); });
}

void QtProgressDialog::SetPosition(int percent) {
    OnGui([this, percent] { SetPositionNow(percent); });
}

void QtProgressDialog::Hide() {
    OnGui([this] { HideNow(); });
}

int QtProgressDialog::Position() const {
    return bar_->value();
}

void QtProgressDialog::ShowNow() {
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

// On the GUI thread the caller keeps the thread until it is done (the
// calibration read of a preset), so the bar is painted here, not later.
void QtProgressDialog::SetPositionNow(int percent) {
    bar_->setValue(std::clamp(percent, 0, 100));
    if (dialog_->isVisible()) {
        bar_->repaint();
    }
}

void QtProgressDialog::HideNow() {
    dialog_->hide();
}

}  // namespace tavlin
