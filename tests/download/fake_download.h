#pragma once
// A scripted IDownload for the downloader's tests: it records what the downloader asks of it and
// answers from plain fields. PlanSection attaches one pretend worker per call (up to the section
// limit) unless `planStarts` is false; StopLeeches/StopAllLeeches take them away.
#include <atomic>
#include <string>
#include <vector>

#include "download/i_download.h"
#include "download/i_downloader.h"

namespace plover::test {

class FakeDownload final : public IDownload {
public:
    static RefPtr<FakeDownload> Make(int prior = 5, DownloadStatus status = DS_WAITING) {
        auto d = RefPtr<FakeDownload>::Adopt(new FakeDownload());
        d->config.Prior = prior;
        d->status = status;
        return d;
    }

    SDownloadConfig config;
    // Set by a test while the downloader's engine reads them.
    std::atomic<DownloadStatus> status{DS_WAITING};
    std::atomic<DownloadStatus> superStatus{DS_NONE};
    int leeches = 0;
    int sectionLimit = 5;
    std::atomic<bool> planStarts{true};
    int planCalls = 0;
    int stopAllCalls = 0;
    int removeCalls = 0;
    int id = -1;
    int queue = -1;
    int categoryUpdates = 0;
    std::atomic<uint32_t> statusTime{0};
    std::vector<uint32_t> executed;  // codes of ExecuteOperation
    std::vector<uint8_t> retries;    // flags of Retry
    std::atomic<int> retryCount{0};
    uint8_t held = 0;
    IDownloader* owner = nullptr;

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IDownload) {
            *out = static_cast<IDownload*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t n = refs_.Drop();
        if (n == 0) delete this;
        return n;
    }

    std::string GetOriginalUrl() override { return config.URL_original; }
    std::string GetRemoteUrl() override { return config.URL_remote; }
    std::string GetServer() override { return config.Server; }
    std::string GetFileName() override { return config.FileName; }
    std::string GetLocalPath() override { return config.LocalFolder + "/" + config.FileName; }
    std::string GetLocalFolder() override { return config.LocalFolder; }
    std::string GetObject() override { return config.Object; }
    uint32_t GetSize() override { return 0; }
    uint32_t GetDownloaded() override { return 0; }
    uint32_t GetSpeed() override { return 0; }
    uint32_t GetTimeLeft() override { return 0; }
    void GetSections(std::vector<SSection>&, std::vector<SSection>&) override {}
    SDownloadSnapshot GetSnapshot() override { return {}; }
    void ResetSections() override {}
    bool IsSingleStream() override { return false; }
    void Complete() override {}
    bool IsFinished() override { return status == DS_FINISHED; }
    bool IsFailed() override { return IsFailedStatus(status) || IsFailedStatus(superStatus); }
    bool IsBusy() override { return leeches > 0; }
    int GetLeechCount() override { return leeches; }
    bool GetLeech(int, ILeech**) override { return false; }
    void StopAllLeeches() override {
        ++stopAllCalls;
        leeches = 0;
    }
    int RemoveStoppedLeeches() override { return leeches; }
    void StopLeeches(int count) override { leeches -= count; }
    bool PlanSection() override {
        ++planCalls;
        if (!planStarts) return false;
        ++leeches;
        return true;
    }
    void Pause() override { status = DS_PAUSED; }
    void Resume() override { status = DS_WAITING; }
    bool IsPaused() override { return status == DS_PAUSED; }
    bool CanPause() override { return true; }
    bool IsPausedClean() override { return IsPaused(); }
    bool IsAutoRetry() override { return StatusHas(status, DSF_AUTO_RETRY); }
    int GetClientID() override { return config.ClientID; }
    // A retry starts the download afresh ("Waiting").
    void Retry(uint8_t transientOnly) override {
        retries.push_back(transientOnly);
        status = DS_WAITING;
        ++retryCount;
    }
    bool MatchesFind(const SFindInfo&) override { return false; }
    void CancelAuthorization() override {}
    int GetAuthorizationCancelled() override { return 0; }
    void CancelRename() override {}
    int GetRenameCancelled() override { return 0; }
    void SetPriority(int p) override { config.Prior = p; }
    void Notify(uint32_t code, uintptr_t v1, uintptr_t v2) override {
        if (owner) owner->Notify(code, v1, v2);
    }
    sockaddr_in GetServerAddress() override { return {}; }
    void CountAttempt() override {}
    int GetAttempts() override { return 1; }
    bool SetSize(uint32_t) override { return true; }
    DownloadStatus SetServerFileName(const std::string&) override { return status; }
    bool IsFileOpen() override { return false; }
    void SetTimestamp(uint32_t) override {}
    void UpdateCategory() override { ++categoryUpdates; }
    void Redirect(const std::string&) override {}
    void SetStatus(DownloadStatus s) override { status = s; }
    void SetSuperStatus(DownloadStatus s) override { superStatus = s; }
    void MarkHtmlSubstitute() override {}
    DownloadStatus GetPreviousStatus() override { return DS_NONE; }
    DownloadStatus GetStatus() override { return status; }
    DownloadStatus GetSuperStatus() override { return superStatus; }
    int GetSizeState() override { return 0; }
    int GetHostState() override { return 0; }
    uint32_t GetTimestamp() override { return 0; }
    uint32_t GetStatusTime() override { return statusTime; }
    bool WriteData(uint32_t, const uint8_t*, uint32_t) override { return false; }
    SDownloadConfig* GetConfig() override { return &config; }
    bool MatchesCategoryFilter(const DownloadFilterList&) override { return true; }
    int GetID() override { return id; }
    void SetSectionLimit(int) override {}
    int GetSectionLimit() override { return sectionLimit; }
    void Remove() override { ++removeCalls; }
    void SetTraffic(uint32_t, uint32_t) override {}
    void GetTraffic(uint32_t*, uint32_t*) override {}
    void MoveTo(const std::string&, bool) override {}
    void OnRelocated(CRelocInfo*) override {}
    int GetQueueValue() override { return queue; }
    void SetQueueValue(int v) override { queue = v; }
    void Overwrite() override {}
    void OnUnauthorized() override {}
    void SetOverwriteConfirmed(uint8_t) override {}
    uint8_t IsHeld() override { return held; }
    void SetHeld(uint8_t h) override { held = h; }
    void PostOperation(SDnlOp* op, uintptr_t) override { delete op; }
    void ExecuteOperation(SDnlOp* op) override {
        executed.push_back(op->code);
        if (op->code == DNLOP_PAUSE) status = DS_PAUSED;
    }
    void SetLastModified(const std::string&) override {}
    std::string GetLastModified() override { return {}; }
    void RestartFromZero() override {}
    uint32_t FirstSectionSize(uint32_t) override { return 0; }

private:
    FakeDownload() = default;
    ~FakeDownload() override = default;
    RefCount refs_;
};

}  // namespace plover::test
