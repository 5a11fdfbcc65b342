#include "download/http_request.h"

#include <strings.h>

namespace plover {
namespace {

constexpr std::string_view kClassicAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows98)";

// A value taken from an address or a stored setting must not be able to end the header line it
// stands in and smuggle in another header: CR, LF and NUL are dropped.
std::string OneLine(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

std::string AuthorizationLine(const SHttpRequest& r) {
    if (!r.login) return {};
    // One header line: a line break inside the Base64 text would end the header there, and
    // servers then refuse the login (or the whole request).
    return "Authorization: Basic " + Base64Encode(OneLine(r.user) + ":" + OneLine(r.password)) + "\r\n";
}

std::string ReferrerLine(const SHttpRequest& r) {
    if (r.referrer.empty()) return {};
    std::string ref = OneLine(r.referrer);
    bool absolute = StartsWithNoCase(ref, "http://") || StartsWithNoCase(ref, "https://");
    return absolute ? "Referer: " + ref + "\r\n" : "Referer: http://" + ref + "\r\n";
}

std::string AgentAndAccept(const SHttpRequest& r) {
    std::string agent = r.userAgent.empty() ? std::string(kClassicAgent) : OneLine(r.userAgent);
    return std::string(r.keepAlive ? " HTTP/1.1" : " HTTP/1.0") + "\r\nUser-Agent: " + agent + "\r\nAccept: */*\r\n";
}

std::string CookieLine(const SHttpRequest& r) {
    if (r.cookie.empty()) return {};
    return "Cookie: " + OneLine(r.cookie) + "\r\n";
}

std::string IfModifiedSinceLine(const SHttpRequest& r) {
    if (r.ifModifiedSince.empty()) return {};
    return "If-Modified-Since: " + OneLine(r.ifModifiedSince) + "\r\n";
}

// "server" or "server:port": a port other than the scheme's default is written, so that the proxy
// (from the request line) and the server (from "Host") learn it; servers build addresses from it.
std::string HostAndPort(const SHttpRequest& r) {
    std::string host = OneLine(r.server);
    uint16_t defaultPort = ServiceDefaultPort(r.service);
    if (r.port != 0 && r.port != defaultPort) host += ":" + std::to_string(r.port);
    return host;
}

// The target of the request line: the path, or through the proxy the absolute address.
std::string RequestTarget(const SHttpRequest& r) {
    std::string object = OneLine(r.object);
    if (object.empty()) object = "/";
    std::string escaped;  // a blank would end the target early: it travels as "%20"
    for (char c : object) escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    object.swap(escaped);
    // An https request goes through the proxy's tunnel, where the server sees it as sent directly.
    if (!r.viaProxy || r.service == SERVICE_HTTPS) return object;
    return std::string(ServiceScheme(r.service)) + "://" + HostAndPort(r) + object;
}

}  // namespace

std::string Base64Encode(std::string_view bytes, size_t lineLength) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t onLine = 0;
    auto put = [&](char c) {
        if (lineLength && onLine == lineLength) {
            out += "\r\n";
            onLine = 0;
        }
        out += c;
        ++onLine;
    };
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    size_t rest = bytes.size() - i;
    if (rest) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | (rest == 2 ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0);
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    if (lineLength) out += "\r\n";
    return out;
}

uint32_t ChooseRequestKind(bool wholeFile, bool probe) {
    if (wholeFile) return HTTP_REQUEST_WHOLE;
    return probe ? HTTP_REQUEST_PLAIN : HTTP_REQUEST_RANGED;
}

std::string BuildHttpRequest(const SHttpRequest& r) {
    std::string text = "GET " + RequestTarget(r);
    text += AgentAndAccept(r);
    text += AuthorizationLine(r);
    text += ReferrerLine(r);
    text += IfModifiedSinceLine(r);
    text += CookieLine(r);
    text += "Host: " + HostAndPort(r);
    if (r.kind == HTTP_REQUEST_RANGED && r.rangeEnd != 0xFFFFFFFFu)
        text += "\r\nRange: bytes=" + std::to_string(r.rangeStart) + "-" + std::to_string(r.rangeEnd);
    if (r.keepAlive) text += "\r\nConnection: keep-alive";
    text += "\r\n\r\n";
    return text;
}

std::string BuildConnectRequest(const std::string& server, uint16_t port) {
    std::string authority = OneLine(server) + ":" + std::to_string(port);
    return "CONNECT " + authority + " HTTP/1.0\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows98)\r\nHost: " +
           authority + "\r\n\r\n";
}

}  // namespace plover
