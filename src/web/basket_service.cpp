#include "web/basket_service.h"

#include <chrono>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "baskets/basket_engine.h"
#include "baskets/download_db.h"
#include "baskets/download_tips.h"
#include "engine/engine_mgr.h"
#include "image/image_loader.h"

namespace plover::web {
namespace {

RefPtr<IBasketEngine> BasketEngine() {
    RefPtr<IEngine> engine;
    if (!GetEngineMgr()->GetEngine(ENGINE_ID_BASKET, engine.Put())) return nullptr;
    return QueryAs<IBasketEngine>(engine.Get(), IID_IBasketEngine);
}

// Beside the preview folder, below the cache folder.
std::string LocalPicturesFolder() {
    return (std::filesystem::path(ProgramPreviewFolder()).parent_path() / "viewer").string();
}

}  // namespace

CBasketService::CBasketService(CEventHub& hub)
    : hub_(hub), moves_(hub, &GetDownloadDB()), locals_(LocalPicturesFolder()) {}

CBasketService::~CBasketService() { Stop(); }

void CBasketService::Start() {
    {
        std::lock_guard g(lock_);
        if (started_) return;
        started_ = true;
    }
    locals_.Clear();
    pump_ = std::thread([this] { Pump(); });
    if (RefPtr<IBasketEngine> engine = BasketEngine()) engine->RegisterWindow(this);
    GetDownloadDB().SetMainWindow(this);
}

void CBasketService::Stop() {
    {
        std::lock_guard g(lock_);
        if (!started_ || stopping_) return;
        stopping_ = true;
        wake_.notify_all();
    }
    if (RefPtr<IBasketEngine> engine = BasketEngine()) engine->UnregisterWindow(this);
    GetDownloadDB().SetMainWindow(nullptr);
    moves_.Stop();
    if (pump_.joinable()) pump_.join();
    locals_.Clear();
    // The server has stopped, so no request waits for a picture: the loader thread ends here, as
    // the program's shutdown ends it.
    NImageLoader::Shutdown();
}

bool CBasketService::PostMessage(uint32_t msg, WPARAM wp, LPARAM) {
    if (msg == WM_PV_BASKET_FILE_ARRIVED) {
        std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(wp));
        std::lock_guard g(lock_);
        if (stopping_ || !path) return true;
        // Beyond the bound the pages reread their folders anyway; an empty path says so.
        if (arrivals_.size() < kMaxArrivals) arrivals_.push_back(std::move(*path));
        else if (arrivals_.back().size()) arrivals_.push_back({});
        return true;
    }
    if (msg == WM_PV_HISTORY_CHANGED) {
        std::lock_guard g(lock_);
        historyChanged_ = !stopping_;
        return true;
    }
    return false;
}

void CBasketService::Pump() {
    std::unique_lock g(lock_);
    while (!stopping_) {
        wake_.wait_for(g, std::chrono::milliseconds(200));
        std::vector<std::string> arrivals;
        arrivals.swap(arrivals_);
        bool history = std::exchange(historyChanged_, false);
        g.unlock();
        if (!arrivals.empty())
            hub_.Publish(SseEvent("basketFile", nlohmann::json{{"paths", arrivals}}.dump(
                                                    -1, ' ', false, nlohmann::json::error_handler_t::replace)));
        if (history) hub_.Publish(SseEvent("history", "{}"));
        g.lock();
    }
}

void CBasketService::Retire(CBasket* basket) {
    if (GetBaskets().Detach(basket)) retired_.emplace_back(basket);
}

std::vector<std::string> CBasketService::BasketFolders() {
    std::vector<std::string> folders;
    CBasketList& list = GetBaskets();
    for (int i = 0; i < list.GetSize(); ++i)
        if (!list.GetAt(i)->csRootFolder.empty()) folders.push_back(list.GetAt(i)->csRootFolder);
    return folders;
}

std::vector<std::string> CBasketService::PictureRoots() {
    std::vector<std::string> roots;
    {
        std::lock_guard g(basketsLock_);
        roots = BasketFolders();
    }
    roots.push_back(ProgramPreviewFolder());
    roots.push_back(locals_.Folder());
    return roots;
}

void CBasketService::PublishBaskets() { hub_.Publish(SseEvent("baskets", "{}")); }

}  // namespace plover::web
