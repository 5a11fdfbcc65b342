#include "download/site_prop.h"

#include <strings.h>

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

bool SameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool LoadOne(CBRRegKey& sites, const std::string& name, SSiteProp& out) {
    CBRRegKey login;
    if (!login.OpenForRead(sites, (name + "\\" + kLoginKey).c_str())) return false;
    out.site = name;
    login.ReadDWord("bLogin", out.login.Login);
    login.ReadString("Username", out.login.Username);
    login.ReadString("Password", out.login.Password, 1);
    return true;
}

bool SaveOne(CBRRegKey& sites, const SSiteProp& site) {
    CBRRegKey login;
    if (!login.OpenForWrite(sites, (site.site + "\\" + kLoginKey).c_str())) return false;
    bool ok = login.WriteDWord("bLogin", site.login.Login);
    ok = login.WriteString("Username", site.login.Username) && ok;
    return login.WriteString("Password", site.login.Password, 1) && ok;
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

void AddSite(const SSiteProp& site) { Sites().push_back(site); }

void SetSite(const SSiteProp& site) {
    int i = FindSiteByName(site.site);
    if (i < 0)
        AddSite(site);
    else
        Sites()[size_t(i)] = site;
}

bool RemoveSite(int index) {
    if (index < 0 || index >= GetSiteCount()) return false;
    Sites().erase(Sites().begin() + index);
    return true;
}

void ClearSites() { Sites().clear(); }

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
    config.Login = SLogin{1, site.login.Username, site.login.Password};
}

}  // namespace plover
