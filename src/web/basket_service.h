#pragma once
// CBasketService: what the baskets pane, the basket window and the image viewer share on the
// server. It is a window in the engines' terms, registered with the basket engine (a file has
// arrived: 0x8462) and as the download history's main window (the history changed by a rename or
// by forgetting files: 0x83E8). Engine threads only note those messages under a short lock; the
// service's own thread publishes them every 200 ms as events, each arrival once and the history's
// changes as one:
//
//   basketFile  {"paths":[...]}   files that arrived in basket folders
//   history     {}                the history changed (marks of scan results may have changed)
//   baskets     {}                the basket list or a basket's folder changed (published by the API)
//
// It also holds the lock every request takes while it reads or changes the basket list (the list
// itself has none: it was made for one user-interface thread), keeps deleted baskets alive until
// the end (a dispatch under way may still hold one), runs the move jobs and keeps the local files
// the image viewer was given.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "baskets/basket.h"
#include "platform/window.h"
#include "web/event_hub.h"
#include "web/move_jobs.h"
#include "web/picture_api.h"

namespace plover::web {

class CBasketService final : public IWindow {
public:
    static constexpr size_t kMaxArrivals = 5000;  // noted between two publications

    explicit CBasketService(CEventHub& hub);
    ~CBasketService();
    CBasketService(const CBasketService&) = delete;
    CBasketService& operator=(const CBasketService&) = delete;

    // Registers with the basket engine and the history, starts the publishing thread.
    void Start();
    // After the server has stopped: unregisters, ends a running move, the thread and the image
    // loader. Messages that still come are dropped.
    void Stop();

    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override;

    // Held while the basket list is read or changed.
    std::mutex& BasketsLock() { return basketsLock_; }
    // Takes a basket out of the list; it stays alive until the service ends.
    void Retire(CBasket* basket);
    // The root folders of every basket (under BasketsLock).
    std::vector<std::string> BasketFolders();
    // Tells every page that the basket list or a basket's files changed.
    void PublishBaskets();

    // The folders pictures may be read from: the baskets', the preview folder, the local files'.
    std::vector<std::string> PictureRoots();

    CMoveJobs& Moves() { return moves_; }
    CLocalPictures& LocalPictures() { return locals_; }
    CEventHub& Hub() { return hub_; }

private:
    void Pump();

    CEventHub& hub_;
    CMoveJobs moves_;
    CLocalPictures locals_;
    std::mutex basketsLock_;
    std::vector<std::unique_ptr<CBasket>> retired_;

    std::mutex lock_;  // the notes below
    std::condition_variable wake_;
    std::vector<std::string> arrivals_;
    bool historyChanged_ = false;
    bool started_ = false, stopping_ = false;
    std::thread pump_;
};

}  // namespace plover::web
