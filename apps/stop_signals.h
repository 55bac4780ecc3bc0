#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

#include "ports/log.h"

namespace tavlin {

// SIGTERM and SIGINT as readable data on a descriptor: no handler runs, and
// a loop sees them between any two of its steps. Call before any thread
// starts, so every thread inherits the block. -1 when no descriptor could be
// had (the signals are then blocked and nobody reads them: do not go on).
inline int OpenStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

// Waits up to `ms` for a signal on the descriptor: true, logged under
// `topic`, when one came. A descriptor below 0 only waits.
inline bool StopSignalCame(int signals, int ms, std::string_view topic) {
    pollfd p{signals, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) {
        return false;
    }
    signalfd_siginfo info{};
    if (::read(signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return false;
    }
    LogInfo(topic, std::string(strsignal(static_cast<int>(info.ssi_signo))) + ": stopping");
    return true;
}

}  // namespace tavlin
