#include "baskets/download_db_sink.h"

#include <unistd.h>

#include <mutex>

#include "baskets/same_content.h"
#include "download/i_download.h"

namespace plover {

HRESULT CDownloadDBSink::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

int32_t CDownloadDBSink::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t) {
    if (code != NE_STATUS) return 0;
    RefPtr<IDownload> d = QueryAs<IDownload>(reinterpret_cast<IUnknown*>(value1), IID_IDownload);
    if (!d || !IsBasketClient(d->GetClientID()) || !d->IsFinished()) return 0;
    std::string path = d->GetLocalPath();
    if (d->GetClientID() != kPreviewClient) {
        // A picture the basket's folder holds already (under another name) is kept once: the
        // address is recorded against the file that was there. One at a time: two copies that
        // finish together must not each find the other and both go.
        static std::mutex oneAtATime;
        static CSameContentFinder finder;
        std::lock_guard<std::mutex> guard(oneAtATime);
        std::string same = finder.Find(path);
        if (!same.empty() && unlink(path.c_str()) == 0) path = same;
    }
    db_.Record(d->GetOriginalUrl(), path);
    return 0;
}

CDownloadDBSink& GetDownloadDBSink() {
    static CDownloadDBSink sink(GetDownloadDB());
    return sink;
}

}  // namespace plover
