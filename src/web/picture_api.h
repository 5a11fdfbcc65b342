#pragma once
// Pictures for the page: every picture the basket window, its preview and the image viewer show is
// decoded and fitted by the image loader on the server and sent as JPEG (opaque pictures) or PNG
// (with transparency), never as the file itself, so a hostile file reaches no decoder but ours.
//
//   GET  /picture?path=P&box=WxH&urgent=1  the picture fitted into the box (its own size without one);
//                                           the headers X-Picture-Format, -Width, -Height (its own size)
//                                           and -Depth describe it; ETag and If-None-Match spare a decode
//   POST /api/pictures/cancel {"path"}     the viewer moved on: its queued request is dropped
//   GET  /api/pictures/folder?path=P       the pictures of P's folder in name order, for previous and next
//   POST /api/pictures/local?name=N&total=T&offset=O[&id=I]   a local file the user opened, sent in
//                                           pieces of at most 1 MiB (the server's request limit); the
//                                           last piece answers its path, which the viewer then shows
//
// Only files below the allowed folders are read (allowed_paths.h). A request waits for the loader
// (urgent ones go to the front of its queue); a picture that cannot be decoded answers 422 with the
// reason, and the page shows a placeholder.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

struct SPictureAnswer {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// "WxH" with both sides from 1 to 16384; false otherwise.
bool ParseBox(const std::string& text, uint32_t& width, uint32_t& height);

SPictureAnswer ServePicture(const std::vector<std::string>& roots, const std::string& path, const std::string& box,
                            bool urgent, const std::string& ifNoneMatch);
SApiAnswer CancelPicture(const std::vector<std::string>& roots, const nlohmann::json& body);
SApiAnswer PictureFolder(const std::vector<std::string>& roots, const std::string& path);

// The local files the viewer was given, kept in a folder of their own below the cache folder (an
// allowed folder for pictures) and deleted when the server starts and stops.
class CLocalPictures {
public:
    static constexpr uint64_t kMaxSize = 64u << 20;
    static constexpr size_t kKept = 8;  // finished files kept; older ones are deleted

    explicit CLocalPictures(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }
    // Empties the folder (creating it when missing).
    void Clear();
    // One piece of a file; the first (offset 0, no id) opens a new one.
    SApiAnswer Receive(const std::string& name, const std::string& id, uint64_t offset, uint64_t total,
                       const std::string& bytes);

private:
    struct SUpload {
        std::string path;
        uint64_t total = 0, received = 0;
    };
    std::string folder_;
    std::mutex lock_;
    std::map<std::string, SUpload> open_;
    std::vector<std::string> finished_;
};

}  // namespace plover::web
