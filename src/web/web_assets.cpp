#include "web/web_assets.h"

namespace plover::web {

const SWebAsset* FindAsset(const std::string& path) {
    for (const SWebAsset* a = kWebAssets; a->path; ++a)
        if (path == a->path) return a;
    return nullptr;
}

const char* MimeType(const std::string& path) {
    auto ends = [&](const char* ext) {
        std::string e(ext);
        return path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".js")) return "text/javascript; charset=utf-8";
    if (ends(".css")) return "text/css; charset=utf-8";
    if (ends(".svg")) return "image/svg+xml";
    if (ends(".png")) return "image/png";
    if (ends(".json")) return "application/json";
    return "application/octet-stream";
}

}  // namespace plover::web
