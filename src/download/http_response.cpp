#include "download/http_response.h"

#include <strings.h>

namespace plover {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Reads a run of digits at the front of s into a value below 0xFFFFFFFF; nullopt when there is
// none or it does not fit. s is advanced past the digits.
std::optional<uint32_t> TakeNumber(std::string_view& s) {
    if (s.empty() || !IsDigit(s.front())) return std::nullopt;
    uint64_t v = 0;
    while (!s.empty() && IsDigit(s.front())) {
        v = v * 10 + uint64_t(s.front() - '0');
        if (v >= 0xFFFFFFFFull) return std::nullopt;
        s.remove_prefix(1);
    }
    return uint32_t(v);
}

uint32_t StatusOf(std::string_view firstLine) {
    if (firstLine.size() <= 8) return 0;
    std::string_view rest = firstLine.substr(8);
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    uint32_t code = 0;
    for (size_t i = 0; i < rest.size() && i < 9 && IsDigit(rest[i]); ++i) code = code * 10 + uint32_t(rest[i] - '0');
    return code;
}

}  // namespace

std::optional<std::string> SHttpResponse::Find(std::string_view name) const {
    for (const std::string& line : lines) {
        if (line.size() < name.size() || strncasecmp(line.data(), name.data(), name.size()) != 0) continue;
        std::string_view rest = std::string_view(line).substr(name.size());
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        // "Content-Length" must not answer for a line "Content-Length-Extra: ...".
        if (rest.empty() || rest.front() != ':') continue;
        return std::string(Trim(rest.substr(1)));
    }
    return std::nullopt;
}

CHttpHeaderReader::EResult CHttpHeaderReader::Feed(const uint8_t* data, size_t length, size_t* bodyOffset) {
    if (state_ != HEADER_INCOMPLETE) return state_;
    static constexpr char kHttp[] = "HTTP";
    for (size_t i = 0; i < length; ++i) {
        char c = char(data[i]);
        bool lineWasEmpty = !collected_.empty() && (collected_.back() == '\n');
        if (c == '\0') return state_ = collected_.size() < 4 ? HEADER_NOT_HTTP : HEADER_MALFORMED;
        if (c == '\n' && lineWasEmpty) {
            if (collected_.size() < 4) return state_ = HEADER_NOT_HTTP;
            *bodyOffset = i + 1;
            Parse();
            return state_ = HEADER_DONE;
        }
        if (c == '\r') continue;  // CR carries no meaning: "\r\n\r\n" and "\n\n" both end the header
        size_t at = collected_.size();
        if (at < 4 && AsciiLower(c) != AsciiLower(kHttp[at])) return state_ = HEADER_NOT_HTTP;
        if (at >= kMaxHeader) return state_ = HEADER_TOO_LONG;
        collected_ += c;
    }
    return HEADER_INCOMPLETE;
}

void CHttpHeaderReader::Parse() {
    std::string_view all(collected_);
    while (!all.empty() && all.back() == '\n') all.remove_suffix(1);
    response_.text.assign(all);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        response_.lines.emplace_back(all.substr(start, end - start));
        start = end + 1;
    }
    response_.status = StatusOf(response_.lines.front());
}

std::optional<uint32_t> ParseContentLength(std::string_view value) {
    std::string_view s = Trim(value);
    std::optional<uint32_t> n = TakeNumber(s);
    if (!n || !s.empty()) return std::nullopt;
    return n;
}

std::optional<SContentRange> ParseContentRange(std::string_view value) {
    std::string_view s = Trim(value);
    if (s.size() < 5 || strncasecmp(s.data(), "bytes", 5) != 0) return std::nullopt;
    s.remove_prefix(5);
    if (!s.empty() && s.front() == '=') s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    SContentRange r;
    std::optional<uint32_t> first = TakeNumber(s);
    if (!first || s.empty() || s.front() != '-') return std::nullopt;
    s.remove_prefix(1);
    std::optional<uint32_t> last = TakeNumber(s);
    if (!last || *last < *first || s.empty() || s.front() != '/') return std::nullopt;
    s.remove_prefix(1);
    r.first = *first;
    r.last = *last;
    if (s == "*") return r;
    std::optional<uint32_t> total = TakeNumber(s);
    if (!total || !s.empty() || *last >= *total) return std::nullopt;
    r.total = *total;
    return r;
}

std::string ServerFileNameFromDisposition(std::string_view value) {
    std::string lower;
    for (char c : value) lower += AsciiLower(c);
    size_t at = lower.find("filename=");
    if (at == std::string::npos) return {};
    std::string_view rest = std::string_view(lower).substr(at + 9);
    rest = rest.substr(0, rest.find(';'));
    std::string name;
    for (char c : rest) {
        if (c == '"') continue;
        if (c == '/' || c == '\\') {  // a path: only its last part is a name
            name.clear();
            continue;
        }
        if (uint8_t(c) < 0x20 || c == 0x7f) continue;
        name += c;
    }
    std::string_view trimmed = Trim(name);
    if (trimmed == "." || trimmed == "..") return {};
    return std::string(trimmed);
}

bool IsHtmlContentType(std::string_view value) {
    std::string lower;
    for (char c : value) lower += AsciiLower(c);
    return lower.find("text/html") != std::string::npos;
}

}  // namespace plover
