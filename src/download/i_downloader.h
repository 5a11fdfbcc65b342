#pragma once
// The downloader engine's public face. There is one downloader per process: it owns every
// download, schedules them, runs the operations they post, keeps the list file and fans every
// download event out to its INetAdviseSink objects.
//
// Threads: every operation of IDownloader only posts an engine event to the downloader's thread,
// except the counters, the sink list (Advise/Unadvise/Notify under the sink lock) and GetDownload,
// which reads the list without a lock. The waiting operations (AddDownload with out pointers,
// FindDownloadByID, GetDownloadArray) must never be called on the downloader's own thread.
//
// Pointer-carrying arguments (event values, engine-event arguments) are pointer-sized.
#include <cstdint>
#include <functional>

#include "engine/containers.h"
#include "engine/engine_mgr.h"
#include "platform/com.h"
#include "platform/window.h"

namespace plover {

struct IDownload;
struct SDownloadConfig;

// The downloader's interface identifier (its engine identifier, ENGINE_ID_DOWNLOADER, is in
// engine/engine_mgr.h).
inline constexpr GUID IID_IDownloader = MakeGuid("BCFEFFDA-84FC-4A58-B72D-0F33B057A7A3");
inline constexpr GUID IID_INetAdviseSink = MakeGuid("5B0C7E19-3A44-4C2E-9E0B-6F1D2A7C8B31");

// Event codes carried by INetAdviseSink::OnNetNotify. Codes with bit 19 set concern one download;
// their value1 is the download's IDownload pointer (a sink queries it and releases what it queried).
enum ENetEvent : uint32_t {
    NE_TRAFFIC = 5,              // value1 = bytes received
    NE_LOG = 6,                  // value1 = const char* text, value2 = log kind (ELogKind)
    NE_PROXY_CHANGED = 7,        // the proxy settings changed: connecting downloads retry
    NE_ORDER_CHANGED = 8,        // value1 = SMoveRequest*: the list order changed
    NE_DIALUP_ESTABLISHED = 9,   // the dial-up connection is up: auto-retry downloads retry
    NE_CATEGORIES = 11,          // value1 = 2: definitions changed; 1: downloads recomputed
    NE_DOWNLOAD_ADDED = 0x80000,
    NE_DOWNLOAD_REMOVED = 0x80001,
    NE_STATUS = 0x80002,         // value2 = the new Status
    NE_SUPER_STATUS = 0x80003,   // value2 = the new SuperStatus
    NE_PROGRESS = 0x80004,
    // The download is about to create its target file: the downloader writes the list file first
    // (when the save filter keeps the download), so that a run killed from then on leaves a
    // record that continues into that file.
    NE_FILE_CREATING = 0x80005,
    NE_PRIORITY = 0x8000A,
};
constexpr uint32_t NE_DOWNLOAD_BIT = 0x80000;
constexpr bool IsDownloadEvent(uint32_t code) { return (code & NE_DOWNLOAD_BIT) != 0; }

// Values of NE_CATEGORIES' value1.
constexpr uintptr_t CATEGORIES_RECOMPUTED = 1;
constexpr uintptr_t CATEGORIES_CHANGED = 2;

// Kinds of log lines (NE_LOG value2), stored with the line by the log window.
enum ELogKind : uint32_t {
    LOG_REQUEST = 1,          // request or command sent
    LOG_RESPONSE = 2,         // response or reply received
    LOG_LOOKUP = 3,           // host lookup started
    LOG_LOOKUP_OK = 4,        // "host (address)"
    LOG_LOOKUP_FAILED = 5,
    LOG_CONNECTING = 6,
    LOG_CONNECTED = 7,
    LOG_CLOSED = 8,
    LOG_DELETED = 10,
    LOG_PAUSED = 11,
    LOG_RESUMED = 12,
    LOG_FINISHED = 13,
    LOG_DIALUP_UP = 15,
    LOG_DIALUP_DOWN = 16,
    LOG_DIALUP_FAILED = 17,
    LOG_LIST_LOADED = 18,
    LOG_LIST_SAVED = 19,
    LOG_TIMEOUT = 20,
    LOG_TLS = 21,             // "TLSv1.3 CIPHER with a.b.c.d:port": the TLS session is up
    LOG_TLS_FAILED = 22,      // why a TLS connection (or its proxy tunnel) failed
};

// Engine events handled on the downloader's thread (its block of operation codes).
enum EDownloaderOp : uint32_t {
    DOP_ADD_DOWNLOAD = 101,         // record: the configuration (and a waiting caller's answer)
    DOP_MOVE = 102,                 // record SMoveRequest, or SMoveRequest* of a waiting caller
    DOP_RETRY_AUTO = 105,           // Retry(0) of every failed auto-retry download
    DOP_SCHEDULE = 106,             // the scheduling pass
    DOP_UPDATE_CATEGORIES = 107,    // UpdateCategory on every download, then Notify(11, 1, 0)
    DOP_IMPORT = 113,               // record std::string, the path
    DOP_LOAD_LIST = 114,            // record std::string, the path
    DOP_SAVE_LIST = 115,            // record std::string, the path; value = drop the list
    DOP_EXPORT = 116,               // record std::string, the path
    DOP_REFRESH_VIEW = 117,
    DOP_RETRY_CONNECTING = 118,     // Retry(1) of every "Connecting" download
    DOP_HOLD_AUTO_RETRY = 121,      // SetHeld(1) of every auto-retry download
    DOP_DOWNLOAD_OP = 122,          // record SDnlOp
    DOP_FIND_BY_ID = 123,           // record IDownload** (the waiting caller's answer), value = ID
    DOP_RELOCATED = 124,            // record CRelocInfo (handed to its download)
    DOP_RELOCATION_PROGRESS = 125,  // record SRelocProgress
    DOP_DELETE = 126,               // arg1 = mode: 0 finished, 1 failed, other all
    DOP_DOWNLOAD_ARRAY = 127,       // record SArrayRequest
};

// The two progress figures of a relocation under way (event 125), with a reference that keeps
// the download alive until the report has been taken (it may be cancelled meanwhile).
struct SRelocProgress {
    uint32_t done = 0;
    uint32_t total = 0;
    RefPtr<IDownload> download;
};

// Window messages the downloader posts (the receiving window owns the array).
constexpr uint32_t WM_PV_DOWNLOAD_ARRAY = 0x8461;  // wp = CInterfaceArray<IDownload>*
constexpr uint32_t WM_PV_DOWNLOAD_VIEW = 0x8068;   // wp = CInterfaceArray<IDownload>*

// Modes of DOP_DELETE.
constexpr uint32_t DELETE_FINISHED = 0;
constexpr uint32_t DELETE_FAILED = 1;
constexpr uint32_t DELETE_ALL = 2;

// A filter takes a download and answers non-zero to take it.
using DownloadFilterFn = uint8_t (*)(IDownload*);

using CDownloadArray = CInterfaceArray<IDownload>;

// The request for a download array: the filter, and where the array goes: to a waiting caller
// (`result`) or in a message to `window`.
struct SArrayRequest {
    DownloadFilterFn filter = nullptr;
    CDownloadArray** result = nullptr;
    HWND window = nullptr;
};

// The downloader's notification interface. Sinks are called on the notifying thread, under the
// sink lock, in the order of registration; a sink must not wait there for another thread that
// may itself notify.
struct INetAdviseSink : IUnknown {
    virtual int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) = 0;

protected:
    ~INetAdviseSink() = default;
};

