#include "image/image_loader.h"

#include <strings.h>

#include "platform/tick.h"

namespace plover {

bool CImageLoader::Load(CBRImage* image, const std::string& path, const SSize* box, IImageCallback* callback,
                        bool urgent) {
    if (!image) return false;
    std::optional<CEvent> done;
    if (!callback) done.emplace(false);
    {
        CAutoCriticalSection lock(queue_);
        if (!run_ || stopped_) return false;
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        image->SetPath(path);
        auto* request = new SImageInfo;
        request->path = path;
        request->image = image;
        if (box) request->box = *box;
        request->callback = RefPtr<IImageCallback>(callback);
        request->done = done ? &*done : nullptr;
        ++image->pending_;
        image->loader_ = this;
        if (urgent) requests_.InsertAt(0, request);
        else requests_.Add(request);
        wake_.Set();
    }
    if (done) {
        done->Wait(-1);
        // The event is always set under the queue lock; taking the lock once makes sure the
        // setter has let go of the event before it is destroyed here.
        CAutoCriticalSection lock(queue_);
    }
    return true;
}

bool CImageLoader::Cancel(const std::string& path) {
    CAutoCriticalSection lock(queue_);
    for (size_t i = 0; i < requests_.GetSize(); ++i) {
        SImageInfo* request = requests_[i];
        if (request->path.size() == path.size() && strcasecmp(request->path.c_str(), path.c_str()) == 0) {
            requests_.RemoveAt(i);
            DestroyRequest(request);
            return true;
        }
    }
    return false;
}

void CImageLoader::Pause() {
    CAutoCriticalSection lock(processing_);
    paused_ = true;
}

void CImageLoader::Resume() {
    CAutoCriticalSection lock(processing_);
    paused_ = false;
}

bool CImageLoader::IsPaused() {
    CAutoCriticalSection lock(processing_);
    return paused_;
}

size_t CImageLoader::QueuedCount() {
    CAutoCriticalSection lock(queue_);
    return requests_.GetSize();
}

void CImageLoader::Shutdown() {
    std::thread thread;
    {
        CAutoCriticalSection lock(queue_);
        run_ = false;
        thread = std::move(thread_);
    }
    wake_.Set();
    if (thread.joinable()) {
        // From a callback on the loader thread itself the thread cannot be joined: it ends by
        // itself when the callback returns, and closes the queue then.
        if (thread.get_id() == std::this_thread::get_id()) thread.detach();
        else thread.join();
    }
    CAutoCriticalSection lock(queue_);
    stopped_ = true;
    while (!requests_.IsEmpty()) {
        SImageInfo* request = requests_[0];
        requests_.RemoveAt(0);
        DestroyRequest(request);
    }
}

void CImageLoader::Run() {
    while (run_) HandleOne();
    CAutoCriticalSection lock(queue_);
    stopped_ = true;
    while (!requests_.IsEmpty()) {
        SImageInfo* request = requests_[0];
        requests_.RemoveAt(0);
        DestroyRequest(request);
    }
}

// One turn of the loader thread; false when there was nothing to do.
bool CImageLoader::HandleOne() {
    processing_.lock();
    if (paused_) {
        processing_.unlock();
        SleepMs(1);
        return false;
    }
    queue_.lock();
    if (requests_.IsEmpty()) {
        wake_.Reset();  // under the queue lock: a request queued after this sets it again
        queue_.unlock();
        processing_.unlock();
        wake_.Wait(10);
        return false;
    }
    SImageInfo* request = requests_[0];
    RefPtr<IImageCallback> extra = request->callback;  // kept until the processing lock is released
    requests_.RemoveAt(0);
    current_ = request;
    CBRImage* image = request->image;
    queue_.unlock();

    image->LoadFromFile(request->path, request->box ? &*request->box : nullptr);

    queue_.lock();
    if (request->callback) request->callback->OnLoadComplete(0);
    else request->SignalDone();
    current_ = nullptr;
    DestroyRequest(request);
    queue_.unlock();
    processing_.unlock();
    extra.Reset();
    return true;
}

void CImageLoader::DestroyRequest(SImageInfo* request) {
    if (CBRImage* image = request->image) {
        if (--image->pending_ == 0) image->loader_ = nullptr;
    }
    delete request;
}

void CImageLoader::Forget(CBRImage* image) {
    bool busy = false;
    {
        CAutoCriticalSection lock(queue_);
        for (size_t i = requests_.GetSize(); i-- > 0;) {
            SImageInfo* request = requests_[i];
            if (request->image != image) continue;
            requests_.RemoveAt(i);
            DestroyRequest(request);
        }
        if (current_ && current_->image == image) {
            // The loader thread keeps its own pointer until this picture is done; the request
            // no longer names the image, so its destruction leaves the image alone.
            current_->image = nullptr;
            if (--image->pending_ == 0) image->loader_ = nullptr;
            busy = true;
        }
    }
    // Wait for the picture being decoded into the image (at once on the loader thread itself,
    // when a callback destroys the image: the lock is re-entrant and the decoding is over).
    if (busy) CAutoCriticalSection wait(processing_);
}

namespace NImageLoader {

CImageLoader& Instance() {
    static CImageLoader* loader = new CImageLoader;  // lives as long as the process
    return *loader;
}

bool Load(CBRImage* image, const std::string& path, const SSize* box, IImageCallback* callback, bool urgent) {
    return Instance().Load(image, path, box, callback, urgent);
}
bool Cancel(const std::string& path) { return Instance().Cancel(path); }
void Pause() { Instance().Pause(); }
void Resume() { Instance().Resume(); }
void Shutdown() { Instance().Shutdown(); }

}  // namespace NImageLoader

}  // namespace plover
