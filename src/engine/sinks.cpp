#include "engine/sinks.h"

namespace plover {

HRESULT CBRSink::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IBRSink) {
        *out = static_cast<IBRSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CBRSink::AddRef() { return refs_.Add(); }

uint32_t CBRSink::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0 && deleteOnRelease_) delete this;
    return n;
}

ptrdiff_t CSinkList::Find(IBRSink* sink) const {
    for (size_t i = 0; i < sinks_.GetSize(); ++i)
        if (SameObject(sinks_[i], sink)) return ptrdiff_t(i);
    return -1;
}

bool CSinkList::Advise(IBRSink* sink) {
    if (!sink) return false;
    CAutoCriticalSection guard(lock_);
    if (Find(sink) >= 0) return false;
    sinks_.Add(sink);
    return true;
}

bool CSinkList::Unadvise(IBRSink* sink) {
    if (!sink) return false;
    CAutoCriticalSection guard(lock_);
    ptrdiff_t i = Find(sink);
    if (i < 0) return false;
    sinks_.RemoveAt(size_t(i));
    return true;
}

void CSinkList::Fire(uint32_t code, uintptr_t param1, uintptr_t param2) {
    CAutoCriticalSection guard(lock_);
    // A sink may advise or unadvise from OnNotify: call the sinks of the list as it was, each kept
    // alive for its call.
    std::vector<RefPtr<IBRSink>> now;
    for (IBRSink* s : sinks_) now.emplace_back(s);
    for (const RefPtr<IBRSink>& s : now) s->OnNotify(code, param1, param2);
}

size_t CSinkList::GetSize() const {
    CAutoCriticalSection guard(lock_);
    return sinks_.GetSize();
}

void CSinkList::Clear() {
    CAutoCriticalSection guard(lock_);
    sinks_.RemoveAll();
}

CSinkList& GlobalSinkList() {
    static CSinkList list;  // emptied, releasing every sink, at process end
    return list;
}

bool AdviseSink(IBRSink* sink) { return GlobalSinkList().Advise(sink); }
bool UnadviseSink(IBRSink* sink) { return GlobalSinkList().Unadvise(sink); }
void FireSinks(uint32_t code, uintptr_t param1, uintptr_t param2) { GlobalSinkList().Fire(code, param1, param2); }

}  // namespace plover
