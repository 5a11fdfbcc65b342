// "Send to basket": the chosen results of a scan document go to a basket through the batch
// dispatch, one worker per send; each item's 0x80DA message becomes progress for the page's
// dialog, and the item's mark is looked up again at once (a moved file is on disk, a download is
// queued).
#include <set>

#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "download/url_name.h"
#include "web/scan_service.h"

namespace plover::web {
namespace {

constexpr size_t kKeptErrors = 20;

// What became of one item, as the progress dialog says it.
const char* ResultText(EDispatch result) {
    switch (result) {
        case EDispatch::Downloading: return "downloading";
        case EDispatch::Moved: return "moved";
        case EDispatch::AlreadyThere: return "in basket";
        case EDispatch::Duplicate: return "listed";
        default: return "failed";
    }
}

}  // namespace

SApiAnswer CScanService::Send(int id, const nlohmann::json& body) {
    if (!body.contains("basket") || !body["basket"].is_number_integer())
        return ApiError(400, "\"basket\" must be a basket's number.");
    if (!body.contains("items") || !body["items"].is_array() || body["items"].empty())
        return ApiError(400, "\"items\" must be a list of result numbers.");
    if (body["items"].size() > kMaxSendItems) return ApiError(413, "Too many pictures at once.");
    long long basketId = body["basket"].get<long long>();
    CBasket* basket = basketId >= 0 && basketId <= INT32_MAX ? GetBaskets().FindByID(int32_t(basketId)) : nullptr;
    if (!basket) return ApiError(404, "There is no such basket.");
    std::lock_guard g(docsLock_);
    auto it = docs_.find(id);
    if (it == docs_.end()) return ApiError(404, "There is no such scan document.");
    const CScanDoc& doc = *it->second;
    std::vector<SBasketItem> items;
    std::set<std::string> seen;
    for (const nlohmann::json& v : body["items"]) {
        if (!v.is_number_unsigned() || v.get<uint64_t>() >= doc.Items().size())
            return ApiError(400, "Every item must be the number of a result of this document.");
        const SScanItem& item = doc.Items()[v.get<size_t>()];
        if (item.type == SCAN_PAGE_LINK) return ApiError(422, "Only pictures can be sent to a basket.");
        if (seen.insert(item.key).second) items.push_back({item.url, item.page});
    }
    auto send = std::make_unique<SSend>();
    send->id = nextSend_++;
    send->doc = id;
    send->run = doc.Run();
    send->basket = basket->dwID;
    send->basketName = basket->csName;
    send->total = items.size();
    HWND window = NewWindow(ERoute::Send, send->id, 0);
    // The worker tells the service of every item; a file moved into the basket changes the history.
    SDispatchEnv env{&GetDownloadDB(), downloader_.Get(), this};
    send->batch = std::make_unique<CBasketBatch>(*basket, env, window);
    for (SBasketItem& item : items) send->batch->Add(std::move(item));
    send->batch->Finish();
    int sendId = send->id;
    sends_[sendId] = std::move(send);
    return {200, {{"send", sendId}, {"total", items.size()}, {"basket", basketId}}};
}

SApiAnswer CScanService::CancelSend(int id) {
    std::lock_guard g(docsLock_);
    auto it = sends_.find(id);
    if (it == sends_.end()) return ApiError(404, "There is no such transfer.");
    SSend& s = *it->second;
    if (s.batch) s.batch->Cancel();  // the worker stops after its item and says it has ended
    s.cancelled = s.changed = true;
    return {200, {{"send", id}}};
}

void CScanService::ApplyItemDone(SSend& s, SBasketItemDone& done) {
    ++s.done;
    s.changed = true;
    const SDispatchResult& r = done.result;
    switch (r.result) {
        case EDispatch::Downloading: ++s.downloading; break;
        case EDispatch::Moved: ++s.moved; break;
        case EDispatch::AlreadyThere: ++s.there; break;
        case EDispatch::Duplicate: ++s.listed; break;
        default:
            ++s.failed;
            if (s.errors.size() < kKeptErrors) s.errors.push_back(done.item.url + ": " + r.message);
            break;
    }
    s.last = done.item.url;
    s.lastResult = ResultText(r.result);
    auto doc = docs_.find(s.doc);
    if (doc == docs_.end() || doc->second->Run() != s.run) return;
    if (const std::vector<size_t>* items = doc->second->ItemsOf(StorableAddress(done.item.url)))
        for (size_t i : *items) doc->second->SetMark(i, GetDownloadMark(done.item.url));
}

void CScanService::PublishSend(SSend& s) {
    s.changed = false;
    nlohmann::json j = {{"send", s.id},           {"doc", s.doc},       {"basket", s.basket},
                        {"basketName", s.basketName}, {"total", s.total},   {"done", s.done},
                        {"downloading", s.downloading}, {"moved", s.moved}, {"inBasket", s.there},
                        {"listed", s.listed},     {"failed", s.failed}, {"errors", s.errors},
                        {"last", s.last},         {"lastResult", s.lastResult},
                        {"ended", s.ended},       {"cancelled", s.cancelled}};
    hub_.Publish(SseEvent("scanSend", j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
}

}  // namespace plover::web
