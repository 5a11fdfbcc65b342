#include "web/frame_page.h"

#include <cctype>

#include "html/html_entities.h"
#include "html/url_resolve.h"

namespace plover::web {
namespace {

struct SAttr {
    std::string name;    // lower case
    size_t start, end;   // the whole attribute in the tag, name to the end of its value
    std::string value;   // decoded
};

struct STag {
    std::string name;  // lower case; "" for a closing tag, a comment or a declaration
    size_t end;        // one past the ">"
    std::vector<SAttr> attrs;
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/'; }

// The tag that begins at html[at] == '<'.
STag ReadTag(std::string_view html, size_t at) {
    STag tag{"", html.size(), {}};
    size_t i = at + 1;
    if (html.substr(at, 4) == "<!--") {
        size_t close = html.find("-->", at + 4);
        tag.end = close == std::string_view::npos ? html.size() : close + 3;
        return tag;
    }
    if (i >= html.size() || !std::isalpha(static_cast<unsigned char>(html[i]))) {
        size_t close = html.find('>', i);
        tag.end = close == std::string_view::npos ? html.size() : close + 1;
        return tag;
    }
    size_t nameStart = i;
    while (i < html.size() && !IsSpace(html[i]) && html[i] != '>') ++i;
    tag.name = Lower(html.substr(nameStart, i - nameStart));
    while (i < html.size()) {
        while (i < html.size() && IsSpace(html[i])) ++i;
        if (i >= html.size()) break;
        if (html[i] == '>') {
            tag.end = i + 1;
            return tag;
        }
        size_t start = i;
        while (i < html.size() && !IsSpace(html[i]) && html[i] != '>' && html[i] != '=') ++i;
        SAttr attr{Lower(html.substr(start, i - start)), start, i, ""};
        size_t j = i;
        while (j < html.size() && IsSpace(html[j]) && html[j] != '/') ++j;
        if (j < html.size() && html[j] == '=') {
            i = j + 1;
            while (i < html.size() && IsSpace(html[i]) && html[i] != '/') ++i;
            size_t vs = i, ve;
            if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
                char q = html[i];
                size_t close = html.find(q, i + 1);
                ve = close == std::string_view::npos ? html.size() : close;
                vs = i + 1;
                i = ve < html.size() ? ve + 1 : ve;
            } else {
                while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) && html[i] != '>') ++i;
                ve = i;
            }
            attr.value = html::DecodeReferences(html.substr(vs, ve - vs), html::ERefContext::Attribute);
            attr.end = i;
        }
        if (start == i) ++i;  // a stray character
        tag.attrs.push_back(std::move(attr));
    }
    return tag;
}

