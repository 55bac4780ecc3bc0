#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace tavlin::test {

// Answers the modal boxes and dialogs the code under test opens, from the
// GUI thread's event loop (a box's own loop included): message boxes get the
// next scripted button (OK or Yes/No), other dialogs go to a handler, which
// by default cancels them. Every message box seen is recorded.
class ModalAnswerer : public QObject {
  public:
    struct Box {
        QString caption;
        QString text;
    };
    using DialogHandler = std::function<void(QDialog&)>;

    ModalAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerActiveModal(); });
        timer_.start(5);
    }

    // The buttons to press, in order; a box with none scripted gets No or OK.
    void Press(QMessageBox::StandardButton button) { presses_.push_back(button); }
    void OnDialog(DialogHandler handler) { dialogHandler_ = std::move(handler); }

    std::vector<Box> Boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return boxes_.size();
    }

  private:
    void AnswerActiveModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            AnswerBox(*box);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            if (dialogHandler_) {
                dialogHandler_(*dialog);
            } else {
                dialog->reject();
            }
        }
    }

    void AnswerBox(QMessageBox& box) {
        {
            std::lock_guard lock(mutex_);
            boxes_.push_back({box.windowTitle(), box.text()});
        }
        QMessageBox::StandardButton wanted = QMessageBox::No;
        if (!presses_.empty()) {
            wanted = presses_.front();
            presses_.pop_front();
        }
        QAbstractButton* button = box.button(wanted);
        if (button == nullptr) {
            button = box.button(QMessageBox::Ok);
        }
        if (button == nullptr) {
            button = box.buttons().value(0);
        }
        if (button != nullptr) {
            button->click();
        }
    }

    QTimer timer_;
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<QMessageBox::StandardButton> presses_;
    DialogHandler dialogHandler_;
};

}  // namespace tavlin::test
