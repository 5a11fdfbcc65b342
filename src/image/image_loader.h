#pragma once
// The image loader: one background thread for the whole process that decodes pictures for the
// thumbnails and the viewer, from a queue of load requests.
//
// A request (NImageLoader::SImageInfo) names a file, the image to fill, an optional size box
// and an optional callback. With a callback, Load returns at once and the callback's
// OnLoadComplete(0) is called on the loader thread when the request has been handled, whether
// or not the picture could be decoded (the image's loaded flag tells). Without one, Load waits
// until its picture has been handled. Urgent requests go to the front of the queue.
//
// Locks: the processing lock (outer) is held by the loader thread for the whole handling of one
// request; the queue lock (inner) guards the queue. Load and Cancel take only the queue lock,
// Pause and Resume only the processing lock. Callbacks run on the loader thread under the queue
// lock: a callback must not wait for another thread that is queuing or cancelling.
//
// The thread starts with the first request and runs until Shutdown, which clears the run flag,
// joins the thread and destroys what is still queued; it is never restarted. A waiting caller
// whose request is cancelled or dropped at shutdown is released with its image not loaded.
//
// NImageLoader's free functions use the process-wide loader; the application's shutdown calls
// NImageLoader::Shutdown() (it is safe to call more than once). Tests make loaders of their own.
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "engine/containers.h"
#include "image/bitmap.h"
#include "image/br_image.h"
#include "platform/com.h"
#include "platform/event.h"

namespace plover {

inline constexpr GUID IID_IImageCallback = MakeGuid("5D0C7B1E-93A4-4F6B-8E21-7C3F0A9D4B62");

// Told when a load request has been handled. `code` is always 0.
struct IImageCallback : IUnknown {
    virtual void OnLoadComplete(uint32_t code) = 0;

protected:
    ~IImageCallback() = default;
};

// A heap-allocated callback with its reference count: created with a count of 1 (the creator's,
// taken over with RefPtr::Adopt), deleted by its last Release. Subclasses give OnLoadComplete.
class CImageCallback : public IImageCallback {
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

protected:
    virtual ~CImageCallback() = default;
    int32_t Refs() const { return refs_.Value(); }

private:
    RefCount refs_;
};

namespace NImageLoader {

// One load request.
struct SImageInfo {
    std::string path;
    CBRImage* image = nullptr;
    std::optional<SSize> box;          // owned copy of the size box, or none
    RefPtr<IImageCallback> callback;   // reference held for the request's life
    CEvent* done = nullptr;            // the waiting caller's event (no callback)

    SImageInfo() = default;
    SImageInfo(const SImageInfo&) = delete;
    SImageInfo& operator=(const SImageInfo&) = delete;
    // Releases a waiting caller that has not been released yet.
    ~SImageInfo() { SignalDone(); }
    void SignalDone() {
        if (CEvent* e = std::exchange(done, nullptr)) e->Set();
    }
};

}  // namespace NImageLoader

class CImageLoader {
public:
    CImageLoader() = default;
    ~CImageLoader() { Shutdown(); }
    CImageLoader(const CImageLoader&) = delete;
    CImageLoader& operator=(const CImageLoader&) = delete;

    // Records `path` in the image and queues the request (see above). False when the loader has
    // been shut down: nothing is queued, the callback is never called.
    bool Load(CBRImage* image, const std::string& path, const SSize* box, IImageCallback* callback, bool urgent);
    // Removes and destroys the first queued request whose path equals `path`, ignoring case.
    bool Cancel(const std::string& path);
    void Pause();
    void Resume();
    bool IsPaused();
    size_t QueuedCount();
    void Shutdown();

private:
    friend class CBRImage;
    using SImageInfo = NImageLoader::SImageInfo;

    void Run();
    bool HandleOne();
    void DestroyRequest(SImageInfo* request);  // under the queue lock
    void Forget(CBRImage* image);              // the image is being destroyed

    CCriticalSection processing_;
    CCriticalSection queue_;
    CGCPtrArray<SImageInfo> requests_;  // guarded by queue_
    SImageInfo* current_ = nullptr;     // the request being handled; guarded by queue_
    bool paused_ = false;               // guarded by processing_
    std::atomic<bool> run_{true};
    bool stopped_ = false;              // guarded by queue_: the queue is closed for good
    std::thread thread_;                // guarded by queue_
    CEvent wake_;                       // set when a request arrives or at shutdown
};

namespace NImageLoader {

CImageLoader& Instance();
bool Load(CBRImage* image, const std::string& path, const SSize* box, IImageCallback* callback, bool urgent);
bool Cancel(const std::string& path);
void Pause();
void Resume();
// The application's shutdown step: clears the run flag, waits for the loader thread without a
// time limit (it notices between pictures) and forgets it.
void Shutdown();

}  // namespace NImageLoader

}  // namespace plover
