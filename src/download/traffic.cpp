#include "download/traffic.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/settings.h"

extern char** environ;

namespace plover {

STrafficLimits TrafficLimitsFor(const CRegistrySettings& settings, int32_t mode) {
    bool stopped = mode == kTrafficModeStopped;
    if (mode < 0 || mode >= kTrafficModes) mode = 0;
    const STrafficModeSettings& m = settings.TrafficModes[mode];
    STrafficLimits limits;
    limits.maxDownloads = stopped ? 0 : m.dwMaxDownloads;
    // A record with 0 workers would let nothing run at all: one worker is the least.
    limits.maxSectPerDownload = std::max<uint32_t>(m.dwMaxSectPerDownload, 1);
    limits.minSectSize = m.dwMinSectSize;
    limits.transferQuota = m.dwTransferQuota;
    return limits;
}

STrafficLimits CurrentTrafficLimits() {
    const CRegistrySettings& s = GetSettings();
    return TrafficLimitsFor(s, s.eTrafficMode);
}

void CTrafficHistory::AddBytes(uint32_t n) {
    std::lock_guard g(lock_);
    current_ += n;
}

void CTrafficHistory::Tick() {
    std::lock_guard g(lock_);
    history_.push_front(uint32_t(std::min<uint64_t>(current_, 0xFFFFFFFFu)));
    current_ = 0;
    while (history_.size() > kMaxValues) history_.pop_back();
}

std::deque<uint32_t> CTrafficHistory::Values() const {
    std::lock_guard g(lock_);
    return history_;
}

uint32_t CTrafficHistory::Largest() const {
    std::lock_guard g(lock_);
    uint32_t m = 0;
    for (uint32_t v : history_) m = std::max(m, v);
    return m;
}

uint32_t CTrafficHistory::Current() const {
    std::lock_guard g(lock_);
    return uint32_t(std::min<uint64_t>(current_, 0xFFFFFFFFu));
}

RefPtr<CTrafficBarContent> CTrafficBarContent::Create() {
    return RefPtr<CTrafficBarContent>::Adopt(new CTrafficBarContent());
}

HRESULT CTrafficBarContent::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CTrafficBarContent::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

int32_t CTrafficBarContent::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t) {
    if (code == NE_TRAFFIC) history_.AddBytes(uint32_t(value1));
    return 0;
}

namespace {

std::string FindPlayer() {
    for (const char* p : {"/usr/bin/paplay", "/usr/bin/aplay"})
        if (access(p, X_OK) == 0) return p;
    return {};
}

}  // namespace

void PlaySoundAsync(const std::string& file) {
    struct stat st;
    if (file.empty() || stat(file.c_str(), &st) != 0) return;
    std::string player = FindPlayer();
    if (player.empty()) return;
    // A detached reaper thread collects the player, so no zombie is left behind.
    std::thread([player, file] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(player.c_str()), const_cast<char*>(file.c_str()), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, player.c_str(), &actions, nullptr, argv, environ) == 0) waitpid(pid, nullptr, 0);
        posix_spawn_file_actions_destroy(&actions);
    }).detach();
}

void PlaySettingsSound(int index) {
    if (index < 0 || index >= kSounds) return;
    const SSoundInfo& sound = GetSettings().Sounds[index];
    if (sound.bEnable) PlaySoundAsync(sound.csWavFile);
}

}  // namespace plover
