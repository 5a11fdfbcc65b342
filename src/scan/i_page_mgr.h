#pragma once
// The page manager's public face: the one place through which the scanning side obtains web pages
// and the small pictures of thumbnails. A caller asks for an address and gets a web file object
// back at once; the page manager answers from its on-disk page cache when it may, otherwise the
// downloader fetches the address into the cache folder, and the caller's IPageStatusCallback hears
// when the file is ready, has failed, or waits for the user (a login).
//
//   RefPtr<IWebFile> file;
//   if (pageMgr->RequestFile(url, referrer, reload, callback, file.Put()))
//       ... keep `file`; later callback->OnPageComplete(file) with file->GetLocalPath() ready ...
//
// Threads: RequestFile returns at once (the page manager's thread takes the request up later);
// MoveCacheFiles blocks the caller until that thread has handled it; ClearCache and the getters may
// be called from any thread. The callbacks run on the page manager's thread or the downloader's,
// never inside RequestFile (a request the stopped page manager will never take up fails on the
// caller's thread, after RequestFile has returned), so a receiver hands the work over to its own
// thread and never waits there for either engine.
#include <cstdint>
#include <string>

#include "platform/com.h"

namespace plover {

struct IDownload;
struct IWebFile;

inline constexpr GUID IID_IPageMgr = MakeGuid("5A63B27E-BFA4-42C4-BFF3-CFDCB66E8DA1");
inline constexpr GUID IID_IWebFile = MakeGuid("133B33E1-4809-43D3-9290-F624B181245A");
inline constexpr GUID IID_IPageStatusCallback = MakeGuid("7E41DCCD-F5DD-44F4-A265-7F1E12ED5DBD");

// The page manager's block of engine operations.
enum EPageMgrOp : uint32_t {
    PMOP_REQUEST = 802,         // record: the request (the web file takes its contents) and the answer; waiting
    PMOP_START_FETCH = 803,     // record RefPtr<CWebFile>; value 1 when the fetch was refused once
    PMOP_MOVE_CACHE = 804,      // record std::string, the target folder; waiting
    PMOP_FETCH_REFUSED = 805,   // record CPageMgr::SRequestTask: the downloader took no download for it
};

// What the caller of a web file hears, on the page manager's thread or the downloader's: an
// implementation takes note or posts, and must not wait for either engine.
struct IPageStatusCallback : IUnknown {
    virtual void OnPageComplete(IWebFile* file) = 0;  // GetLocalPath() names the whole file
    virtual void OnPageFailed(IWebFile* file) = 0;    // GetStatusText() tells why
    virtual void OnPageWaiting(IWebFile* file) = 0;   // GetDownload() waits for a login

protected:
    ~IPageStatusCallback() = default;
};

// One request for an address. The getters and setters may be called from any thread.
struct IWebFile : IUnknown {
    virtual std::string GetURL() = 0;           // the requested address
    // The address the file finally came from (after redirections); refreshed from the download.
    virtual std::string GetEffectiveURL() = 0;
    virtual std::string GetLocalPath() = 0;     // full path of the file in the cache folder
    virtual void SetEffectiveURL(const std::string& url) = 0;
    virtual void SetLocalPath(const std::string& path) = 0;
    virtual std::string GetStatusText() = 0;    // the text of the failure, once failed
    // True when both this file's download and `download` are null, or both are the same object.
    virtual bool IsDownload(IDownload* download) = 0;
    virtual void Cancel() = 0;                  // asks the downloader to drop the fetch
    virtual int GetPriority() = 0;              // 5 for a page, 6 for any other file
    virtual void SetPriority(int priority) = 0; // also passed to the download
    virtual bool GetDownload(IDownload** out) = 0;  // false when there is none
    // A stored copy to re-fetch only if changed: its full path and the server's date of it.
    virtual void SetRevalidation(const std::string& path, const std::string& date) = 0;
    virtual void NotifyComplete() = 0;
    virtual void NotifyFailed(uint32_t code) = 0;  // code: a DownloadStatus; its text is kept
    virtual void NotifyWaiting() = 0;

protected:
    ~IWebFile() = default;
};

struct IPageMgr : IUnknown {
    // True and a new web file reference in *out; false for an empty address or a null out-slot.
    virtual bool RequestFile(const std::string& url, const std::string& referrer, bool reload,
                             IPageStatusCallback* callback, IWebFile** out) = 0;
    // Moves every cached file into `folder` (created when missing), which becomes the cache
    // folder. False when the folder cannot be made or some file could not be moved (its row is
    // then dropped); the caller refuses while GetPendingCount() is not 0.
    virtual bool MoveCacheFiles(const std::string& folder) = 0;
    // Deletes every cached file and empties the index.
    virtual void ClearCache() = 0;
    virtual int GetCachedCount() = 0;
    virtual uint64_t GetCacheSize() = 0;   // bytes
    virtual int GetPendingCount() = 0;     // web files being fetched

protected:
    ~IPageMgr() = default;
};

}  // namespace plover
