#pragma once
// CStrArrayEx: an array of strings with two modes. Sorted: kept in ascending byte order
// (case-sensitive; UTF-8 sorts by code point), duplicates refused, lookup by binary search.
// Unsorted: adding appends, lookup is a linear search, exact or ASCII case-insensitive as the
// caller chooses. The mode may change only while the array is empty; positional inserts and
// replacements are refused in sorted mode, where they could break the order.
//
// It stores itself as a string list: the values "0", "1", ... of one key. Loading reads them in
// turn until the first missing index; saving deletes the key tree and writes them all again.
//
// CDWordArrayEx: a plain array of unsigned 32-bit numbers.
#include <cstdint>
#include <string>
#include <vector>

#include "app/reg_table.h"

namespace plover {

class CStrArrayEx : public SRegAutoSaveItem {
public:
    explicit CStrArrayEx(bool sorted = false) : sorted_(sorted) {}

    // Stores itself under the subkey named by index ("%d").
    void Serialize(const HKEY& parent, bool load, int index) override;

    bool IsSorted() const { return sorted_; }
    // False (and no change) unless the array is empty.
    bool SetSorted(bool sorted);

    int GetSize() const { return int(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    const std::string& operator[](int i) const { return items_[size_t(i)]; }
    const std::string& GetAt(int i) const { return items_[size_t(i)]; }
    const std::vector<std::string>& Items() const { return items_; }

    // Sorted: the position where it was inserted, or -1 when an equal string is present.
    // Unsorted: appends and returns the new index.
    int Add(const std::string& s);
    // The index of s or -1. Sorted arrays search by binary search and ignore noCase.
    int Find(const std::string& s, bool noCase = false) const;
    // Refused (false) in sorted mode and for a position out of range.
    bool InsertAt(int i, const std::string& s);
    bool SetAt(int i, const std::string& s);
    void RemoveAt(int i) { items_.erase(items_.begin() + i); }
    void RemoveAll() { items_.clear(); }

    // The string list under path below root ("Software\Bramble\Plover\SurfURLs"). Load appends.
    bool Load(const HKEY& root, const char* path);
    bool Save(const HKEY& root, const char* path) const;

private:
    std::vector<std::string> items_;
    bool sorted_;
};

class CDWordArrayEx {
public:
    int GetSize() const { return int(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    uint32_t operator[](int i) const { return items_[size_t(i)]; }
    uint32_t& operator[](int i) { return items_[size_t(i)]; }
    uint32_t GetAt(int i) const { return items_[size_t(i)]; }
    void SetAt(int i, uint32_t v) { items_[size_t(i)] = v; }
    int Add(uint32_t v) {
        items_.push_back(v);
        return int(items_.size()) - 1;
    }
    void InsertAt(int i, uint32_t v) { items_.insert(items_.begin() + i, v); }
    void RemoveAt(int i) { items_.erase(items_.begin() + i); }
    void RemoveAll() { items_.clear(); }
    const std::vector<uint32_t>& Items() const { return items_; }

private:
    std::vector<uint32_t> items_;
};

}  // namespace plover
