#pragma once
// IDownload: one file being fetched. A download belongs to one downloader (its owner). Operations
// that change its course (pause, resume, retry, delete, move, overwrite, login answers) are posted
// as SDnlOp records to the owner's thread (engine event 122) and run there one at a time through
// ExecuteOperation; the planner and the status changes run on that thread too. Workers call
// WriteData, SetSize, SetStatus, Redirect and OnUnauthorized from the thread on which their socket
// events are delivered; the user interface reads from its own thread. The section and worker lists
// are guarded by the download's lock; string getters return copies.
//
// "Notify" means: an event passed to the owner's sinks (codes in i_downloader.h).
#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/download_config.h"
#include "download/download_filter.h"
#include "download/download_snapshot.h"
#include "download/download_status.h"
#include "platform/com.h"

namespace plover {

struct ILeech;
struct IDownload;
struct SFindInfo;
class CRelocInfo;

inline constexpr GUID IID_IDownload = MakeGuid("0D4F6A2B-7C31-4E55-8B9A-2E6C1F0D3A47");

// Size state (GetSizeState) and host state (GetHostState).
enum : int32_t {
    SIZE_UNKNOWN = 0,
    SIZE_PROBING = 1,  // a probe worker is asking for it
    SIZE_KNOWN = 2,
    HOST_UNRESOLVED = 0,
    HOST_LOOKING = 1,
    HOST_RESOLVED = 2,
};

// Operation codes of SDnlOp.
enum EDnlOpCode : uint32_t {
    DNLOP_AUTHORIZE = 0,         // SDOAuthorize: a login for this (and every idle same-server) download
    DNLOP_CANCEL_AUTH = 1,
    DNLOP_PAUSE = 2,
    DNLOP_RESUME = 3,
    DNLOP_RETRY = 4,             // arg: transient-only flag
    DNLOP_DELETE = 5,
    DNLOP_RELOCATE = 6,          // SDORelocate
    DNLOP_OVERWRITE = 7,
};

// An operation on a download, run on the owner's thread. The record holds a reference to its
// download; whoever runs it (the downloader) deletes it afterwards.
struct SDnlOp {
    SDnlOp(uint32_t opCode, uint32_t argument = 0) : code(opCode), arg(argument) {}
    SDnlOp(const SDnlOp&) = delete;
    SDnlOp& operator=(const SDnlOp&) = delete;
    virtual ~SDnlOp() = default;

