#include "baskets/basket.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/sinks.h"

namespace plover {
namespace fs = std::filesystem;
namespace {

SRegAutoSaveItem* NewBasket() { return new CBasket; }

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The folder as the rules compare it: absolute, "." and ".." resolved, no trailing separator.
std::string FolderForm(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(folder), ec).lexically_normal();
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool ContainsFolder(const std::string& outer, const std::string& inner) {
    if (outer == inner) return true;
    if (inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
    return outer.back() == '/' || inner[outer.size()] == '/';
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

}  // namespace

std::string CantCreateFolderMessage(const std::string& folder) { return "Can't create folder\n" + folder; }

// ---- CBasket ----

CBasket::CBasket() = default;
CBasket::~CBasket() = default;

void CBasket::Serialize(const HKEY& parent, bool load, int index) {
    CBRRegKey key;
    if (!key.Open(parent, std::to_string(index).c_str(), load)) return;
    if (load) loadedIndex = index;
    SRegTableEntry rows[] = {
        RegString("csName", csName),
        RegString("csRootFolder", csRootFolder),
        RegRecords(&icon, 1),
        RegDWord("dwID", reinterpret_cast<uint32_t&>(dwID)),
        RegDWord("eDispatch", eDispatch),
    };
    SerializeTable(rows, key, nullptr, load);
}

void CBasket::AddDownload(IDownload* download) {
    if (!download) return;
    std::lock_guard g(downloadsLock_);
    downloads_.Add(download);
}

size_t CBasket::GetDownloadCount() const {
    std::lock_guard g(downloadsLock_);
    return downloads_.GetSize();
}

std::vector<RefPtr<IDownload>> CBasket::GetDownloads() const {
    std::lock_guard g(downloadsLock_);
    std::vector<RefPtr<IDownload>> out;
    for (IDownload* d : downloads_) out.emplace_back(d);
    return out;
}

// ---- CBasketList ----

void CBasketList::Load(const HKEY& ploverKey) {
    baskets_.RemoveAll();
    CBRRegKey key;
    if (key.OpenForRead(ploverKey, kBasketsKey)) {
        SRegTableEntry rows[] = {RegRecordPtrs(baskets_, NewBasket)};
        SerializeTable(rows, key, nullptr, true);
    }
    // The store hands the subkeys over in its own order; the list keeps the order of their
    // numbers, which is the order of creation ("10" after "9").
    std::vector<CBasket*> loaded(baskets_.begin(), baskets_.end());
    std::stable_sort(loaded.begin(), loaded.end(),
                     [](const CBasket* a, const CBasket* b) { return a->loadedIndex < b->loadedIndex; });
    for (size_t i = 0; i < loaded.size(); ++i) baskets_[i] = loaded[i];
    // IDs are given once every basket is in, so a new one never takes an ID that a later
    // basket of the store already holds.
    for (CBasket* b : baskets_)
        if (b->dwID == kNoBasketID) b->dwID = NextID();
}

void CBasketList::Save(const HKEY& ploverKey) {
    for (CBasket* b : baskets_)
        if (b->dwID == kNoBasketID) b->dwID = NextID();
    CBRRegKey::DeleteTree(ploverKey, kBasketsKey);
    CBRRegKey key;
    if (!key.OpenForWrite(ploverKey, kBasketsKey)) return;
    SRegTableEntry rows[] = {RegRecordPtrs(baskets_, NewBasket)};
    SerializeTable(rows, key, nullptr, false);
}

int32_t CBasketList::NextID() const {
    int32_t largest = 0;
    for (const CBasket* b : baskets_)
        if (b->dwID != kNoBasketID) largest = std::max(largest, b->dwID);
    return largest + 1;
}

void CBasketList::Add(CBasket* basket) {
    if (!basket) return;
    if (basket->dwID == kNoBasketID) basket->dwID = NextID();
    baskets_.Add(basket);
}

bool CBasketList::Remove(CBasket* basket) {
    ptrdiff_t i = baskets_.Find(basket);
    if (i < 0) return false;
    baskets_.RemoveAt(size_t(i));
    delete basket;
    return true;
}

bool CBasketList::Detach(CBasket* basket) {
    ptrdiff_t i = baskets_.Find(basket);
    if (i < 0) return false;
    baskets_.RemoveAt(size_t(i));
    return true;
}

CBasket* CBasketList::FindByName(const std::string& name) const {
    std::string want = Lower(name);
    for (CBasket* b : baskets_)
        if (Lower(b->csName) == want) return b;
    return nullptr;
}

CBasket* CBasketList::FindByID(int32_t id) const {
    for (CBasket* b : baskets_)
        if (b->dwID == id) return b;
    return nullptr;
}

CBasket* CBasketList::FindByClient(int client) const {
    for (CBasket* b : baskets_)
        if (b->dwID != kNoBasketID && b->GetClientID() == client) return b;
    return nullptr;
}

CBasketList& GetBaskets() {
    static CBasketList list;
    return list;
}

void SerializeBaskets(const HKEY& ploverKey, bool load) {
    if (load)
        GetBaskets().Load(ploverKey);
    else
        GetBaskets().Save(ploverKey);
}

// ---- the properties rules ----

bool FoldersOverlap(const std::string& a, const std::string& b) {
    std::string x = Lower(FolderForm(a)), y = Lower(FolderForm(b));
    return ContainsFolder(x, y) || ContainsFolder(y, x);
}

std::string CheckBasketProperties(const CBasketList& list, const CBasket* editing, const std::string& name,
                                  const std::string& folder) {
    if (!IsFolder(folder)) return kMsgInvalidFolder;
    for (int i = 0; i < list.GetSize(); ++i) {
        const CBasket* other = list.GetAt(i);
        if (other == editing || other->csRootFolder.empty()) continue;
        if (FoldersOverlap(folder, other->csRootFolder))
            return "Chosen folder overlapps with the folder of the '" + other->csName +
                   "' basket.\nPlease choose another folder.";
    }
    if (name.empty()) return kMsgEmptyBasketName;
    return {};
}

void StoreBasketProperties(CBasketList& list, CBasket* basket, const std::string& name, const std::string& folder,
                           uint32_t dispatch, const SFileIcon* icon) {
    basket->csRootFolder = FolderForm(folder);
    basket->csName = name;
    if (icon) {
        basket->icon.csFile = icon->csFile;
        basket->icon.iIndex = icon->iIndex;
    }
    basket->eDispatch = dispatch;
    if (list.Find(basket) < 0) {
        basket->dwID = list.NextID();
        list.Add(basket);
    }
    FireSinks(BRN_BASKET_LIST_CHANGED, 0, 0);
}

std::string CheckFolderDeletable(const CBasket& basket, const std::string& folder) {
    if (!basket.csRootFolder.empty() && FolderForm(folder) == FolderForm(basket.csRootFolder))
        return kMsgRootFolderNotDeletable;
    return {};
}

}  // namespace plover
