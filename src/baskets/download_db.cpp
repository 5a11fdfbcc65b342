#include "baskets/download_db.h"
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/kept_aside.h"

namespace plover {
namespace fs = std::filesystem;
namespace {

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string NormalPath(const std::string& path) { return fs::path(path).lexically_normal().string(); }

}  // namespace

void FreeDownloadDBNotice(uint32_t msg, WPARAM wp, LPARAM) {
    if (msg == WM_PV_ADDRESS_QUEUED || msg == WM_PV_ADDRESS_DEQUEUED || msg == WM_PV_FILE_RECORDED)
        delete reinterpret_cast<std::string*>(wp);
}

bool IsPathUnderFolder(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder.back() == '/' || path[folder.size()] == '/';
}

CDownloadDB::CDownloadDB() = default;

// ---- the file ----

SDownloadDBLoad CDownloadDB::Load(const std::string& file) {
    SDownloadDBLoad result;
    std::vector<std::string> addresses, paths;
    std::string bytes;
    int err = ReadWholeFile(file, &bytes);
    if (err == ENOENT) {
        result.status = SDownloadDBLoad::EStatus::Missing;
    } else if (err != 0) {
        result.status = SDownloadDBLoad::EStatus::Unreadable;
        result.reason = std::strerror(err);
    } else {
        result.read = DecodeDownloadDB(bytes, addresses, paths);
        result.status = result.read == EDownloadDBRead::Loaded ? SDownloadDBLoad::EStatus::Loaded
                                                               : SDownloadDBLoad::EStatus::Damaged;
    }
    bool keepFile = false;
    if (result.status == SDownloadDBLoad::EStatus::Damaged) {
        // The next save writes a valid file; what the damaged one held stays readable aside.
        result.keptAs = KeepDamagedFileAside(file, &result.reason).string();
        keepFile = result.keptAs.empty();  // it could not be moved: never written over
    }

    CAutoCriticalSection guard(lock_);
    addresses_.RemoveAll();
    paths_.RemoveAll();
    for (size_t i = 0; i < addresses.size(); ++i) {
        // Each pair goes to the sorted place of its address; a repeated address keeps its first path.
        int at = addresses_.Add(addresses[i]);
        if (at >= 0) paths_.InsertAt(at, paths[i]);
    }
    // A file that exists but cannot be read is never written over by the empty history.
    loaded_ = result.status != SDownloadDBLoad::EStatus::Unreadable && !keepFile;
    return result;
}

bool CDownloadDB::Save(const std::string& file, std::string* error) {
    std::string bytes;
    {
        CAutoCriticalSection guard(lock_);
        bytes = EncodeDownloadDB(addresses_.Items(), paths_.Items());
    }
    // Owner only: the addresses may carry logins.
    return SaveFileAtomically(file, bytes, {}, error);
}

int CDownloadDB::SweepPreviews(const std::string& previewFolder) {
    std::error_code ec;
    fs::create_directories(previewFolder, ec);
    std::vector<std::string> known;
    {
        CAutoCriticalSection guard(lock_);
        for (const auto& p : paths_.Items()) known.push_back(NormalPath(p));
    }
    std::sort(known.begin(), known.end());
    int deleted = 0;
    for (fs::directory_iterator it(previewFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) && !it->is_symlink(ec)) continue;
        std::string path = NormalPath(it->path().string());
        if (std::binary_search(known.begin(), known.end(), path)) continue;
        std::error_code rm;
        if (fs::remove(it->path(), rm)) ++deleted;
    }
    return deleted;
}

bool CDownloadDB::IsLoaded() const {
    CAutoCriticalSection guard(lock_);
    return loaded_;
}

// ---- the history ----

void CDownloadDB::Record(const std::string& address, const std::string& path) {
    if (address.empty() || path.empty()) return;
    CAutoCriticalSection guard(lock_);
    int at = addresses_.Add(address);
    if (at < 0) return;
    paths_.InsertAt(at, path);
    PostToWindows(WM_PV_FILE_RECORDED, address);
}

std::string CDownloadDB::Lookup(const std::string& address) {
    if (address.empty()) return {};
    CAutoCriticalSection guard(lock_);
    int i = addresses_.Find(address);
    if (i < 0) return {};
    std::string path = paths_[i];
    if (FileExists(path)) return path;
    RemoveEntry(i);
    return {};
}

void CDownloadDB::RenamePath(const std::string& oldPath, const std::string& newPath) {
    if (oldPath.empty() || newPath.empty()) return;
    {
        CAutoCriticalSection guard(lock_);
        int i = paths_.Find(oldPath);
        if (i >= 0) paths_.SetAt(i, newPath);
    }
    TellMainWindow();
}

