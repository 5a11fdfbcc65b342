#pragma once
// Stand-ins that let a test drive one HTTP worker by hand: a download that records what the worker
// did to it (statuses, writes into an in-memory file, size, redirects...), a socket that records
// what was sent, a socket engine that makes such sockets, and a downloader that records log lines
// and counters. The test calls the worker's ISockAdviseSink methods itself.
#include <map>
#include <string>
#include <vector>

#include "download/http_leech.h"

namespace plover::test::http {

template <class Base>
class Counted : public Base {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t left = refs_.Drop();
        if (!left) delete this;
        return left;
    }
    virtual ~Counted() = default;

private:
    RefCount refs_;
};

class FakeSocket final : public Counted<ISocket> {
public:
    void GetRemoteAddress(SOCKADDR_IN* out) override { *out = remote; }
    void GetLocalAddressText(std::string& out) override { out = "127,0,0,1"; }
    bool Accept() override {
        ++accepts;
        return acceptOk;
    }
    bool IsStarted() override { return started; }
    void Kick() override {}
    uint32_t GetIdleSeconds() override { return idle; }
    int32_t Recv(void*, int32_t) override { return -1; }
    bool Send(const void* buffer, uint32_t length) override {
        sent.append(static_cast<const char*>(buffer), length);
        return sendOk;
    }
    bool GetSink(ISockAdviseSink**) override { return false; }
    Handle GetEvent() override { return kNoHandle; }
    bool ReadNetworkEvents(SNetworkEvents*) override { return false; }
    bool HasData() override { return false; }
    bool IsConnected() override { return true; }
    void Close() override { ++closes; }
    bool IsFirstRead() override { return false; }
    void RegisterEvent() override { registered = true; }
    bool IsRegistrationPending() override { return !registered; }
    int32_t AddPending() override { return 0; }
    int32_t ReleasePending() override { return 0; }
    int32_t GetPendingCount() override { return 0; }
    void SetThrottled(bool t) override { throttled = t; }
    bool IsThrottled() override { return throttled; }
    void SetActive(bool a) override { active = a; }
    bool IsActive() override { return active; }

    SOCKADDR_IN remote{};
    std::string sent;
    bool sendOk = true, started = true, registered = false, throttled = false, active = true, acceptOk = true;
    int accepts = 0;
    uint32_t idle = 0;
    int closes = 0;
};

class FakeSocketEngine final : public Counted<ISocketEngine> {
public:
    bool CreateListenSocket(ISockAdviseSink* s, uint16_t* port, ISocket** out) override {
        if (!listen) return false;
        auto* socket = new FakeSocket;
        last = RefPtr<FakeSocket>(socket);
        made.push_back(last);
        sink = s;
        if (port) *port = listenPort;
        *out = socket;
        return true;
    }
    bool CreateSocket(ISockAdviseSink* s, const SOCKADDR_IN* remote, ISocket** out, bool) override {
        if (!create) return false;
        auto* socket = new FakeSocket;
        socket->remote = *remote;
        socket->started = startOk;
        last = RefPtr<FakeSocket>(socket);
        made.push_back(last);
        sink = s;
        *out = socket;
        return true;
    }
    void RemoveSocket(ISocket*) override {}
    void AddSocket(ISocket*) override {}
    bool GetSocket(uint32_t, ISocket**) override { return false; }

    bool create = true, startOk = true, listen = true;
    uint16_t listenPort = 5001;
    RefPtr<FakeSocket> last;
    std::vector<RefPtr<FakeSocket>> made;  // every socket made, in order
    ISockAdviseSink* sink = nullptr;
};

class FakeDownloader final : public Counted<IDownloader> {
public:
    int GetDownloadCount() override { return 0; }
    int GetFinishedCount() override { return 0; }
    int GetActiveCount() override { return 0; }
    int GetPausedCount() override { return 0; }
    int GetFailedCount() override { return 0; }
    int GetUseCount() override { return uses; }
    void Reschedule() override { ++reschedules; }
    void Notify(uint32_t code, uintptr_t v1, uintptr_t v2) override {
        if (code == NE_LOG) logs.push_back({uint32_t(v2), reinterpret_cast<const char*>(v1)});
    }
    void LoadList(const char*) override {}
    void SaveList(const char*) override {}
    bool Advise(INetAdviseSink*) override { return false; }
    bool Unadvise(INetAdviseSink*) override { return false; }
    uint8_t HasAutoRetryDownloads() override { return 0; }
    void ExportUrls(const char*) override {}
    void ImportUrls(const char*) override {}
    void AddUse() override { ++uses; }
    void ReleaseUse() override { --uses; }
    bool GetDownload(int, IDownload**) override { return false; }
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
    int GetFreeID() override { return 1; }
    void SetSaveFilter(DownloadFilterFn) override {}

    struct Line {
        uint32_t kind;
        std::string text;
    };
    std::vector<Line> logs;
    int uses = 0, reschedules = 0;
};

