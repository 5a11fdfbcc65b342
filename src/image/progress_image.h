#pragma once
// CProgressImage: a picture that must first be fetched from the web, then loaded like any other.
// The front end that shows it starts the download of its address into a local file through the
// downloader and forwards the download's news here (progress while it runs, the outcome when
// it ends); when the file is complete the image queues itself with the image loader. The image
// moves Idle -> Fetching -> Loading -> Ready, or to Failed when the download or the decoding
// fails; in every case the caller's callback is told once, with 0, at the end.
#include <atomic>
#include <cstdint>
#include <string>

#include "image/br_image.h"
#include "image/image_loader.h"

namespace plover {

class CProgressImage : public CBRImage {
public:
    enum class EStage { Idle, Fetching, Loading, Ready, Failed };

    // The download of `url` into `file` has been started.
    void BeginFetch(const std::string& url, const std::string& file);
    void OnFetchProgress(uint64_t received, uint64_t total);
    // The download ended. When it succeeded, the file is queued with `loader`; otherwise the
    // image fails at once. False when nothing was queued (failed download, loader shut down).
    bool OnFetchFinished(bool ok, CImageLoader& loader, const SSize* box, IImageCallback* callback, bool urgent);

    EStage GetStage() const { return stage_.load(); }
    const std::string& GetUrl() const { return url_; }
    const std::string& GetFile() const { return file_; }
    // Percent of the download received, 0 while the size is unknown.
    uint32_t GetPercent() const;

private:
    class CDone;
    std::atomic<EStage> stage_{EStage::Idle};
    std::string url_, file_;
    std::atomic<uint64_t> received_{0}, total_{0};
};

}  // namespace plover
