#include "cli/image_batch.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "image/image_loader.h"

namespace plover::cli {
namespace {

// Counts finished requests; runs on the loader thread, so it only notes and wakes.
class CBatchCallback final : public CImageCallback {
public:
    void OnLoadComplete(uint32_t) override {
        std::lock_guard lock(m_);
        ++finished_;
        cv_.notify_all();
    }
    void WaitFinished(size_t count) {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return finished_ >= count; });
    }

private:
    ~CBatchCallback() = default;
    std::mutex m_;
    std::condition_variable cv_;
    size_t finished_ = 0;
};

}  // namespace

bool LoadEachImage(const std::vector<std::string>& files, const SSize* box, size_t window, const ImageDone& done) {
    auto callback = RefPtr<CBatchCallback>::Adopt(new CBatchCallback);
    std::deque<std::unique_ptr<CBRImage>> inFlight;  // the loader handles requests in order
    size_t queued = 0, handed = 0;
    while (handed < files.size()) {
        while (queued < files.size() && inFlight.size() < std::max<size_t>(1, window)) {
            inFlight.push_back(std::make_unique<CBRImage>());
            if (!NImageLoader::Load(inFlight.back().get(), files[queued], box, callback.Get(), false)) return false;
            ++queued;
        }
        callback->WaitFinished(handed + 1);
        done(handed, *inFlight.front());
        inFlight.pop_front();
        ++handed;
    }
    return true;
}

}  // namespace plover::cli