struct IDownloader : IUnknown {
    virtual int GetDownloadCount() = 0;
    virtual int GetFinishedCount() = 0;
    virtual int GetActiveCount() = 0;
    virtual int GetPausedCount() = 0;
    virtual int GetFailedCount() = 0;
    virtual int GetUseCount() = 0;
    virtual void Reschedule() = 0;
    virtual void Notify(uint32_t code, uintptr_t value1, uintptr_t value2) = 0;
    virtual void LoadList(const char* path) = 0;                            // null = the list path
    virtual void SaveList(const char* path) = 0;                            // null = the list path
    virtual bool Advise(INetAdviseSink* sink) = 0;
    virtual bool Unadvise(INetAdviseSink* sink) = 0;
    virtual uint8_t HasAutoRetryDownloads() = 0;
    virtual void ExportUrls(const char* path) = 0;
    virtual void ImportUrls(const char* path) = 0;
    virtual void AddUse() = 0;
    virtual void ReleaseUse() = 0;
    virtual bool GetDownload(int index, IDownload** out) = 0;
    // Takes ownership of config. With an out pointer the call waits for the downloader and stores
    // the new download's ID (-1 when nothing was added) and a counted reference (or null).
    virtual void AddDownload(SDownloadConfig* config, int* idOut, IDownload** out) = 0;
    // Takes ownership of config and goes on at once. `added` runs on the downloader's thread with
    // the new download (null when nothing was added), before any event of that download is told.
    virtual void AddDownloadThen(SDownloadConfig* config, std::function<void(IDownload*)> added) = 0;
    virtual void AddUrl(const char* url, uint8_t paused) = 0;
    virtual bool FindDownloadByID(int id, IDownload** out) = 0;
    virtual void RefreshView() = 0;
    virtual void PostDownloadArray(HWND window, DownloadFilterFn filter) = 0;
    virtual CDownloadArray* GetDownloadArray(DownloadFilterFn filter) = 0;  // caller owns it
    virtual int GetFreeID() = 0;
    virtual void SetSaveFilter(DownloadFilterFn filter) = 0;

protected:
    ~IDownloader() = default;
};

}  // namespace plover
