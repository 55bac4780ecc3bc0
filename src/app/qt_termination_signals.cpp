#include "app/qt_termination_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <utility>

namespace tavlin {

namespace {

// [0] is written by the handler, [1] read by the GUI thread.
std::array<int, 2> signalPipe{-1, -1};

void WriteSignalByte(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

void Install(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

QtTerminationSignals::QtTerminationSignals(std::function<void()> close) : close_(std::move(close)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe.data()) != 0) {
        return;  // without the pipe the signals keep their default effect
    }
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QtTerminationSignals::OnSignal);
    Install(WriteSignalByte);
}

QtTerminationSignals::~QtTerminationSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    Install(SIG_DFL);
    notifier_->setEnabled(false);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe = {-1, -1};
}

void QtTerminationSignals::OnSignal() {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
    // A second Ctrl+C, while the close waits for the sweep, ends the program at once.
    Install(SIG_DFL);
    if (close_) {
        close_();
    }
}

}  // namespace tavlin