void CDownloadDB::ForgetPaths(const std::vector<std::string>& paths) {
    {
        CAutoCriticalSection guard(lock_);
        for (const auto& p : paths) {
            int i = paths_.Find(p);
            if (i >= 0) RemoveEntry(i);
        }
    }
    TellMainWindow();
}

void CDownloadDB::ForgetUnder(const std::string& folder, bool keepExisting) {
    if (folder.empty()) return;
    CAutoCriticalSection guard(lock_);
    for (int i = paths_.GetSize() - 1; i >= 0; --i) {
        if (!IsPathUnderFolder(paths_[i], folder)) continue;
        if (keepExisting && FileExists(paths_[i])) continue;
        RemoveEntry(i);
    }
}

void CDownloadDB::MoveUnder(const std::string& oldFolder, const std::string& newFolder) {
    if (oldFolder.empty() || newFolder.empty()) return;
    CAutoCriticalSection guard(lock_);
    for (int i = 0; i < paths_.GetSize(); ++i)
        if (IsPathUnderFolder(paths_[i], oldFolder)) paths_.SetAt(i, newFolder + paths_[i].substr(oldFolder.size()));
}

std::vector<std::pair<std::string, std::string>> CDownloadDB::Entries() const {
    CAutoCriticalSection guard(lock_);
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < addresses_.GetSize(); ++i) out.emplace_back(addresses_[i], paths_[i]);
    return out;
}

size_t CDownloadDB::GetCount() const {
    CAutoCriticalSection guard(lock_);
    return size_t(addresses_.GetSize());
}

void CDownloadDB::Clear() {
    CAutoCriticalSection guard(lock_);
    addresses_.RemoveAll();
    paths_.RemoveAll();
}

void CDownloadDB::RemoveEntry(int i) {
    addresses_.RemoveAt(i);
    paths_.RemoveAt(i);
}

// ---- the queue register ----

void CDownloadDB::Enqueue(const std::string& address, const std::string& path) {
    {
        CAutoCriticalSection guard(queueLock_);
        queuedAddresses_.Add(address);
        queuedPaths_.Add(path);
    }
    PostToWindows(WM_PV_ADDRESS_QUEUED, address);
}

void CDownloadDB::Dequeue(const std::string& address, const std::string& path) {
    {
        CAutoCriticalSection guard(queueLock_);
        int i = queuedAddresses_.Find(address);
        if (i >= 0) queuedAddresses_.RemoveAt(i);
        int j = queuedPaths_.Find(path);
        if (j >= 0) queuedPaths_.RemoveAt(j);
    }
    PostToWindows(WM_PV_ADDRESS_DEQUEUED, address);
}

bool CDownloadDB::IsQueuedAddress(const std::string& address) const {
    CAutoCriticalSection guard(queueLock_);
    return queuedAddresses_.Find(address) >= 0;
}

bool CDownloadDB::IsQueuedPath(const std::string& path) const {
    CAutoCriticalSection guard(queueLock_);
    return queuedPaths_.Find(path) >= 0;
}

void CDownloadDB::ClearQueue() {
    CAutoCriticalSection guard(queueLock_);
    queuedAddresses_.RemoveAll();
    queuedPaths_.RemoveAll();
}

// ---- windows ----

void CDownloadDB::RegisterWindow(HWND window) {
    if (!window) return;
    CAutoCriticalSection guard(lock_);
    windows_.push_back(window);
}

void CDownloadDB::UnregisterWindow(HWND window) {
    CAutoCriticalSection guard(lock_);
    for (auto it = windows_.begin(); it != windows_.end(); ++it)
        if (*it == window) {
            windows_.erase(it);
            return;
        }
}

void CDownloadDB::SetMainWindow(HWND window) {
    CAutoCriticalSection guard(lock_);
    mainWindow_ = window;
}

void CDownloadDB::PostToWindows(uint32_t msg, const std::string& address) const {
    CAutoCriticalSection guard(lock_);
    for (HWND w : windows_) {
        auto* copy = new std::string(address);
        if (!PostMessage(w, msg, reinterpret_cast<WPARAM>(copy), 0)) delete copy;
    }
}

void CDownloadDB::TellMainWindow() const {
    HWND main;
    {
        CAutoCriticalSection guard(lock_);
        main = mainWindow_;
    }
    PostMessage(main, WM_PV_HISTORY_CHANGED, 0, 0);
}

CDownloadDB& GetDownloadDB() {
    static CDownloadDB db;
    return db;
}

}  // namespace plover
