#include "download/request_identity.h"

#include <strings.h>

#include <atomic>
#include <cstring>

#include "app/settings.h"
#include "download/site_prop.h"
#include "net/cookie_jar.h"

namespace plover {

namespace {

// Whether the run's jar has been given its file: the run's own, or the setting's at the first
// request. Either happens once.
std::atomic<bool> g_cookieFileRead{false};

bool HeaderNamed(const std::string& line, const char* name, std::string_view& value) {
    size_t n = std::strlen(name);
    if (line.size() <= n || strncasecmp(line.c_str(), name, n) != 0 || line[n] != ':') return false;
    value = std::string_view(line).substr(n + 1);
    return true;
}

}  // namespace

std::string UserAgentOf(const std::string& setting) {
    if (setting.empty()) return kBrowserUserAgent;
    if (strcasecmp(setting.c_str(), "classic") == 0) return kClassicUserAgent;
    return setting;
}

SCookieOrigin CookieOriginOf(const std::string& server, const std::string& object, int32_t service) {
    SCookieOrigin origin;
    for (char c : server) origin.host += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    origin.path = object.substr(0, object.find_first_of("?#"));
    if (origin.path.empty() || origin.path[0] != '/') origin.path = "/" + origin.path;
    origin.secure = service == SERVICE_HTTPS;
    return origin;
}

void AddIdentityHeaders(SHttpRequest& r) {
    SSiteRequestProps site = SiteRequestProps(r.server);
    r.userAgent = UserAgentOf(site.userAgent.empty() ? GetSettings().csUserAgent : site.userAgent);
    if (!IsHttpService(r.service)) return;  // an FTP address through the proxy: no cookies
    ReadSettingCookieFileOnce();
    std::string jar = RunCookieJar().HeaderFor(CookieOriginOf(r.server, r.object, r.service), CCookieJar::Now());
    r.cookie = site.cookie;
    if (!r.cookie.empty() && !jar.empty()) r.cookie += "; ";
    r.cookie += jar;
}

void KeepAnswerCookies(const std::string& server, const std::string& object, int32_t service,
                       const SHttpResponse& response) {
    if (!IsHttpService(service)) return;
    SCookieOrigin origin;
    bool any = false;
    for (const std::string& line : response.lines) {
        std::string_view value;
        if (!HeaderNamed(line, "Set-Cookie", value)) continue;
        if (!any) {
            origin = CookieOriginOf(server, object, service);
            ReadSettingCookieFileOnce();  // the file's cookies first, so that the answer's replace them
            any = true;
        }
        RunCookieJar().TakeSetCookie(value, origin, CCookieJar::Now());
    }
}

bool LoadRunCookieFile(const std::string& path, std::string* error) {
    g_cookieFileRead = true;
    CCookieJar::SLoadResult r = RunCookieJar().Load(path, CCookieJar::Now());
    if (r.error) {
        if (error) *error = "cannot read the cookie file " + path + ": " + std::strerror(r.error);
        return false;
    }
    return true;
}

void ReadSettingCookieFileOnce() {
    if (g_cookieFileRead.exchange(true)) return;
    const std::string& path = GetSettings().csCookieFile;
    if (!path.empty()) RunCookieJar().Load(path, CCookieJar::Now());
}

bool SaveRunCookieFile(const std::string& path, std::string* error) {
    ReadSettingCookieFileOnce();  // a run that fetched nothing still keeps the file's cookies
    return RunCookieJar().Save(path, CCookieJar::Now(), error);
}

}  // namespace plover
