#pragma once
// The per-user instance lock: an exclusive flock on a lock file in the settings folder, held for
// the life of the process (the kernel drops it when the process ends, even on SIGKILL, so a
// crash never leaves a stale lock behind). Taking it fails at once when another process, or
// another lock object of this process, holds it. The descriptor is close-on-exec, so that a
// program Plover starts (a sound player) never inherits the lock.
#include <filesystem>
#include <string>

namespace plover {

class CInstanceLock {
public:
    enum class EResult { Acquired, HeldElsewhere, Failed };

    CInstanceLock() = default;
    ~CInstanceLock() { Release(); }
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Opens (creating) the lock file and takes the lock without waiting. Failed: the file could
    // not be opened or locked for another reason (told in error).
    EResult Acquire(const std::filesystem::path& file, std::string* error = nullptr);
    void Release();
    bool IsHeld() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The lock file's name inside the settings folder.
inline constexpr const char* kInstanceLockName = "plover.lock";

}  // namespace plover
