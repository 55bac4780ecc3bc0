#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "ports/prompter.h"

class QWidget;

namespace tavlin {

// Message boxes on the GUI thread. A call from the GUI thread shows the box
// at once; a call from the sweep or automation thread is queued for the GUI
// thread and the caller waits for the answer, as the modal box holds the
// sweep on the instrument's own software.
//
// While the GUI thread waits in the pause handshake it cannot return to its
// event loop, so the document's wait hook (WaitHook) shows the queued boxes
// from there; otherwise both threads would wait on each other.
class QtPrompter final : public QObject, public Prompter {
    Q_OBJECT

  public:
    // Created on the GUI thread; that thread shows every box.
    explicit QtPrompter(QObject* parent = nullptr);
    // Releases every caller still waiting, with the box's default answer.
    ~QtPrompter() override;

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;
    // The desktop's bell: its pitch and length are the desktop's own.
    void Beep(int frequencyHz, int durationMs) override;

    // The window the boxes are centred on; none before the main frame exists.
    void SetParentWidget(QWidget* parent);
    // Shows the boxes other threads are waiting on, oldest first. GUI thread only.
    void ServePendingBoxes();
    // For the document's wait hook: serves the queued boxes when it runs on
    // the GUI thread, does nothing on any other thread.
    std::function<void()> WaitHook();
    // From now on no box is shown: waiting and later callers get the default
    // answer (OK, or No), and so do the callers of boxes still open. Used
    // when the program ends.
    void ShutDown();

    std::size_t PendingCount() const;

  private:
    struct Request {
        std::string text;
        std::string caption;
        PromptButtons buttons;
        bool answered = false;
        PromptAnswer answer = PromptAnswer::Ok;
    };

    bool OnGuiThread() const;
    PromptAnswer ShowBox(const std::string& text, const std::string& caption,
                         PromptButtons buttons);
    PromptAnswer WaitForGuiThread(const std::string& text, const std::string& caption,
                                  PromptButtons buttons);
    std::shared_ptr<Request> TakeNextRequest();
    void Answer(Request& request, PromptAnswer answer);
    static PromptAnswer DefaultAnswer(PromptButtons buttons);

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::shared_ptr<Request>> pending_;
    std::vector<std::shared_ptr<Request>> showing_;
    bool shutDown_ = false;
    QPointer<QWidget> parentWidget_;
};

}  // namespace tavlin
