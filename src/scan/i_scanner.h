#pragma once
// The scanning side's public face: a front end asks the scanner engine for a scanner (one scan of
// one start address under one scan profile), and the scanner reports what it finds as window
// messages posted to the front end's notify window.
//
//   SScanRequest request{url, reload, profile, window};
//   RefPtr<IScanner> scan;
//   if (engine->CreateScanner(&request, scan.Put())) ... the scan starts on the engine thread ...
//   on WM_SCAN_ELEMENT:  std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(wp));
//   on WM_SCAN_ENDED:    scan->Close();   // the engine removes and releases it
//
// Results come as three kinds of element: thumbnails (a link to a picture whose content is a small
// picture), large pictures (pictures shown on a page) and page links (the other links). Every
// 499 ms the engine hands the scanner's new results to the window, in the order they were found;
// the last ones go out at once when the scan's last page or picture is back.
//
// Ownership: an element, the two strings of WM_SCAN_THUMB_FETCHED and the download reference of
// WM_SCAN_WAITING belong to the window that receives them (FreeScanNotice frees them for a
// message that is dropped unread). The scanner's getters may be called from any thread.
#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/window.h"
#include "scan/scan_profile.h"

namespace plover {

struct IWebFile;

inline constexpr GUID IID_IScanner = MakeGuid("E0CC6E2B-681D-45B1-96AE-D223348A592A");
inline constexpr GUID IID_IScannerEngine = MakeGuid("1FB9D55C-F03F-48E8-BE62-2B5FD0E85820");

// Notices posted to the notify window.
constexpr uint32_t WM_SCAN_ELEMENT = WM_APP + 1100;        // wp = SScanElement* (new, owned by the window)
constexpr uint32_t WM_SCAN_THUMB_FETCHED = WM_APP + 1101;  // wp = new std::string effective URL, lp = new std::string local path
constexpr uint32_t WM_SCAN_TITLE = WM_APP + 1102;          // the start page was parsed; GetPageTitle() is ready
constexpr uint32_t WM_SCAN_FAILED = WM_APP + 1103;         // the start page failed; GetErrorText() is ready
constexpr uint32_t WM_SCAN_REDIRECTED = WM_APP + 1104;     // GetStartURL() now gives the effective start address
constexpr uint32_t WM_SCAN_WAITING = WM_APP + 1105;        // wp = IDownload* waiting for a login (one reference, the window's)
constexpr uint32_t WM_SCAN_ENDED = WM_APP + 1106;          // nothing queued, in flight or undelivered: the scan has ended

// Frees the parameters of a scan notice that its receiver does not act on.
void FreeScanNotice(uint32_t msg, WPARAM wp, LPARAM lp);

// The scanner engine's block of operations.
enum EScannerEngineOp : uint32_t {
    SEOP_CREATE = 1001,         // record SCreateTask (the request and the answer); waiting
    SEOP_START = 1003,          // record RefPtr<IScanner>
    SEOP_CLOSE = 1004,          // record RefPtr<IScanner>
    SEOP_PAGE_COMPLETE = 1005,  // record RefPtr<IWebFile>
    SEOP_PAGE_FAILED = 1006,    // the same
    SEOP_PAGE_WAITING = 1007,   // the same
};

// What a front end asks for: one scan. The scanner keeps its own copy of everything.
struct SScanRequest {
    std::string url;          // the start address
    bool reload = false;      // every page request drops the cached copy and fetches again
    SScanProfile profile;     // what to collect and how far to follow links
    HWND notify = nullptr;    // receives the notices above (never referenced; must outlive the scan)
    // An image link that opens a page rather than a picture (a gallery's thumbnail of a photo
    // page) is scanned one level deeper for its large picture, whatever the profile's depth.
    bool followPicturePages = false;
};

enum EScanElementType : int32_t {
    SCAN_THUMBNAIL = 0,
    SCAN_LARGE_PIC = 1,
    SCAN_PAGE_LINK = 2,
};

// One result. The interface slots are empty when made and are the window's to fill (a row of a
// list, a picture); each is released when the element is destroyed.
struct SScanElement {
    virtual ~SScanElement() = default;
    virtual EScanElementType GetType() const = 0;

    std::string url;        // thumbnail: the linked picture; large picture: the picture; link: the target
    std::string text;       // thumbnail: the file part of url; link: its caption; large picture: empty
    std::string pageUrl;    // the effective address of the page it was found on
    std::string pageTitle;  // that page's title (empty for a large picture)
    RefPtr<IUnknown> windowData[3];
};

struct SScanThumbnail final : SScanElement {
    EScanElementType GetType() const override { return SCAN_THUMBNAIL; }
    std::string thumbnailUrl;  // the small picture, fetched into the page cache by the scan
    RefPtr<IUnknown> thumbnailData[2];
};

struct SScanLargePic final : SScanElement {
    EScanElementType GetType() const override { return SCAN_LARGE_PIC; }
};

struct SScanPageLink final : SScanElement {
    EScanElementType GetType() const override { return SCAN_PAGE_LINK; }
};

// One scan. Start, Tick, Stop and the Handle* operations run on the scanner engine's thread; the
// getters may be called from any thread.
struct IScanner : IUnknown {
    // Takes the start site from the start address and requests the start page.
    virtual void Start() = 0;
    // Delivers the results found since the last tick (the engine calls it every 499 ms).
    virtual void Tick() = 0;
    // Asks the engine to stop the scan and release it (any thread).
    virtual void Close() = 0;
    // True while a requested file has not come back.
    virtual bool IsBusy() = 0;
    // Each answers false for a web file this scan did not request (or no longer waits for).
    virtual bool HandlePageComplete(IWebFile* file) = 0;
    virtual bool HandlePageFailed(IWebFile* file) = 0;
    virtual bool HandlePageWaiting(IWebFile* file) = 0;
    // Cancels every fetch, drops every undelivered result; nothing more is requested.
    virtual void Stop() = 0;
    // Fetched thumbnail pictures delivered, page links found, pages scanned.
    virtual int32_t GetThumbnailCount() = 0;
    virtual int32_t GetLinkCount() = 0;
    virtual int32_t GetPagesScanned() = 0;
    // Pages queued plus files requested and not yet back.
    virtual int32_t GetRemainingCount() = 0;
    virtual std::string GetPageTitle() = 0;
    virtual std::string GetErrorText() = 0;
    // The effective start address (where the start page finally came from).
    virtual std::string GetStartURL() = 0;

protected:
    ~IScanner() = default;
};

struct IScannerEngine : IUnknown {
    // Creates a scanner on the engine thread and waits for it; true and a new reference in *out
    // when a request was given (the scan starts right after, on the engine thread).
    virtual bool CreateScanner(const SScanRequest* request, IScanner** out) = 0;

protected:
    ~IScannerEngine() = default;
};

}  // namespace plover
