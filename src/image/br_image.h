#pragma once
// CBRImage: a picture for the thumbnails and the viewer. It holds the decoded bitmap (RGBA,
// with the file's format, own size and bit depth), a loaded flag, the path last requested for
// it and, when a load failed, the reason.
//
// LoadFromFile decodes synchronously on the calling thread; most callers instead queue the
// image with the image loader (image_loader.h), which fills it on its own thread. The bitmap
// belongs to whichever thread is loading it until that load's completion has been reported; the
// owner reads it after that. Destroying an image takes back every request still queued for it
// and, if the loader is filling it at that moment, waits for that picture to finish.
#include <atomic>
#include <cstdint>
#include <string>

#include "image/bitmap.h"

namespace plover {

class CImageLoader;

class CBRImage {
public:
    CBRImage() = default;
    virtual ~CBRImage();
    CBRImage(const CBRImage&) = delete;
    CBRImage& operator=(const CBRImage&) = delete;

    // Decodes the file at `path` (format from its content) and, when `box` is given and the
    // picture does not fit in it, shrinks it to the fitted size. On failure the loaded flag is
    // cleared, the bitmap emptied and GetError() says why. A path of one character fails at once.
    bool LoadFromFile(const std::string& path, const SSize* box);

    bool IsLoaded() const { return loaded_.load(); }
    const std::string& GetError() const { return error_; }
    // The path of the last request made for this image (set when the request is queued).
    const std::string& GetPath() const { return path_; }
    void SetPath(const std::string& path) { path_ = path; }

    uint32_t GetWidth() const { return bitmap_.width; }
    uint32_t GetHeight() const { return bitmap_.height; }
    uint32_t GetBitDepth() const { return bitmap_.bitDepth; }
    // The picture's own size before any fitting.
    uint32_t GetSourceWidth() const { return bitmap_.sourceWidth; }
    uint32_t GetSourceHeight() const { return bitmap_.sourceHeight; }
    EImageFormat GetFormat() const { return bitmap_.format; }
    const SBitmap& GetBitmap() const { return bitmap_; }
    // Frees the pixels and clears the loaded flag.
    void Unload();

private:
    friend class CImageLoader;
    bool Decode(const std::string& path, const SSize* box);

    SBitmap bitmap_;
    std::atomic<bool> loaded_{false};
    std::string path_;
    std::string error_;
    // Requests of a loader that still name this image; both guarded by that loader's queue lock.
    std::atomic<CImageLoader*> loader_{nullptr};
    uint32_t pending_ = 0;
};

// Reads a whole file; false with a reason when it cannot be read or is larger than `limit`.
bool ReadWholeFile(const std::string& path, size_t limit, std::string& bytes, std::string& error);

}  // namespace plover
