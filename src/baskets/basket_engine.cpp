#include "baskets/basket_engine.h"

#include <memory>

#include "baskets/download_db_sink.h"
#include "download/file_writer.h"
#include "download/i_download.h"

namespace plover {
bool IsRetirable(IDownload* download) {
    return download->IsFinished() || IsFailedStatus(download->GetStatus());
}

CBasketEngine::CBasketEngine(IEngineMgr* engines, CDownloadDB* db) : engines_(engines), db_(db) {}

CBasketEngine::~CBasketEngine() = default;

HRESULT CBasketEngine::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IBasketEngine) {
        *out = static_cast<IBasketEngine*>(this);
    } else if (iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
    } else {
        return CEngine::QueryInterface(iid, out);
    }
    AddRef();
    return S_OK;
}

void CBasketEngine::RegisterWindow(HWND window) {
    PostOwned(this, BOP_REGISTER_WINDOW, std::make_unique<HWND>(window));
}

void CBasketEngine::UnregisterWindow(HWND window) {
    PostOwned(this, BOP_UNREGISTER_WINDOW, std::make_unique<HWND>(window));
}

bool CBasketEngine::WaitUntilStarted() { return Post(BOP_SYNC, 0, 0, true, false) != 0; }

void CBasketEngine::OnStart() {
    RefPtr<IEngine> engine;
    if (engines_ && engines_->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()))
        downloader_ = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    if (!downloader_) return;
    downloader_->Advise(static_cast<INetAdviseSink*>(this));
    downloader_->LoadList(nullptr);
    // Answered after the load, which was posted first.
    std::unique_ptr<CDownloadArray> all(downloader_->GetDownloadArray(nullptr));
    if (!all) return;
    for (IDownload* d : *all) {
        if (!d || !IsBasketClient(d->GetClientID())) continue;
        QueueDownload(d);
        // Ended while no basket engine watched: retired now, as it would have been then.
        if (IsRetirable(d)) {
            d->AddRef();
            Retire(NE_STATUS, d);
        }
    }
}

void CBasketEngine::OnStop() {
    if (!downloader_) return;
    downloader_->Unadvise(static_cast<INetAdviseSink*>(this));
    downloader_.Reset();
}

int32_t CBasketEngine::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t) {
    if (code != NE_DOWNLOAD_ADDED && code != NE_DOWNLOAD_REMOVED && code != NE_STATUS && code != NE_SUPER_STATUS &&
        code != NE_PROGRESS)
        return 0;
    RefPtr<IDownload> d = QueryAs<IDownload>(reinterpret_cast<IUnknown*>(value1), IID_IDownload);
    if (!d) return 0;
    if (code == NE_DOWNLOAD_REMOVED) {
        db_->Dequeue(d->GetOriginalUrl(), d->GetLocalPath());
        return 0;
    }
    if (!IsBasketClient(d->GetClientID())) return 0;
    if (code == NE_DOWNLOAD_ADDED)
        QueueDownload(d.Get());
    else
        PostRetire(code, std::move(d));
    return 0;
}

void CBasketEngine::QueueDownload(IDownload* download) {
    db_->Enqueue(download->GetOriginalUrl(), download->GetLocalPath());
}

void CBasketEngine::PostRetire(uint32_t code, RefPtr<IDownload> download) {
    // The reference travels with the event and goes with its record.
    PostOwned(this, BOP_RETIRE, std::make_unique<RefPtr<IDownload>>(std::move(download)), code);
}

uint32_t CBasketEngine::OnOperation(uint32_t code, uintptr_t, uintptr_t) { return code == BOP_SYNC ? 1 : 0; }

uint32_t CBasketEngine::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) {
    switch (code) {
        case BOP_RETIRE:
            if (RefPtr<IDownload>* d = record.Get<RefPtr<IDownload>>()) Retire(uint32_t(value), d->Get());
            return 1;
        case BOP_REGISTER_WINDOW:
            if (HWND* w = record.Get<HWND>(); w && *w) windows_.push_back(*w);
            return 1;
        case BOP_UNREGISTER_WINDOW:
            if (HWND* w = record.Get<HWND>())
                for (auto it = windows_.begin(); it != windows_.end(); ++it)
                    if (*it == *w) {
                        windows_.erase(it);
                        break;
                    }
            return 1;
    }
    return 0;
}

void CBasketEngine::Retire(uint32_t code, IDownload* download) {
    RefPtr<IDownload> d(download);
    if (!d || code != NE_STATUS || !IsRetirable(d.Get())) return;
    // Once only, though a download may report its end twice (status, then super-status): the
    // lookup waits in the downloader's queue behind the delete an earlier retirement posted, so
    // it finds the download only while no retirement of it is under way.
    RefPtr<IDownload> listed;
    if (!downloader_ || !downloader_->FindDownloadByID(d->GetID(), listed.Put()) || listed.Get() != d.Get()) return;
    // Out of the list: a finished download's file stays, a failed one's partial file goes.
    d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    // A picture that was in the basket already (the same content) has had its new file deleted.
    if (!d->IsFinished() || !PathExists(d->GetLocalPath())) return;
    for (HWND w : windows_) {
        auto* path = new std::string(d->GetLocalPath());
        if (!PostMessage(w, WM_PV_BASKET_FILE_ARRIVED, reinterpret_cast<WPARAM>(path), 0)) delete path;
    }
}

}  // namespace plover
