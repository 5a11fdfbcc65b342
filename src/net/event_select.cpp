#include "net/event_select.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace plover {
namespace {

constexpr uint64_t kSocketTag = 1;
constexpr uint64_t kKickTag = 2;

int PendingError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

int ReadableBytes(int fd) {
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) return 0;
    return n;
}

}  // namespace

CEventSelect::~CEventSelect() {
    if (epoll_ >= 0) close(epoll_);
    if (kick_ >= 0) close(kick_);
}

bool CEventSelect::Create(int fd, Mode mode) {
    fd_ = fd;
    mode_ = mode;
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    kick_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epoll_ < 0 || kick_ < 0) return false;
    epoll_event kick{};
    kick.events = EPOLLIN;
    kick.data.u64 = kKickTag;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, kick_, &kick) != 0) return false;
    connectArmed_ = mode == Mode::Connecting;
    acceptArmed_ = mode == Mode::Listening;
    readArmed_ = closeArmed_ = mode == Mode::Connected;
    // A connected socket can send at once: report write with the first events.
    writeArmed_ = mode == Mode::Connected;
    interest_ = WantedInterest();
    epoll_event ev{};
    ev.events = interest_;
    ev.data.u64 = kSocketTag;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd_, &ev) != 0) return false;
    inSet_ = true;
    return true;
}

void CEventSelect::Signal() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(kick_, &one, sizeof one);
}

uint32_t CEventSelect::WantedInterest() const {
    uint32_t want = 0;
    if (connectArmed_) want |= EPOLLOUT;
    if (acceptArmed_) want |= EPOLLIN;
    if (mode_ == Mode::Connected) {
        if (readArmed_) want |= EPOLLIN;
        if (closeArmed_) want |= EPOLLRDHUP;
        if (writeArmed_) want |= EPOLLOUT;
    }
    return want;
}

// Keeps the epoll set in line with what is armed. A socket that has nothing more to report
// (failed connect, peer closed) leaves the set: errors and hang-ups would keep it ready for good.
// The read notice leaves the set lazily: nearly every read report is followed at once by a
// receive that arms it again, so EPOLLIN stays until it fires while unarmed (data left unread,
// e.g. by the throttle); `firedUnarmed` holds what fired that was not armed.
void CEventSelect::UpdateInterest(uint32_t firedUnarmed) {
    bool finished = peerClosed_ || (mode_ == Mode::Connecting && !connectArmed_);
    if (finished) {
        if (inSet_) epoll_ctl(epoll_, EPOLL_CTL_DEL, fd_, nullptr);
        inSet_ = false;
        return;
    }
    uint32_t want = WantedInterest();
    if (mode_ == Mode::Connected && (interest_ & EPOLLIN) && !(firedUnarmed & EPOLLIN)) want |= EPOLLIN;
    if (want == interest_) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = kSocketTag;
    if (epoll_ctl(epoll_, EPOLL_CTL_MOD, fd_, &ev) == 0) interest_ = want;
}

void CEventSelect::Report(SNetworkEvents* out, int bit, int error) {
    out->lNetworkEvents |= 1 << bit;
    out->iErrorCode[bit] = error;
}

bool CEventSelect::Read(SNetworkEvents* out) {
    *out = SNetworkEvents{};
    std::lock_guard guard(lock_);
    epoll_event ev[2];
    int n = epoll_wait(epoll_, ev, 2, 0);
    if (n < 0 && errno != EINTR) return false;
    uint32_t ready = 0;
    for (int i = 0; i < n; ++i) {
        if (ev[i].data.u64 == kSocketTag) {
            ready = ev[i].events;
        } else {
            uint64_t kicks;  // one read empties the counter
            [[maybe_unused]] ssize_t r = read(kick_, &kicks, sizeof kicks);
        }
    }
    uint32_t armed = WantedInterest();

    if (mode_ == Mode::Connecting && connectArmed_ && (ready & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        int err = PendingError(fd_);
        connectArmed_ = false;
        Report(out, FD_CONNECT_BIT, err);
        if (err == 0) {
            mode_ = Mode::Connected;
            readArmed_ = closeArmed_ = true;
            Report(out, FD_WRITE_BIT, 0);
        }
    } else if (mode_ == Mode::Listening && acceptArmed_ && (ready & (EPOLLIN | EPOLLERR))) {
        acceptArmed_ = false;
        Report(out, FD_ACCEPT_BIT, 0);
    } else if (mode_ == Mode::Connected) {
        ReadConnected(ready, out);
    }
    UpdateInterest(ready & ~armed);
    return true;
}

void CEventSelect::ReadConnected(uint32_t ready, SNetworkEvents* out) {
    if (!peerClosed_ && (ready & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))) {
        peerClosed_ = true;
        if (ready & EPOLLERR) closeError_ = PendingError(fd_);
    }
    if (writeArmed_ && ((ready & EPOLLOUT) || peerClosed_)) {
        writeArmed_ = false;
        Report(out, FD_WRITE_BIT, 0);
    }
    if (!readArmed_ && !closeArmed_) return;
    // Whatever the kernel still holds is reported as data first; the close only when none is left.
    // Readiness without the peer's close means data (no need to ask the kernel how much).
    bool data = ((ready & EPOLLIN) && !peerClosed_) || ReadableBytes(fd_) > 0;
    if (data) {
        if (readArmed_) {
            readArmed_ = false;
            Report(out, FD_READ_BIT, 0);
        }
    } else if (peerClosed_ && closeArmed_) {
        closeArmed_ = readArmed_ = writeArmed_ = false;
        Report(out, FD_CLOSE_BIT, closeError_);
    }
}

void CEventSelect::ArmRead() {
    std::lock_guard guard(lock_);
    if (mode_ != Mode::Connected || !closeArmed_) return;
    readArmed_ = true;
    if (peerClosed_)
        Signal();
    else
        UpdateInterest();
}

void CEventSelect::ArmWrite() {
    std::lock_guard guard(lock_);
    if (mode_ != Mode::Connected || !closeArmed_) return;
    writeArmed_ = true;
    if (peerClosed_)
        Signal();
    else
        UpdateInterest();
}

}  // namespace plover
