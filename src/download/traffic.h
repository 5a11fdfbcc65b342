#pragma once
// Traffic limits of the downloader and the traffic bar's data.
//
// The setting eTrafficMode picks one of three traffic-mode records (0, 1, 2); its value 3 stops
// the queue: no download may be busy except those of priority 10. Those still run with the
// first record's section count and quota, so a priority-10 download is never starved.
//
// The traffic history keeps the bytes received per second, newest first, at most 100 values:
// a sink adds every traffic event (code 5) to the current second and a 1000 ms tick moves the
// counter into the history. The command line shows the overall speed from it.
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "download/i_downloader.h"

namespace plover {

struct CRegistrySettings;

constexpr int32_t kTrafficModeStopped = 3;

struct STrafficLimits {
    uint32_t maxDownloads = 0;        // downloads that may be busy at once
    uint32_t maxSectPerDownload = 1;  // workers per download
    uint32_t minSectSize = 0;         // the smallest chunk the planner hands a worker
    uint32_t transferQuota = 0;       // bytes per second for all connections together
};

// The limits of a mode with the given settings (a mode outside 0..3 is read as 0).
STrafficLimits TrafficLimitsFor(const CRegistrySettings& settings, int32_t mode);
// The limits in force now (the process-wide settings' eTrafficMode).
STrafficLimits CurrentTrafficLimits();

class CTrafficHistory {
public:
    static constexpr size_t kMaxValues = 100;

    void AddBytes(uint32_t n);
    // Moves the current second's counter to the front of the history.
    void Tick();
    std::deque<uint32_t> Values() const;  // newest first
    uint32_t Largest() const;
    uint32_t Current() const;

private:
    mutable std::mutex lock_;
    uint64_t current_ = 0;
    std::deque<uint32_t> history_;
};

// The traffic bar's content as a downloader sink: counts every code-5 event.
class CTrafficBarContent final : public INetAdviseSink {
public:
    static RefPtr<CTrafficBarContent> Create();

    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

    CTrafficHistory& History() { return history_; }

private:
    CTrafficBarContent() = default;
    ~CTrafficBarContent() = default;

    RefCount refs_;
    CTrafficHistory history_;
};

// Plays a sound file without waiting (the system's player, when one is installed); nothing for
// an empty name or a missing file.
void PlaySoundAsync(const std::string& file);
// Plays the sound of that index of the sound settings when it is enabled.
void PlaySettingsSound(int index);

}  // namespace plover
