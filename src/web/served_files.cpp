#include "web/served_files.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace plover::web {
namespace {

std::string RealPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return {};
    std::unique_ptr<char, decltype(&std::free)> r(::realpath(path.c_str(), nullptr), &std::free);
    return r ? std::string(r.get()) : std::string();
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Strictly below folder by whole names: "/a/b" holds "/a/b/x", not "/a/bc/x" nor "/a/b" itself.
bool IsBelow(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() || !StartsWith(path, folder)) return false;
    return folder.back() == '/' || path[folder.size()] == '/';
}

}  // namespace

const char* PictureMimeType(std::string_view head) {
    if (StartsWith(head, "\xFF\xD8\xFF")) return "image/jpeg";
    if (StartsWith(head, "\x89PNG\r\n\x1A\n")) return "image/png";
    if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) return "image/gif";
    if (StartsWith(head, "BM") && head.size() >= 14) return "image/bmp";
    if (head.size() >= 12 && StartsWith(head, "RIFF") && head.substr(8, 4) == "WEBP") return "image/webp";
    return "";
}

std::string ResolveServedFile(const std::string& path, const std::vector<std::string>& folders) {
    std::string real = RealPath(path);
    struct stat st;
    if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    for (const std::string& folder : folders) {
        std::string root = RealPath(folder);
        if (!root.empty() && IsBelow(real, root)) return real;
    }
    return {};
}

bool ReadServedFile(const std::string& path, size_t maxBytes, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0 || size_t(size) > maxBytes) return false;
    in.seekg(0);
    out.resize(size_t(size));
    return bool(in.read(out.data(), size)) || size == 0;
}

}  // namespace plover::web
