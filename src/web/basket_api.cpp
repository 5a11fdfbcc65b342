// The basket list: reading it with the counts the pane shows, the properties rules for new and
// edited baskets, deleting one, the view settings, and what the history knows of an address.
#include "web/basket_api.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>

#include "app/settings.h"
#include "baskets/download_db.h"
#include "baskets/download_db_sink.h"
#include "baskets/download_tips.h"
#include "download/i_downloader.h"
#include "engine/engine_mgr.h"
#include "engine/sinks.h"
#include "web/allowed_paths.h"
#include "web/basket_service.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

namespace fs = std::filesystem;

// A basket's folder is counted up to this many entries; a larger one shows "at least".
constexpr size_t kCountLimit = 20000;
constexpr size_t kMaxName = 200;

struct SCount {
    uint64_t files = 0, bytes = 0;
    bool more = false;
};

SCount CountFiles(const std::string& folder) {
    SCount c;
    std::error_code ec;
    size_t seen = 0;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (++seen > kCountLimit) {
            c.more = true;
            break;
        }
        std::error_code e2;
        if (it->is_regular_file(e2)) {
            ++c.files;
            c.bytes += it->file_size(e2);
        }
    }
    return c;
}

// The basket downloads still in the list, by client number.
std::map<int, int> QueuedByClient() {
    std::map<int, int> out;
    RefPtr<IEngine> engine;
    if (!GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put())) return out;
    RefPtr<IDownloader> downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    if (!downloader) return out;
    std::unique_ptr<CDownloadArray> all(downloader->GetDownloadArray(nullptr));
    if (all)
        for (IDownload* d : *all)
            if (d && IsBasketClient(d->GetClientID())) ++out[d->GetClientID()];
    return out;
}

nlohmann::json ViewJson() {
    const CRegistrySettings& s = GetSettings();
    // A thumbnail box never stored follows the largest thumbnail the scans accept.
    SSize thumb = s.sizeThumb.cx > 0 && s.sizeThumb.cy > 0 ? s.sizeThumb : s.sizeThumbMaxSize;
    if (thumb.cx <= 0 || thumb.cy <= 0) thumb = {200, 200};
    return {{"mode", s.eBasketViewMode == 1 ? 1 : 0},
            {"contentMode", s.eBasketContentMode == 1 ? 1 : 0},
            {"thumb", {thumb.cx, thumb.cy}},
            {"externalViewer", !s.csExternalViewer.empty()},
            {"shrinkToFit", s.bImageViewShrinkToFit != 0}};
}

// The fields of a properties request; false with the refusal set.
bool PropertiesOf(const nlohmann::json& body, std::string& name, std::string& folder, uint32_t& dispatch,
                  SApiAnswer& refused) {
    if (!body.contains("name") || !body["name"].is_string() || !body.contains("folder") || !body["folder"].is_string()) {
        refused = ApiError(400, "\"name\" and \"folder\" must be texts.");
        return false;
    }
    name = body["name"].get<std::string>();
    folder = body["folder"].get<std::string>();
    if (name.size() > kMaxName || name.find_first_of("\r\n") != std::string::npos) {
        refused = ApiError(400, "The basket name is too long or has line breaks.");
        return false;
    }
    if (folder.size() > 4096 || (!folder.empty() && folder[0] != '/')) {
        refused = ApiError(422, kMsgInvalidFolder);
        return false;
    }
    if (body.contains("dispatch")) {
        const nlohmann::json& d = body["dispatch"];
        if (!d.is_number_integer() || d.get<int64_t>() < 0 || d.get<int64_t>() > 1) {
            refused = ApiError(400, "\"dispatch\" must be 0 (the folder) or 1 (a folder per server).");
            return false;
        }
        dispatch = d.get<uint32_t>();
    }
    return true;
}

// The rules in their order, then a name no other basket has (the command line names baskets so);
// a taken name also names the other basket as "sameName", for a command to say it its own way.
std::optional<SApiAnswer> Refusal(const CBasket* editing, const std::string& name, const std::string& folder) {
    std::string refusal = CheckBasketProperties(GetBaskets(), editing, name, folder);
    if (!refusal.empty()) return ApiError(422, refusal);
    CBasket* same = GetBaskets().FindByName(name);
    if (!same || same == editing) return std::nullopt;
    SApiAnswer taken = ApiError(422, "A basket named \"" + same->csName + "\" exists already.");
    taken.body["sameName"] = ValidUtf8(same->csName);
    return taken;
}

// What an added or edited basket is now.
SApiAnswer Stored(const CBasket& basket) {
    return {200, {{"id", basket.dwID}, {"name", ValidUtf8(basket.csName)}, {"folder", ValidUtf8(basket.csRootFolder)}}};
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The basket's folder was moved from `from` to `to`: the history follows the files that went with
// it. A folder that is gone went whole; otherwise only the files found under the new folder did.
void FollowFolder(const std::string& from, const std::string& to) {
    CDownloadDB& db = GetDownloadDB();
    if (!Exists(from)) return db.MoveUnder(from, to);
    for (const auto& [address, path] : db.Entries()) {
        if (!IsPathUnderFolder(path, from)) continue;
        std::string moved = to + path.substr(from.size());
        if (!Exists(path) && Exists(moved)) db.RenamePath(path, moved);
    }
}

}  // namespace

