#include "baskets/basket_batch.h"

#include <chrono>

namespace plover {

void FreeBasketBatchNotice(uint32_t msg, WPARAM wp, LPARAM) {
    if (msg == WM_PV_BASKET_ITEM_DONE) delete reinterpret_cast<SBasketItemDone*>(wp);
}

CBasketBatch::CBasketBatch(CBasket& basket, const SDispatchEnv& env, HWND progress, uint32_t pauseMs)
    : basket_(basket), env_(env), progress_(progress), pauseMs_(pauseMs), thread_([this] { Run(); }) {}

CBasketBatch::~CBasketBatch() {
    Cancel();
    Join();
}

void CBasketBatch::Add(SBasketItem item) {
    std::lock_guard g(lock_);
    if (finished_ || cancelled_) return;
    items_.push_back(std::move(item));
    cv_.notify_all();
}

void CBasketBatch::Finish() {
    std::lock_guard g(lock_);
    finished_ = true;
    cv_.notify_all();
}

void CBasketBatch::Cancel() {
    std::lock_guard g(lock_);
    cancelled_ = true;
    items_.clear();
    cv_.notify_all();
}

void CBasketBatch::Join() {
    if (thread_.joinable()) thread_.join();
}

void CBasketBatch::Run() {
    for (;;) {
        SBasketItem item;
        {
            std::unique_lock l(lock_);
            cv_.wait(l, [&] { return cancelled_ || finished_ || !items_.empty(); });
            if (cancelled_ || items_.empty()) break;  // cancelled, or finished with nothing left
            item = std::move(items_.front());
            items_.pop_front();
        }
        auto* done = new SBasketItemDone{item, DispatchItem(basket_, item, env_)};
        if (!PostMessage(progress_, WM_PV_BASKET_ITEM_DONE, reinterpret_cast<WPARAM>(done), 0)) delete done;
        if (pauseMs_) {
            std::unique_lock l(lock_);
            cv_.wait_for(l, std::chrono::milliseconds(pauseMs_), [&] { return cancelled_; });
        }
    }
    PostMessage(progress_, WM_PV_BASKET_BATCH_DONE, 0, 0);
}

}  // namespace plover
