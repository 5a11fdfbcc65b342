#pragma once
// Application-wide events for user-interface panes. An object implementing IBRSink puts itself on
// the sink list (AdviseSink) and any code can fire an event to every sink on it (FireSinks), on the
// firing thread. The list holds a reference to each sink; an object is on it at most once, decided
// by object identity (both pointers asked for IUnknown), so advising the same object through
// another interface pointer is refused. The list's lock is re-entrant and held while the sinks are
// called, so a sink may advise or unadvise from OnNotify.
//
// CSinkList is the list itself; the free functions work on the one process-wide list, which is
// emptied (releasing every reference) at process end. Tests use their own CSinkList.
#include <cstdint>

#include "engine/containers.h"
#include "platform/com.h"

namespace plover {

inline constexpr GUID IID_IBRSink = MakeGuid("8F607D03-2E08-44C5-84FC-6705C4F4EA34");

// Event codes of OnNotify.
constexpr uint32_t BRN_BASKET_LIST_CHANGED = 2;  // parameters 0, 0: the baskets pane rebuilds its view

struct IBRSink : IUnknown {
    virtual void OnNotify(uint32_t code, uintptr_t param1, uintptr_t param2) = 0;

protected:
    ~IBRSink() = default;
};

// IBRSink for objects that are also something else (a pane). With deleteOnRelease the object is
// destroyed by its last Release; a pane that embeds it passes false and is destroyed with its
// window.
class CBRSink : public IBRSink {
public:
    explicit CBRSink(bool deleteOnRelease) : deleteOnRelease_(deleteOnRelease) {}
    CBRSink(const CBRSink&) = delete;
    CBRSink& operator=(const CBRSink&) = delete;

    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    virtual ~CBRSink() = default;

private:
    bool deleteOnRelease_;
    RefCount refs_;
};

class CSinkList {
public:
    CSinkList() = default;
    CSinkList(const CSinkList&) = delete;
    CSinkList& operator=(const CSinkList&) = delete;

    // False for null or an object already on the list; otherwise holds a reference and appends.
    bool Advise(IBRSink* sink);
    // False for null or an object not on the list; otherwise removes it and releases the reference.
    bool Unadvise(IBRSink* sink);
    // Calls OnNotify on every sink, in list order.
    void Fire(uint32_t code, uintptr_t param1, uintptr_t param2);
    size_t GetSize() const;
    // Releases every sink.
    void Clear();

private:
    ptrdiff_t Find(IBRSink* sink) const;

    mutable CCriticalSection lock_;
    CInterfaceArray<IBRSink> sinks_;
};

// The process-wide list.
CSinkList& GlobalSinkList();
bool AdviseSink(IBRSink* sink);
bool UnadviseSink(IBRSink* sink);
void FireSinks(uint32_t code, uintptr_t param1, uintptr_t param2);

}  // namespace plover
