#include "download/download_fakes.h"

#include <arpa/inet.h>

#include "net/host_lookup.h"

namespace plover::test {

HRESULT FakeOwner::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDownloader)
        *out = static_cast<IDownloader*>(this);
    else if (iid == IID_IEngine)
        *out = static_cast<IEngine*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

uint32_t FakeOwner::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

FakeOwner::~FakeOwner() {
    for (SDnlOp* op : ops) delete op;
}

void FakeOwner::Notify(uint32_t code, uintptr_t v1, uintptr_t v2) {
    SEvent e{code, v1, v2, {}};
    if (code == NE_LOG) e.text = reinterpret_cast<const char*>(v1);
    events.push_back(e);
    if (onEvent) onEvent(e);
}

bool FakeOwner::GetDownload(int index, IDownload** out) {
    if (!out || index < 0 || size_t(index) >= list.size()) return false;
    *out = list[size_t(index)].Get();
    (*out)->AddRef();
    return true;
}

uint32_t FakeOwner::Post(uint32_t code, uintptr_t arg1, uintptr_t, bool, bool) {
    if (code == 122) ops.push_back(reinterpret_cast<SDnlOp*>(arg1));
    return 0;
}

uint32_t FakeOwner::PostRecord(uint32_t code, CEngineRecord record, uintptr_t, bool, bool) {
    if (code == 122)
        if (std::unique_ptr<SDnlOp> op = record.Take<SDnlOp>()) ops.push_back(op.release());
    return 0;
}

void FakeOwner::RunOps() {
    while (!ops.empty()) {
        SDnlOp* op = ops.front();
        ops.pop_front();
        RefPtr<IDownload> d = op->download;
        d->ExecuteOperation(op);
        delete op;
    }
}

std::vector<DownloadStatus> FakeOwner::Statuses() const {
    std::vector<DownloadStatus> out;
    for (const SEvent& e : events)
        if (e.code == NE_STATUS) out.push_back(DownloadStatus(e.value2));
    return out;
}

std::vector<std::string> FakeOwner::Logs(uint32_t kind) const {
    std::vector<std::string> out;
    for (const SEvent& e : events)
        if (e.code == NE_LOG && e.value2 == kind) out.push_back(e.text);
    return out;
}

int FakeOwner::Count(uint32_t code) const {
    int n = 0;
    for (const SEvent& e : events) n += e.code == code;
    return n;
}

bool FakeEnv::CreateLeech(ELeechKind kind, IDownload*, uint32_t start, uint32_t end, RefPtr<ILeech>& out) {
    out.Reset();
    if (!supported) return false;
    auto leech = RefPtr<FakeLeech>::Adopt(new FakeLeech(start, end));
    leeches.push_back(leech);
    kinds.push_back(kind);
    if (startOk) out = RefPtr<ILeech>(leech.Get());
    return true;
}

void FakeEnv::AnswerLookup(bool resolved) {
    SHostLookup lookup;
    lookup.host = lookups.back();
    lookup.resolved = resolved;
    if (resolved) inet_pton(AF_INET, "127.0.0.1", &lookup.address.sin_addr);
    RefPtr<IHostByNameCallback> cb = lookupCallback;
    lookupCallback.Reset();
    cb->OnHostByName(&lookup);
}

SDownloadConfig MakeConfig(const std::string& url, const std::string& folder) {
    SDownloadConfig c;
    c.URL_original = url;
    c.URL_remote = url;
    c.LocalFolder = folder;
    c.ClientID = 1;
    return c;
}

}  // namespace plover::test
