#pragma once
// CFileRelocator: the engine that moves downloads' files (IFileRelocator). Requests wait in a
// queue in the order received; while the queue is not empty a 1 ms timer runs, and each tick
// makes one step on the first request (reloc_step.h): a rename when source and target share a
// filesystem, otherwise one block of 409600 bytes of the copy. So moving a big file across
// filesystems never blocks any engine, the disk load stays bounded (at most one block per
// millisecond), and the user sees the progress. No timer runs while the queue is empty.
//
// Reports go to the downloader engine (the request's, else the engine manager's), posted without
// waiting: 125 after every step that moved bytes (the download, and an SRelocProgress with the
// bytes moved of the total), 124 with the request once it has ended, done or failed; from then on
// the request belongs to the downloader, which hands it to its download.
//
// Cancel (302) destroys the first queued request of a download, also while it is being copied:
// its temporary copy is removed and the source stays. Requests still queued when the relocator
// stops are abandoned the same way. The copy buffer belongs to the relocator's thread.
#include <atomic>
#include <deque>
#include <vector>

#include "download/i_file_relocator.h"
#include "download/reloc_info.h"
#include "engine/engine.h"

namespace plover {

class CFileRelocator final : public CEngine, public IFileRelocator {
public:
    enum class ETicks {
        Timer,   // a 1 ms timer steps the first request
        Manual,  // only Tick does (tests)
    };
    // `rename` false copies also within one filesystem (tests of the copy).
    explicit CFileRelocator(ETicks ticks = ETicks::Timer, bool rename = true);

    // IUnknown, shared by IEngine and IFileRelocator
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }

    // IFileRelocator
    uint32_t Relocate(CRelocInfo* request) override;
    uint32_t Cancel(IDownload* download, bool wait) override;

    // One tick now, waiting until it has run (how tests drive a Manual relocator).
    void Tick();
    // Whether the timer runs (only ever with requests queued), read on any thread.
    bool IsTimerRunning() const { return timerRunning_.load(); }

protected:
    ~CFileRelocator() override;
    void OnStart() override;
    void OnEvent(uintptr_t cookie) override;
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;

private:
    void DoTick();
    void DoCancel(IDownload* download);
    void UpdateTimer();
    void ReportProgress(CRelocInfo& request);

    ETicks ticks_;
    bool rename_;
    std::deque<CRelocInfo*> queue_;  // owned until handed back
    int timerFd_ = -1;
    std::atomic<bool> timerRunning_{false};
    std::vector<uint8_t> buffer_;
};

}  // namespace plover
