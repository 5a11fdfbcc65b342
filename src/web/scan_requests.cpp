// The scan documents' commands from the page: open, start, stop, close, answer a login, and the
// reads of the documents and their results.
#include "baskets/basket.h"
#include "engine/engine_mgr.h"
#include "scan/profile_overrides.h"
#include "scan/scan_profile.h"
#include "scan/scan_rules.h"
#include "scan/search_site.h"
#include "web/scan_service.h"

namespace plover::web {
namespace {

constexpr size_t kMaxUrlLength = 4096;
constexpr size_t kMaxSearchText = 1000;

// "overrides": what this run changes in the profile, as the commands that scan send it:
// {"depth": N (below 0: the profile's own), "allThumbnails", "anySite", "largePictures" and
// "thumbnails" ("yes", "no" or "": the profile's own), "followPicturePages"}.
bool OverridesOf(const nlohmann::json& body, SProfileOverrides& out, bool& followPicturePages, SApiAnswer& refused) {
    if (!body.contains("overrides")) return true;
    const nlohmann::json& o = body["overrides"];
    refused = ApiError(400, "\"overrides\" must be an object of the profile's changes for this run.");
    if (!o.is_object()) return false;
    auto flag = [&](const char* key, bool& into) {
        if (!o.contains(key)) return true;
        if (!o[key].is_boolean()) return false;
        into = o[key].get<bool>();
        return true;
    };
    auto yesNo = [&](const char* key, std::optional<bool>& into) {
        if (!o.contains(key)) return true;
        if (!o[key].is_string()) return false;
        std::string v = o[key].get<std::string>();
        if (v == "yes" || v == "no") into = v == "yes";
        return v.empty() || into.has_value();
    };
    if (o.contains("depth")) {
        if (!o["depth"].is_number_integer() || o["depth"].get<int64_t>() > 1000) return false;
        if (o["depth"].get<int64_t>() >= 0) out.depth = int32_t(o["depth"].get<int64_t>());
    }
    return flag("allThumbnails", out.allThumbnails) && flag("anySite", out.anySite) &&
           flag("followPicturePages", followPicturePages) && yesNo("largePictures", out.largePictures) &&
           yesNo("thumbnails", out.thumbnails);
}

// The profile named by a name or a number (a JSON number or a string of digits, from 0; absent:
// the first) with the run's overrides; false with the refusal when there is none or it cannot scan.
bool ChooseProfile(const nlohmann::json& body, SScanProfile& out, SApiAnswer& refused, bool* followPicturePages = nullptr) {
    SProfileOverrides overrides;
    bool follow = false;
    if (!OverridesOf(body, overrides, follow, refused)) return false;
    if (followPicturePages) *followPicturePages = follow;
    std::string which;
    if (body.contains("profile")) {
        const nlohmann::json& p = body["profile"];
        if (p.is_number_unsigned() && p.get<uint64_t>() < 1000000) which = std::to_string(p.get<uint64_t>());
        else if (p.is_string() && p.get<std::string>().size() <= 256) which = p.get<std::string>();
        else {
            refused = ApiError(400, "\"profile\" must be a profile's name or number.");
            return false;
        }
    }
    CScanProfileList& list = GetScanProfiles();
    const SScanProfile* profile = list.GetAt(which.empty() ? 0 : list.FindByNameOrNumber(which));
    if (!profile) {
        refused = ApiError(422, "There is no scan profile \"" + which + "\".");
        refused.body["noProfile"] = which;  // a command says it in its own words
        return false;
    }
    out = WithOverrides(*profile, overrides);
    std::string refusal = CheckProfileCanScan(out);
    if (!refusal.empty()) {
        refused = ApiError(422, refusal);
        refused.body["cannotScan"] = true;
        return false;
    }
    return true;
}

// The address to scan: "url", or a search ({"site": n, "text": ...}) built on a search site.
bool TakeAddress(const nlohmann::json& body, std::string& url, SApiAnswer& refused) {
    if (body.contains("search")) {
        const nlohmann::json& s = body["search"];
        if (!s.is_object() || !s.contains("site") || !s["site"].is_number_unsigned() || !s.contains("text") ||
            !s["text"].is_string() || s["text"].get<std::string>().empty() ||
            s["text"].get<std::string>().size() > kMaxSearchText) {
            refused = ApiError(400, "A search needs \"site\" (a number) and \"text\".");
            return false;
        }
        RefPtr<ISearchSite> site;
        uint64_t n = s["site"].get<uint64_t>();
        if (n > 100000 || !GetSearchSites().GetSite(int(n), site.Put())) {
            refused = ApiError(404, "There is no such search site.");
            refused.body["noSite"] = true;
            return false;
        }
        url = BuildSearchURL(site.Get(), s["text"].get<std::string>());
        if (url.empty()) {
            refused = ApiError(422, "The search site's format has no " + std::string(kSearchTextMarker) + ".");
            refused.body["noMarker"] = true;
            return false;
        }
    } else if (body.contains("url")) {
        if (!body["url"].is_string()) {
            refused = ApiError(400, "\"url\" must be a string.");
            return false;
        }
        url = body["url"].get<std::string>();
    }
    if (url.empty()) return true;
    if (url.size() > kMaxUrlLength || !IsFetchableUrl(url)) {
        refused = ApiError(422, "Not an HTTP or FTP address: " + url.substr(0, 200));
        refused.body["unfetchable"] = url.substr(0, 200);  // a command says it in its own words
        return false;
    }
    return true;
}

bool BoolField(const nlohmann::json& body, const char* name, bool& out) {
    if (!body.contains(name)) return true;
    if (!body[name].is_boolean()) return false;
    out = body[name].get<bool>();
    return true;
}

}  // namespace

SApiAnswer CScanService::Open(const nlohmann::json& body) {
    std::string url;
    SApiAnswer refused;
    if (!TakeAddress(body, url, refused)) return refused;
    bool start = !url.empty(), reload = false;
    if (!BoolField(body, "start", start) || !BoolField(body, "reload", reload))
        return ApiError(400, "\"start\" and \"reload\" must be true or false.");
    SScanProfile profile;
    if (!ChooseProfile(body, profile, refused)) return refused;
    int id;
    {
        std::lock_guard g(docsLock_);
        if (docs_.size() >= 100) return ApiError(429, "Close some scan documents first.");
        id = nextDoc_++;
        docs_[id] = std::make_unique<CScanDoc>(id, url, profile.csName);
    }
    if (start && !url.empty()) {
        SApiAnswer answer = StartRun(id, url, body, reload);
        if (answer.status != 200) return answer;
    }
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it == docs_.end()) return ApiError(404, "The scan document was closed.");
    return {200, it->second->StateJson()};
}

