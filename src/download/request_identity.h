#pragma once
// What an HTTP request says besides its address: the browser identity (User-Agent) and the
// cookies, and what an answer gives back (Set-Cookie). The request builder takes both as plain
// text; this is where they are chosen:
//  - User-Agent: the site's own (site properties), else the setting "csUserAgent": empty for a
//    current mainstream browser's identity (many hosts refuse the program's 1999 one), "classic"
//    for that old one, any other text as it stands;
//  - Cookie: the site's cookie line, then the cookies of the run's jar that belong to the address
//    (cookie_jar.h). The jar holds the file given for the run (--cookies), else the file of the
//    setting "csCookieFile", read at the first request; Set-Cookie answers join it for the run.
#include <string>

#include "download/download_config.h"
#include "download/http_request.h"
#include "download/http_response.h"
#include "net/cookie_rules.h"

namespace plover {

inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
    "Safari/537.36";
inline constexpr const char* kClassicUserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows98)";

// The User-Agent a setting (or a site's value) stands for.
std::string UserAgentOf(const std::string& setting);

// Where a download's requests go, for the cookie rules: its host, its path without the query,
// and whether it is https.
SCookieOrigin CookieOriginOf(const std::string& server, const std::string& object, int32_t service);

// Fills the request's User-Agent and Cookie for its server and object.
void AddIdentityHeaders(SHttpRequest& request);

// Keeps the Set-Cookie lines of an answer from that address in the run's jar.
void KeepAnswerCookies(const std::string& server, const std::string& object, int32_t service,
                       const SHttpResponse& response);

// The run's cookie file: read now into the jar (it replaces the setting's file for this run).
// False with the reason in *error when it cannot be read.
bool LoadRunCookieFile(const std::string& path, std::string* error);
// Reads the setting's file into the jar unless the run's jar has had its file already.
void ReadSettingCookieFileOnce();
// Writes the jar to `path` atomically; false with the reason in *error.
bool SaveRunCookieFile(const std::string& path, std::string* error);

}  // namespace plover
