#include "app/signal_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace plover {
namespace {

sigset_t QuitSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

bool CSignalWatcher::Start(HWND window, uint32_t msg) {
    if (IsRunning()) return true;
    sigset_t set = QuitSignals();
    if (pthread_sigmask(SIG_BLOCK, &set, &oldMask_) != 0) return false;
    restoreMask_ = true;
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0 || !quit_.IsValid()) {
        Stop();
        return false;
    }
    thread_ = std::thread([this, window, msg] { Watch(window, msg); });
    return true;
}

void CSignalWatcher::Watch(HWND window, uint32_t msg) {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {quit_.GetHandle(), POLLIN, 0}};
    while (true) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        signalfd_siginfo info;
        while (read(signalFd_, &info, sizeof info) == ssize_t(sizeof info)) PostMessage(window, msg, info.ssi_signo, 0);
    }
}

void CSignalWatcher::Stop() {
    if (thread_.joinable()) {
        quit_.Set();
        thread_.join();
        quit_.Reset();
    }
    if (signalFd_ >= 0) {
        signalfd_siginfo info;
        while (read(signalFd_, &info, sizeof info) > 0) {
        }
        close(signalFd_);
        signalFd_ = -1;
    }
    if (restoreMask_) {
        // Drops a signal still pending for this thread so that unblocking cannot deliver it.
        sigset_t set = QuitSignals(), pending;
        timespec zero{0, 0};
        while (sigpending(&pending) == 0 && (sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM)))
            if (sigtimedwait(&set, nullptr, &zero) < 0) break;
        pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
        restoreMask_ = false;
    }
}

}  // namespace plover