std::string Escaped(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

const SAttr* Find(const STag& tag, std::string_view name) {
    for (const SAttr& a : tag.attrs)
        if (a.name == name) return &a;
    return nullptr;
}

bool FollowsThrough(const std::string& address) {
    std::string lower = Lower(address.substr(0, 8));
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

// The tag written again with the given attributes left out and others added at its end.
std::string Rewritten(std::string_view html, size_t at, const STag& tag, const std::vector<std::string>& drop,
                      const std::string& added) {
    std::string out;
    size_t from = at;
    for (const SAttr& a : tag.attrs) {
        bool dropped = false;
        for (const std::string& d : drop) dropped = dropped || a.name == d;
        if (!dropped) continue;
        out.append(html.substr(from, a.start - from));
        while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
        from = a.end;
    }
    size_t close = tag.end - 1;  // the ">"
    if (close > from && html[close - 1] == '/') --close;
    out.append(html.substr(from, close - from));
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
    out += added;
    out.append(html.substr(close, tag.end - close));
    return out;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string RewriteFramePage(std::string_view html, const std::string& pageUrl, const std::string& relay,
                             const std::string& key) {
    std::string out;
    out.reserve(html.size() + 512);
    const std::string base = "<base href=\"" + Escaped(pageUrl) + "\">";
    const std::string keyPart = std::string(kFrameKeyParam) + "=" + PercentEncode(key);
    bool baseWritten = false;
    size_t from = 0;
    for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', from)) {
        STag tag = ReadTag(html, at);
        out.append(html.substr(from, at - from));
        if (html[tag.end - 1] != '>') {
            // A tag the page never closes: a browser shows nothing of it either.
            from = html.size();
            break;
        }
        from = tag.end;
        const std::string& name = tag.name;
        if (name == "script" || name == "style" || name == "textarea" || name == "title") {
            // Their text is not markup: copied up to their end tag.
            out.append(html.substr(at, tag.end - at));
            size_t close = Lower(html.substr(tag.end)).find("</" + name);
            size_t stop = close == std::string::npos ? html.size() : tag.end + close;
            out.append(html.substr(tag.end, stop - tag.end));
            from = stop;
            continue;
        }
        if (name == "a" || name == "area") {
            const SAttr* href = Find(tag, "href");
            if (href) {
                std::string target = ResolveUrl(href->value, pageUrl);
                std::string link = FollowsThrough(target)
                                       ? relay + "?" + keyPart + "&" + kFrameUrlParam + "=" + PercentEncode(target)
                                       : "#";
                out += Rewritten(html, at, tag, {"href", "target"}, " href=\"" + Escaped(link) + "\"");
                continue;
            }
        } else if (name == "form") {
            const SAttr* action = Find(tag, "action");
            std::string target = ResolveUrl(action ? action->value : "", pageUrl);
            out += Rewritten(html, at, tag, {"action", "method", "target", "enctype"},
                             " action=\"" + Escaped(relay) + "\" method=\"get\"");
            out += "<input type=\"hidden\" name=\"" + std::string(kFrameKeyParam) + "\" value=\"" + Escaped(key) +
                   "\"><input type=\"hidden\" name=\"" + kFrameUrlParam + "\" value=\"" + Escaped(target) +
                   "\"><input type=\"hidden\" name=\"" + kFrameFormParam + "\" value=\"1\">";
            continue;
        } else if (name == "meta") {
            const SAttr* equiv = Find(tag, "http-equiv");
            if (equiv && Lower(equiv->value) == "refresh") {
                out += Rewritten(html, at, tag, {"http-equiv", "content"}, "");
                continue;
            }
        }
        out.append(html.substr(at, tag.end - at));
        // The base goes first in the head, so that it rules every address after it.
        if (!baseWritten && (name == "head" || name == "html")) {
            if (name == "head" || Lower(html.substr(tag.end, 64)).find("<head") == std::string::npos) {
                out += base;
                baseWritten = true;
            }
        }
    }
    out.append(html.substr(from));
    return baseWritten ? out : base + out;
}

std::string FrameTarget(std::string_view rawQuery) {
    std::string url, fields;
    bool form = false;
    size_t i = 0;
    while (i <= rawQuery.size()) {
        size_t amp = rawQuery.find('&', i);
        if (amp == std::string_view::npos) amp = rawQuery.size();
        std::string_view part = rawQuery.substr(i, amp - i);
        size_t eq = part.find('=');
        std::string_view name = part.substr(0, eq);
        if (name == kFrameUrlParam) {
            std::string raw(eq == std::string_view::npos ? "" : part.substr(eq + 1));
            for (char& c : raw)
                if (c == '+') c = ' ';
            // Percent-decoding of the address itself.
            for (size_t k = 0; k < raw.size(); ++k) {
                if (raw[k] == '%' && k + 2 < raw.size() + 0 && std::isxdigit(static_cast<unsigned char>(raw[k + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(raw[k + 2]))) {
                    url += char(std::stoi(raw.substr(k + 1, 2), nullptr, 16));
                    k += 2;
                } else {
                    url += raw[k];
                }
            }
        } else if (name == kFrameFormParam) {
            form = true;
        } else if (name != kFrameKeyParam && !part.empty()) {
            fields += (fields.empty() ? "" : "&") + std::string(part);
        }
        i = amp + 1;
    }
    if (url.empty() || !FollowsThrough(url)) return {};
    if (!form) return url;
    // A form's fields replace the query of its action, as a browser sends a GET form.
    url = url.substr(0, url.find_first_of("?#"));
    return fields.empty() ? url + "?" : url + "?" + fields;
}

}  // namespace plover::web
