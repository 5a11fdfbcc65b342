#include "download/page_test.h"

#include <strings.h>

#include <algorithm>
#include <string>

namespace plover {
namespace {

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           strncasecmp(s.data() + s.size() - suffix.size(), suffix.data(), suffix.size()) == 0;
}

bool PageByOwnRules(std::string_view url) {
    if (std::count_if(url.begin(), url.end(), [](char c) { return c == '/' || c == '\\'; }) == 2) return true;
    size_t dot = url.rfind('.');
    if (dot == std::string_view::npos) return true;
    std::string_view ext = url.substr(dot + 1);
    if (ext.size() >= 8 || !std::all_of(ext.begin(), ext.end(), IsAlnum)) return true;
    static constexpr std::string_view kPageEndings[] = {"htm", "html", "shtml", "dhtml", "cgi", "php",
                                                        "asp", "aspx", "jsp", "pl", "do"};
    return std::any_of(std::begin(kPageEndings), std::end(kPageEndings),
                       [&](std::string_view e) { return EndsWithNoCase(url, e); });
}

// Offset of the first "http://", "https://" or "ftp://" after the first character, or npos.
size_t EmbeddedAddress(std::string_view url) {
    std::string lower(url);
    for (char& c : lower) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t http = lower.find("http://", 1);
    size_t https = lower.find("https://", 1);
    size_t ftp = lower.find("ftp://", 1);
    return std::min({http, https, ftp});
}

}  // namespace

bool LooksLikePage(std::string_view url) {
    // Each round looks at a strictly shorter tail, so this ends.
    while (true) {
        if (PageByOwnRules(url)) return true;
        size_t at = url.empty() ? std::string_view::npos : EmbeddedAddress(url);
        if (at == std::string_view::npos) return false;
        url = url.substr(at);
    }
}

}  // namespace plover
