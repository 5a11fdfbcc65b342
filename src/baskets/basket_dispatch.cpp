#include "baskets/basket_dispatch.h"
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "download/download_config.h"
#include "download/site_prop.h"
#include "download/url_name.h"
#include "platform/url_split.h"

namespace plover {
namespace fs = std::filesystem;
namespace {

constexpr int32_t kBasketPriority = 4;

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string Normal(const std::string& path) {
    std::string s = fs::path(path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

// Copies a file's bytes to a new file (never over an existing one).
bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    struct stat st;
    ::fstat(in, &st);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        if (error) *error = std::strerror(errno);
        ::close(in);
        return false;
    }
    static constexpr size_t kBlock = 1 << 20;
    std::string buffer(kBlock, '\0');
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), kBlock);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, std::string_view(reinterpret_cast<const char*>(buffer.data()), size_t(n)));
        if (!ok) break;
    }
    if (!ok && error) *error = std::strerror(errno);
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (!ok) ::unlink(to.c_str());
    return ok;
}

// The name a download of the address would give its file (the download's own rule).
std::string DownloadFileName(const std::string& url) {
    SUrlParts parts;
    if (!SplitUrl(url, parts)) return {};
    return MakeSafeFileName(PercentDecode(DeriveFileName(parts.object)));
}

SDispatchResult Fail(EDispatch kind, std::string message) {
    SDispatchResult r;
    r.result = kind;
    r.message = std::move(message);
    return r;
}

SDispatchResult MoveKnown(const std::string& known, const std::string& folder, const SDispatchEnv& env) {
    SDispatchResult r;
    r.from = known;
    if (Normal(fs::path(known).parent_path().string()) == Normal(folder)) {
        r.result = EDispatch::AlreadyThere;
        r.path = known;
        return r;
    }
    std::string name = fs::path(known).filename().string();
    std::string target = FreeTargetPath(folder, name, Exists);
    std::string error;
    if (!MoveFile(known, target, &error)) {
        r.result = EDispatch::MoveFailed;
        r.message = "Can't move " + known + " to " + target + ": " + error;
        return r;
    }
    env.db->RenamePath(known, target);
    PostMessage(env.mainWindow, WM_PV_HISTORY_CHANGED, 0, 0);
    r.result = EDispatch::Moved;
    r.path = target;
    return r;
}

SDispatchResult StartDownload(CBasket& basket, const std::string& url, const std::string& referrer,
                              const std::string& folder, const SDispatchEnv& env) {
    SUrlParts parts;
    bool split = SplitUrl(url, parts);
    bool http = parts.service == kServiceHttp || parts.service == kServiceHttps;
    if (!split || (!http && parts.service != kServiceFtp))
        return Fail(EDispatch::Failed, "Not an HTTP or FTP address: " + url);
    auto* config = new SDownloadConfig();
    config->URL_original = url;
    config->URL_remote = url;
    config->Server = parts.server;
    config->StartMode = START_PAUSED;
    config->ClientID = basket.GetClientID();
    config->SingleSection = 1;
    config->csPrevServer = referrer;
    config->LocalFolder = folder;
    ApplySiteLogin(*config);
    // One request for the whole file; the flag is HTTP's only (a download refuses it otherwise).
    if (http) config->Flags = DCF_WHOLE_FILE;
    config->Prior = kBasketPriority;
    std::string name = DownloadFileName(url);
    std::string planned;
    if (!name.empty()) {
        planned = FreeTargetPath(folder, name, [&](const std::string& p) {
            return Exists(p) || (env.db && env.db->IsQueuedPath(p));
        });
        config->FileName = fs::path(planned).filename().string();
    }
    int id = -1;
    RefPtr<IDownload> d;
    env.downloader->AddDownload(config, &id, d.Put());
    if (!d) {
        SDispatchResult r;
        r.result = EDispatch::Duplicate;
        return r;
    }
    d->SetOverwriteConfirmed(1);
    d->Resume();
    basket.AddDownload(d.Get());
    SDispatchResult r;
    r.result = EDispatch::Downloading;
    r.path = d->GetLocalPath();
    r.download = std::move(d);
    return r;
}

}  // namespace

std::string BasketTargetFolder(const CBasket& basket, const std::string& url) {
    if (basket.eDispatch == DISPATCH_ROOT) return basket.csRootFolder;
    if (basket.eDispatch != DISPATCH_PER_SERVER) return {};
    SUrlParts parts;
    std::string server = SplitUrl(url, parts) ? parts.server : std::string();
    // A server name is one folder name: nothing in it may lead elsewhere.
    std::string safe = MakeSafeFileName(server);
    if (safe.empty()) safe = "_";
    return (fs::path(basket.csRootFolder) / safe).string();
}

std::string NumberedName(const std::string& name, unsigned n) {
    // The extension starts at the last "."; a leading "." (a hidden file's) starts none.
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = name.size();
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

std::string FreeTargetPath(const std::string& folder, const std::string& name,
                           const std::function<bool(const std::string&)>& taken) {
    std::string base = (fs::path(folder) / name).string();
    if (!taken(base)) return base;
    for (unsigned n = 1;; ++n) {
        std::string candidate = (fs::path(folder) / NumberedName(name, n)).string();
        if (!taken(candidate)) return candidate;
    }
}

bool MoveFile(const std::string& from, const std::string& to, std::string* error) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    // Another file system: the file is copied, then the original goes.
    if (!CopyFile(from, to, error)) return false;
    if (::unlink(from.c_str()) != 0) {
        if (error) *error = std::strerror(errno);
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

SDispatchResult DispatchItem(CBasket& basket, const SBasketItem& item, const SDispatchEnv& env) {
    // Downloads keep addresses in their storable form; the history is asked in the same form.
    std::string url = StorableAddress(item.url);
    std::string folder = BasketTargetFolder(basket, url);
    if (folder.empty()) return Fail(EDispatch::Refused, "The basket '" + basket.csName + "' accepts no files.");
    std::error_code ec;
    // The basket's own folder is never made here: when it is missing the disk that held it may
    // not be mounted, and files must not go to a new folder in its place.
    if (!fs::is_directory(basket.csRootFolder, ec))
        return Fail(EDispatch::NoFolder, CantCreateFolderMessage(basket.csRootFolder));
    if (basket.eDispatch == DISPATCH_PER_SERVER) {
        if (!fs::is_directory(folder, ec)) {
            fs::create_directories(folder, ec);
            if (!fs::is_directory(folder, ec)) return Fail(EDispatch::Refused, CantCreateFolderMessage(folder));
        }
    }
    std::string known = env.db ? env.db->Lookup(url) : std::string();
    if (!known.empty()) return MoveKnown(known, folder, env);
    if (!env.downloader) return Fail(EDispatch::Failed, "The downloader is not available.");
    return StartDownload(basket, url, item.referrer, folder, env);
}

}  // namespace plover
