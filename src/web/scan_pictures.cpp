// The pictures of a scan document: the small pictures from the page cache, and the large picture
// of a result, fetched as a preview when the history does not know it yet.
#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "baskets/download_tips.h"
#include "web/preview_fetch.h"
#include "web/scan_service.h"
#include "web/served_files.h"

namespace plover::web {

SApiAnswer CScanService::Preview(int id, const nlohmann::json& body) {
    if (!body.contains("item") || !body["item"].is_number_unsigned())
        return ApiError(400, "\"item\" must be the number of a result.");
    size_t index = body["item"].get<size_t>();
    std::string url, key, page;
    {
        std::lock_guard g(docsLock_);
        auto it = docs_.find(id);
        if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
        if (index >= it->second->Items().size()) return ApiError(404, "There is no such result.");
        const SScanItem& item = it->second->Items()[index];
        if (item.type == SCAN_PAGE_LINK) return ApiError(422, "A page link has no picture.");
        url = item.url;
        key = item.key;
        page = item.page;
    }
    nlohmann::json answer = {{"doc", id}, {"item", index}};
    SDownloadTip tip = DescribeAddress(GetDownloadDB(), url, previewFolder_);
    if (tip.state == EDownloadState::Preview || tip.state == EDownloadState::InBasket) {
        answer["state"] = "ready";
        return {200, answer};
    }
    // A basket's download of the picture is under way: the preview waits for its file.
    bool queued = GetDownloadDB().IsQueuedAddress(key);
    if (!queued && !AddPreviewDownload(downloader_.Get(), url, page, previewFolder_)) {
        answer["state"] = "failed";
        answer["error"] = "The picture is in the download list already, or its address cannot be fetched.";
        return {200, answer};
    }
    std::lock_guard g(docsLock_);
    // Recorded meanwhile: the service has told nobody, so the answer says it.
    if (!GetDownloadDB().Lookup(key).empty()) {
        answer["state"] = "ready";
        return {200, answer};
    }
    previews_[key].emplace_back(id, index);
    answer["state"] = queued ? "queued" : "loading";
    return {200, answer};
}

std::string CScanService::ThumbFile(int id, int run, size_t index) {
    std::string path;
    {
        std::lock_guard g(docsLock_);
        auto it = docs_.find(id);
        if (it == docs_.end() || it->second->Run() != run || index >= it->second->Items().size()) return {};
        path = it->second->Items()[index].thumbFile;
    }
    return path.empty() ? std::string() : ResolveServedFile(path, AllowedFolders(false));
}

std::string CScanService::LargeFile(int id, size_t index) {
    std::string key;
    {
        std::lock_guard g(docsLock_);
        auto it = docs_.find(id);
        if (it == docs_.end() || index >= it->second->Items().size()) return {};
        key = it->second->Items()[index].key;
    }
    std::string path = GetDownloadDB().Lookup(key);
    if (path.empty()) return {};
    std::vector<std::string> folders = AllowedFolders(true);
    CBasketList& baskets = GetBaskets();
    for (int i = 0; i < baskets.GetSize(); ++i) folders.push_back(baskets.GetAt(i)->csRootFolder);
    return ResolveServedFile(path, folders);
}

}  // namespace plover::web
