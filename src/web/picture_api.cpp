#include "web/picture_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <strings.h>

#include "image/image_loader.h"
#include "image/jpeg_writer.h"
#include "image/png_writer.h"
#include "web/allowed_paths.h"
#include "web/picture_names.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

namespace fs = std::filesystem;

constexpr int kJpegQuality = 88;
constexpr size_t kMaxListed = 20000;

SPictureAnswer Refused(int status, const std::string& message) {
    return {status, "application/json",
            nlohmann::json{{"error", message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}};
}

// Changes whenever the file or the box does, so a cached answer is reused only while it is right.
std::string ETagOf(const struct stat& st, const std::string& box) {
    char tag[160];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx-%llx.%lx-%s\"", (unsigned long long)st.st_dev,
                  (unsigned long long)st.st_ino, (unsigned long long)st.st_size, (unsigned long long)st.st_mtim.tv_sec,
                  (long)st.st_mtim.tv_nsec, box.c_str());
    return tag;
}

std::string RandomId() {
    std::random_device rd;
    char id[17];
    std::snprintf(id, sizeof id, "%08x%08x", rd(), rd());
    return id;
}

}  // namespace

bool ParseBox(const std::string& text, uint32_t& width, uint32_t& height) {
    unsigned w = 0, h = 0;
    char x = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%u%c%u%c", &w, &x, &h, &rest) != 3 || x != 'x') return false;
    if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
    width = w;
    height = h;
    return true;
}

SPictureAnswer ServePicture(const std::vector<std::string>& roots, const std::string& path, const std::string& box,
                            bool urgent, const std::string& ifNoneMatch) {
    SSize size;
    if (!box.empty() && !ParseBox(box, size.cx, size.cy)) return Refused(400, "\"box\" must be WIDTHxHEIGHT, each 1 to 16384.");
    std::string resolved;
    if (!ResolveAllowed(path, roots, EPathUse::Read, resolved))
        return Refused(403, "Not a picture of a basket or a preview: " + ValidUtf8(path));
    struct stat st;
    if (::stat(resolved.c_str(), &st) != 0) return Refused(404, "The file is gone.");
    std::string etag = ETagOf(st, box);
    if (ifNoneMatch == etag) return {304, "", "", {{"ETag", etag}}};

    // Waits for the loader; the viewer's picture is urgent. A request cancelled meanwhile (the
    // viewer moved on) comes back not loaded and without a reason.
    CBRImage image;
    if (!NImageLoader::Load(&image, resolved, box.empty() ? nullptr : &size, nullptr, urgent))
        return Refused(503, "Plover is stopping.");
    if (!image.IsLoaded())
        return image.GetError().empty() ? Refused(409, "The picture was no longer wanted.")
                                        : Refused(422, "This picture cannot be shown: " + image.GetError());
    const SBitmap& bmp = image.GetBitmap();
    std::vector<uint8_t> bytes;
    std::string error;
    bool png = bmp.HasTransparency();
    if (!(png ? EncodePng(bmp, bytes, error) : EncodeJpeg(bmp, kJpegQuality, bytes, error)))
        return Refused(500, "The picture could not be encoded: " + error);
    SPictureAnswer answer;
    answer.contentType = png ? "image/png" : "image/jpeg";
    answer.body.assign(bytes.begin(), bytes.end());
    answer.headers = {{"ETag", etag},
                      {"Cache-Control", "private, no-cache"},
                      {"X-Picture-Format", ImageFormatName(image.GetFormat())},
                      {"X-Picture-Width", std::to_string(image.GetSourceWidth())},
                      {"X-Picture-Height", std::to_string(image.GetSourceHeight())},
                      {"X-Picture-Depth", std::to_string(image.GetBitDepth())}};
    return answer;
}

SApiAnswer CancelPicture(const std::vector<std::string>& roots, const nlohmann::json& body) {
    if (!body.contains("path") || !body["path"].is_string()) return ApiError(400, "\"path\" must be a text.");
    std::string resolved;
    if (!ResolveAllowed(body["path"].get<std::string>(), roots, EPathUse::Read, resolved))
        return ApiError(403, "Not a picture of a basket or a preview.");
    return {200, {{"cancelled", NImageLoader::Cancel(resolved)}}};
}

SApiAnswer PictureFolder(const std::vector<std::string>& roots, const std::string& path) {
    std::string resolved, folder;
    if (!ResolveAllowed(path, roots, EPathUse::Read, resolved)) return ApiError(403, "Not a picture of a basket or a preview.");
    // The names are listed in the folder as the page named it, so that they match its paths.
    std::string given = TrimFolder(path);
    folder = given.substr(0, given.rfind('/'));
    if (folder.empty()) folder = "/";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end && names.size() < kMaxListed; it.increment(ec)) {
        std::string name = it->path().filename().string(), ignored;
        if (IsPictureName(name) && ResolveAllowed(it->path().string(), roots, EPathUse::Read, ignored))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    std::string own = given.substr(given.rfind('/') + 1);
    nlohmann::json pictures = nlohmann::json::array();
    int index = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == own) index = int(i);
        pictures.push_back(ValidUtf8((folder == "/" ? "" : folder) + "/" + names[i]));
    }
    return {200, {{"folder", ValidUtf8(folder)}, {"pictures", pictures}, {"index", index}}};
}

// ---- CLocalPictures ----

void CLocalPictures::Clear() {
    std::lock_guard g(lock_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
    fs::create_directories(folder_, ec);
    ::chmod(folder_.c_str(), 0700);
    open_.clear();
    finished_.clear();
}

SApiAnswer CLocalPictures::Receive(const std::string& name, const std::string& id, uint64_t offset, uint64_t total,
                                   const std::string& bytes) {
    if (total == 0 || total > kMaxSize) return ApiError(413, "A picture opened here may have at most 64 MiB.");
    std::lock_guard g(lock_);
    SUpload* upload = nullptr;
    std::string key = id;
    if (offset == 0 && id.empty()) {
        std::string safe = IsPlainName(name) ? name : "picture";
        if (safe.size() > 100) safe = safe.substr(safe.size() - 100);
        // Pieces that never came to an end are given up before another file starts.
        if (open_.size() >= kKept) {
            for (const auto& [k, u] : open_) ::unlink(u.path.c_str());
            open_.clear();
        }
        key = RandomId();
        upload = &open_[key];
        upload->path = folder_ + "/" + key + "-" + safe;
        upload->total = total;
        int fd = ::open(upload->path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            open_.erase(key);
            return ApiError(507, "The picture cannot be kept in " + ValidUtf8(folder_));
        }
        ::close(fd);
    } else {
        auto it = open_.find(id);
        if (it == open_.end()) return ApiError(404, "No such picture is being received.");
        upload = &it->second;
    }
    if (offset != upload->received || upload->total != total || offset + bytes.size() > total)
        return ApiError(400, "The pieces must come in order and add up to the total.");
    int fd = ::open(upload->path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    if (fd >= 0) ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(upload->path.c_str());
        open_.erase(key);
        return ApiError(507, "The picture cannot be kept in " + ValidUtf8(folder_));
    }
    upload->received += bytes.size();
    if (upload->received < total) return {200, {{"id", key}, {"received", upload->received}}};
    std::string path = upload->path;
    open_.erase(key);
    finished_.push_back(path);
    if (finished_.size() > kKept) {
        ::unlink(finished_.front().c_str());
        finished_.erase(finished_.begin());
    }
    return {200, {{"id", key}, {"path", ValidUtf8(path)}}};
}

}  // namespace plover::web
