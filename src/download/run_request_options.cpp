#include "download/run_request_options.h"

#include <strings.h>

#include <cmath>
#include <memory>
#include <mutex>

namespace plover {
namespace {

bool IsTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::mutex g_lock;
std::shared_ptr<const std::vector<SHeaderLine>> g_lines;

}  // namespace

std::optional<uint32_t> ParseRate(std::string_view text) {
    double unit = 1;
    if (!text.empty()) {
        char last = text.back();
        if (last == 'k' || last == 'K') unit = 1024;
        if (last == 'm' || last == 'M') unit = 1024.0 * 1024;
        if (unit != 1) text.remove_suffix(1);
    }
    if (text.empty()) return std::nullopt;
    double value = 0, scale = 0;
    for (char c : text) {
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            if (scale != 0) scale /= 10;
            value = scale != 0 ? value + (c - '0') * scale : value * 10 + (c - '0');
        } else {
            return std::nullopt;
        }
        if (value > 1e12) return std::nullopt;
    }
    double bytes = std::floor(value * unit);
    if (bytes < 1 || bytes > 4294967294.0) return std::nullopt;  // 0xFFFFFFFF means "no quota"
    return uint32_t(bytes);
}

std::optional<SHeaderLine> ParseHeaderLine(std::string_view text) {
    if (text.find_first_of("\r\n", 0) != std::string_view::npos || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view name = text.substr(0, colon);
    if (name.empty()) return std::nullopt;
    for (char c : name)
        if (!IsTokenChar(c)) return std::nullopt;
    return SHeaderLine{std::string(name), std::string(Trim(text.substr(colon + 1)))};
}

std::string WithHeaderLines(std::string request, const std::vector<SHeaderLine>& lines) {
    for (const SHeaderLine& h : lines) {
        // Header lines follow the request line; each starts after a CR LF.
        bool replaced = false;
        for (size_t at = request.find("\r\n"); at != std::string::npos; at = request.find("\r\n", at + 2)) {
            size_t start = at + 2;
            size_t end = request.find("\r\n", start);
            if (end == std::string::npos || end == start) break;  // the empty line ends the header
            if (end - start > h.name.size() && request[start + h.name.size()] == ':' &&
                strncasecmp(request.data() + start, h.name.data(), h.name.size()) == 0) {
                request.replace(start, end - start, h.name + ": " + h.value);
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        size_t blank = request.find("\r\n\r\n");
        if (blank == std::string::npos) continue;
        request.insert(blank + 2, h.name + ": " + h.value + "\r\n");
    }
    return request;
}

void SetRunHeaderLines(std::vector<SHeaderLine> lines) {
    auto shared = std::make_shared<const std::vector<SHeaderLine>>(std::move(lines));
    std::lock_guard g(g_lock);
    g_lines = std::move(shared);
}

std::string WithRunHeaderLines(std::string request) {
    std::shared_ptr<const std::vector<SHeaderLine>> lines;
    {
        std::lock_guard g(g_lock);
        lines = g_lines;
    }
    return lines && !lines->empty() ? WithHeaderLines(std::move(request), *lines) : request;
}

}  // namespace plover
