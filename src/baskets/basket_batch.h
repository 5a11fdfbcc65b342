#pragma once
// CBasketBatch: the worker thread that hands dropped items to a basket one at a time, so that
// the front end stays responsive while downloads are added (the downloader's add waits).
//
// For each item in order, unless cancelled: dispatch it (basket_dispatch.h), post
// WM_PV_BASKET_ITEM_DONE (0x80DA) to the progress window with a new SBasketItemDone (the item
// and what became of it; the window deletes it), then pause (50 ms by default, so a progress
// dialog can show each item). When the last item is done and no more will come (Finish), or on
// Cancel, WM_PV_BASKET_BATCH_DONE is posted once and the thread ends.
//
// A dialog's batch is Add of every item followed by Finish; a scan that drops its results as
// they arrive keeps adding and calls Finish when the scan has ended. The basket, the history and
// the downloader must outlive the batch (the destructor cancels and joins).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "baskets/basket_dispatch.h"

namespace plover {

constexpr uint32_t WM_PV_BASKET_ITEM_DONE = 0x80DA;   // wp = SBasketItemDone* (owned by the window)
constexpr uint32_t WM_PV_BASKET_BATCH_DONE = 0x80DB;  // the batch has ended
constexpr uint32_t kBasketItemPauseMs = 50;

struct SBasketItemDone {
    SBasketItem item;
    SDispatchResult result;
};

// Deletes the record of a WM_PV_BASKET_ITEM_DONE that the window does not act on.
void FreeBasketBatchNotice(uint32_t msg, WPARAM wp, LPARAM lp);

class CBasketBatch {
public:
    CBasketBatch(CBasket& basket, const SDispatchEnv& env, HWND progress, uint32_t pauseMs = kBasketItemPauseMs);
    ~CBasketBatch();
    CBasketBatch(const CBasketBatch&) = delete;
    CBasketBatch& operator=(const CBasketBatch&) = delete;

    void Add(SBasketItem item);
    // No more items will come: the batch ends after the last one.
    void Finish();
    // Stops after the item being dispatched; the remaining items are dropped.
    void Cancel();
    // Waits for the thread to end (after Finish or Cancel).
    void Join();

private:
    void Run();

    CBasket& basket_;
    SDispatchEnv env_;
    HWND progress_;
    uint32_t pauseMs_;
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<SBasketItem> items_;
    bool finished_ = false;
    bool cancelled_ = false;
    std::thread thread_;
};

}  // namespace plover