// A download as far as a worker sees it. The file is a string grown as writes land.
class FakeDownload final : public Counted<IDownload> {
public:
    FakeDownload() {
        config.URL_original = "http://www.example.com/pics/a.jpg";
        config.Server = "www.example.com";
        config.Object = "/pics/a.jpg";
        config.Service = SERVICE_HTTP;
        config.Port = 80;
    }
    std::string GetOriginalUrl() override { return config.URL_original; }
    std::string GetRemoteUrl() override { return config.URL_remote; }
    std::string GetServer() override { return config.Server; }
    std::string GetFileName() override { return config.FileName; }
    std::string GetLocalPath() override { return config.FileName; }
    std::string GetLocalFolder() override { return {}; }
    std::string GetObject() override { return config.Object; }
    uint32_t GetSize() override { return size; }
    uint32_t GetDownloaded() override { return 0; }
    uint32_t GetSpeed() override { return 0; }
    uint32_t GetTimeLeft() override { return 0; }
    void GetSections(std::vector<SSection>&, std::vector<SSection>&) override {}
    SDownloadSnapshot GetSnapshot() override { return {}; }
    void ResetSections() override {
        ++resets;
        singleStream = true;
    }
    bool IsSingleStream() override { return singleStream; }
    void Complete() override { ++completes; }
    bool IsFinished() override { return false; }
    bool IsFailed() override { return false; }
    bool IsBusy() override { return false; }
    int GetLeechCount() override { return leechCount; }
    bool GetLeech(int, ILeech**) override { return false; }
    void StopAllLeeches() override {}
    int RemoveStoppedLeeches() override { return 0; }
    void StopLeeches(int) override {}
    bool PlanSection() override { return false; }
    void Pause() override {}
    void Resume() override {}
    bool IsPaused() override { return false; }
    bool CanPause() override { return true; }
    bool IsPausedClean() override { return false; }
    bool IsAutoRetry() override { return false; }
    int GetClientID() override { return 1; }
    void Retry(uint8_t) override {}
    bool MatchesFind(const SFindInfo&) override { return false; }
    void CancelAuthorization() override {}
    int GetAuthorizationCancelled() override { return 0; }
    void CancelRename() override {}
    int GetRenameCancelled() override { return 0; }
    void SetPriority(int) override {}
    void Notify(uint32_t, uintptr_t, uintptr_t) override {}
    sockaddr_in GetServerAddress() override {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(serverPort);
        a.sin_addr.s_addr = htonl(0x7F000001);
        return a;
    }
    void CountAttempt() override {}
    int GetAttempts() override { return 1; }
    bool SetSize(uint32_t s) override {
        sizes.push_back(s);
        if (size == 0) size = s;
        return setSizeOk;
    }
    DownloadStatus SetServerFileName(const std::string& name) override {
        serverName = name;
        return status;
    }
    bool IsFileOpen() override { return true; }
    void SetTimestamp(uint32_t) override {}
    void UpdateCategory() override {}
    void Redirect(const std::string& location) override { redirect = location; }
    void SetStatus(DownloadStatus s) override {
        statuses.push_back(s);
        status = s;
    }
    void SetSuperStatus(DownloadStatus s) override { superStatus = s; }
    void MarkHtmlSubstitute() override { htmlSubstitute = true; }
    DownloadStatus GetPreviousStatus() override { return DS_NONE; }
    DownloadStatus GetStatus() override { return status; }
    DownloadStatus GetSuperStatus() override { return superStatus; }
    int GetSizeState() override { return size ? SIZE_KNOWN : SIZE_UNKNOWN; }
    int GetHostState() override { return HOST_RESOLVED; }
    uint32_t GetTimestamp() override { return 0; }
    uint32_t GetStatusTime() override { return 0; }
    bool WriteData(uint32_t offset, const uint8_t* data, uint32_t length) override {
        if (file.size() < size_t(offset) + length) file.resize(size_t(offset) + length, '.');
        file.replace(offset, length, reinterpret_cast<const char*>(data), length);
        writes.push_back({offset, length});
        return writeOk;
    }
    SDownloadConfig* GetConfig() override { return &config; }
    bool MatchesCategoryFilter(const DownloadFilterList&) override { return false; }
    int GetID() override { return 1; }
    void SetSectionLimit(int limit) override { sectionLimit = limit; }
    int GetSectionLimit() override { return sectionLimit; }
    void Remove() override {}
    void SetTraffic(uint32_t, uint32_t) override {}
    void GetTraffic(uint32_t*, uint32_t*) override {}
    void MoveTo(const std::string&, bool) override {}
    void OnRelocated(CRelocInfo*) override {}
    int GetQueueValue() override { return -1; }
    void SetQueueValue(int) override {}
    void Overwrite() override {}
    void OnUnauthorized() override { ++unauthorized; }
    void SetOverwriteConfirmed(uint8_t) override {}
    uint8_t IsHeld() override { return 0; }
    void SetHeld(uint8_t) override {}
    void PostOperation(SDnlOp* op, uintptr_t) override { delete op; }
    void ExecuteOperation(SDnlOp*) override {}
    void SetLastModified(const std::string& v) override { lastModified = v; }
    std::string GetLastModified() override { return lastModified; }
    void RestartFromZero() override { ++restarts; }
    uint32_t FirstSectionSize(uint32_t s) override { return oneSection ? s : firstSection; }
    void ServerBusy(DownloadStatus s, std::optional<uint32_t> waitMs) override {
        if (waitMs)
            waits.push_back(*waitMs);
        else
            SetStatus(s);
    }

    SDownloadConfig config;
    uint16_t serverPort = 8080;  // where workers connect: 127.0.0.1 at this port
    uint32_t size = 0;  // 0 = unknown, as GetSize answers
    bool singleStream = false, setSizeOk = true, writeOk = true, htmlSubstitute = false;
    bool oneSection = false;    // FirstSectionSize answers the whole size
    uint32_t firstSection = 0;  // otherwise this
    int leechCount = 1, resets = 0, completes = 0, unauthorized = 0, restarts = 0, sectionLimit = -1;
    DownloadStatus status = DS_CONNECTING, superStatus = DS_NONE;
    std::vector<DownloadStatus> statuses;
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> waits;  // of ServerBusy with a Retry-After
    std::string serverName, redirect, lastModified, file;
    struct Write {
        uint32_t offset, length;
    };
    std::vector<Write> writes;
};

}  // namespace plover::test::http
