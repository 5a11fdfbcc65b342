#include "web/cache_api.h"

#include <filesystem>
#include <mutex>

#include "app/settings.h"
#include "engine/engine_mgr.h"
#include "scan/i_page_mgr.h"
#include "platform/homes.h"
#include "scan/page_mgr_rules.h"
#include "web/options_api.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr size_t kMaxPathLength = 4096;

RefPtr<IPageMgr> PageMgr() {
    RefPtr<IEngine> engine;
    if (!GetEngineMgr()->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put())) return {};
    return QueryAs<IPageMgr>(engine.Get(), IID_IPageMgr);
}

std::string CacheFolder() {
    const std::string& folder = GetSettings().csCacheFolder;
    return folder.empty() ? GetProgramCacheFolder().string() : folder;
}

SApiAnswer NoPageMgr() { return ApiError(503, "The page manager is not running."); }

}  // namespace

SApiAnswer CacheState() {
    RefPtr<IPageMgr> pm = PageMgr();
    if (!pm) return NoPageMgr();
    std::string folder;
    {
        std::lock_guard g(SettingsLock());
        folder = CacheFolder();
    }
    return {200,
            {{"folder", ValidUtf8(folder)},
             {"count", pm->GetCachedCount()},
             {"size", pm->GetCacheSize()},
             {"pending", pm->GetPendingCount()},
             {"clearQuestion", kClearCacheQuestion}}};
}

SApiAnswer ClearCache(const nlohmann::json& body) {
    if (!body.contains("confirm") || body["confirm"] != true) return ApiError(400, kClearCacheQuestion);
    RefPtr<IPageMgr> pm = PageMgr();
    if (!pm) return NoPageMgr();
    int count = pm->GetCachedCount();
    uint64_t size = pm->GetCacheSize();
    pm->ClearCache();
    return {200, {{"count", count}, {"size", size}}};
}

SApiAnswer MoveCache(const nlohmann::json& body) {
    if (!body.contains("folder") || !body["folder"].is_string()) return ApiError(400, "\"folder\" must be a string.");
    std::string folder = body["folder"].get<std::string>();
    if (folder.empty() || folder.size() > kMaxPathLength || !std::filesystem::path(folder).is_absolute() ||
        folder.find_first_of("\r\n") != std::string::npos)
        return ApiError(422, "The cache folder must be an absolute path (starting with /).");
    folder = std::filesystem::path(folder).lexically_normal().string();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    RefPtr<IPageMgr> pm = PageMgr();
    if (!pm) return NoPageMgr();
    // One change of the cache folder at a time, and none while another setting is written.
    std::lock_guard g(SettingsLock());
    if (pm->GetPendingCount() != 0) return ApiError(409, kCacheMoveRefusal);
    if (folder == CacheFolder()) return {200, {{"folder", ValidUtf8(folder)}, {"count", pm->GetCachedCount()}}};
    bool moved = pm->MoveCacheFiles(folder);
    int kept = pm->GetCachedCount();
    // The setting follows the cache only when it moved: a move that could not complete left
    // every file in the old folder, which stays in use.
    if (!moved)
        return ApiError(500, "The cache could not be moved to " + ValidUtf8(folder) + "; it stays in " +
                                 ValidUtf8(CacheFolder()) + ".");
    GetSettings().csCacheFolder = folder;
    std::string error;
    if (!WriteSettings(&error)) return ApiError(500, error);
    return {200, {{"folder", ValidUtf8(folder)}, {"count", kept}}};
}

}  // namespace plover::web
