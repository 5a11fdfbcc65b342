#pragma once
// CDownloadDBSink: the download history's ear on the downloader. When a basket download or a
// large-picture preview (client numbers 1000 to 1999) reaches "Finished", the address it was
// added with and its local file are recorded. The address recorded is the one the download was
// added with (URL_original), the one that every later question asks about: after a redirect
// the remote address is another one, and a history keyed by it would never be found again.
//
// A basket download whose file has the same content as another file of its folder (same_content.h)
// is not kept twice: its file is deleted and the address recorded against the file that was there.
//
// One process-wide object (GetDownloadDBSink); AddRef and Release do nothing.
#include "baskets/download_db.h"
#include "download/i_downloader.h"

namespace plover {

class CDownloadDBSink final : public INetAdviseSink {
public:
    // db: where finished files are recorded (not owned; must outlive the sink's registration).
    explicit CDownloadDBSink(CDownloadDB& db) : db_(db) {}

    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

private:
    CDownloadDB& db_;
};

// The sink of the process-wide history.
CDownloadDBSink& GetDownloadDBSink();

// Client numbers of the downloads that the history and the basket engine care about.
constexpr int kFirstBasketClient = 1000;
constexpr int kLastBasketClient = 1999;
constexpr int kPreviewClient = 1999;
constexpr bool IsBasketClient(int client) { return client >= kFirstBasketClient && client <= kLastBasketClient; }

}  // namespace plover