SApiAnswer ListBaskets(CBasketService& service) {
    struct SRow {
        int id;
        std::string name, folder;
        uint32_t dispatch;
        int client;
        std::string icon;
    };
    std::vector<SRow> rows;
    {
        std::lock_guard g(service.BasketsLock());
        CBasketList& list = GetBaskets();
        for (int i = 0; i < list.GetSize(); ++i) {
            const CBasket* b = list.GetAt(i);
            rows.push_back({b->dwID, b->csName, b->csRootFolder, b->eDispatch, b->GetClientID(), b->icon.csFile});
        }
    }
    // Counted outside the lock: a large folder takes a while.
    std::map<int, int> queued = QueuedByClient();
    nlohmann::json baskets = nlohmann::json::array();
    for (const SRow& r : rows) {
        bool exists = !RealFolder(r.folder).empty();
        SCount c = exists ? CountFiles(r.folder) : SCount{};
        baskets.push_back({{"id", r.id},
                           {"name", ValidUtf8(r.name)},
                           {"folder", ValidUtf8(r.folder)},
                           {"dispatch", r.dispatch},
                           {"client", r.client},
                           {"icon", ValidUtf8(r.icon)},
                           {"exists", exists},
                           {"files", c.files},
                           {"bytes", c.bytes},
                           {"more", c.more},
                           {"queued", queued.count(r.client) ? queued[r.client] : 0}});
    }
    return {200, {{"baskets", baskets}, {"view", ViewJson()}, {"newName", kNewBasketName}}};
}

SApiAnswer AddBasket(CBasketService& service, const nlohmann::json& body) {
    std::string name, folder;
    uint32_t dispatch = DISPATCH_ROOT;
    SApiAnswer refused;
    if (!PropertiesOf(body, name, folder, dispatch, refused)) return refused;
    SApiAnswer answer;
    {
        std::lock_guard g(service.BasketsLock());
        if (auto refusal = Refusal(nullptr, name, folder)) return *refusal;
        auto* basket = new CBasket;
        StoreBasketProperties(GetBaskets(), basket, name, folder, dispatch, nullptr);
        answer = Stored(*basket);
    }
    service.PublishBaskets();
    return answer;
}

SApiAnswer EditBasket(CBasketService& service, int id, const nlohmann::json& body) {
    std::string name, folder;
    SApiAnswer refused, answer;
    {
        std::lock_guard g(service.BasketsLock());
        CBasket* basket = GetBaskets().FindByID(id);
        if (!basket) return ApiError(404, "There is no such basket.");
        uint32_t dispatch = basket->eDispatch;
        if (!PropertiesOf(body, name, folder, dispatch, refused)) return refused;
        if (auto refusal = Refusal(basket, name, folder)) return *refusal;
        std::string before = basket->csRootFolder;
        StoreBasketProperties(GetBaskets(), basket, name, folder, dispatch, nullptr);
        if (!before.empty() && basket->csRootFolder != before) FollowFolder(before, basket->csRootFolder);
        answer = Stored(*basket);
    }
    service.PublishBaskets();
    return answer;
}

SApiAnswer DeleteBasket(CBasketService& service, int id) {
    {
        std::lock_guard g(service.BasketsLock());
        CBasket* basket = GetBaskets().FindByID(id);
        if (!basket) return ApiError(404, "There is no such basket.");
        service.Retire(basket);
        FireSinks(BRN_BASKET_LIST_CHANGED, 0, 0);
    }
    service.PublishBaskets();
    return {200, {{"id", id}}};
}

SApiAnswer SetBasketView(const nlohmann::json& body) {
    CRegistrySettings& s = GetSettings();
    auto flag = [&](const char* key, int32_t& into) {
        if (!body.contains(key)) return true;
        const nlohmann::json& v = body[key];
        if (!v.is_number_integer() || (v.get<int64_t>() != 0 && v.get<int64_t>() != 1)) return false;
        into = v.get<int32_t>();
        return true;
    };
    int32_t mode = s.eBasketViewMode, content = s.eBasketContentMode;
    if (!flag("mode", mode) || !flag("contentMode", content))
        return ApiError(400, "\"mode\" and \"contentMode\" must be 0 or 1.");
    SSize thumb = s.sizeThumb;
    if (body.contains("thumb")) {
        const nlohmann::json& t = body["thumb"];
        if (!t.is_array() || t.size() != 2 || !t[0].is_number_integer() || !t[1].is_number_integer() ||
            t[0].get<int64_t>() < 32 || t[0].get<int64_t>() > 512 || t[1].get<int64_t>() < 32 || t[1].get<int64_t>() > 512)
            return ApiError(400, "\"thumb\" must be [width, height], each 32 to 512.");
        thumb = {t[0].get<int32_t>(), t[1].get<int32_t>()};
    }
    s.eBasketViewMode = mode;
    s.eBasketContentMode = content;
    s.sizeThumb = thumb;
    return {200, ViewJson()};
}

SApiAnswer HistoryOfAddress(const std::string& address) {
    if (address.empty() || address.size() > 4096) return ApiError(400, "\"address\" must be an address.");
    SDownloadTip tip = DescribeAddress(GetDownloadDB(), address, ProgramPreviewFolder());
    static const char* const states[] = {"none", "preview", "inBasket", "queued"};
    return {200, {{"address", ValidUtf8(address)}, {"state", states[int(tip.state)]}, {"path", ValidUtf8(tip.path)},
                  {"tip", tip.text}}};
}

}  // namespace plover::web
