#include "download/site_prop.h"

#include <strings.h>

#include <mutex>

#include "app/reg_key.h"
#include "platform/url_split.h"

namespace plover {
namespace {

constexpr const char* kSitesKey = "Sites";
constexpr const char* kLoginKey = "Login";

std::vector<SSiteProp>& Sites() {
    static std::vector<SSiteProp> sites;
    return sites;
}

// Guards the array against SiteRequestProps on the workers' thread.
std::recursive_mutex& SitesLock() {
    static std::recursive_mutex lock;
    return lock;
}

bool SameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool LoadOne(CBRRegKey& sites, const std::string& name, SSiteProp& out) {
    CBRRegKey login;
    if (!login.OpenForRead(sites, (name + "\\" + kLoginKey).c_str())) return false;
    out.site = name;
    login.ReadDWord("bLogin", out.login.Login);
    login.ReadString("Username", out.login.Username);
    login.ReadString("Password", out.login.Password, 1);
    CBRRegKey own;
    if (own.OpenForRead(sites, name.c_str())) {
        own.ReadString("csCookie", out.cookie);
        own.ReadString("csUserAgent", out.userAgent);
        own.ReadDWord("dwMaxConnections", out.maxConnections);
    }
    return true;
}

bool SaveOne(CBRRegKey& sites, const SSiteProp& site) {
    CBRRegKey login;
    if (!login.OpenForWrite(sites, (site.site + "\\" + kLoginKey).c_str())) return false;
    bool ok = login.WriteDWord("bLogin", site.login.Login);
    ok = login.WriteString("Username", site.login.Username) && ok;
    ok = login.WriteString("Password", site.login.Password, 1) && ok;
    CBRRegKey own;
    if (site.cookie.empty() && site.userAgent.empty() && site.maxConnections == 0) return ok;
    if (!own.OpenForWrite(sites, site.site.c_str())) return false;
    ok = own.WriteString("csCookie", site.cookie) && ok;
    ok = own.WriteString("csUserAgent", site.userAgent) && ok;
    return own.WriteDWord("dwMaxConnections", site.maxConnections) && ok;
}

}  // namespace

std::string ServerPartOf(const std::string& address) {
    SUrlParts parts;
    if (!SplitUrl(address, parts)) return {};
    return parts.server;
}

bool SiteMatches(const SSiteProp& site, const char* hostOrAddress) {
    if (!hostOrAddress) return false;
    std::string x = hostOrAddress;
    if (SameText(site.site, x)) return true;
    std::string hx = ServerPartOf(x);
    std::string hs = ServerPartOf(site.site);
    if (!hx.empty() && (SameText(hx, site.site) || SameText(hx, hs))) return true;
    // A site stored as a full address also answers its bare host name, which has no server part
    // of its own: this test must not wait for one.
    return !hs.empty() && SameText(hs, x);
}

int GetSiteCount() { return int(Sites().size()); }

const SSiteProp* GetSite(int index) {
    if (index < 0 || index >= GetSiteCount()) return nullptr;
    return &Sites()[size_t(index)];
}

int FindSite(const char* host) {
    for (size_t i = 0; i < Sites().size(); ++i)
        if (SiteMatches(Sites()[i], host)) return int(i);
    return -1;
}

int FindSiteByName(const std::string& name) {
    for (size_t i = 0; i < Sites().size(); ++i)
        if (SameText(Sites()[i].site, name)) return int(i);
    return -1;
}

void AddSite(const SSiteProp& site) {
    std::lock_guard g(SitesLock());
    Sites().push_back(site);
}

void SetSite(const SSiteProp& site) {
    std::lock_guard g(SitesLock());
    int i = FindSiteByName(site.site);
    if (i < 0)
        AddSite(site);
    else
        Sites()[size_t(i)].login = site.login;
}

void SetSiteRequestProps(const SSiteProp& site) {
    std::lock_guard g(SitesLock());
    int i = FindSiteByName(site.site);
    if (i < 0) {
        SSiteProp added = site;
        added.login = SLogin{};
        AddSite(added);
        return;
    }
    SSiteProp& stored = Sites()[size_t(i)];
    stored.cookie = site.cookie;
    stored.userAgent = site.userAgent;
    stored.maxConnections = site.maxConnections;
}

bool RemoveSite(int index) {
    std::lock_guard g(SitesLock());
    if (index < 0 || index >= GetSiteCount()) return false;
    Sites().erase(Sites().begin() + index);
    return true;
}

bool ReplaceSite(int index, const SSiteProp& site) {
    std::lock_guard g(SitesLock());
    if (index < 0 || index >= GetSiteCount()) return false;
    Sites()[size_t(index)] = site;
    return true;
}

void ClearSites() {
    std::lock_guard g(SitesLock());
    Sites().clear();
}

SSiteRequestProps SiteRequestProps(const std::string& host) {
    std::lock_guard g(SitesLock());
    int i = FindSite(host.c_str());
    if (i < 0) return {};
    const SSiteProp& site = Sites()[size_t(i)];
    return {site.cookie, site.userAgent, site.maxConnections};
}

std::string SiteHostOf(const std::string& siteOrAddress) {
    if (siteOrAddress.find("://") != std::string::npos) return ServerPartOf(siteOrAddress);
    std::string host = siteOrAddress.substr(0, siteOrAddress.find_first_of("/?#"));
    if (size_t at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
    if (size_t colon = host.find(':'); colon != std::string::npos) host = host.substr(0, colon);
    return host;
}

bool IsStorableSiteName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (c == '\\' || c < 0x20 || c == 0x7F) return false;
    return true;
}

bool LoadSites(CBRRegKey& parent) {
    ClearSites();
    CBRRegKey sites;
    if (!sites.OpenForRead(parent, kSitesKey)) return false;
    std::string name;
    for (uint32_t i = 0; sites.EnumKey(i, name); ++i) {
        SSiteProp site;
        if (LoadOne(sites, name, site)) AddSite(site);
    }
    return true;
}

bool SaveSites(CBRRegKey& parent) {
    CBRRegKey::DeleteTree(parent, kSitesKey);
    CBRRegKey sites;
    if (!sites.OpenForWrite(parent, kSitesKey)) return false;
    bool ok = true;
    for (const SSiteProp& site : Sites())
        if (IsStorableSiteName(site.site)) ok = SaveOne(sites, site) && ok;
    return ok;
}

void SerializeSiteLogins(CBRRegKey& ploverKey, bool load) {
    if (load)
        LoadSites(ploverKey);
    else
        SaveSites(ploverKey);
}

void ApplySiteLogin(SDownloadConfig& config) {
    std::string server = config.Server.empty() ? ServerPartOf(config.URL_remote) : config.Server;
    int i = FindSite(server.c_str());
    if (i < 0) {
        config.Login = SLogin{};
        return;
    }
    const SSiteProp& site = Sites()[size_t(i)];
    config.Login = site.login.Login ? SLogin{1, site.login.Username, site.login.Password} : SLogin{};
}

}  // namespace plover
