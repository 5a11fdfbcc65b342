#include "web/history_api.h"

#include <filesystem>
#include <set>

#include "app/settings.h"
#include "baskets/download_db.h"
#include "platform/url_split.h"
#include "web/options_api.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr size_t kMaxForget = 10000;
constexpr size_t kMaxBookmarks = 1000;

bool StringField(const nlohmann::json& body, const char* name, std::string& out) {
    if (!body.contains(name) || !body[name].is_string()) return false;
    out = body[name].get<std::string>();
    return true;
}

SApiAnswer Bookmarks() {
    nlohmann::json list = nlohmann::json::array();
    for (const std::string& url : GetSettings().SurfURLs.Items()) list.push_back(ValidUtf8(url));
    return {200, {{"bookmarks", list}}};
}

}  // namespace

SApiAnswer ListHistory() {
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& [address, path] : GetDownloadDB().Entries()) {
        std::filesystem::path p(path);
        std::error_code ec;
        entries.push_back({{"address", ValidUtf8(address)},
                           {"path", ValidUtf8(path)},
                           {"name", ValidUtf8(p.filename().string())},
                           {"folder", ValidUtf8(p.parent_path().string())},
                           {"onDisk", std::filesystem::is_regular_file(p, ec)}});
    }
    return {200, {{"entries", entries}}};
}

SApiAnswer ForgetHistory(const nlohmann::json& body) {
    if (!body.contains("addresses") || !body["addresses"].is_array())
        return ApiError(400, "\"addresses\" must be a list of addresses.");
    if (body["addresses"].size() > kMaxForget) return ApiError(413, "At most 10000 entries at once.");
    std::set<std::string> wanted;
    for (const nlohmann::json& a : body["addresses"]) {
        if (!a.is_string()) return ApiError(400, "Every address must be a string.");
        wanted.insert(a.get<std::string>());
    }
    std::vector<std::string> paths;
    for (const auto& [address, path] : GetDownloadDB().Entries())
        if (wanted.count(address) || wanted.count(ValidUtf8(address))) paths.push_back(path);
    if (!paths.empty()) GetDownloadDB().ForgetPaths(paths);
    return {200, {{"forgotten", paths.size()}}};
}

std::string CheckBookmark(const std::string& url) {
    SUrlParts parts;
    if (url.empty() || url.size() > 2048 || url.find_first_of("\r\n\t ") != std::string::npos)
        return "Not an address: \"" + url + "\"";
    std::string scheme = url.substr(0, url.find(':'));
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    if ((scheme != "http" && scheme != "https" && scheme != "ftp") || !SplitUrl(url, parts) || parts.server.empty())
        return "Only HTTP, HTTPS and FTP addresses can be bookmarked: " + url;
    return "";
}

SApiAnswer ListBookmarks() {
    std::lock_guard g(SettingsLock());
    return Bookmarks();
}

SApiAnswer AddBookmark(const nlohmann::json& body) {
    std::string url;
    if (!StringField(body, "url", url)) return ApiError(400, "\"url\" must be a string.");
    std::string refusal = CheckBookmark(url);
    if (!refusal.empty()) return ApiError(422, refusal);
    std::lock_guard g(SettingsLock());
    CStrArrayEx& list = GetSettings().SurfURLs;
    if (list.Find(url) < 0) {
        if (list.GetSize() >= int(kMaxBookmarks)) return ApiError(422, "There are 1000 bookmarks already.");
        list.Add(url);
        std::string error;
        if (!WriteSettings(&error)) return ApiError(500, error);
    }
    return Bookmarks();
}

SApiAnswer DeleteBookmark(const nlohmann::json& body) {
    std::string url;
    if (!StringField(body, "url", url)) return ApiError(400, "\"url\" must be a string.");
    std::lock_guard g(SettingsLock());
    CStrArrayEx& list = GetSettings().SurfURLs;
    int i = list.Find(url);
    if (i < 0) return ApiError(404, "There is no such bookmark.");
    list.RemoveAt(i);
    std::string error;
    if (!WriteSettings(&error)) return ApiError(500, error);
    return Bookmarks();
}

}  // namespace plover::web
