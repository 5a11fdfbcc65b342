#pragma once
// Stored site logins. A site is named by a host name or by an address; its login (flag, user
// name, password) is applied to every new download of that site before it is added. The sites
// live in one process-wide array in the order they were added, loaded from the settings key
// "Sites" at start-up (one subkey per site, the login in its subkey "Login": "bLogin",
// "Username", "Password" in the encoded form) and written back whole at exit. Beside its login a
// site may carry what its requests send besides: a cookie line, its own User-Agent and its own
// limit of connections at once (values "csCookie", "csUserAgent", "dwMaxConnections" of the
// site's subkey); a site without a login keeps the flag 0 and sends none.
//
// Matching a site s against a host or address x: s's name equals x; or the server part of x
// equals s's name; or the server parts of both are equal; or the server part of s's name equals
// x (all case-insensitive). So a bare host name matches any address on that host and a full
// address matches its bare host name.
#include <string>
#include <vector>

#include "download/download_config.h"

namespace plover {

class CBRRegKey;

struct SSiteProp {
    std::string site;
    SLogin login;
    // Each empty (0) for the program's settings.
    std::string cookie{};         // "name=value; name2=value2", sent with every request to the site
    std::string userAgent{};      // the site's own User-Agent
    uint32_t maxConnections = 0;  // the site's own limit of connections at once
};

// What requests to a host take from its site (the first matching one), copied under the sites'
// lock: workers ask from the downloader's thread while a front end may change the sites.
struct SSiteRequestProps {
    std::string cookie, userAgent;
    uint32_t maxConnections = 0;
};
SSiteRequestProps SiteRequestProps(const std::string& host);

// The server part of an address parsed as a URL; empty when it has none.
std::string ServerPartOf(const std::string& address);
bool SiteMatches(const SSiteProp& site, const char* hostOrAddress);

// The process-wide array (changed only on the front end's thread).
int GetSiteCount();
const SSiteProp* GetSite(int index);  // null when out of range
// The index of the first site matching host, or -1.
int FindSite(const char* host);
// The index of the site stored under exactly this name (case-insensitive), or -1.
int FindSiteByName(const std::string& name);
void AddSite(const SSiteProp& site);
// Adds the site, or replaces the login of the one stored under the same name.
void SetSite(const SSiteProp& site);
// Adds the site without a login, or replaces the cookie line, User-Agent and connection limit of
// the one stored under the same name (its login stays).
void SetSiteRequestProps(const SSiteProp& site);
bool RemoveSite(int index);
// Puts site in the place of the one at index (its order kept); false when out of range.
bool ReplaceSite(int index, const SSiteProp& site);
// The host a site given by the user stands for: the server part of an address
// ("http://host:8080/gallery/" gives "host"), or a host name without its login and port
// ("localhost:8080" gives "localhost"). Downloads are matched by their server alone, so a port or
// a path would make a site that never matches. Empty when no host is named.
std::string SiteHostOf(const std::string& siteOrAddress);
// Whether a site name can be a key of the store: not empty, no "\" (the store's path separator),
// no control characters.
bool IsStorableSiteName(const std::string& name);
void ClearSites();

// Load all sites from the "Sites" subkey of the program's key (replacing the array), and save
// all of them (the "Sites" key is deleted and written again). False when the key cannot be
// opened or written.
bool LoadSites(CBRRegKey& parent);
bool SaveSites(CBRRegKey& parent);
// The start-up's hook: LoadSites on load, SaveSites on save.
void SerializeSiteLogins(CBRRegKey& ploverKey, bool load);

// The login of the site matching the configuration's server part (flag 1, its user name and
// password); (0, empty, empty) when none matches or the site keeps no login.
void ApplySiteLogin(SDownloadConfig& config);

}  // namespace plover
