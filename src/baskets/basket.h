#pragma once
// Baskets: named target folders for the pictures and files that the user collects. A dropped
// address is either downloaded into the basket's folder or, when the file is already on disk
// from an earlier download, moved there (basket_dispatch.h).
//
// CBasket is one basket's record; CBasketList the process-wide list in order of creation, stored
// with the other settings under "Baskets": one subkey per basket named by its position ("0",
// "1", ...), holding "csName", "csRootFolder", the subkey "FileIcon" ("csFile", "iIndex"), "dwID"
// and "eDispatch". Saving deletes the whole "Baskets" key first and writes every basket again.
//
// IDs: unique among the baskets; -1 until assigned. A basket loaded or saved with ID -1 gets the
// largest assigned ID plus 1 (1 when no basket has an assigned ID above 0). A basket's client
// number, carried by every download it starts, is 1000 + ID.
//
// The list is changed on the front end's thread only. A basket's own download array (every
// download it started, each referenced until the basket is destroyed) is filled by the dispatch
// worker and has a lock of its own.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/reg_key.h"
#include "app/reg_table.h"
#include "download/i_download.h"
#include "engine/containers.h"

namespace plover {

// Dispatch modes (eDispatch): where the files of a basket go.
enum EBasketDispatch : uint32_t {
    DISPATCH_ROOT = 0,         // into the root folder
    DISPATCH_PER_SERVER = 1,   // into a subfolder of the root folder named after the address's server
};

inline constexpr const char* kBasketsKey = "Baskets";
inline constexpr const char* kNewBasketName = "New Basket";
inline constexpr int32_t kNoBasketID = -1;
inline constexpr int kBasketClientBase = 1000;

// The texts the basket rules show.
inline constexpr const char* kMsgInvalidFolder = "An invalid folder is specified";
inline constexpr const char* kMsgOverlapFormat =
    "Chosen folder overlapps with the folder of the '%s' basket.\nPlease choose another folder.";
inline constexpr const char* kMsgEmptyBasketName = "Basket name cannot be empty";
inline constexpr const char* kMsgDeleteBasket = "Do you really want to delete the selected basket?";
inline constexpr const char* kMsgRootFolderNotDeletable = "Basket root folder cannot be deleted.";
inline constexpr const char* kMsgCantCreateFolderFormat = "Can't create folder\n%s";

// "Can't create folder\n<folder>".
std::string CantCreateFolderMessage(const std::string& folder);

// An icon: a file and the index of the icon in it.
struct SFileIcon : SRegTableItem {
    std::string csFile;
    int32_t iIndex = 0;

    std::string KeyName(int) const override { return "FileIcon"; }
    std::vector<SRegTableEntry> Table() override { return {RegString("csFile", csFile), RegInt("iIndex", iIndex)}; }
};

class CBasket : public SRegAutoSaveItem {
public:
    CBasket();
    ~CBasket() override;
    CBasket(const CBasket&) = delete;
    CBasket& operator=(const CBasket&) = delete;

    // Loads or saves the values under the subkey "%d" of index.
    void Serialize(const HKEY& parent, bool load, int index) override;

    std::string csName;
    std::string csRootFolder;
    SFileIcon icon;
    int32_t dwID = kNoBasketID;
    uint32_t eDispatch = DISPATCH_ROOT;

    int loadedIndex = -1;  // the subkey number a loaded basket came from (not stored)

    int GetClientID() const { return kBasketClientBase + dwID; }
    // Takes a reference to a download this basket started.
    void AddDownload(IDownload* download);
    size_t GetDownloadCount() const;
    // References to the downloads this basket started, in order.
    std::vector<RefPtr<IDownload>> GetDownloads() const;

private:
    mutable std::mutex downloadsLock_;
    CInterfaceArray<IDownload> downloads_;
};

class CBasketList {
public:
    int GetSize() const { return int(baskets_.GetSize()); }
    CBasket* GetAt(int i) const { return i >= 0 && i < GetSize() ? baskets_[size_t(i)] : nullptr; }

    // Reads the "Baskets" subkey of the program's key (replacing the list), in the order of the
    // subkey numbers; baskets without an ID get one.
    void Load(const HKEY& ploverKey);
    // Gives every basket without an ID one, deletes the "Baskets" key and writes every basket.
    void Save(const HKEY& ploverKey);

    // The next ID: the largest assigned ID plus 1; 1 when none is above 0.
    int32_t NextID() const;
    // Appends a basket (the list owns it from now on); it gets an ID when it has none.
    void Add(CBasket* basket);
    // Takes the basket out of the list and deletes it; false when it is not in the list.
    bool Remove(CBasket* basket);
    // Takes the basket out of the list without deleting it: the caller owns it from now on (a
    // front end keeps it alive while work under way may still hold it). False when not in the list.
    bool Detach(CBasket* basket);
    void RemoveAll() { baskets_.RemoveAll(); }

    int Find(const CBasket* basket) const { return int(baskets_.Find(basket)); }
    // The first basket of that name, ignoring case; null when none.
    CBasket* FindByName(const std::string& name) const;
    CBasket* FindByID(int32_t id) const;
    // The basket whose downloads carry this client number; null when none.
    CBasket* FindByClient(int client) const;

private:
    CGCPtrArray<CBasket> baskets_;
};

// The program's list, stored with the main settings through SerializeBaskets (the settings
// group: given the program's key and the load flag).
CBasketList& GetBaskets();
void SerializeBaskets(const HKEY& ploverKey, bool load);

// ---- the properties rules ----

// Checks a basket's name and folder before they are stored, in this order: the folder must
// exist ("An invalid folder is specified"); it must not overlap another basket's root folder
// (the overlap message naming that basket; `editing` is not compared with itself); the name must
// not be empty. Returns the message to show, or an empty text when the values may be stored.
// Two folders overlap when they are the same folder or one lies inside the other, compared
// without regard to letter case.
std::string CheckBasketProperties(const CBasketList& list, const CBasket* editing, const std::string& name,
                                  const std::string& folder);
bool FoldersOverlap(const std::string& a, const std::string& b);

// Stores the values into `basket` (a new one, not yet in the list, is given an ID and appended)
// and tells the application's sinks that the baskets changed. Call after CheckBasketProperties.
void StoreBasketProperties(CBasketList& list, CBasket* basket, const std::string& name, const std::string& folder,
                           uint32_t dispatch, const SFileIcon* icon);

// A folder shown in a basket's folder view may be deleted unless it is the basket's root folder.
std::string CheckFolderDeletable(const CBasket& basket, const std::string& folder);

}  // namespace plover
