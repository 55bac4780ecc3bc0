#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace tavlin::test {

// Answers the modal boxes and dialogs the code under test opens, from the
// GUI thread's event loop (a box's own loop included): a message box gets
// Yes, or else OK, and is recorded; other dialogs go to a handler, which by
// default cancels them.
class ModalAnswerer : public QObject {
  public:
    ModalAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerActiveModal(); });
        timer_.start(5);
    }

    void OnDialog(std::function<void(QDialog&)> handler) { dialogHandler_ = std::move(handler); }

    QStringList boxes;  // "caption: text"

  private:
    void AnswerActiveModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->windowTitle() + ": " + box->text();
            QAbstractButton* button = box->button(QMessageBox::Yes);
            button = button != nullptr ? button : box->button(QMessageBox::Ok);
            if (button != nullptr) {
                button->click();
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialogHandler_ ? dialogHandler_(*dialog) : dialog->reject();
        }
    }

    QTimer timer_;
    std::function<void(QDialog&)> dialogHandler_;
};

}  // namespace tavlin::test
