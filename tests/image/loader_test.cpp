// The loader thread and its queue: waiting and callback forms, urgent requests, cancel, pause,
// the queue lock around callbacks, shutdown, and images destroyed with requests pending.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "image/fixtures.h"
#include "image/image_loader.h"
#include "image/progress_image.h"
#include "platform/tick.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

// Completions in the order the loader reported them.
struct SLog {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> order;
    std::vector<uint32_t> codes;

    bool WaitFor(size_t n) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(30), [&] { return order.size() >= n; });
    }
    std::vector<std::string> Order() {
        std::lock_guard lock(m);
        return order;
    }
};

class CRecorder final : public CImageCallback {
public:
    CRecorder(SLog* log, std::string tag, std::function<void()> during = {})
        : log_(log), tag_(std::move(tag)), during_(std::move(during)) {}
    void OnLoadComplete(uint32_t code) override {
        if (during_) during_();
        std::lock_guard lock(log_->m);
        log_->order.push_back(tag_);
        log_->codes.push_back(code);
        log_->cv.notify_all();
    }
    using CImageCallback::Refs;

private:
    ~CRecorder() = default;
    SLog* log_;
    std::string tag_;
    std::function<void()> during_;
};

RefPtr<CRecorder> Recorder(SLog& log, const std::string& tag, std::function<void()> during = {}) {
    return RefPtr<CRecorder>::Adopt(new CRecorder(&log, tag, std::move(during)));
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> wide(1000 * 10, 2);
        WriteFile(dir / "wide.gif", MakeGif({1000, 10, Palette16(), false, -1, 4, true, wide}));
        WriteFile(dir / "Pic.gif", MakeGif({4, 4, Palette16(), false, -1, 4, true, std::vector<uint8_t>(16, 3)}));
    }
    std::string Path(const char* name) { return (dir / name).string(); }

    TempDir dir;
    CImageLoader loader;
    SLog log;
};

TEST_F(LoaderTest, WaitingLoadFillsTheImageOrLeavesItNotLoaded) {
    CBRImage image;
    SSize box{100, 100};
    ASSERT_TRUE(loader.Load(&image, Path("wide.gif"), &box, nullptr, false));
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_EQ(image.GetPath(), Path("wide.gif"));
    EXPECT_EQ(image.GetWidth(), 100u);
    EXPECT_EQ(image.GetHeight(), 1u);
    EXPECT_EQ(image.GetSourceWidth(), 1000u);
    ASSERT_TRUE(loader.Load(&image, Path("missing.jpg"), nullptr, nullptr, false));
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetPath(), Path("missing.jpg"));
}

