#include "download/url_name.h"

#include <cctype>

namespace plover {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsUnfitInName(char c) {
    switch (c) {
        case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return true;
        default:
            return false;
    }
}

bool HasUnfit(std::string_view s) {
    for (char c : s)
        if (IsUnfitInName(c)) return true;
    return false;
}

bool IsNameChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '-';
}

// Cuts a name that holds unfit characters after the nearest character, searching backwards,
// that is not a name character and leaves more than one character after it.
std::string CutName(std::string_view name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (IsNameChar(name[i])) continue;
        if (name.size() - i - 1 > 1) return std::string(name.substr(i + 1));
    }
    return {};
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// "scheme://..." with any scheme: an absolute address (https, ...), never a path on the server.
bool HasScheme(std::string_view s) {
    size_t sep = s.find("://");
    if (sep == std::string_view::npos || sep == 0) return false;
    for (size_t i = 0; i < sep; ++i) {
        unsigned char u = static_cast<unsigned char>(s[i]);
        if (!(std::isalpha(u) || (i > 0 && (std::isdigit(u) || s[i] == '+' || s[i] == '-' || s[i] == '.'))))
            return false;
    }
    return true;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string DeriveFileName(std::string_view object) {
    size_t slash = object.find_last_of("/\\");
    std::string_view last = slash == std::string_view::npos ? object : object.substr(slash + 1);
    size_t dot = last.rfind('.');
    std::string_view name = dot == std::string_view::npos ? last : last.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view{} : last.substr(dot);
    if (HasUnfit(ext)) return {};
    std::string result(name);
    if (HasUnfit(name) && ext.size() > 1) {
        result = CutName(name);
        if (result.empty()) return {};
    }
    return result + std::string(ext);
}

std::string MakeSafeFileName(std::string_view name) {
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) continue;
        out += c == '|' ? '_' : c;
    }
    if (out == "." || out == "..") return {};
    return out;
}

std::string BuildRemoteUrl(int32_t service, const SLogin& login, std::string_view server, uint16_t port,
                           std::string_view object) {
    const bool http = service == SERVICE_HTTP;
    std::string url = http ? "http://" : "ftp://";
    if (login.Login != 0 && !login.Username.empty()) {
        url += login.Username;
        url += "@";
    }
    url += server;
    if (port != (http ? 80 : 21)) url += ":" + std::to_string(port);
    url += object;
    return url;
}

std::string AddressWithoutPassword(std::string_view address) {
    size_t scheme = address.find("://");
    if (scheme == std::string_view::npos) return std::string(address);
    size_t start = scheme + 3;
    size_t end = address.find_first_of("/?#", start);
    if (end == std::string_view::npos) end = address.size();
    size_t at = address.substr(0, end).rfind('@');
    if (at == std::string_view::npos || at < start) return std::string(address);
    size_t colon = address.substr(0, at).find(':', start);
    if (colon == std::string_view::npos) return std::string(address);
    return std::string(address.substr(0, colon)) + std::string(address.substr(at));
}

std::string RedirectTarget(int32_t service, std::string_view server, std::string_view location) {
    if (StartsWithNoCase(location, "ftp:") || StartsWithNoCase(location, "http:") || HasScheme(location))
        return std::string(location);
    std::string out = service == SERVICE_FTP ? "ftp://" : "http://";
    out += server;
    if (location.empty() || (location.front() != '/' && location.front() != '\\')) out += "/";
    out += location;
    return out;
}

std::string StorableAddress(std::string_view address) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (char c : address) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '|' || u < 0x20 || u == 0x7f) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace plover