SApiAnswer CScanService::StartRun(int id, const std::string& url, const nlohmann::json& body, bool reload) {
    SScanProfile profile;
    SApiAnswer refused;
    bool followPicturePages = false;
    if (!ChooseProfile(body, profile, refused, &followPicturePages)) return refused;
    RefPtr<IEngine> engine;
    RefPtr<IScannerEngine> scanEngine;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_SCANNER, engine.Put()))
        scanEngine = QueryAs<IScannerEngine>(engine.Get(), IID_IScannerEngine);
    if (!scanEngine) return ApiError(503, "The scanner is not available.");
    int run;
    {
        std::lock_guard g(docsLock_);
        auto it = docs_.find(id);
        if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
        run = it->second->Begin(url, profile.csName);
    }
    SScanRequest request;
    request.url = url;
    request.reload = reload;
    request.profile = profile;
    request.notify = NewWindow(ERoute::Run, id, run);
    request.followPicturePages = followPicturePages;
    // Waits for the scanner engine: never under the documents' lock.
    RefPtr<IScanner> scanner;
    bool created = scanEngine->CreateScanner(&request, scanner.Put()) && scanner;
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it == docs_.end() || it->second->Run() != run) {
        if (scanner) scanner->Close();  // closed or started again meanwhile
        return ApiError(409, "The scan document was closed or started again.");
    }
    if (!created) {
        it->second->Fail("The scan could not be started.");
        return ApiError(503, "The scan could not be started.");
    }
    it->second->SetScanner(std::move(scanner));
    return {200, it->second->StateJson()};
}