    RefPtr<IDownload> download;  // set by PostOperation
    uint32_t code;
    uint32_t arg;
};

// Operation 0: the login the user gave.
struct SDOAuthorize : SDnlOp {
    SDOAuthorize(std::string user, std::string password)
        : SDnlOp(DNLOP_AUTHORIZE), Username(std::move(user)), Password(std::move(password)) {}
    std::string Username;
    std::string Password;
};

// Operation 6: move the file to this full path.
struct SDORelocate : SDnlOp {
    explicit SDORelocate(std::string target) : SDnlOp(DNLOP_RELOCATE), Target(std::move(target)) {}
    std::string Target;
};

struct IDownload : IUnknown {
    virtual std::string GetOriginalUrl() = 0;
    virtual std::string GetRemoteUrl() = 0;
    virtual std::string GetServer() = 0;
    virtual std::string GetFileName() = 0;
    virtual std::string GetLocalPath() = 0;                            // folder, "/", name
    virtual std::string GetLocalFolder() = 0;
    virtual std::string GetObject() = 0;                               // the request path
    virtual uint32_t GetSize() = 0;                                    // 0 while unknown
    virtual uint32_t GetDownloaded() = 0;
    virtual uint32_t GetSpeed() = 0;                                   // bytes per second
    virtual uint32_t GetTimeLeft() = 0;                                // seconds
    // copies of the sections, and one range (position, bytes remaining) per worker.
    virtual void GetSections(std::vector<SSection>& sections, std::vector<SSection>& workers) = 0;
    // Everything a front end shows, read in one step under the download's lock.
    virtual SDownloadSnapshot GetSnapshot() = 0;
    virtual void ResetSections() = 0;                                  // drops all, single stream
    virtual bool IsSingleStream() = 0;
    virtual void Complete() = 0;
    virtual bool IsFinished() = 0;
    virtual bool IsFailed() = 0;
    virtual bool IsBusy() = 0;                                         // workers or a lookup
    virtual int GetLeechCount() = 0;
    virtual bool GetLeech(int index, ILeech** out) = 0;                // counted reference
    virtual void StopAllLeeches() = 0;
    virtual int RemoveStoppedLeeches() = 0;                            // workers left
    virtual void StopLeeches(int count) = 0;                           // the first `count`
    virtual bool PlanSection() = 0;                                    // started a worker
    virtual void Pause() = 0;                                          // posts DNLOP_PAUSE
    virtual void Resume() = 0;                                         // posts DNLOP_RESUME
    virtual bool IsPaused() = 0;
    virtual bool CanPause() = 0;
    virtual bool IsPausedClean() = 0;
    virtual bool IsAutoRetry() = 0;
    virtual int GetClientID() = 0;
    virtual void Retry(uint8_t transientOnly) = 0;                     // posts DNLOP_RETRY
    virtual bool MatchesFind(const SFindInfo& find) = 0;
    virtual void CancelAuthorization() = 0;                            // posts DNLOP_CANCEL_AUTH
    virtual int GetAuthorizationCancelled() = 0;
    virtual void CancelRename() = 0;
    virtual int GetRenameCancelled() = 0;
    virtual void SetPriority(int priority) = 0;
    virtual void Notify(uint32_t code, uintptr_t value1, uintptr_t value2) = 0;
    virtual sockaddr_in GetServerAddress() = 0;
    virtual void CountAttempt() = 0;
    virtual int GetAttempts() = 0;
    virtual bool SetSize(uint32_t size) = 0;
    virtual DownloadStatus SetServerFileName(const std::string& name) = 0;  // the Status after
    virtual bool IsFileOpen() = 0;
    virtual void SetTimestamp(uint32_t value) = 0;
    virtual void UpdateCategory() = 0;
    virtual void Redirect(const std::string& location) = 0;
    virtual void SetStatus(DownloadStatus status) = 0;
    virtual void SetSuperStatus(DownloadStatus status) = 0;
    virtual void MarkHtmlSubstitute() = 0;
    virtual DownloadStatus GetPreviousStatus() = 0;
    virtual DownloadStatus GetStatus() = 0;
    virtual DownloadStatus GetSuperStatus() = 0;
    virtual int GetSizeState() = 0;
    virtual int GetHostState() = 0;
    virtual uint32_t GetTimestamp() = 0;
    virtual uint32_t GetStatusTime() = 0;
    // writes a received block at its offset; false tells the worker to stop.
    virtual bool WriteData(uint32_t offset, const uint8_t* data, uint32_t length) = 0;
    virtual SDownloadConfig* GetConfig() = 0;                          // the record itself
    virtual bool MatchesCategoryFilter(const DownloadFilterList& filters) = 0;
    virtual int GetID() = 0;
    virtual void SetSectionLimit(int limit) = 0;                       // -1 = none
    virtual int GetSectionLimit() = 0;
    virtual void Remove() = 0;
    virtual void SetTraffic(uint32_t done, uint32_t total) = 0;        // move progress
    virtual void GetTraffic(uint32_t* done, uint32_t* total) = 0;
    virtual void MoveTo(const std::string& target, bool appendName) = 0;  // posts DNLOP_RELOCATE
    virtual void OnRelocated(CRelocInfo* request) = 0;                 // destroys the request
    virtual int GetQueueValue() = 0;
    virtual void SetQueueValue(int value) = 0;
    virtual void Overwrite() = 0;                                      // posts DNLOP_OVERWRITE
    virtual void OnUnauthorized() = 0;
    virtual void SetOverwriteConfirmed(uint8_t confirmed) = 0;
    virtual uint8_t IsHeld() = 0;
    virtual void SetHeld(uint8_t held) = 0;
    // hands the operation (heap, owned from now on) to the owner's thread with `value` as the
    // event's second argument; destroyed at once when the owner cannot take it.
    virtual void PostOperation(SDnlOp* op, uintptr_t value) = 0;
    virtual void ExecuteOperation(SDnlOp* op) = 0;                     // on the owner's thread
    virtual void SetLastModified(const std::string& value) = 0;
    virtual std::string GetLastModified() = 0;

    // the server's file is no longer the one whose sections are on disk (a "Content-Range"
    // total that differs from the known size, or a "Last-Modified" that differs from the stored
    // one): nothing may be spliced onto what is on disk. Called by a worker, which then stops
    // without writing; the download posts the restart to its owner's thread and there stops every
    // worker, deletes all sections (downloaded 0), forgets the size (size state 0), the single-stream
    // flag and the stored Last-Modified, cuts the file to 0 bytes, sets Status "Waiting" and asks
    // for a reschedule, so the file is fetched again from byte 0.
    virtual void RestartFromZero() = 0;

    // how many bytes from 0 the planner's first worker fetches of a file of this size: all of them
    // when one worker fetches the file (a file smaller than a section, or the single-section
    // flag), else the first section; 0 for no size. The probe, whose answer carries the file from
    // byte 0, writes those bytes itself instead of leaving them to a second request.
    virtual uint32_t FirstSectionSize(uint32_t size) = 0;

    // the server is too busy (429, 503). When it said when to come back (Retry-After, `waitMs`):
    // no new connection before then, and the attempt is not counted (up to a bound of such waits
    // in a row, retry_rule.h). Otherwise a failed attempt with status `why`, its pause jittered.
    // Called by the worker, which then stops.
    virtual void ServerBusy(DownloadStatus why, std::optional<uint32_t> waitMs) {
        (void)waitMs;
        SetStatus(why);
    }

protected:
    virtual ~IDownload() = default;
};

}  // namespace plover
