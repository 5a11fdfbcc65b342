#pragma once
// CDownload: one file being fetched — its addresses, its target on disk, its state and the list
// of byte ranges of the file already on disk. It owns the workers that fetch the data, plans
// which range the next worker fetches, writes every received block straight into the target file
// at its offset, detects completion, follows redirects, waits for the user (login, name clash),
// and saves and restores itself as one group of the list file.
//
// Threads: the owner (downloader) runs the planner, the operations and the status changes on its
// thread; workers call WriteData, SetSize, SetStatus, Redirect and OnUnauthorized from the thread
// their socket events are delivered on (the downloader's); the host lookup answers on the socket
// engine's thread; the user interface reads from its own. The section and worker lists are guarded
// by the download's lock, which is never held across a file operation, a worker call or a
// notification of the owner (sinks may read the download back).
//
// Making one: Create (from a configuration) or CreateFromNode (from a saved group of the list
// file); both return null when no usable download can be made.
#include <atomic>
#include <string>
#include <vector>

#include "download/download_config.h"
#include "download/file_writer.h"
#include "download/i_download.h"
#include "download/i_downloader.h"
#include "download/i_leech.h"
#include "texttree/i_text_tree_item.h"
#include "download/section_planner.h"
#include "engine/containers.h"
#include "net/host_lookup.h"

namespace plover {

// Why a configuration cannot become a download: an empty text when it can. A target folder that
// holds "|" is refused (the list file cannot store it).
std::string CheckDownloadConfig(const SDownloadConfig& config);

class CDownload final : public IDownload, public IHostByNameCallback, public ITextTreeItem {
public:
    // Copies the configuration, sets its address, initializes the record, notifies the owner
    // (0x80000) and takes the owner's next free ID. Null (with the reason in `error`) when the
    // configuration is refused or its address is not an HTTP or FTP address.
    static RefPtr<CDownload> Create(const SDownloadConfig& config, IDownloader* owner, std::string* error = nullptr);
    // Reads the download from the tree's current group (see Load), then initializes it and checks
    // its file. Null when the group lacks a required value.
    static RefPtr<CDownload> CreateFromNode(CTextTree& tree, IDownloader* owner);

    bool IsInitialized() const { return initialized_ != 0; }
    // Sets URL_remote and its parts (see SetUrl in the .cpp); false for an address that is not
    // HTTP or FTP, which leaves everything unchanged.
    bool SetUrl(const std::string& url);

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

    // IDownload
    std::string GetOriginalUrl() override;
    std::string GetRemoteUrl() override;
    std::string GetServer() override;
    std::string GetFileName() override;
    std::string GetLocalPath() override;
    std::string GetLocalFolder() override;
    std::string GetObject() override;
    uint32_t GetSize() override;
    uint32_t GetDownloaded() override;
    uint32_t GetSpeed() override;
    uint32_t GetTimeLeft() override;
    void GetSections(std::vector<SSection>& sections, std::vector<SSection>& workers) override;
    SDownloadSnapshot GetSnapshot() override;
    void ResetSections() override;
    bool IsSingleStream() override;
    void Complete() override;
    bool IsFinished() override;
    bool IsFailed() override;
    bool IsBusy() override;
    int GetLeechCount() override;
    bool GetLeech(int index, ILeech** out) override;
    void StopAllLeeches() override;
    int RemoveStoppedLeeches() override;
    void StopLeeches(int count) override;
    bool PlanSection() override;
    void ServerBusy(DownloadStatus why, std::optional<uint32_t> waitMs) override;
    void Pause() override;
    void Resume() override;
    bool IsPaused() override;
    bool CanPause() override;
    bool IsPausedClean() override;
    bool IsAutoRetry() override;
    int GetClientID() override;
    void Retry(uint8_t transientOnly) override;
    bool MatchesFind(const SFindInfo& find) override;
    void CancelAuthorization() override;
    int GetAuthorizationCancelled() override;
    void CancelRename() override;
    int GetRenameCancelled() override;
    void SetPriority(int priority) override;
    void Notify(uint32_t code, uintptr_t value1, uintptr_t value2) override;
    sockaddr_in GetServerAddress() override;
    void CountAttempt() override;
    int GetAttempts() override;
    bool SetSize(uint32_t size) override;
    DownloadStatus SetServerFileName(const std::string& name) override;
    bool IsFileOpen() override;
    void SetTimestamp(uint32_t value) override;
    void UpdateCategory() override;
    void Redirect(const std::string& location) override;
    void SetStatus(DownloadStatus status) override;
    void SetSuperStatus(DownloadStatus status) override;
    void MarkHtmlSubstitute() override;
    DownloadStatus GetPreviousStatus() override;
    DownloadStatus GetStatus() override;
    DownloadStatus GetSuperStatus() override;
    int GetSizeState() override;
    int GetHostState() override;
    uint32_t GetTimestamp() override;
    uint32_t GetStatusTime() override;
    bool WriteData(uint32_t offset, const uint8_t* data, uint32_t length) override;
    SDownloadConfig* GetConfig() override;
    bool MatchesCategoryFilter(const DownloadFilterList& filters) override;
    int GetID() override;
    void SetSectionLimit(int limit) override;
    int GetSectionLimit() override;
    void Remove() override;
    void SetTraffic(uint32_t done, uint32_t total) override;
    void GetTraffic(uint32_t* done, uint32_t* total) override;
    void MoveTo(const std::string& target, bool appendName) override;
    void OnRelocated(CRelocInfo* request) override;
    int GetQueueValue() override;
    void SetQueueValue(int value) override;
    void Overwrite() override;
    void OnUnauthorized() override;
    void SetOverwriteConfirmed(uint8_t confirmed) override;
    uint8_t IsHeld() override;
    void SetHeld(uint8_t held) override;
    void PostOperation(SDnlOp* op, uintptr_t value) override;
    void ExecuteOperation(SDnlOp* op) override;
    void SetLastModified(const std::string& value) override;
    std::string GetLastModified() override;
    void RestartFromZero() override;
    uint32_t FirstSectionSize(uint32_t size) override;

