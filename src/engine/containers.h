#pragma once
// The small generic containers and the scoped lock shared by the engines and their users.
//  - CGCPtrArray<T>: an array of T* that deletes its non-null elements when destroyed while it
//    owns them. Removing one element never deletes it: the owner deletes it first.
//  - CInterfaceArray<I>: an array of interface pointers that holds a reference to each while
//    its holds-references flag is set.
//  - CCriticalSection / CAutoCriticalSection: a re-entrant lock and its scoped guard.
#include <mutex>
#include <vector>

namespace plover {

template <class T>
class CGCPtrArray {
public:
    CGCPtrArray() = default;
    CGCPtrArray(const CGCPtrArray&) = delete;
    CGCPtrArray& operator=(const CGCPtrArray&) = delete;
    ~CGCPtrArray() { RemoveAll(); }

    void SetOwnsElements(bool owns) { owns_ = owns; }
    bool OwnsElements() const { return owns_; }

    size_t GetSize() const { return items_.size(); }
    bool IsEmpty() const { return items_.empty(); }
    T* operator[](size_t i) const { return items_[i]; }
    T*& operator[](size_t i) { return items_[i]; }
    size_t Add(T* p) {
        items_.push_back(p);
        return items_.size() - 1;
    }
    void InsertAt(size_t i, T* p) { items_.insert(items_.begin() + ptrdiff_t(i), p); }
    // Removes without deleting: the caller owns the element from now on.
    void RemoveAt(size_t i) { items_.erase(items_.begin() + ptrdiff_t(i)); }
    // Index of p, or -1.
    ptrdiff_t Find(const T* p) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == p) return ptrdiff_t(i);
        return -1;
    }
    // Deletes every element when owning, then empties the array.
    void RemoveAll() {
        if (owns_)
            for (T* p : items_) delete p;
        items_.clear();
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T*> items_;
    bool owns_ = true;
};

template <class I>
class CInterfaceArray {
public:
    CInterfaceArray() = default;
    CInterfaceArray(const CInterfaceArray&) = delete;
    CInterfaceArray& operator=(const CInterfaceArray&) = delete;
    ~CInterfaceArray() { RemoveAll(); }

    void SetHoldsReferences(bool holds) { holds_ = holds; }
    size_t GetSize() const { return items_.size(); }
    bool IsEmpty() const { return items_.empty(); }
    I* operator[](size_t i) const { return items_[i]; }
    size_t Add(I* p) {
        if (holds_ && p) p->AddRef();
        items_.push_back(p);
        return items_.size() - 1;
    }
    void RemoveAt(size_t i) {
        I* p = items_[i];
        items_.erase(items_.begin() + ptrdiff_t(i));
        if (holds_ && p) p->Release();
    }
    void RemoveAll() {
        std::vector<I*> old;
        old.swap(items_);
        if (holds_)
            for (I* p : old)
                if (p) p->Release();
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<I*> items_;
    bool holds_ = true;
};

using CCriticalSection = std::recursive_mutex;

class CAutoCriticalSection {
public:
    explicit CAutoCriticalSection(CCriticalSection& cs) : cs_(cs) { cs_.lock(); }
    ~CAutoCriticalSection() { cs_.unlock(); }
    CAutoCriticalSection(const CAutoCriticalSection&) = delete;
    CAutoCriticalSection& operator=(const CAutoCriticalSection&) = delete;

private:
    CCriticalSection& cs_;
};

}  // namespace plover
