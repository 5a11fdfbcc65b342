#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plover {

CInstanceLock::EResult CInstanceLock::Acquire(const std::filesystem::path& file, std::string* error) {
    if (fd_ >= 0) return EResult::Acquired;
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return EResult::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return EResult::HeldElsewhere;
        if (error) *error = "cannot lock " + file.string() + ": " + std::strerror(err);
        return EResult::Failed;
    }
    // The holder's process number, for a curious user; the lock itself is what counts.
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // Only informative: a lock file that cannot take the number still locks.
    }
    fd_ = fd;
    return EResult::Acquired;
}

void CInstanceLock::Release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace plover
