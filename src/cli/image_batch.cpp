#include "cli/image_batch.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "image/image_loader.h"

namespace plover::cli {
namespace {

// Counts finished requests; runs on the loader thread, so it only notes and wakes.
class CBatchCallback final : public IImageCallback {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IImageCallback) return E_NOINTERFACE;
        *out = static_cast<IImageCallback*>(this);
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t n = refs_.Drop();
        if (n == 0) delete this;
        return n;
    }
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
    RefCount refs_;
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
