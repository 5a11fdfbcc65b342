#pragma once
// CWebFile: one request made to the page manager, and what became of it. It owns the request
// record (address, referrer, reload flag, the caller's callback), holds the download that fetches
// it while there is one, and carries the answer: the local path of the file in the cache folder,
// the address it finally came from, or the text of its failure. Its three notifications call the
// caller's callback with the web file (nothing happens without a callback).
//
// Every getter and setter may be called from any thread; a lock guards the fields, and is never
// held while the download or the callback is called.
#include <mutex>
#include <string>

#include "download/i_download.h"
#include "download/i_downloader.h"
#include "scan/i_page_mgr.h"

namespace plover {

// The request record of PMOP_REQUEST.
struct SPageRequest {
    std::string url;
    std::string referrer;
    bool reload = false;
    RefPtr<IPageStatusCallback> callback;
};

// The priority of a requested address: 5 for a page, 6 for any other file (a thumbnail's small
// picture), so that what the window shows comes first.
int WebFilePriority(const std::string& url);

// An address without the "user[:password]@" part, so that a login never lands in the index or
// in what a scan shows.
std::string WithoutLogin(const std::string& url);

class CWebFile final : public IWebFile {
public:
    // Takes over the request; holds a reference to the page manager.
    static RefPtr<CWebFile> Create(SPageRequest request, IPageMgr* pageMgr);

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;

    // IWebFile
    std::string GetURL() override { return request_.url; }
    std::string GetEffectiveURL() override;
    std::string GetLocalPath() override;
    void SetEffectiveURL(const std::string& url) override;
    void SetLocalPath(const std::string& path) override;
    std::string GetStatusText() override;
    bool IsDownload(IDownload* download) override;
    void Cancel() override;
    int GetPriority() override;
    void SetPriority(int priority) override;
    bool GetDownload(IDownload** out) override;
    void SetRevalidation(const std::string& path, const std::string& date) override;
    void NotifyComplete() override;
    void NotifyFailed(uint32_t code) override;
    void NotifyWaiting() override;

    // For the page manager.
    const SPageRequest& Request() const { return request_; }
    RefPtr<IDownload> Download();
    void SetDownload(IDownload* download);
    RefPtr<IDownloader> Downloader();
    void SetDownloader(IDownloader* downloader);
    std::string RevalidationPath();
    std::string RevalidationDate();

private:
    CWebFile(SPageRequest request, IPageMgr* pageMgr);
    ~CWebFile() = default;

    const SPageRequest request_;  // never changed after creation: read without the lock
    RefPtr<IPageMgr> pageMgr_;
    RefCount refs_;

    std::mutex lock_;
    std::string effectiveUrl_;
    std::string localPath_;
    std::string statusText_;
    RefPtr<IDownloader> downloader_;
    RefPtr<IDownload> download_;
    bool cancelled_ = false;  // a download set from now on is dropped at once
    int priority_;
    std::string revalidationPath_;
    std::string revalidationDate_;
};

}  // namespace plover
