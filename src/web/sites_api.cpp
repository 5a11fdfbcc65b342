#include "web/sites_api.h"

#include <mutex>

#include "app/reg_key.h"
#include "app/reg_store.h"
#include "download/site_prop.h"
#include "web/options_api.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr size_t kMaxText = 999;  // the store reads texts of at most this many bytes
constexpr uint32_t kMaxConnections = 64;
constexpr int kMaxSites = 1000;
constexpr const char* kEmptyLogin = "Username and password cannot be empty.";

nlohmann::json SiteJson(int index, const SSiteProp& s) {
    return {{"index", index},
            {"site", ValidUtf8(s.site)},
            {"user", ValidUtf8(s.login.Login ? s.login.Username : "")},
            {"login", s.login.Login != 0},
            {"cookie", ValidUtf8(s.cookie)},
            {"userAgent", ValidUtf8(s.userAgent)},
            {"maxConnections", s.maxConnections}};
}

// A one-line text of the body into out (absent: out stays); false with the refusal.
bool Text(const nlohmann::json& body, const char* key, std::string& out, std::string& refusal) {
    if (!body.contains(key)) return true;
    if (!body[key].is_string()) {
        refusal = std::string("\"") + key + "\" must be a string.";
        return false;
    }
    std::string text = body[key].get<std::string>();
    if (text.size() > kMaxText || text.find_first_of("\r\n") != std::string::npos) {
        refusal = std::string("The ") + key + " is too long or not one line.";
        return false;
    }
    out = text;
    return true;
}

// The site as the body changes `site`; false with the refusal (status in *status).
bool Apply(const nlohmann::json& body, SSiteProp& site, bool isNew, std::string& refusal) {
    SSiteProp next = site;
    std::string name = site.site, password;
    if (!Text(body, "site", name, refusal) || !Text(body, "user", next.login.Username, refusal) ||
        !Text(body, "password", password, refusal) || !Text(body, "cookie", next.cookie, refusal) ||
        !Text(body, "userAgent", next.userAgent, refusal))
        return false;
    if (body.contains("maxConnections")) {
        const nlohmann::json& n = body["maxConnections"];
        if (!n.is_number_integer() || n.get<long long>() < 0 || n.get<long long>() > kMaxConnections) {
            refusal = "Connections at once: a whole number from 0 to 64 (0: the program's setting).";
            return false;
        }
        next.maxConnections = uint32_t(n.get<long long>());
    }
    // Downloads find their login by their server alone: the site is stored as its host.
    next.site = SiteHostOf(name);
    if (next.site.empty() || !IsStorableSiteName(next.site)) {
        refusal = "\"" + ValidUtf8(name) + "\" names no host (a host name or an address).";
        return false;
    }
    if (!password.empty()) next.login.Password = password;
    bool wantsLogin = !next.login.Username.empty() || !password.empty();
    bool carries = !next.cookie.empty() || !next.userAgent.empty() || next.maxConnections != 0;
    if (wantsLogin || !carries) {
        // A login is whole: a new one needs both, a stored one keeps its password unless another is given.
        if (next.login.Username.empty() || next.login.Password.empty() || (isNew && password.empty())) {
            refusal = kEmptyLogin;
            return false;
        }
        next.login.Login = 1;
    } else {
        next.login = SLogin{};  // a site that only carries a cookie, a User-Agent or a limit
    }
    site = next;
    return true;
}

// The sites are written into the store at once, not only at exit.
SApiAnswer Written(SApiAnswer answer) {
    CBRRegKey key;
    std::string error;
    if (!key.OpenForWrite(RegCurrentUser(), kPloverKey) || !SaveSites(key))
        return ApiError(500, "The site logins could not be written.");
    if (!WriteSettings(&error)) return ApiError(500, error);
    return answer;
}

}  // namespace

SApiAnswer ListSiteLogins() {
    std::lock_guard g(SettingsLock());
    nlohmann::json sites = nlohmann::json::array();
    for (int i = 0; i < GetSiteCount(); ++i)
        if (const SSiteProp* s = GetSite(i)) sites.push_back(SiteJson(i, *s));
    return {200, {{"sites", sites}}};
}

SApiAnswer SaveSiteLogin(int index, const nlohmann::json& body) {
    std::lock_guard g(SettingsLock());
    SSiteProp site;
    if (index >= 0) {
        const SSiteProp* stored = GetSite(index);
        if (!stored) return ApiError(404, "There is no such site.");
        site = *stored;
    }
    std::string refusal;
    if (!Apply(body, site, index < 0, refusal)) return ApiError(422, refusal);
    int same = FindSiteByName(site.site);
    if (index < 0) {
        // A site already stored gets the new login in its place, as the login dialog does.
        if (same >= 0) {
            index = same;
            ReplaceSite(index, site);
        } else {
            if (GetSiteCount() >= kMaxSites) return ApiError(422, "There are 1000 site logins already.");
            AddSite(site);
            index = GetSiteCount() - 1;
        }
    } else {
        if (same >= 0 && same != index)
            return ApiError(409, "A login is stored for " + ValidUtf8(site.site) + " already.");
        ReplaceSite(index, site);
    }
    return Written({200, SiteJson(index, site)});
}

SApiAnswer DeleteSiteLogin(int index) {
    std::lock_guard g(SettingsLock());
    if (!RemoveSite(index)) return ApiError(404, "There is no such site.");
    return Written({200, {{"deleted", index}}});
}

}  // namespace plover::web
