// Feeds arbitrary text to the cookie readers: every line as a cookies.txt line and as a
// Set-Cookie answer of a plain and of an https origin, and the whole text as a date. Nothing may
// crash; whatever is accepted must belong to its origin, be bounded, and survive a write and a
// read of the file format unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/cookie_rules.h"
#include "net/http_date.h"
#include "net/public_suffix.h"

using namespace plover;

namespace {

const CPublicSuffixList& Suffixes() {
    static const CPublicSuffixList list = [] {
        CPublicSuffixList l;
        l.Parse("com\nco.uk\nuk\n*.ck\n!www.ck\n");
        return l;
    }();
    return list;
}

void Check(const SCookie& c) {
    if (c.name.empty() || c.name.size() + c.value.size() > kMaxCookieBytes) abort();
    if (c.path.empty() || c.path[0] != '/') abort();
    if (!c.hostOnly && (Suffixes().IsPublicSuffix(c.domain) || IsIpAddress(c.domain))) abort();
    std::string line = FormatCookieFileLine(c);
    std::optional<SCookie> back = ParseCookieFileLine(line, Suffixes());
    if (!back || !(*back == c)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    ParseHttpDate(text);
    const SCookieOrigin origins[] = {{"www.example.com", "/g/p.html", false}, {"a.b.co.uk", "/", true}};
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (auto c = ParseCookieFileLine(line, Suffixes())) Check(*c);
        for (const SCookieOrigin& origin : origins) {
            auto c = ParseSetCookie(line, origin, 1780000000, Suffixes());
            if (!c) continue;
            if (!DomainMatches(origin.host, *c)) abort();  // never another site's cookie
            if (c->secure && !origin.secure) abort();
            if (c->expires > 1780000000 + kMaxCookieLifetime) abort();
            Check(*c);
        }
    }
    return 0;
}
