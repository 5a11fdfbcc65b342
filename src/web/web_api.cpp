#include "web/web_api.h"

#include <filesystem>
#include <mutex>

#include "app/settings.h"
#include "download/download_list.h"
#include "download/downloader.h"
#include "engine/engine.h"
#include "download/i_download.h"
#include "download/site_prop.h"
#include "platform/homes.h"
#include "platform/url_split.h"
#include "web/web_model.h"

namespace plover::web {
namespace {

constexpr size_t kMaxUrls = 1000;
constexpr size_t kMaxUrlLength = 4096;
constexpr size_t kMaxPathLength = 4096;

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// An integer field in [lo, hi]: absent gives fallback; false when present but wrong.
bool IntField(const nlohmann::json& body, const char* name, int lo, int hi, int& out) {
    if (!body.contains(name)) return true;
    const nlohmann::json& v = body[name];
    if (!v.is_number_integer()) return false;
    long long n = v.get<long long>();
    if (n < lo || n > hi) return false;
    out = int(n);
    return true;
}

// A folder the user named: absolute, existing, without the list file's separator "|"; out is
// its normal form without a trailing slash.
bool CheckFolder(const std::string& given, std::string& out, SApiAnswer& refused) {
    std::filesystem::path p(given);
    if (given.size() > kMaxPathLength || !p.is_absolute() || given.find('|') != std::string::npos) {
        refused = ApiError(422, "The folder must be an absolute path without \"|\".");
        return false;
    }
    out = p.lexically_normal().string();
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    if (!IsFolder(out)) {
        refused = ApiError(422, "The folder does not exist: " + out);
        return false;
    }
    return true;
}

// Moves the download's file (finished or partial) into another folder under its own name; the
// file relocator carries it and the list shows its progress while the status is "moving".
SApiAnswer MoveFile(IDownload* d, const nlohmann::json& body) {
    if (!body.contains("folder") || !body["folder"].is_string()) return ApiError(400, "\"folder\" must be a string.");
    std::string folder;
    SApiAnswer refused;
    if (!CheckFolder(body["folder"].get<std::string>(), folder, refused)) return refused;
    if (d->GetFileName().empty()) return ApiError(409, "The download has no file name yet.");
    std::error_code ec;
    std::filesystem::path target = std::filesystem::path(folder) / d->GetFileName();
    if (target.string() != d->GetLocalPath() && std::filesystem::exists(target, ec))
        return ApiError(409, "A file of that name exists in the folder: " + target.string());
    d->MoveTo(folder, true);
    return {200, {{"id", d->GetID()}, {"target", target.string()}}};
}

// The stored site logins are shared by every request thread.
std::mutex sitesLock;

bool TextField(const nlohmann::json& body, const char* name, std::string& out) {
    if (!body.contains(name) || !body[name].is_string()) return false;
    out = body[name].get<std::string>();
    return !out.empty() && out.size() <= 256 && out.find_first_of("\r\n") == std::string::npos;
}

// Takes the download out of the list and its file off the disk. An unfinished download removes
// its partial file itself when it is deleted; a finished one leaves its file, which goes here.
void DeleteWithFile(IDownload* d) {
    bool finished = d->IsFinished();
    std::string path = d->GetLocalPath();
    d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    if (finished && !d->GetFileName().empty()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) std::filesystem::remove(path, ec);
    }
}

// Runs a move request on the downloader's thread and waits for it (the request stays ours).
bool RunMove(IDownloader* downloader, SMoveRequest& request) {
    RefPtr<IEngine> engine = QueryAs<IEngine>(downloader, IID_IEngine);
    if (!engine) return false;
    PostOwned(engine.Get(), DOP_MOVE, std::make_unique<SMoveRequest*>(&request), 0, true);
    return true;
}

// One place up or down the list. Moves name positions by queue values, which a newly added
// download does not have yet: an empty request renumbers the list first.
SApiAnswer MoveByOne(IDownloader* downloader, IDownload* d, bool up) {
    SMoveRequest renumber;
    if (!RunMove(downloader, renumber)) return ApiError(503, "The download list cannot be reordered now.");
    int n = downloader->GetDownloadCount(), index = -1;
    std::vector<RefPtr<IDownload>> list;
    for (int i = 0; i < n; ++i) {
        RefPtr<IDownload> x;
        if (!downloader->GetDownload(i, x.Put()) || !x) break;
        if (x.Get() == d) index = int(list.size());
        list.push_back(std::move(x));
    }
    int neighbour = up ? index - 1 : index + 1;
    if (index < 0 || neighbour < 0 || neighbour >= int(list.size())) return {200, {{"id", d->GetID()}, {"moved", false}}};
    SMoveRequest move;
    move.downloads = {d};
    move.targets = {list[size_t(neighbour)]->GetQueueValue()};
    move.afterFlags = {up ? 0 : 1};
    RunMove(downloader, move);
    return {200, {{"id", d->GetID()}, {"moved", true}}};
}

}  // namespace

SApiAnswer ApiError(int status, const std::string& message) { return {status, {{"error", message}}}; }

