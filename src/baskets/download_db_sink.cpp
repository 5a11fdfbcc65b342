#include "baskets/download_db_sink.h"

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
    db_.Record(d->GetOriginalUrl(), d->GetLocalPath());
    return 0;
}

CDownloadDBSink& GetDownloadDBSink() {
    static CDownloadDBSink sink(GetDownloadDB());
    return sink;
}

}  // namespace plover
