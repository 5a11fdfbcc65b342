#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace plover {

namespace {

// A Set on one thread and a poll that sees it on another are a hand-over (the engines post this
// way), but ThreadSanitizer cannot see through an eventfd: tell it, keyed by the descriptor.
#if defined(__SANITIZE_THREAD__)
char syncKeys[4096];
void ReleaseOn(int fd) { __tsan_release(&syncKeys[unsigned(fd) % sizeof syncKeys]); }
void AcquireOn(int fd) { __tsan_acquire(&syncKeys[unsigned(fd) % sizeof syncKeys]); }
#else
void ReleaseOn(int) {}
void AcquireOn(int) {}
#endif

}  // namespace

CEvent::CEvent(bool signalled) : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (signalled) Set();
}

CEvent::~CEvent() {
    if (fd_ >= 0) close(fd_);
}

void CEvent::Set() {
    uint64_t one = 1;
    // The waiter may destroy the event once it sees the signal: nothing of *this is touched
    // after the release.
    const int fd = fd_;
    ReleaseOn(fd);
    // A full counter (EAGAIN) is still signalled, which is all that matters.
    [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

void CEvent::Reset() {
    // One read takes the whole counter: a second would only meet an empty one.
    uint64_t v;
    while (read(fd_, &v, sizeof v) < 0 && errno == EINTR) {
    }
}

bool CEvent::IsSet() const { return IsHandleSignalled(fd_); }

bool CEvent::Wait(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r > 0) {
            AcquireOn(fd_);
            return true;
        }
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool IsHandleSignalled(Handle h) {
    pollfd p{h, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLERR | POLLHUP))) return false;
    AcquireOn(h);
    return true;
}

}  // namespace plover