    // IHostByNameCallback
    void OnHostByName(SHostLookup* lookup) override;

    // ITextTreeItem
    bool Save(CTextTree& tree) override;
    bool Load(CTextTree& tree) override;

private:
    explicit CDownload(IDownloader* owner);
    ~CDownload() override;

    void Initialize();
    void CheckFileAfterLoad();
    void Log(const std::string& text, uint32_t kind);
    void NotifyOwner(uint32_t code, uintptr_t value);
    void Reschedule();
    void StoreStatus(DownloadStatus status);  // no events
    // The status change itself: previous status, status time, the owner told and asked to reschedule.
    void ApplyStatus(DownloadStatus status);
    // The one decision after an attempt that ended without usable data (retry_rule.h): count it,
    // pause the next connection, or set `why` and stop.
    void AttemptFailed(DownloadStatus why, bool othersRunning, bool jitter = false);
    void PauseBeforeNextAttempt(DownloadStatus why, uint32_t pauseMs, const char* reason);
    int RunningLeechCount();
    IDownload* Self() { return this; }

    // Planner pieces (section_planner.h holds the pure rules).
    void StartHostResolution();
    bool StartWorker(uint32_t start, uint32_t end);
    SectionList OccupiedRanges();
    // Removes the workers for which `pick` is true; Stop and Release outside the lock.
    template <class Pick>
    int DetachLeeches(Pick pick);

    // The target file.
    bool EnsureFileOpen();
    void WriteFailed(int error);  // a block could not be written: full disk, or a failed attempt
    bool ReopenForSections();
    void CloseFile();
    void DeleteLocalFile();

    bool FinishIfWhole();
    void CompleteHtmlSubstitute();
    void DoRestartFromZero();

    RefCount refs_;
    mutable CCriticalSection lock_;  // sections_, leeches_, serverAddress_, config strings

    SectionList sections_;
    CInterfaceArray<ILeech> leeches_;
    // The size of leeches_, readable without the lock: the scheduling pass reads it for every
    // download of the list.
    std::atomic<int> leechCount_{0};
    SDownloadConfig config_;
    CTargetFile file_;
    uint8_t initialized_ = 0;
    sockaddr_in serverAddress_{};
    uint32_t size_ = kUnknownSize;  // Head_FSize
    std::atomic<int32_t> sizeState_{SIZE_UNKNOWN};
    std::atomic<int32_t> hostState_{HOST_UNRESOLVED};
    std::atomic<DownloadStatus> status_{DS_WAITING};
    std::atomic<DownloadStatus> previousStatus_{DS_NONE};
    std::atomic<DownloadStatus> superStatus_{DS_NONE};
    std::atomic<uint32_t> htmlSubstitute_{0};
    std::atomic<uint32_t> statusTime_{0};
    uint32_t runStart_ = kUnknownSize;
    uint32_t runBytes_ = 0;
    uint32_t runSeconds_ = 0;
    std::atomic<int32_t> authorizationCancelled_{0};
    std::atomic<int32_t> renameCancelled_{0};
    std::atomic<int32_t> attempts_{1};
    std::atomic<uint32_t> singleStream_{0};
    std::atomic<uint32_t> downloaded_{0};
    RefPtr<IDownloader> owner_;
    int32_t id_ = -1;
    int32_t category_ = -1;
    std::atomic<int32_t> sectionLimit_{-1};
    uint32_t moveDone_ = 0, moveTotal_ = 0;
    int32_t queueValue_ = -1;
    uint8_t overwriteConfirmed_ = 0;
    std::atomic<uint8_t> held_{0};
    uint32_t timestamp_ = 0;
    std::string lastModified_;
    std::atomic<bool> restartPending_{false};  // the server's file changed: nothing more is written
    // After a failed attempt no new connection is made before retryAt_ (tick count).
    std::atomic<bool> retryWait_{false};
    std::atomic<uint32_t> retryAt_{0};
    // The most bytes the download ever had on disk: data beyond it starts the attempts afresh
    // (a server that sends the same first bytes again and again makes no progress).
    std::atomic<uint32_t> progressMark_{0};
    // Waits a busy server asked for since the last progress (retry_rule.h).
    std::atomic<uint32_t> serverWaits_{0};
    // Redirects followed since the download was made or retried; the one past kMaxRedirects fails.
    static constexpr uint32_t kMaxRedirects = 20;
    uint32_t redirects_ = 0;
    // The file at the target path is this download's own: it was about to be created when the
    // record went to the list file ("OwnFile"). A later run opens it instead of refusing it as
    // somebody else's file, whatever it holds: only the sections say what of it is data.
    std::atomic<uint8_t> ownFile_{0};
    // Handed to the file relocator and its answer not back yet (the downloader's thread only):
    // only then must a removal wait for the relocator to let go of the file.
    bool relocating_ = false;
};

}  // namespace plover
