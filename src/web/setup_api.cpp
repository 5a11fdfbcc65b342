#include "web/setup_api.h"

#include <set>

#include "app/reg_store.h"
#include "app/settings.h"
#include "baskets/basket.h"
#include "baskets/default_baskets.h"
#include "net/proxy_import.h"
#include "net/proxy_info.h"

namespace plover::web {
namespace {

constexpr size_t kMaxPathLength = 4096;

// The system's proxy setting (http_proxy, ftp_proxy) over the stored proxy records; nothing
// changes when the environment names no proxy. Returns what was imported.
std::string ImportSystemProxy() {
    std::string proxy = ProxyServerFromEnvironment();
    if (proxy.empty()) return {};
    SProxyImport found = ImportProxyServer(proxy);
    SetHTTPProxy(found.http);
    SetFTPProxy(MergeImportedFtp(GetFTPProxy(), found.ftp));
    return proxy;
}

// The checked default baskets: names of the six, each at most once; false on anything else.
bool CheckedBaskets(const nlohmann::json& body, std::vector<std::string>& out) {
    if (!body.contains("baskets")) {
        out.assign(std::begin(kDefaultBasketNames), std::end(kDefaultBasketNames));
        return true;
    }
    if (!body["baskets"].is_array()) return false;
    std::set<std::string> known(std::begin(kDefaultBasketNames), std::end(kDefaultBasketNames));
    for (const nlohmann::json& n : body["baskets"]) {
        if (!n.is_string() || !known.count(n.get<std::string>())) return false;
        out.push_back(n.get<std::string>());
        known.erase(n.get<std::string>());
    }
    return true;
}

}  // namespace

CSetupApi::CSetupApi(SSetupContext context) : context_(std::move(context)) {
    std::error_code ec;
    installed_ = std::filesystem::exists(context_.storeFile, ec);
}

SApiAnswer CSetupApi::State() {
    std::lock_guard g(lock_);
    nlohmann::json names = nlohmann::json::array();
    for (const char* n : kDefaultBasketNames) names.push_back(n);
    return {200,
            {{"installed", installed_},
             {"basketsFolder", context_.proposedBasketsFolder},
             {"baskets", names},
             {"settings", context_.storeFile.string()},
             {"proxy", ProxyServerFromEnvironment()}}};
}

SApiAnswer CSetupApi::Install(const nlohmann::json& body) {
    std::string parent = context_.proposedBasketsFolder;
    if (body.contains("basketsFolder")) {
        if (!body["basketsFolder"].is_string()) return ApiError(400, "\"basketsFolder\" must be a string.");
        parent = body["basketsFolder"].get<std::string>();
    }
    if (parent.size() > kMaxPathLength || !std::filesystem::path(parent).is_absolute() ||
        parent.find('|') != std::string::npos)
        return ApiError(422, "The folder must be an absolute path without \"|\".");
    parent = std::filesystem::path(parent).lexically_normal().string();
    if (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    std::vector<std::string> checked;
    if (!CheckedBaskets(body, checked)) return ApiError(400, "\"baskets\" must name default baskets.");
    bool importProxy = true;
    if (body.contains("importProxy")) {
        if (!body["importProxy"].is_boolean()) return ApiError(400, "\"importProxy\" must be true or false.");
        importProxy = body["importProxy"].get<bool>();
    }

    std::lock_guard g(lock_);
    if (installed_) return ApiError(409, "Plover is installed already.");
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (!std::filesystem::is_directory(parent, ec)) return ApiError(422, "Can't create folder\n" + parent);
    GetSettings().csDefDownloadFolder = parent;
    nlohmann::json made = nlohmann::json::array(), messages = nlohmann::json::array();
    if (!checked.empty()) {
        SDefaultBaskets result = MakeDefaultBaskets(GetBaskets(), parent, context_.iconFolder, checked);
        for (const std::string& n : result.made) made.push_back(n);
        for (const std::string& m : result.messages) messages.push_back(m);
    }
    std::string proxy = importProxy ? ImportSystemProxy() : std::string();
    // Written now, not only at exit: the installation is what the next start finds.
    SaveMainSettings();
    std::string error;
    if (!GetRegStore().Save(&error)) return ApiError(500, error);
    installed_ = true;
    return {200,
            {{"installed", true},
             {"basketsFolder", parent},
             {"made", made},
             {"messages", messages},
             {"proxy", proxy},
             {"settings", context_.storeFile.string()}}};
}

SApiAnswer CSetupApi::Uninstall(const nlohmann::json& body) {
    if (!body.contains("confirm") || body["confirm"] != true) return ApiError(400, "The uninstallation needs \"confirm\".");
    std::lock_guard g(lock_);
    // The settings store is the program's: it goes. Downloads, baskets and the download history
    // are the user's files and stay.
    std::error_code ec;
    bool existed = std::filesystem::exists(context_.storeFile, ec);
    if (existed && !std::filesystem::remove(context_.storeFile, ec))
        return ApiError(500, "Cannot remove " + context_.storeFile.string() + ": " + ec.message());
    installed_ = false;
    if (context_.uninstalled) context_.uninstalled();
    return {200, {{"uninstalled", true}, {"removed", existed ? context_.storeFile.string() : std::string()}}};
}

}  // namespace plover::web
