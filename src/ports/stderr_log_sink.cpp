#include "ports/stderr_log_sink.h"

#include <poll.h>
#include <sys/uio.h>

namespace tavlin {

void StderrLogSink::Write(std::string_view line) noexcept {
    const std::lock_guard lock(mutex_);
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, stalled_ ? 0 : kStallMs) != 1 || (p.revents & POLLOUT) == 0) {
        stalled_ = true;
        return;
    }
    stalled_ = false;
    char end = '\n';
    iovec pieces[2] = {{const_cast<char*>(line.data()), line.size()}, {&end, 1}};
    if (::writev(fd_, pieces, 2) < 0) {
        // A closed standard error: the line has nowhere to go.
    }
}

}  // namespace tavlin
