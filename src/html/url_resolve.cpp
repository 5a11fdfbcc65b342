#include "html/url_resolve.h"

namespace plover {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of a leading "scheme:" (letters first, then letters, digits, "+", "-", "."), or 0.
size_t SchemeLength(std::string_view url) {
    if (url.empty() || !IsAlpha(url[0])) return 0;
    for (size_t i = 1; i < url.size(); ++i) {
        char c = url[i];
        if (c == ':') return i + 1;
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return 0;
    }
    return 0;
}

// A base address cut into "scheme://server[:port]" (origin, empty when the base has none), its
// path, and what follows the path ("?query#fragment").
struct SBaseParts {
    std::string_view origin;
    std::string_view path;
    std::string_view query;  // from "?" or "#" to the end
};

SBaseParts SplitBase(std::string_view base) {
    SBaseParts parts;
    size_t scheme = SchemeLength(base);
    size_t pathStart = 0;
    if (scheme > 0 && base.substr(scheme, 2) == "//") {
        pathStart = base.find_first_of("/?#", scheme + 2);
        if (pathStart == std::string_view::npos) pathStart = base.size();
        parts.origin = base.substr(0, pathStart);
    }
    size_t pathEnd = base.find_first_of("?#", pathStart);
    if (pathEnd == std::string_view::npos) pathEnd = base.size();
    parts.path = base.substr(pathStart, pathEnd - pathStart);
    parts.query = base.substr(pathEnd);
    return parts;
}

// The path up to and including its n-th "/" counted from the end. With an origin the cut never
// goes above the root "/"; without one, a path with fewer slashes is kept whole.
std::string_view CutFolder(std::string_view path, size_t n, bool hasOrigin) {
    size_t end = path.size();
    for (size_t found = 0; found < n; ++found) {
        size_t slash = end == 0 ? std::string_view::npos : path.rfind('/', end - 1);
        if (slash == std::string_view::npos) return hasOrigin ? path.substr(0, end) : path;
        end = slash;
    }
    return path.substr(0, end + 1);
}

std::string Concat(std::string_view a, std::string_view b, std::string_view c = {}) {
    std::string out;
    out.reserve(a.size() + b.size() + c.size());
    out.append(a).append(b).append(c);
    return out;
}

}  // namespace

std::string ResolveUrl(std::string_view link, std::string_view base) {
    if (SchemeLength(link) > 0) return std::string(link);
    SBaseParts b = SplitBase(base);
    bool hasOrigin = !b.origin.empty();
    std::string_view path = hasOrigin && b.path.empty() ? std::string_view("/") : b.path;

    if (link.substr(0, 2) == "//") {
        size_t scheme = SchemeLength(base);
        return Concat(scheme > 0 ? base.substr(0, scheme) : "http:", link);
    }
    if (!link.empty() && link[0] == '/') return Concat(hasOrigin ? b.origin : "http://", link);
    if (link.empty() || link[0] == '#') {
        size_t fragment = base.find('#');
        return Concat(base.substr(0, fragment), link);
    }
    if (link[0] == '?') return Concat(b.origin, path, link);

    size_t n = 1;
    while (link.substr(0, 3) == "../") {
        link.remove_prefix(3);
        ++n;
    }
    if (hasOrigin) {
        // The root "/" of a path with an origin is its first character; the cut keeps it.
        std::string_view folder = CutFolder(path, n, true);
        if (folder.empty() || folder.back() != '/') folder = path.substr(0, 1);
        return Concat(b.origin, folder, link);
    }
    return Concat(CutFolder(base, n, false), link);
}

}  // namespace plover
