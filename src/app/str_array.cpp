#include "app/str_array.h"

#include <algorithm>
#include <cctype>

namespace plover {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool CStrArrayEx::SetSorted(bool sorted) {
    if (!items_.empty()) return false;
    sorted_ = sorted;
    return true;
}

int CStrArrayEx::Add(const std::string& s) {
    if (!sorted_) {
        items_.push_back(s);
        return int(items_.size()) - 1;
    }
    // std::string compares bytes as unsigned char, which is byte order.
    auto pos = std::lower_bound(items_.begin(), items_.end(), s);
    if (pos != items_.end() && *pos == s) return -1;
    int index = int(pos - items_.begin());
    items_.insert(pos, s);
    return index;
}

int CStrArrayEx::Find(const std::string& s, bool noCase) const {
    if (sorted_) {
        auto pos = std::lower_bound(items_.begin(), items_.end(), s);
        return pos != items_.end() && *pos == s ? int(pos - items_.begin()) : -1;
    }
    for (size_t i = 0; i < items_.size(); ++i)
        if (noCase ? EqualNoCase(items_[i], s) : items_[i] == s) return int(i);
    return -1;
}

bool CStrArrayEx::InsertAt(int i, const std::string& s) {
    if (sorted_ || i < 0 || i > GetSize()) return false;
    items_.insert(items_.begin() + i, s);
    return true;
}

bool CStrArrayEx::SetAt(int i, const std::string& s) {
    if (sorted_ || i < 0 || i >= GetSize()) return false;
    items_[size_t(i)] = s;
    return true;
}

bool CStrArrayEx::Load(const HKEY& root, const char* path) {
    CBRRegKey key;
    if (!key.OpenForRead(root, path)) return false;
    std::string text;
    for (int i = 0; key.ReadString(std::to_string(i).c_str(), text); ++i) {
        if (sorted_)
            Add(text);  // a duplicate in a hand-edited store is dropped, keeping the order sound
        else
            items_.push_back(text);
    }
    return true;
}

bool CStrArrayEx::Save(const HKEY& root, const char* path) const {
    CBRRegKey::DeleteTree(root, path);
    CBRRegKey key;
    if (!key.OpenForWrite(root, path)) return false;
    for (size_t i = 0; i < items_.size(); ++i) key.WriteString(std::to_string(i).c_str(), items_[i]);
    return true;
}

void CStrArrayEx::Serialize(const HKEY& parent, bool load, int index) {
    std::string name = std::to_string(index);
    if (load)
        Load(parent, name.c_str());
    else
        Save(parent, name.c_str());
}

}  // namespace plover
