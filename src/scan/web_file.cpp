#include "scan/web_file.h"

#include "download/download_status.h"
#include "download/page_test.h"

namespace plover {

int WebFilePriority(const std::string& url) { return LooksLikePage(url) ? 5 : 6; }

std::string WithoutLogin(const std::string& url) {
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    size_t start = scheme + 3;
    size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos) end = url.size();
    size_t at = url.rfind('@', end - 1);
    if (at == std::string::npos || at < start || end == start) return url;
    return url.substr(0, start) + url.substr(at + 1);
}

RefPtr<CWebFile> CWebFile::Create(SPageRequest request, IPageMgr* pageMgr) {
    return RefPtr<CWebFile>::Adopt(new CWebFile(std::move(request), pageMgr));
}

CWebFile::CWebFile(SPageRequest request, IPageMgr* pageMgr)
    : request_(std::move(request)), pageMgr_(pageMgr), effectiveUrl_(request_.url),
      priority_(WebFilePriority(request_.url)) {}

HRESULT CWebFile::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IWebFile) {
        *out = static_cast<IWebFile*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CWebFile::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

std::string CWebFile::GetEffectiveURL() {
    RefPtr<IDownload> d = Download();
    std::string remote = d ? WithoutLogin(d->GetRemoteUrl()) : std::string();
    std::lock_guard g(lock_);
    if (d) effectiveUrl_ = remote;
    return effectiveUrl_;
}

std::string CWebFile::GetLocalPath() {
    std::lock_guard g(lock_);
    return localPath_;
}

void CWebFile::SetEffectiveURL(const std::string& url) {
    std::lock_guard g(lock_);
    effectiveUrl_ = url;
}

void CWebFile::SetLocalPath(const std::string& path) {
    std::lock_guard g(lock_);
    localPath_ = path;
}

std::string CWebFile::GetStatusText() {
    std::lock_guard g(lock_);
    return statusText_;
}

bool CWebFile::IsDownload(IDownload* download) {
    RefPtr<IDownload> mine = Download();
    if (!mine || !download) return !mine && !download;
    return SameObject(mine.Get(), download);
}

void CWebFile::Cancel() {
    RefPtr<IDownload> d;
    {
        std::lock_guard g(lock_);
        cancelled_ = true;  // the download may still be on its way from the downloader
        d = download_;
    }
    if (d) d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
}

int CWebFile::GetPriority() {
    std::lock_guard g(lock_);
    return priority_;
}

void CWebFile::SetPriority(int priority) {
    {
        std::lock_guard g(lock_);
        priority_ = priority;
    }
    if (RefPtr<IDownload> d = Download()) d->SetPriority(priority);
}

bool CWebFile::GetDownload(IDownload** out) {
    if (!out) return false;
    RefPtr<IDownload> d = Download();
    *out = d.Detach();
    return *out != nullptr;
}

void CWebFile::SetRevalidation(const std::string& path, const std::string& date) {
    std::lock_guard g(lock_);
    revalidationPath_ = path;
    revalidationDate_ = date;
}

void CWebFile::NotifyComplete() {
    if (request_.callback) request_.callback->OnPageComplete(this);
}

void CWebFile::NotifyFailed(uint32_t code) {
    {
        std::lock_guard g(lock_);
        statusText_ = StatusText(code);
    }
    if (request_.callback) request_.callback->OnPageFailed(this);
}

void CWebFile::NotifyWaiting() {
    if (request_.callback) request_.callback->OnPageWaiting(this);
}

RefPtr<IDownload> CWebFile::Download() {
    std::lock_guard g(lock_);
    return download_;
}

void CWebFile::SetDownload(IDownload* download) {
    RefPtr<IDownload> old;
    bool drop = false;
    {
        std::lock_guard g(lock_);
        old = std::exchange(download_, RefPtr<IDownload>(download));
        drop = cancelled_ && download;
    }
    if (drop) download->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
}

RefPtr<IDownloader> CWebFile::Downloader() {
    std::lock_guard g(lock_);
    return downloader_;
}

void CWebFile::SetDownloader(IDownloader* downloader) {
    std::lock_guard g(lock_);
    downloader_ = RefPtr<IDownloader>(downloader);
}

std::string CWebFile::RevalidationPath() {
    std::lock_guard g(lock_);
    return revalidationPath_;
}

std::string CWebFile::RevalidationDate() {
    std::lock_guard g(lock_);
    return revalidationDate_;
}

}  // namespace plover
