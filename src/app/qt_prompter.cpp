#include "app/qt_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

namespace tavlin {

namespace {

// The instrument's texts end lines with CR LF; the box wants plain LF.
QString BoxText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

}  // namespace

QtPrompter::QtPrompter(QObject* parent) : QObject(parent) {}

QtPrompter::~QtPrompter() {
    ShutDown();
}

void QtPrompter::Beep(int /*frequencyHz*/, int /*durationMs*/) {
    QMetaObject::invokeMethod(
        this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

PromptAnswer QtPrompter::Show(const std::string& text, const std::string& caption,
                              PromptButtons buttons) {
    if (OnGuiThread()) {
        return ShowBox(text, caption, buttons);
    }
    return WaitForGuiThread(text, caption, buttons);
}

void QtPrompter::SetParentWidget(QWidget* parent) {
    parentWidget_ = parent;
}

bool QtPrompter::OnGuiThread() const {
    return QThread::currentThread() == thread();
}

PromptAnswer QtPrompter::DefaultAnswer(PromptButtons buttons) {
    return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
}

PromptAnswer QtPrompter::ShowBox(const std::string& text, const std::string& caption,
                                 PromptButtons buttons) {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) {
            return DefaultAnswer(buttons);
        }
    }
    const bool yesNo = buttons == PromptButtons::YesNo;
    QMessageBox box(yesNo ? QMessageBox::Question : QMessageBox::Information,
                    QString::fromStdString(caption), BoxText(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    parentWidget_.data());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    const int pressed = box.exec();
    if (!yesNo) {
        return PromptAnswer::Ok;
    }
    return pressed == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
}

PromptAnswer QtPrompter::WaitForGuiThread(const std::string& text, const std::string& caption,
                                          PromptButtons buttons) {
    auto request = std::make_shared<Request>();
    request->text = text;
    request->caption = caption;
    request->buttons = buttons;
    std::unique_lock lock(mutex_);
    if (shutDown_) {
        return DefaultAnswer(buttons);
    }
    pending_.push_back(request);
    // Posted, never waited for: the GUI thread picks the request up from its
    // event loop, or from the wait hook when it is inside the pause handshake.
    QMetaObject::invokeMethod(this, &QtPrompter::ServePendingBoxes, Qt::QueuedConnection);
    answered_.wait(lock, [&] { return request->answered; });
    return request->answer;
}

std::shared_ptr<QtPrompter::Request> QtPrompter::TakeNextRequest() {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) {
        return nullptr;
    }
    std::shared_ptr<Request> next = pending_.front();
    pending_.pop_front();
    return next;
}

void QtPrompter::Answer(Request& request, PromptAnswer answer) {
    {
        std::lock_guard lock(mutex_);
        if (request.answered) {
            return;  // already let go by ShutDown
        }
        request.answer = answer;
        request.answered = true;
    }
    answered_.notify_all();
}

// A box on screen is remembered until it closes, so that ShutDown can let
// its caller go on even while the box is still open further up this stack.
void QtPrompter::ServePendingBoxes() {
    Q_ASSERT(OnGuiThread());
    while (std::shared_ptr<Request> request = TakeNextRequest()) {
        {
            std::lock_guard lock(mutex_);
            showing_.push_back(request);
        }
        const PromptAnswer answer = ShowBox(request->text, request->caption, request->buttons);
        {
            std::lock_guard lock(mutex_);
            std::erase(showing_, request);
        }
        Answer(*request, answer);
    }
}

std::function<void()> QtPrompter::WaitHook() {
    return [this] {
        if (OnGuiThread()) {
            ServePendingBoxes();
        }
    };
}

void QtPrompter::ShutDown() {
    std::deque<std::shared_ptr<Request>> waiting;
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        waiting.swap(pending_);
        waiting.insert(waiting.end(), showing_.begin(), showing_.end());
        for (const std::shared_ptr<Request>& request : waiting) {
            request->answer = DefaultAnswer(request->buttons);
            request->answered = true;
        }
    }
    answered_.notify_all();
}

std::size_t QtPrompter::PendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

}  // namespace tavlin
