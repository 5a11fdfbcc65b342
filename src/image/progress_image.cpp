#include "image/progress_image.h"

#include <algorithm>

namespace plover {

// Sets the stage from the load's outcome, then tells the caller's callback.
class CProgressImage::CDone final : public CImageCallback {
public:
    CDone(CProgressImage* image, IImageCallback* next) : image_(image), next_(next) {}
    void OnLoadComplete(uint32_t code) override {
        image_->stage_ = image_->IsLoaded() ? EStage::Ready : EStage::Failed;
        if (next_) next_->OnLoadComplete(code);
    }

private:
    ~CDone() = default;
    CProgressImage* image_;
    RefPtr<IImageCallback> next_;
};

void CProgressImage::BeginFetch(const std::string& url, const std::string& file) {
    url_ = url;
    file_ = file;
    received_ = 0;
    total_ = 0;
    Unload();
    stage_ = EStage::Fetching;
}

void CProgressImage::OnFetchProgress(uint64_t received, uint64_t total) {
    received_ = received;
    total_ = total;
}

uint32_t CProgressImage::GetPercent() const {
    uint64_t total = total_, received = received_;
    if (total == 0 || total == 0xFFFFFFFFu) return 0;
    return uint32_t(std::min<uint64_t>(100, received * 100 / total));
}

bool CProgressImage::OnFetchFinished(bool ok, CImageLoader& loader, const SSize* box, IImageCallback* callback,
                                     bool urgent) {
    if (!ok) {
        stage_ = EStage::Failed;
        if (callback) callback->OnLoadComplete(0);
        return false;
    }
    stage_ = EStage::Loading;
    auto done = RefPtr<IImageCallback>::Adopt(new CDone(this, callback));
    if (loader.Load(this, file_, box, done.Get(), urgent)) return true;
    stage_ = EStage::Failed;
    if (callback) callback->OnLoadComplete(0);
    return false;
}

}  // namespace plover