SApiAnswer CScanService::Action(int id, const std::string& action, const nlohmann::json& body) {
    if (action == "start" || action == "reload") {
        std::string url;
        SApiAnswer refused;
        if (!TakeAddress(body, url, refused)) return refused;
        if (url.empty()) {
            std::lock_guard g(docsLock_);
            auto it = docs_.find(id);
            if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
            url = it->second->Url();
        }
        if (url.empty()) return ApiError(400, "Enter the address of a page to scan.");
        return StartRun(id, url, body, action == "reload");
    }
    if (action == "send") return Send(id, body);
    if (action == "preview") return Preview(id, body);
    if (action == "login" || action == "cancelLogin") return Login(id, body, action == "cancelLogin");
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
    if (action == "stop") {
        it->second->Stop();
        return {200, it->second->StateJson()};
    }
    if (action == "close") {
        it->second->Stop();
        docs_.erase(it);
        closed_.push_back(id);
        return {200, {{"doc", id}, {"closed", true}}};
    }
    return ApiError(404, "Unknown action: " + action);
}

SApiAnswer CScanService::Login(int id, const nlohmann::json& body, bool cancel) {
    RefPtr<IDownload> d;
    {
        std::lock_guard g(docsLock_);
        auto it = docs_.find(id);
        if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
        d = it->second->Waiting();
    }
    if (!d) return ApiError(409, "Nothing of this scan waits for a login.");
    SApiAnswer answer;
    if (cancel) d->CancelAuthorization();
    else answer = AnswerLogin(d.Get(), body);
    if (answer.status != 200) return answer;
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it != docs_.end() && it->second->Waiting().Get() == d.Get()) it->second->Answered();
    return {200, {{"doc", id}}};
}

SApiAnswer CScanService::List() {
    nlohmann::json docs = nlohmann::json::array();
    std::lock_guard g(docsLock_);
    for (auto& [id, doc] : docs_) docs.push_back(doc->StateJson());
    return {200, {{"docs", std::move(docs)}, {"pictures", "/scan-pictures/" + nonce_}}};
}

SApiAnswer CScanService::Items(int id, size_t from, size_t count, bool detail) {
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
    const CScanDoc& doc = *it->second;
    return {200, {{"doc", id}, {"run", doc.Run()}, {"from", from}, {"total", doc.Items().size()},
                  {"items", doc.ItemsJson(from, std::min(count, kItemsPerEvent * 10), detail)}, {"state", doc.StateJson()}}};
}

nlohmann::json CScanService::Choices() {
    nlohmann::json profiles = nlohmann::json::array(), sites = nlohmann::json::array(), baskets = nlohmann::json::array();
    CScanProfileList& list = GetScanProfiles();
    for (int i = 0; i < list.GetSize(); ++i) {
        const SScanProfile& p = *list.GetAt(i);
        profiles.push_back({{"number", i}, {"name", p.csName}, {"recurse", p.bRecurse != 0},
                            {"thumbnails", p.bThumbnails != 0}, {"largePictures", p.bLargePictures != 0}});
    }
    CSearchSiteList& searchSites = GetSearchSites();
    for (int i = 0; i < searchSites.GetCount(); ++i) {
        RefPtr<ISearchSite> site;
        if (searchSites.GetSite(i, site.Put())) sites.push_back({{"number", i}, {"title", site->GetTitle()}});
    }
    CBasketList& all = GetBaskets();
    for (int i = 0; i < all.GetSize(); ++i) {
        const CBasket* b = all.GetAt(i);
        baskets.push_back({{"id", b->dwID}, {"name", b->csName}, {"folder", b->csRootFolder}});
    }
    return {{"profiles", std::move(profiles)}, {"searchSites", std::move(sites)}, {"baskets", std::move(baskets)}};
}

}  // namespace plover::web
