#pragma once
// The owned record an engine operation carries. Posting hands the record to the engine, which
// frees it once the operation has run or when it will never run (posted after the stop, or left
// in the queues when the engine ends), on whatever thread that happens. Nobody else deletes it, so
// an operation's handler and its poster never decide ownership by the wait flag.
//
// A poster that waits for the result and wants data back gives the record pointers into its own
// frame: they stay valid while it waits, and a discarded operation writes nothing.
#include <memory>
#include <typeinfo>
#include <utility>

namespace plover {

class CEngineRecord {
public:
    CEngineRecord() = default;
    template <class T>
    explicit CEngineRecord(std::unique_ptr<T> record)
        : ptr_(record.release()), free_([](void* p) { delete static_cast<T*>(p); }), type_(&typeid(T)) {}
    CEngineRecord(CEngineRecord&& other) noexcept { Swap(other); }
    CEngineRecord& operator=(CEngineRecord&& other) noexcept {
        CEngineRecord(std::move(other)).Swap(*this);
        return *this;
    }
    CEngineRecord(const CEngineRecord&) = delete;
    CEngineRecord& operator=(const CEngineRecord&) = delete;
    ~CEngineRecord() {
        if (ptr_) free_(ptr_);
    }

    // The record when it is a T, otherwise null: a handler never mistakes one record type for
    // another even if a poster used the wrong code.
    template <class T>
    T* Get() const {
        return ptr_ && *type_ == typeid(T) ? static_cast<T*>(ptr_) : nullptr;
    }
    // Takes the record over when it is a T (for handlers that keep it beyond the operation).
    template <class T>
    std::unique_ptr<T> Take() {
        T* p = Get<T>();
        if (p) ptr_ = nullptr;
        return std::unique_ptr<T>(p);
    }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    void Swap(CEngineRecord& other) noexcept {
        std::swap(ptr_, other.ptr_);
        std::swap(free_, other.free_);
        std::swap(type_, other.type_);
    }

    void* ptr_ = nullptr;
    void (*free_)(void*) = nullptr;
    const std::type_info* type_ = nullptr;
};

}  // namespace plover
