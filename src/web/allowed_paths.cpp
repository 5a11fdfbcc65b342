#include "web/allowed_paths.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace plover::web {
namespace {

constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxName = 255;

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> r(::realpath(path.c_str(), nullptr), &std::free);
    return r ? std::string(r.get()) : std::string();
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EntryExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The first resolved root that holds `path` (by IsSameOrBelow), or "".
std::string RootOf(const std::string& path, const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        std::string r = RealFolder(root);
        if (!r.empty() && IsSameOrBelow(path, r)) return r;
    }
    return {};
}

}  // namespace

bool IsPlainAbsolutePath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > kMaxPath || path.find('\0') != std::string::npos) return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string_view name(path.data() + start, end - start);
        if (name == "." || name == "..") return false;
        start = end + 1;
    }
    return true;
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxName && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string TrimFolder(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool IsSameOrBelow(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

std::string RealFolder(const std::string& folder) {
    if (folder.empty()) return {};
    std::string r = RealPath(folder);
    return !r.empty() && IsFolder(r) ? r : std::string();
}

bool ResolveAllowed(const std::string& path, const std::vector<std::string>& roots, EPathUse use,
                    std::string& resolved, std::string* root) {
    if (!IsPlainAbsolutePath(path)) return false;
    std::string found, inside;
    if (use == EPathUse::Change) {
        std::string trimmed = TrimFolder(path);
        size_t slash = trimmed.rfind('/');
        std::string name = trimmed.substr(slash + 1);
        std::string parent = RealPath(slash == 0 ? "/" : trimmed.substr(0, slash));
        if (!IsPlainName(name) || parent.empty() || !IsFolder(parent)) return false;
        found = (parent == "/" ? parent : parent + "/") + name;
        if (!EntryExists(found)) return false;
        inside = RootOf(parent, roots);
    } else {
        found = RealPath(path);
        if (found.empty()) return false;
        if (use == EPathUse::Read ? !IsRegularFile(found) : !IsFolder(found)) return false;
        inside = RootOf(found, roots);
        // A file is never a root itself; a folder listing may be the root.
        if (use == EPathUse::Read && found == inside) return false;
    }
    if (inside.empty()) return false;
    resolved = found;
    if (root) *root = inside;
    return true;
}

}  // namespace plover::web
