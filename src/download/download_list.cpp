#include "download/download_list.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>

#include "app/message.h"

#include "download/download.h"
#include "download/i_download.h"
#include "texttree/i_text_tree_item.h"
#include "texttree/text_tree.h"
#include "platform/kept_aside.h"

namespace plover {
namespace {

constexpr const char* kListGroup = "DNL_LIST";
constexpr const char* kDownloadGroup = "DNL";
constexpr const char* kLoadingText = "Loading download list";

std::atomic<IListProgress*> g_listProgress{nullptr};

// Shows the progress of a long load, and closes it however the load ends.
class CLoadProgress {
public:
    explicit CLoadProgress(size_t steps) {
        if (steps > kListProgressThreshold) view_ = g_listProgress.load();
        if (view_) view_->Begin(uint32_t(steps), kLoadingText);
    }
    ~CLoadProgress() {
        if (view_) view_->End();
    }
    void Step() {
        if (view_) view_->Step();
    }

private:
    IListProgress* view_ = nullptr;
};

bool SaveDownload(CTextTree& tree, IDownload* d) {
    auto item = QueryAs<ITextTreeItem>(d, IID_ITextTreeItem);
    if (!item || !tree.OpenGroup(kDownloadGroup)) return false;
    bool ok = item->Save(tree);
    tree.CloseGroup();
    return ok;
}

}  // namespace

void SetListProgress(IListProgress* progress) { g_listProgress.store(progress); }

std::string KeepListFileAside(const std::string& path, const SListLoad& load) {
    if (load.status != SListLoad::EStatus::Incomplete && load.status != SListLoad::EStatus::Damaged) return {};
    std::string error;
    std::filesystem::path kept = KeepDamagedFileAside(path, &error);
    std::string then;
    if (kept.empty())
        then = "it is not written over";
    else if (load.status == SListLoad::EStatus::Incomplete)
        then = "the downloads read from it are kept";
    else
        then = "the download list starts empty";
    std::string warning = KeptAsideWarning("download list", path, load.reason, kept, error, then);
    ShowMessage(warning);
    return warning;
}

CDownloadList::~CDownloadList() {
    std::vector<IDownload*> items;
    {
        std::lock_guard g(lock_);
        items.swap(items_);
        byId_.clear();
    }
    for (IDownload* d : items) d->Notify(NE_DOWNLOAD_REMOVED, reinterpret_cast<uintptr_t>(d), 0);
    for (IDownload* d : items) d->Release();
}

int CDownloadList::GetCount() const {
    std::lock_guard g(lock_);
    return int(items_.size());
}

bool CDownloadList::Get(int index, IDownload** out) const {
    if (!out) return false;
    std::lock_guard g(lock_);
    if (index < 0 || size_t(index) >= items_.size()) return false;
    *out = items_[size_t(index)];
    (*out)->AddRef();
    return true;
}

int CDownloadList::Add(IDownload* download) {
    if (!download) return -1;
    download->AddRef();
    std::lock_guard g(lock_);
    items_.push_back(download);
    byId_.emplace(download->GetID(), download);
    return int(items_.size() - 1);
}

void CDownloadList::RemoveAt(int index) {
    IDownload* d = nullptr;
    {
        std::lock_guard g(lock_);
        if (index < 0 || size_t(index) >= items_.size()) return;
        d = items_[size_t(index)];
        items_.erase(items_.begin() + index);
        auto [first, last] = byId_.equal_range(d->GetID());
        for (auto it = first; it != last; ++it)
            if (it->second == d) {
                byId_.erase(it);
                break;
            }
    }
    d->Release();
}

int CDownloadList::IndexOf(IDownload* download) const {
    std::lock_guard g(lock_);
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == download) return int(i);
    return -1;
}

bool CDownloadList::FindByID(int id, IDownload** out) const {
    if (!out) return false;
    std::lock_guard g(lock_);
    IDownload* found = nullptr;
    auto [first, last] = byId_.equal_range(id);
    if (first == last) return false;
    if (std::next(first) == last) {
        found = first->second;
    } else {
        // A list file may repeat an ID: the first download in list order answers, as always.
        for (IDownload* d : items_)
            if (d->GetID() == id) {
                found = d;
                break;
            }
    }
    *out = found;
    found->AddRef();
    return true;
}

std::vector<RefPtr<IDownload>> CDownloadList::Snapshot() const {
    std::lock_guard g(lock_);
    std::vector<RefPtr<IDownload>> out;
    out.reserve(items_.size());
    for (IDownload* d : items_) out.emplace_back(d);
    return out;
}

void CDownloadList::Renumber() {
    auto items = Snapshot();
    for (size_t i = 0; i < items.size(); ++i) items[i]->SetQueueValue(int(i));
}

bool CDownloadList::Load(const std::string& path, IDownloader* owner, SListLoad* result) {
    SListLoad ignored;
    SListLoad& r = result ? *result : ignored;
    r = {};
    CTextTree tree;
    bool read = tree.Load(path);
    if (!read || !tree.EnterGroup(kListGroup)) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return false;  // Missing
        r.status = SListLoad::EStatus::Damaged;
        r.reason = read ? "no download list in it" : "it cannot be read";
        return false;
    }
    r.status = tree.IsComplete() ? SListLoad::EStatus::Loaded : SListLoad::EStatus::Incomplete;
    if (!tree.IsComplete()) r.reason = "it ends early; the downloads after its end are lost";
    CTextTreeNode& list = tree.GetCurrent();
    size_t n = list.GetChildCount();
    {
        CLoadProgress progress(n);
        for (size_t i = 0; i < n; ++i, progress.Step()) {
            CTextTreeNode* node = list.GetChild(i);
            if (!node || !node->IsGroup()) continue;
            tree.EnterGroup(*node);
            RefPtr<IDownload> d(CDownload::CreateFromNode(tree, owner).Get());
            tree.LeaveGroup();
            if (d) Add(d.Get());
        }
    }
    Renumber();
    return true;
}

bool CDownloadList::Save(const std::string& path, DownloadFilterFn filter) const {
    CTextTree tree;
    if (!tree.OpenGroup(kListGroup)) return false;
    for (const RefPtr<IDownload>& d : Snapshot()) {
        if (filter && !filter(d.Get())) continue;
        // A download that cannot write its group does not fail the others: a group without its
        // required values is dropped when the list is read back.
        SaveDownload(tree, d.Get());
    }
    tree.CloseGroup();
    return tree.Save(path);
}

bool CDownloadList::ExportAddresses(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const RefPtr<IDownload>& d : Snapshot()) {
        std::string line = d->GetOriginalUrl() + "\r\n";
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size() && ok;
    }
    return std::fclose(f) == 0 && ok;
}

bool CDownloadList::Move(const SMoveRequest* request) {
    if (!request || request->downloads.size() != request->targets.size() ||
        request->downloads.size() != request->afterFlags.size())
        return false;
    bool after = !request->afterFlags.empty() && request->afterFlags[0] != 0;
    // Queue values are read before anything moves, so targets keep naming the old numbering.
    std::vector<IDownload*> items;
    {
        std::lock_guard g(lock_);
        items = items_;
    }
    std::vector<std::pair<IDownload*, int>> queue;
    for (IDownload* d : items) queue.emplace_back(d, d->GetQueueValue());
    auto queueOf = [&](IDownload* d) {
        for (auto& [p, q] : queue)
            if (p == d) return q;
        return -1;
    };
    ApplyMove(items, request->downloads, request->targets, after, queueOf);
    {
        std::lock_guard g(lock_);
        items_ = items;
    }
    Renumber();
    return true;
}

}  // namespace plover
