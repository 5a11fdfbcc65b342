#pragma once
// The ordered list of downloads that the downloader owns. The order is the order of the list file
// and the scheduler's tie-break within one priority; after every load and every move each
// download's queue value equals its index.
//
// The list holds one reference per download. It is changed only on the downloader's thread; other
// threads may read its count and entries at any time, so the array itself sits behind a small lock
// (never held while a download is called).
//
// The list file is a text tree: root "FL", one group "DNL_LIST", one group "DNL" per download in
// list order, each written and read by the download itself.
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <string>
#include <vector>

#include "download/i_downloader.h"
#include "platform/com.h"

namespace plover {

// A drag-and-drop reorder: downloads[i] goes next to the download whose queue value is
// targets[i], after it when afterFlags[0] is non-zero, else before it (the first entry's flag
// decides for every entry). Targets name positions as numbered before the request.
struct SMoveRequest {
    std::vector<IDownload*> downloads;
    std::vector<int32_t> targets;
    std::vector<int32_t> afterFlags;
};

// Progress of a long list load (more than 100 downloads): the front end shows it.
class IListProgress {
public:
    virtual void Begin(uint32_t steps, const char* text) = 0;
    virtual void Step() = 0;
    virtual void End() = 0;

protected:
    ~IListProgress() = default;
};
// The process-wide progress view of list loads; none by default. Not owned.
void SetListProgress(IListProgress* progress);
constexpr uint32_t kListProgressThreshold = 100;

// How a list file was found by a load.
struct SListLoad {
    enum class EStatus {
        Loaded,      // read whole
        Missing,     // no file
        Incomplete,  // read, but it ends early: some downloads may be lost
        Damaged,     // there, but not a list (or unreadable): nothing was loaded
    } status = EStatus::Missing;
    std::string reason;  // Incomplete, Damaged: what was wrong, as a phrase
};

// What the owner of a list file does with one that did not load completely (Incomplete or
// Damaged): keeps it aside (kept_aside.h) and warns once. Empty when nothing was wrong; else the
// warning (already shown). The list that replaces it is saved in a new file. (A file that cannot
// be moved lies in a folder where no new file can be written either, so it is not written over.)
std::string KeepListFileAside(const std::string& path, const SListLoad& load);

class CDownloadList {
public:
    CDownloadList() = default;
    CDownloadList(const CDownloadList&) = delete;
    CDownloadList& operator=(const CDownloadList&) = delete;
    // Tells every download's owner that it goes (0x80001), then releases every reference.
    virtual ~CDownloadList();

    int GetCount() const;
    // A counted reference to the entry at index; false when out is null or index out of range.
    bool Get(int index, IDownload** out) const;
    // Appends with a reference; the new index, or -1 for null.
    int Add(IDownload* download);
    void RemoveAt(int index);
    int IndexOf(IDownload* download) const;
    // A counted reference to the download with this ID, found without copying the list.
    bool FindByID(int id, IDownload** out) const;
    // SetQueueValue(index) on every download.
    void Renumber();
    // A snapshot of the entries, each with a reference, for a pass over the list.
    std::vector<RefPtr<IDownload>> Snapshot() const;
    // References to the entries `keep` accepts. `keep` runs under the list's lock, so it may only
    // read a download's lock-free state (status, held flag, worker count).
    template <class Keep>
    std::vector<RefPtr<IDownload>> Select(Keep keep) const {
        std::lock_guard g(lock_);
        std::vector<RefPtr<IDownload>> out;
        for (IDownload* d : items_)
            if (keep(d)) out.emplace_back(d);
        return out;
    }

    // Reads the list file; every download is made with `owner`. Fails (and adds nothing) when the
    // file cannot be read or has no "DNL_LIST"; groups that make no usable download are dropped.
    // *result (when given) tells how the file was found; a file that ends early (cut inside a
    // group or a value) loads what it holds and is reported Incomplete.
    bool Load(const std::string& path, IDownloader* owner, SListLoad* result = nullptr);
    // Writes every download the filter accepts (all without one). Atomic: a failed save leaves the
    // previous file whole.
    bool Save(const std::string& path, DownloadFilterFn filter) const;
    // Writes each download's URL_original followed by "\r\n" (created or truncated).
    bool ExportAddresses(const std::string& path) const;
    // Reorders by the request (see SMoveRequest) and renumbers; false when the request is ignored.
    bool Move(const SMoveRequest* request);

private:
    void Insert(int index, IDownload* download);  // adopts the reference already held

    mutable std::mutex lock_;         // guards items_ (never held while a download's lock is taken)
    std::vector<IDownload*> items_;   // one reference each
    // items_ by download ID: a front end finds the download of each command without walking a
    // list of thousands. IDs are fixed before a download joins the list.
    std::unordered_multimap<int, IDownload*> byId_;
};

// Pure form of the reorder, on a vector of anything: positions are looked up through `queueOf`
// (the value each element had before the request). Kept free for table tests.
template <class T, class QueueOf>
void ApplyMove(std::vector<T>& items, const std::vector<T>& movers, const std::vector<int32_t>& targets,
               bool after, QueueOf queueOf) {
    for (size_t i = 0; i < movers.size(); ++i) {
        ptrdiff_t c = -1, p = -1;
        for (size_t k = 0; k < items.size() && c < 0; ++k)
            if (items[k] == movers[i]) c = ptrdiff_t(k);
        if (c < 0) continue;
        for (size_t k = 0; k < items.size() && p < 0; ++k)
            if (queueOf(items[k]) == targets[i]) p = ptrdiff_t(k);
        if (p < 0) continue;
        T d = items[size_t(c)];
        items.erase(items.begin() + c);
        if (!after) {
            if (c < p) --p;
        } else {
            if (p <= c) ++p;
        }
        items.insert(items.begin() + p, d);
    }
}

}  // namespace plover
