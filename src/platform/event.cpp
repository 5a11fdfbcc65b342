#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace plover {

CEvent::CEvent(bool signalled) : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (signalled) Set();
}

CEvent::~CEvent() {
    if (fd_ >= 0) close(fd_);
}

void CEvent::Set() {
    uint64_t one = 1;
    // A full counter (EAGAIN) is still signalled, which is all that matters.
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void CEvent::Reset() {
    uint64_t v;
    while (read(fd_, &v, sizeof v) == sizeof v) {
    }
}

bool CEvent::IsSet() const { return IsHandleSignalled(fd_); }

bool CEvent::Wait(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool IsHandleSignalled(Handle h) {
    pollfd p{h, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLERR | POLLHUP));
}

}  // namespace plover
