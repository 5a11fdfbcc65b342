#pragma once
// Stand-ins around one CDownload: an owner (IDownloader and IEngine) that keeps a list of
// downloads, records every event and queues posted operations until the test runs them; workers
// whose state the test sets; and a download environment whose host lookups, worker creation,
// free space and clock the test controls.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "download/download.h"
#include "download/download_env.h"
#include "engine/engine.h"

namespace plover::test {

class FakeOwner final : public IDownloader, public IEngine {
public:
    struct SEvent {
        uint32_t code;
        uintptr_t value1;
        uintptr_t value2;
        std::string text;  // the text of a log line
    };

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;

    // IDownloader
    int GetDownloadCount() override { return int(list.size()); }
    int GetFinishedCount() override { return 0; }
    int GetActiveCount() override { return 0; }
    int GetPausedCount() override { return 0; }
    int GetFailedCount() override { return 0; }
    int GetUseCount() override { return 0; }
    void Reschedule() override { ++reschedules; }
    void Notify(uint32_t code, uintptr_t v1, uintptr_t v2) override;
    void LoadList(const char*) override {}
    void SaveList(const char*) override {}
    bool Advise(INetAdviseSink*) override { return false; }
    bool Unadvise(INetAdviseSink*) override { return false; }
    uint8_t HasAutoRetryDownloads() override { return 0; }
    void ExportUrls(const char*) override {}
    void ImportUrls(const char*) override {}
    void AddUse() override {}
    void ReleaseUse() override {}
    bool GetDownload(int index, IDownload** out) override;
    void AddDownload(SDownloadConfig* c, int*, IDownload**) override { delete c; }
    void AddDownloadThen(SDownloadConfig* c, std::function<void(IDownload*)> then) override {
        delete c;
        if (then) then(nullptr);
    }
    void AddUrl(const char*, uint8_t) override {}
    bool FindDownloadByID(int, IDownload**) override { return false; }
    void RefreshView() override {}
    void PostDownloadArray(HWND, DownloadFilterFn) override {}
    CDownloadArray* GetDownloadArray(DownloadFilterFn) override { return nullptr; }
    int GetFreeID() override { return nextId++; }
    void SetSaveFilter(DownloadFilterFn) override {}

    // IEngine: only operation 122 is taken (queued for RunOps).
    void Start() override {}
    uint32_t Post(uint32_t code, uintptr_t arg1, uintptr_t arg2, bool wait, bool priority) override;
    uint32_t PostRecord(uint32_t code, CEngineRecord record, uintptr_t value, bool wait, bool priority) override;
    void Stop() override {}
    void AddEvent(Handle, uintptr_t) override {}
    void RemoveEvent(Handle, bool) override {}

    // Runs the queued operations as the downloader's thread would (also those they post).
    void RunOps();
    ~FakeOwner();

    std::vector<DownloadStatus> Statuses() const;  // every 0x80002 value, in order
    std::vector<std::string> Logs(uint32_t kind) const;
    int Count(uint32_t code) const;

    std::vector<RefPtr<IDownload>> list;
    std::vector<SEvent> events;
    std::function<void(const SEvent&)> onEvent;  // called with each event as it comes
    std::deque<SDnlOp*> ops;
    int reschedules = 0;
    int nextId = 0;

private:
    RefCount refs_;
};

class FakeLeech final : public ILeech {
public:
    FakeLeech(uint32_t start, uint32_t end) : position(start), end(end) {}

    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t n = refs_.Drop();
        if (n == 0) delete this;
        return n;
    }
    bool HasEnd() override { return end != 0; }
    uint32_t GetState() override { return state; }
    uint8_t IsStopped() override { return stopped; }
    uint32_t GetPosition() override { return position; }
    uint32_t GetEnd() override { return end; }
    uint32_t GetRemaining() override { return end - position + 1; }
    uint8_t IsPreparing() override { return 0; }
    uint32_t GetSocketCount() override { return 0; }
    bool GetSocket(uint32_t, ISocket**) override { return false; }
    void CheckTimeout() override {}
    void Stop() override { ++stops; }
    bool GetDownload(IDownload**) override { return false; }
    void OnFinish() override {}

    uint32_t state = LEECH_CONNECTING;
    uint8_t stopped = 0;
    uint32_t position;
    uint32_t end;
    int stops = 0;

private:
    ~FakeLeech() = default;
    RefCount refs_;
};

class FakeEnv final : public IDownloadEnv {
public:
    FakeEnv() { SetDownloadEnv(this); }
    ~FakeEnv() { SetDownloadEnv(nullptr); }

    int32_t GetLiveSocketCount() override { return liveSockets; }
    void ResolveHostAsync(const sockaddr_in&, const std::string& host, IHostByNameCallback* cb) override {
        lookups.push_back(host);
        lookupCallback = RefPtr<IHostByNameCallback>(cb);
    }
    bool CreateLeech(ELeechKind kind, IDownload*, uint32_t start, uint32_t end, RefPtr<ILeech>& out) override;
    uint64_t GetFreeSpace(const std::string&) override { return freeSpace; }
    bool Relocate(CRelocInfo*) override { return false; }
    void CancelRelocation(IDownload*) override {}
    uint32_t GetTicks() override { return ticks; }
    // A disk that refuses writes with writeError (0: the real file is written).
    bool WriteFile(CTargetFile& file, uint64_t offset, const uint8_t* data, size_t length, int* error) override {
        if (writeError == 0) return IDownloadEnv::WriteFile(file, offset, data, length, error);
        *error = writeError;
        return false;
    }

    // Answers the last lookup: resolved to 127.0.0.1, or failed.
    void AnswerLookup(bool resolved);
    FakeLeech* Leech(size_t i) { return leeches.at(i).Get(); }

    int32_t liveSockets = 0;
    bool supported = true;
    bool startOk = true;
    uint64_t freeSpace = UINT64_MAX;
    uint32_t ticks = 1000;
    int writeError = 0;
    std::vector<std::string> lookups;
    RefPtr<IHostByNameCallback> lookupCallback;
    std::vector<RefPtr<FakeLeech>> leeches;  // every worker made, started or not
    std::vector<ELeechKind> kinds;
};

// A configuration for an address into a folder.
SDownloadConfig MakeConfig(const std::string& url, const std::string& folder);

}  // namespace plover::test
