#include "net/cookie_jar.h"

#include <algorithm>
#include <ctime>

#include "net/public_suffix.h"
#include "platform/file_io.h"

namespace plover {

CCookieJar::CCookieJar(const CPublicSuffixList& suffixes) : suffixes_(&suffixes) {}

CCookieJar::CCookieJar(const CPublicSuffixList& (*suffixes)()) : source_(suffixes) {}

int64_t CCookieJar::Now() { return int64_t(std::time(nullptr)); }

CCookieJar::SLoadResult CCookieJar::Load(const std::string& path, int64_t now) {
    SLoadResult result;
    std::string text;
    result.error = ReadWholeFile(path, &text, kMaxCookieFileBytes);
    if (result.error) return result;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        std::optional<SCookie> cookie = ParseCookieFileLine(line, Suffixes());
        if (!cookie) {
            bool comment = line.find_first_not_of(" \t\r") == std::string_view::npos ||
                           (line[0] == '#' && line.substr(0, 10) != "#HttpOnly_");
            if (!comment) ++result.skipped;
            continue;
        }
        if (cookie->expires != 0 && cookie->expires <= now) continue;
        if (result.loaded >= kMaxCookies) {
            ++result.skipped;  // a jar holds no more: the rest of a huge file is not looked at
            continue;
        }
        Store(*cookie, now);
        ++result.loaded;
    }
    return result;
}

bool CCookieJar::Save(const std::string& path, int64_t now, std::string* error) const {
    std::string text = "# Netscape HTTP Cookie File\n# Written by Plover.\n\n";
    {
        std::lock_guard g(lock_);
        for (const SCookie& c : cookies_)
            if (c.expires > now) text += FormatCookieFileLine(c) + "\n";
    }
    return SaveFileAtomically(path, text, SSaveOptions{}, error);
}

std::string CCookieJar::HeaderFor(const SCookieOrigin& origin, int64_t now) const {
    std::vector<const SCookie*> matching;
    std::lock_guard g(lock_);
    for (const SCookie& c : cookies_)
        if (CookieApplies(c, origin, now)) matching.push_back(&c);
    // Longer paths first; among equal paths the older cookie first.
    std::stable_sort(matching.begin(), matching.end(),
                     [](const SCookie* a, const SCookie* b) { return a->path.size() > b->path.size(); });
    std::string header;
    for (const SCookie* c : matching) {
        size_t more = (header.empty() ? 0 : 2) + c->name.size() + 1 + c->value.size();
        if (header.size() + more > kMaxCookieHeader) continue;
        if (!header.empty()) header += "; ";
        header += c->name + "=" + c->value;
    }
    return header;
}

bool CCookieJar::TakeSetCookie(std::string_view header, const SCookieOrigin& origin, int64_t now) {
    std::optional<SCookie> cookie = ParseSetCookie(header, origin, now, Suffixes());
    if (!cookie) return false;
    Store(*cookie, now);
    return true;
}

void CCookieJar::Store(const SCookie& cookie, int64_t now) {
    std::lock_guard g(lock_);
    auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const SCookie& c) {
        return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (same != cookies_.end()) cookies_.erase(same);
    if (cookie.expires != 0 && cookie.expires <= now) return;  // a deletion
    cookies_.push_back(cookie);
    EvictBeyondBounds(cookie.domain);
}

void CCookieJar::EvictBeyondBounds(const std::string& domain) {
    size_t ofDomain = size_t(std::count_if(cookies_.begin(), cookies_.end(),
                                           [&](const SCookie& c) { return c.domain == domain; }));
    if (ofDomain > kMaxCookiesPerDomain)
        cookies_.erase(std::find_if(cookies_.begin(), cookies_.end(),
                                    [&](const SCookie& c) { return c.domain == domain; }));
    if (cookies_.size() > kMaxCookies) cookies_.erase(cookies_.begin());
}

size_t CCookieJar::Size() const {
    std::lock_guard g(lock_);
    return cookies_.size();
}

void CCookieJar::Clear() {
    std::lock_guard g(lock_);
    cookies_.clear();
}

CCookieJar& RunCookieJar() {
    static CCookieJar jar(&SystemPublicSuffixes);
    return jar;
}

}  // namespace plover
