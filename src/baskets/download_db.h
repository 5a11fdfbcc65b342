#pragma once
// CDownloadDB: the download history. It remembers, for every file that a basket download or a
// large-picture preview brought to disk, the address it came from and where the file now is, so
// that the scan panes can tell that a picture is already on disk and a basket can move the file
// instead of fetching it again. Beside it stands the queue register: the addresses and local
// paths of basket downloads still in the download list (never saved).
//
// Model: the address list is sorted (byte order, no duplicates, binary search) and entry i of the
// path list is the file of address i. Paths are compared exactly, as the file system does; a
// folder prefix matches only whole folder names ("/a/b" covers "/a/b/x.jpg", not "/a/bc/x.jpg").
// The queued addresses are sorted too; the queued paths are an independent unsorted list.
//
// Threads: Record runs on the notifying thread (the downloader's), the other operations on the
// front end's thread and the basket dispatch worker. The database lock guards the two lists and
// the window list; the queue lock guards the queue register, and Enqueue/Dequeue post their
// messages after leaving it. Windows are told by posted messages only; every string parameter is
// a new std::string that the receiving window deletes (FreeDownloadDBNotice for one it drops).
//
// The file: Load reads "DownloadDB.sdb" (db_file.h); a damaged one is kept aside under a name of
// its own (kept_aside.h) and the history starts empty. Save writes a temporary file in the
// same folder, flushes it and renames it over the old one, so a crash or a full disk during a
// save leaves the previous file whole. After loading, SweepPreviews deletes the previews that
// the history no longer knows.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/str_array.h"
#include "baskets/db_file.h"
#include "engine/containers.h"
#include "platform/window.h"

namespace plover {

// Messages to the registered windows; wp = new std::string holding the address.
constexpr uint32_t WM_PV_ADDRESS_QUEUED = 0x80E8;    // an address became queued
constexpr uint32_t WM_PV_ADDRESS_DEQUEUED = 0x80E9;  // an address left the queue
constexpr uint32_t WM_PV_FILE_RECORDED = 0x80EA;     // a file was recorded for an address
// To the main window, no parameters: the history changed by a rename or by forgetting files.
constexpr uint32_t WM_PV_HISTORY_CHANGED = 0x83E8;

// Deletes the string of one of the three address messages above (nothing for other messages).
void FreeDownloadDBNotice(uint32_t msg, WPARAM wp, LPARAM lp);

// What Load found.
struct SDownloadDBLoad {
    enum class EStatus { Loaded, Missing, Damaged, Unreadable } status = EStatus::Missing;
    EDownloadDBRead read = EDownloadDBRead::Loaded;  // why a damaged file was refused
    std::string keptAs;                              // where a damaged file was kept ("" if not)
    std::string reason;  // Unreadable: the system's reason; Damaged and not kept: why it could not be moved
};

class CDownloadDB {
public:
    CDownloadDB();
    CDownloadDB(const CDownloadDB&) = delete;
    CDownloadDB& operator=(const CDownloadDB&) = delete;

    // ---- the file ----
    // Replaces the history by the file's (empty when the file is missing or damaged).
    SDownloadDBLoad Load(const std::string& file);
    // Writes the whole history atomically; false with the reason when the file cannot be written
    // (the previous file then stays as it was).
    bool Save(const std::string& file, std::string* error = nullptr);
    // Creates the preview folder when missing and deletes every file in it whose path the
    // history does not hold. Returns how many were deleted.
    int SweepPreviews(const std::string& previewFolder);
    // True once Load has run: only a loaded history may be written back over the file.
    bool IsLoaded() const;

    // ---- the history ----
    // Nothing when either is empty. A known address keeps its old path.
    void Record(const std::string& address, const std::string& path);
    // The path of a known address whose file still exists; a known address whose file is gone
    // is forgotten. Empty otherwise.
    std::string Lookup(const std::string& address);
    // The entry of oldPath gets newPath. Tells the main window in any case.
    void RenamePath(const std::string& oldPath, const std::string& newPath);
    // Forgets the entry of each path. Tells the main window.
    void ForgetPaths(const std::vector<std::string>& paths);
    // Forgets every entry below the folder; with keepExisting, those whose file still exists stay.
    void ForgetUnder(const std::string& folder, bool keepExisting);
    // Every entry below oldFolder moves below newFolder (a renamed folder).
    void MoveUnder(const std::string& oldFolder, const std::string& newFolder);
    // Every (address, path) pair in address order.
    std::vector<std::pair<std::string, std::string>> Entries() const;
    size_t GetCount() const;
    void Clear();

    // ---- the queue register ----
    void Enqueue(const std::string& address, const std::string& path);
    void Dequeue(const std::string& address, const std::string& path);
    bool IsQueuedAddress(const std::string& address) const;
    bool IsQueuedPath(const std::string& path) const;
    void ClearQueue();

    // ---- windows ----
    void RegisterWindow(HWND window);
    void UnregisterWindow(HWND window);
    // The main window that hears WM_PV_HISTORY_CHANGED (not owned; null: nobody).
    void SetMainWindow(HWND window);

private:
    void PostToWindows(uint32_t msg, const std::string& address) const;
    void TellMainWindow() const;
    void RemoveEntry(int i);

    mutable CCriticalSection lock_;  // the two lists and the windows
    CStrArrayEx addresses_{true};
    CStrArrayEx paths_{false};
    std::vector<HWND> windows_;
    HWND mainWindow_ = nullptr;
    bool loaded_ = false;

    mutable CCriticalSection queueLock_;
    CStrArrayEx queuedAddresses_{true};
    CStrArrayEx queuedPaths_{false};
};

// The process-wide history.
CDownloadDB& GetDownloadDB();

// Whether path lies below folder: longer than it, beginning with it, and the folder name ends
// there ("/a/b" covers "/a/b/x", not "/a/bc/x"). A folder given with a trailing "/" works alike.
bool IsPathUnderFolder(const std::string& path, const std::string& folder);

}  // namespace plover
