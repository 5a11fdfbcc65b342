#pragma once
// Reference-counted interfaces in the manner of IUnknown, and RefPtr, the intrusive counted
// pointer that every owner of an interface uses so that nothing leaks and nothing is released
// twice. Objects start with a count of 1 (the creator's reference): wrap a new object with
// RefPtr<T>::Adopt, which takes that reference over instead of adding one.
#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/guid.h"

namespace plover {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_INVALIDARG = int32_t(0x80070057u);
constexpr HRESULT E_NOINTERFACE = int32_t(0x80004002u);

inline constexpr GUID IID_IUnknown = MakeGuid("00000000-0000-0000-C000-000000000046");

struct IUnknown {
    virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// The atomic 32-bit count of a reference-counted object; Release() reports when it reached 0.
class RefCount {
public:
    uint32_t Add() { return uint32_t(++count_); }
    uint32_t Drop() { return uint32_t(--count_); }
    int32_t Value() const { return count_.load(); }

private:
    std::atomic<int32_t> count_{1};
};

template <class T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(std::nullptr_t) {}
    // Shares p: adds a reference.
    explicit RefPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    // Takes over the reference the caller holds (a new object's, or one returned by QueryInterface).
    static RefPtr Adopt(T* p) {
        RefPtr r;
        r.p_ = p;
        return r;
    }
    RefPtr(const RefPtr& o) : RefPtr(o.p_) {}
    RefPtr(RefPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    RefPtr(RefPtr<U>&& o) noexcept : p_(o.Detach()) {}
    ~RefPtr() { Reset(); }

    RefPtr& operator=(RefPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: releases what is held and returns the slot to fill.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    friend bool operator==(const RefPtr& a, const RefPtr& b) { return a.p_ == b.p_; }

private:
    T* p_ = nullptr;
};

// Asks any interface for another one; an empty pointer when it is not answered.
template <class Want, class Have>
RefPtr<Want> QueryAs(Have* from, const GUID& iid) {
    RefPtr<Want> out;
    if (from) from->QueryInterface(iid, out.PutVoid());
    return out;
}

// Object identity: both pointers are asked for IUnknown and the answers compared.
bool SameObject(IUnknown* a, IUnknown* b);

}  // namespace plover
