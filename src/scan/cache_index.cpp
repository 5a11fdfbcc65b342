#include "scan/cache_index.h"

#include <algorithm>
#include <numeric>

#include "platform/archive_bytes.h"

namespace plover {
namespace {

// ---- writing ----

void PutArrayCount(std::string& out, uint32_t n) {
    if (n < 0xFFFF) {
        PutU16(out, uint16_t(n));
    } else {
        PutU16(out, 0xFFFF);
        PutU32(out, n);
    }
}

void PutStringColumn(std::string& out, const CStrArrayEx& column) {
    PutU32(out, uint32_t(column.GetSize()));
    for (const std::string& s : column.Items()) PutArchiveString(out, s);
}

void PutNumberColumn(std::string& out, const CDWordArrayEx& column) {
    PutArrayCount(out, uint32_t(column.GetSize()));
    for (uint32_t v : column.Items()) PutU32(out, v);
}

// ---- reading: every read checks what is left first ----

ECacheIndexLoad ReadStringColumn(CByteReader& r, std::vector<std::string>& out) {
    uint32_t count;
    if (!r.U32(count)) return ECacheIndexLoad::Truncated;
    // Every string takes at least its one length byte: a count beyond the bytes left is a lie.
    if (count > r.Remaining()) return ECacheIndexLoad::Truncated;
    if (count > uint32_t(kMaxCacheRows)) return ECacheIndexLoad::TooLarge;
    std::string s;
    for (uint32_t i = 0; i < count; ++i) {
        switch (ReadArchiveString(r, s)) {
            case EStringRead::Ok: out.push_back(std::move(s)); break;
            case EStringRead::Truncated: return ECacheIndexLoad::Truncated;
            case EStringRead::BadForm: return ECacheIndexLoad::BadString;
        }
    }
    return ECacheIndexLoad::Loaded;
}

ECacheIndexLoad ReadNumberColumn(CByteReader& r, std::vector<uint32_t>& out) {
    uint16_t small;
    if (!r.U16(small)) return ECacheIndexLoad::Truncated;
    uint32_t count = small;
    if (small == 0xFFFF && !r.U32(count)) return ECacheIndexLoad::Truncated;
    if (uint64_t(count) * 4 > r.Remaining()) return ECacheIndexLoad::Truncated;
    if (count > uint32_t(kMaxCacheRows)) return ECacheIndexLoad::TooLarge;
    out.resize(count);
    for (uint32_t& v : out) r.U32(v);
    return ECacheIndexLoad::Loaded;
}

}  // namespace

const char* CacheIndexLoadText(ECacheIndexLoad result) {
    switch (result) {
        case ECacheIndexLoad::Loaded: return "loaded";
        case ECacheIndexLoad::BadVersion: return "not version 7";
        case ECacheIndexLoad::Truncated: return "truncated";
        case ECacheIndexLoad::BadString: return "a malformed string";
        case ECacheIndexLoad::LengthMismatch: return "columns of different lengths";
        case ECacheIndexLoad::Unsorted: return "addresses out of order or repeated";
        case ECacheIndexLoad::BadFileName: return "a file name outside the cache folder";
        case ECacheIndexLoad::StampOverflow: return "no room for the next stamp";
        case ECacheIndexLoad::TooLarge: return "more rows than a cache may hold";
    }
    return "unknown";
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

CCacheIndex::CCacheIndex() = default;

SCacheRow CCacheIndex::GetRow(int i) const {
    return {urls_[i], effective_[i], files_[i], lastModified_[i], sizes_[i], stamps_[i]};
}

int CCacheIndex::Add(const std::string& url, const std::string& effectiveUrl, const std::string& fileName,
                     const std::string& lastModified, uint32_t size) {
    int i = urls_.Add(url);
    if (i < 0) return -1;
    effective_.InsertAt(i, effectiveUrl);
    files_.InsertAt(i, fileName);
    lastModified_.InsertAt(i, lastModified);
    sizes_.InsertAt(i, size);
    stamps_.InsertAt(i, nextStamp_++);
    total_ += size;
    return i;
}

void CCacheIndex::SetLastModified(int i, const std::string& text) { lastModified_.SetAt(i, text); }

void CCacheIndex::SetFileName(int i, const std::string& name) { files_.SetAt(i, name); }

void CCacheIndex::Renew(int i, const std::string& effectiveUrl, const std::string& fileName,
                        const std::string& lastModified, uint32_t size) {
    total_ = total_ - sizes_[i] + size;
    effective_.SetAt(i, effectiveUrl);
    files_.SetAt(i, fileName);
    lastModified_.SetAt(i, lastModified);
    sizes_.SetAt(i, size);
    stamps_.SetAt(i, nextStamp_++);
}

void CCacheIndex::RemoveAt(int i) {
    total_ -= sizes_[i];
    urls_.RemoveAt(i);
    effective_.RemoveAt(i);
    files_.RemoveAt(i);
    lastModified_.RemoveAt(i);
    sizes_.RemoveAt(i);
    stamps_.RemoveAt(i);
}

void CCacheIndex::RemoveRows(std::vector<int> rows) {
    if (rows.empty()) return;
    std::vector<bool> gone(size_t(GetCount()), false);
    for (int i : rows)
        if (i >= 0 && i < GetCount()) gone[size_t(i)] = true;
    CCacheIndex kept;
    for (int i = 0; i < GetCount(); ++i) {
        if (gone[size_t(i)]) continue;
        // The rows stay in their (sorted) order, so every URL is appended at the end.
        kept.urls_.Add(urls_[i]);
        kept.effective_.Add(effective_[i]);
        kept.files_.Add(files_[i]);
        kept.lastModified_.Add(lastModified_[i]);
        kept.sizes_.Add(sizes_[i]);
        kept.stamps_.Add(stamps_[i]);
        kept.total_ += sizes_[i];
    }
    kept.nextStamp_ = nextStamp_;
    *this = std::move(kept);
}

void CCacheIndex::Clear() {
    urls_.RemoveAll();
    effective_.RemoveAll();
    files_.RemoveAll();
    lastModified_.RemoveAll();
    sizes_.RemoveAll();
    stamps_.RemoveAll();
    total_ = 0;
    nextStamp_ = 0;
}

std::vector<int> CCacheIndex::PickEvictions(uint64_t limit) const {
    std::vector<int> picked;
    if (total_ <= limit) return picked;
    std::vector<int> order(static_cast<size_t>(GetCount()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return stamps_[a] < stamps_[b]; });
    uint64_t total = total_;
    for (int i : order) {
        if (total <= limit) break;
        picked.push_back(i);
        total -= sizes_[i];
    }
    return picked;
}

std::string CCacheIndex::Serialize() const {
    std::string out;
    size_t estimate = 16;
    for (int i = 0; i < GetCount(); ++i)
        estimate += urls_[i].size() + effective_[i].size() + files_[i].size() + lastModified_[i].size() + 24;
    out.reserve(estimate);
    PutU32(out, kCacheIndexVersion);
    PutStringColumn(out, urls_);
    PutStringColumn(out, effective_);
    PutStringColumn(out, files_);
    PutStringColumn(out, lastModified_);
    PutNumberColumn(out, sizes_);
    PutNumberColumn(out, stamps_);
    return out;
}

ECacheIndexLoad CCacheIndex::Parse(std::string_view bytes) {
    Clear();
    CByteReader r(bytes);
    uint32_t version;
    if (!r.U32(version)) return ECacheIndexLoad::Truncated;
    if (version != kCacheIndexVersion) return ECacheIndexLoad::BadVersion;

    std::vector<std::string> strings[4];
    std::vector<uint32_t> numbers[2];
    for (auto& column : strings)
        if (auto result = ReadStringColumn(r, column); result != ECacheIndexLoad::Loaded) return result;
    for (auto& column : numbers)
        if (auto result = ReadNumberColumn(r, column); result != ECacheIndexLoad::Loaded) return result;

    size_t n = strings[0].size();
    for (const auto& column : strings)
        if (column.size() != n) return ECacheIndexLoad::LengthMismatch;
    for (const auto& column : numbers)
        if (column.size() != n) return ECacheIndexLoad::LengthMismatch;
    for (size_t i = 1; i < n; ++i)
        if (!(strings[0][i - 1] < strings[0][i])) return ECacheIndexLoad::Unsorted;
    for (const std::string& name : strings[2])
        if (!IsPlainFileName(name)) return ECacheIndexLoad::BadFileName;
    uint64_t largest = 0;
    for (uint32_t stamp : numbers[1]) largest = std::max<uint64_t>(largest, stamp);
    if (largest + 1 >= 0xFFFFFFFFu) return ECacheIndexLoad::StampOverflow;

    for (size_t i = 0; i < n; ++i) {
        urls_.Add(strings[0][i]);  // ascending: appended at the end
        effective_.Add(strings[1][i]);
        files_.Add(strings[2][i]);
        lastModified_.Add(strings[3][i]);
        sizes_.Add(numbers[0][i]);
        stamps_.Add(numbers[1][i]);
    }
    Recount();
    return ECacheIndexLoad::Loaded;
}

void CCacheIndex::Recount() {
    total_ = 0;
    uint32_t largest = 0;
    for (int i = 0; i < GetCount(); ++i) {
        total_ += sizes_[i];
        largest = std::max(largest, stamps_[i]);
    }
    nextStamp_ = largest + 1;
}

}  // namespace plover
