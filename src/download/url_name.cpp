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

// The scheme a location begins with ("javascript" of "javascript:void(0)"): a letter, then
// letters, digits, "+", "-" or ".", then ":". Empty for a path, relative or not ("a/b:c" is a path).
std::string_view SchemeOf(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.front()))) return {};
    for (size_t i = 1; i < s.size(); ++i) {
        unsigned char u = static_cast<unsigned char>(s[i]);
        if (s[i] == ':') return s.substr(0, i);
        if (!(std::isalnum(u) || s[i] == '+' || s[i] == '-' || s[i] == '.')) return {};
    }
    return {};
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
    return FitFileName(out, kMaxFileNameBytes);
}

std::string FitFileName(std::string_view name, size_t maxBytes) {
    if (name.size() <= maxBytes) return std::string(name);
    // Never cut inside a UTF-8 character: back up over its continuation bytes.
    auto cutAt = [&](size_t at) {
        while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) --at;
        return at;
    };
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot >= maxBytes)
        return std::string(name.substr(0, cutAt(maxBytes)));  // no extension that fits: just cut
    std::string_view ext = name.substr(dot);
    size_t keep = cutAt(maxBytes - ext.size());
    if (keep == 0) return std::string(name.substr(0, cutAt(maxBytes)));
    return std::string(name.substr(0, keep)) + std::string(ext);
}

std::string BuildRemoteUrl(int32_t service, const SLogin& login, std::string_view server, uint16_t port,
                           std::string_view object) {
    std::string url = std::string(ServiceScheme(service)) + "://";
    if (login.Login != 0 && !login.Username.empty()) {
        url += login.Username;
        url += "@";
    }
    url += server;
    if (port != ServiceDefaultPort(service)) url += ":" + std::to_string(port);
    url += object;
    return url;
}

bool IsFollowedScheme(std::string_view scheme) {
    return EqualsNoCase(scheme, "http") || EqualsNoCase(scheme, "https") || EqualsNoCase(scheme, "ftp");
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
    if (location.empty()) return {};
    if (std::string_view scheme = SchemeOf(location); !scheme.empty())
        return IsFollowedScheme(scheme) ? std::string(location) : std::string();
    // "//host/path" names another server under the current scheme.
    if (location.substr(0, 2) == "//") return std::string(ServiceScheme(service)) + ":" + std::string(location);
    std::string out = std::string(ServiceScheme(service)) + "://";
    out += server;
    if (location.front() != '/' && location.front() != '\\') out += "/";
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