// The login the user gave for a download the server refused without one; with "store" it is
// kept for the site and given to the site's later downloads.
SApiAnswer AnswerLogin(IDownload* d, const nlohmann::json& body) {
    std::string user, password;
    if (!TextField(body, "user", user) || !TextField(body, "password", password))
        return ApiError(400, "Username and password cannot be empty.");
    bool store = false;
    if (body.contains("store")) {
        if (!body["store"].is_boolean()) return ApiError(400, "\"store\" must be true or false.");
        store = body["store"].get<bool>();
    }
    if (store) {
        SSiteProp site;
        site.site = d->GetServer();
        site.login = {1, user, password};
        if (!IsStorableSiteName(site.site)) return ApiError(422, "This site's name cannot be stored.");
        std::lock_guard g(sitesLock);
        SetSite(site);
    }
    d->PostOperation(new SDOAuthorize(user, password), 0);
    return {200, {{"id", d->GetID()}}};
}


bool ParseBody(const std::string& text, nlohmann::json& out, SApiAnswer& error) {
    out = nlohmann::json::parse(text, nullptr, false);
    if (out.is_discarded() || !out.is_object()) {
        error = ApiError(400, "The request body is not a JSON object.");
        return false;
    }
    return true;
}

SApiAnswer AddDownloads(CWebModel& model, const nlohmann::json& body) {
    if (!body.contains("urls") || !body["urls"].is_array() || body["urls"].empty())
        return ApiError(400, "\"urls\" must be a list of addresses.");
    const nlohmann::json& urls = body["urls"];
    if (urls.size() > kMaxUrls) return ApiError(413, "At most 1000 addresses at once.");
    std::vector<std::string> addresses;
    for (const nlohmann::json& u : urls) {
        if (!u.is_string()) return ApiError(400, "Every address must be a string.");
        std::string a = u.get<std::string>();
        if (a.size() > kMaxUrlLength) return ApiError(400, "An address is too long.");
        SUrlParts parts;
        if (!IsImportableAddress(a) || !SplitUrl(a, parts) || parts.server.empty())
            return ApiError(422, "Not an HTTP or FTP address: " + a);
        addresses.push_back(a);
    }
    std::string folder;
    if (body.contains("folder") && !(body["folder"].is_string() && body["folder"].get<std::string>().empty())) {
        if (!body["folder"].is_string()) return ApiError(400, "\"folder\" must be a string.");
        SApiAnswer refused;
        if (!CheckFolder(body["folder"].get<std::string>(), folder, refused)) return refused;
    } else {
        folder = GetSettings().csDefDownloadFolder;
        if (!IsFolder(folder)) folder = GetSystemTempFolder().string();
    }
    int priority = 5;
    if (!IntField(body, "priority", 0, 10, priority)) return ApiError(400, "\"priority\" must be 0 to 10.");
    bool paused = false;
    if (body.contains("paused")) {
        if (!body["paused"].is_boolean()) return ApiError(400, "\"paused\" must be true or false.");
        paused = body["paused"].get<bool>();
    }
    nlohmann::json added = nlohmann::json::array();
    for (const std::string& a : addresses) {
        auto* config = new SDownloadConfig();
        config->URL_original = a;
        config->URL_remote = a;
        config->LocalFolder = folder;
        config->Prior = priority;
        config->ClientID = 1;
        config->StartMode = paused ? START_PAUSED : START_RUN;
        SUrlParts parts;
        if (SplitUrl(a, parts)) config->Server = parts.server;
        if (parts.user.empty()) {
            std::lock_guard g(sitesLock);
            if (FindSite(config->Server.c_str()) >= 0) ApplySiteLogin(*config);
        }
        int id = -1;
        RefPtr<IDownload> d;
        model.Downloader()->AddDownload(config, &id, d.Put());
        added.push_back(id);
    }
    return {200, {{"added", added}}};
}

SApiAnswer DownloadAction(CWebModel& model, int id, const std::string& action, const nlohmann::json& body) {
    RefPtr<IDownload> d = model.FindDownload(id);
    if (!d) return ApiError(404, "There is no such download.");
    if (action == "pause") d->Pause();
    else if (action == "resume") d->Resume();
    else if (action == "retry") d->Retry(0);
    else if (action == "delete") d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    else if (action == "deleteWithFile") DeleteWithFile(d.Get());
    else if (action == "up" || action == "down") return MoveByOne(model.Downloader(), d.Get(), action == "up");
    else if (action == "overwrite") d->Overwrite();
    else if (action == "cancelLogin") d->CancelAuthorization();
    else if (action == "keepFile") d->CancelRename();
    else if (action == "login") return AnswerLogin(d.Get(), body);
    else if (action == "move") return MoveFile(d.Get(), body);
    // A page cannot open a file manager; it is given the folder to show or copy.
    else if (action == "folder") return {200, {{"id", id}, {"folder", d->GetLocalFolder()}, {"path", d->GetLocalPath()}}};
    else if (action == "priority") {
        int priority = -1;
        if (!body.contains("priority") || !IntField(body, "priority", 0, 10, priority))
            return ApiError(400, "\"priority\" must be 0 to 10.");
        d->SetPriority(priority);
        model.Downloader()->Reschedule();
    } else {
        return ApiError(404, "Unknown action: " + action);
    }
    return {200, {{"id", id}}};
}

SApiAnswer SetTrafficMode(CWebModel& model, const nlohmann::json& body) {
    int mode = -1;
    if (!body.contains("mode") || !IntField(body, "mode", 0, 3, mode)) return ApiError(400, "\"mode\" must be 0 to 3.");
    GetSettings().eTrafficMode = mode;
    model.Downloader()->Reschedule();
    return {200, {{"mode", mode}}};
}

}  // namespace plover::web