TEST_F(LoaderTest, UrgentRequestBehindTenOthersIsHandledNext) {
    loader.Pause();
    std::vector<std::unique_ptr<CBRImage>> images;
    for (int i = 0; i < 11; ++i) images.push_back(std::make_unique<CBRImage>());
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(loader.Load(images[i].get(), Path("Pic.gif"), nullptr, Recorder(log, std::to_string(i)).Get(), false));
    ASSERT_TRUE(loader.Load(images[10].get(), Path("Pic.gif"), nullptr, Recorder(log, "urgent").Get(), true));
    loader.Resume();
    ASSERT_TRUE(log.WaitFor(11));
    std::vector<std::string> expected = {"urgent", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    EXPECT_EQ(log.Order(), expected);
    EXPECT_EQ(log.codes, std::vector<uint32_t>(11, 0));
    for (auto& image : images) EXPECT_TRUE(image->IsLoaded());
}

TEST_F(LoaderTest, CancelRemovesOnlyTheFirstRequestOfAPathIgnoringCase) {
    loader.Pause();
    CBRImage a, b, c;
    auto first = Recorder(log, "first");
    ASSERT_TRUE(loader.Load(&a, Path("Pic.gif"), nullptr, first.Get(), false));
    ASSERT_TRUE(loader.Load(&b, Path("Pic.gif"), nullptr, Recorder(log, "second").Get(), false));
    ASSERT_TRUE(loader.Load(&c, Path("wide.gif"), nullptr, Recorder(log, "other").Get(), false));
    EXPECT_EQ(first->Refs(), 2);  // ours and the request's
    std::string shouted = Path("Pic.gif");
    for (char& ch : shouted) ch = char(toupper(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(loader.Cancel(shouted));
    EXPECT_EQ(first->Refs(), 1);  // the request is gone with its reference
    EXPECT_EQ(loader.QueuedCount(), 2u);
    EXPECT_FALSE(loader.Cancel(Path("nothing.gif")));
    loader.Resume();
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Order(), (std::vector<std::string>{"second", "other"}));
    EXPECT_FALSE(a.IsLoaded());
    EXPECT_TRUE(b.IsLoaded());
}

TEST_F(LoaderTest, PausedLoaderLeavesRequestsQueuedUntilResumed) {
    CBRImage image;
    loader.Pause();
    EXPECT_TRUE(loader.IsPaused());
    ASSERT_TRUE(loader.Load(&image, Path("Pic.gif"), nullptr, Recorder(log, "x").Get(), false));
    SleepMs(50);  // time for a loader that ignored the pause to take it
    EXPECT_EQ(loader.QueuedCount(), 1u);
    EXPECT_TRUE(log.Order().empty());
    loader.Resume();
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_TRUE(image.IsLoaded());
}

// While a callback runs, a Cancel from another thread waits for the queue lock.
TEST_F(LoaderTest, CallbackRunsUnderTheQueueLock) {
    CBRImage image;
    std::thread other;
    std::atomic<bool> cancelled{false};
    bool cancelReturnedDuringCallback = true;
    auto during = [&] {
        other = std::thread([&] {
            loader.Cancel("anything");
            cancelled = true;
        });
        for (int i = 0; i < 100 && !cancelled; ++i) SleepMs(1);
        cancelReturnedDuringCallback = cancelled;
    };
    ASSERT_TRUE(loader.Load(&image, Path("Pic.gif"), nullptr, Recorder(log, "x", during).Get(), false));
    ASSERT_TRUE(log.WaitFor(1));
    other.join();
    EXPECT_FALSE(cancelReturnedDuringCallback);
    EXPECT_TRUE(cancelled);
}

TEST_F(LoaderTest, ShutdownReleasesWaitersDropsTheQueueAndRefusesNewRequests) {
    loader.Pause();
    CBRImage queued, waited;
    auto callback = Recorder(log, "dropped");
    ASSERT_TRUE(loader.Load(&queued, Path("Pic.gif"), nullptr, callback.Get(), false));
    std::thread waiter([&] { loader.Load(&waited, Path("Pic.gif"), nullptr, nullptr, false); });
    for (int i = 0; i < 10000 && loader.QueuedCount() < 2; ++i) SleepMs(1);
    ASSERT_EQ(loader.QueuedCount(), 2u);
    loader.Shutdown();
    waiter.join();  // released, not left waiting for a request that was destroyed
    EXPECT_FALSE(waited.IsLoaded());
    EXPECT_TRUE(log.Order().empty());
    EXPECT_EQ(callback->Refs(), 1);
    EXPECT_FALSE(loader.Load(&queued, Path("Pic.gif"), nullptr, callback.Get(), false));
    EXPECT_EQ(loader.QueuedCount(), 0u);
    loader.Shutdown();  // a second time is harmless
}

TEST_F(LoaderTest, DestroyedImageTakesBackItsOwnRequestsOnly) {
    loader.Pause();
    auto doomed = std::make_unique<CBRImage>();
    CBRImage survivor;
    ASSERT_TRUE(loader.Load(doomed.get(), Path("Pic.gif"), nullptr, Recorder(log, "doomed").Get(), false));
    ASSERT_TRUE(loader.Load(&survivor, Path("Pic.gif"), nullptr, Recorder(log, "survivor").Get(), false));
    doomed.reset();
    EXPECT_EQ(loader.QueuedCount(), 1u);
    // An image destroyed by its own callback, on the loader thread.
    auto selfDestroyed = std::make_unique<CBRImage>();
    ASSERT_TRUE(loader.Load(selfDestroyed.get(), Path("wide.gif"), nullptr,
                            Recorder(log, "self", [&] { selfDestroyed.reset(); }).Get(), false));
    loader.Resume();
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Order(), (std::vector<std::string>{"survivor", "self"}));
    EXPECT_TRUE(survivor.IsLoaded());
    EXPECT_EQ(selfDestroyed, nullptr);
}

TEST_F(LoaderTest, ProgressImageLoadsAfterItsFetch) {
    CProgressImage fetched, failed;
    fetched.BeginFetch("http://example.test/pic.gif", Path("Pic.gif"));
    EXPECT_EQ(fetched.GetStage(), CProgressImage::EStage::Fetching);
    fetched.OnFetchProgress(50, 200);
    EXPECT_EQ(fetched.GetPercent(), 25u);
    EXPECT_TRUE(fetched.OnFetchFinished(true, loader, nullptr, Recorder(log, "fetched").Get(), false));
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(fetched.GetStage(), CProgressImage::EStage::Ready);
    EXPECT_TRUE(fetched.IsLoaded());

    failed.BeginFetch("http://example.test/gone.gif", Path("gone.gif"));
    EXPECT_FALSE(failed.OnFetchFinished(false, loader, nullptr, Recorder(log, "failed").Get(), false));
    EXPECT_EQ(failed.GetStage(), CProgressImage::EStage::Failed);
    EXPECT_EQ(log.Order(), (std::vector<std::string>{"fetched", "failed"}));
}

}  // namespace
}  // namespace plover::test
