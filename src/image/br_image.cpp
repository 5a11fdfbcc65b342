#include "image/br_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "image/decoder.h"
#include "image/fit.h"
#include "image/image_loader.h"

namespace plover {
namespace {

// No picture file of ours comes near this; a larger file is refused before it is read.
constexpr size_t kMaxFileBytes = size_t(1) << 30;

}  // namespace

bool ReadWholeFile(const std::string& path, size_t limit, std::string& bytes, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not block the loader
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) error = std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) ok = false, error = "not a regular file";
    else if (size_t(st.st_size) > limit) ok = false, error = "file too large";
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += size_t(n);
        }
        bytes.resize(got);  // a file that shrank while being read is decoded as it was found
    }
    close(fd);
    return ok;
}

CBRImage::~CBRImage() {
    if (CImageLoader* loader = loader_.load()) loader->Forget(this);
}

void CBRImage::Unload() {
    loaded_ = false;
    bitmap_.Clear();
}

bool CBRImage::LoadFromFile(const std::string& path, const SSize* box) {
    loaded_ = false;
    error_.clear();
    bitmap_.Clear();
    if (path.size() <= 1) {
        error_ = "bad path";
        return false;
    }
    try {
        return Decode(path, box);
    } catch (const std::bad_alloc&) {
        bitmap_.Clear();
        error_ = "out of memory";
        return false;
    }
}

bool CBRImage::Decode(const std::string& path, const SSize* box) {
    std::string bytes;
    if (!ReadWholeFile(path, kMaxFileBytes, bytes, error_)) return false;
    SDecodeOptions opt;
    if (box) opt.box = *box;
    SBitmap decoded;
    if (!DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), opt, decoded, error_)) return false;
    bytes = std::string();
    if (box) {
        SSize fit = FitToBox(decoded.sourceWidth, decoded.sourceHeight, box->cx, box->cy);
        if (fit.cx != decoded.width || fit.cy != decoded.height) {
            decoded = Resample(decoded, fit.cx, fit.cy);
        }
    }
    bitmap_ = std::move(decoded);
    loaded_ = true;
    return true;
}

}  // namespace plover
