// plover sites: the stored site logins (user name and password per site), which every new
// download of a matching site uses. A site is given as a host name ("example.com") or an address
// ("http://example.com:8080/gallery/") and stored as its host, which is what downloads are
// matched by; passwords are kept in the encoded form of the settings store and never printed.
// Beside the login a site can carry a cookie line, its own User-Agent and its own limit of
// connections at once (plover sites set).
#include <nlohmann/json.hpp>

#include <iostream>
#include <optional>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "download/site_prop.h"

namespace plover::cli {
namespace {

struct SSitesOptions {
    std::string site, user, password;
    bool json = false;
    std::optional<std::string> cookie, userAgent;
    std::optional<uint32_t> maxConnections;
};

// "  cookie: a=1  user agent: X  connections: 2" of what a site carries besides its login.
std::string PropsText(const SSiteProp& s) {
    std::string text;
    if (!s.cookie.empty()) text += "  cookie: " + s.cookie;
    if (!s.userAgent.empty()) text += "  user agent: " + s.userAgent;
    if (s.maxConnections) text += "  connections: " + std::to_string(s.maxConnections);
    return text;
}

void List(CliContext& ctx, const SSitesOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    if (options.json) {
        nlohmann::json out = nlohmann::json::array();
        for (int i = 0; i < GetSiteCount(); ++i)
            out.push_back({{"site", GetSite(i)->site},
                           {"user", GetSite(i)->login.Login ? GetSite(i)->login.Username : ""},
                           {"cookie", GetSite(i)->cookie},
                           {"userAgent", GetSite(i)->userAgent},
                           {"maxConnections", GetSite(i)->maxConnections}});
        std::cout << out.dump(2) << "\n";
    } else if (GetSiteCount() == 0) {
        std::cout << "No site logins are stored.\n";
    } else {
        for (int i = 0; i < GetSiteCount(); ++i)
            std::cout << GetSite(i)->site << "  " << (GetSite(i)->login.Login ? GetSite(i)->login.Username : "")
                      << PropsText(*GetSite(i)) << "\n";
    }
}

void Add(CliContext& ctx, const SSitesOptions& options) {
    // Downloads find their login by their server alone: the site is stored as its host.
    std::string host = SiteHostOf(options.site);
    if (host.empty()) {
        Complain() << "\"" << options.site << "\" names no host\n";
        ctx.exitCode = 2;
        return;
    }
    if (!IsStorableSiteName(host)) {
        Complain() << "a site is a host name or an address without \"\\\" or control characters\n";
        ctx.exitCode = 2;
        return;
    }
    if (options.user.empty() || options.password.empty()) {
        Complain() << "Username and password cannot be empty.\n";
        ctx.exitCode = 2;
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    SetSite({host, {1, options.user, options.password}});
    if (app.Stop()) std::cout << "Login stored for " << host << ".\n";
}

// Sets what requests to the site carry besides the login; options not given keep their value.
void Set(CliContext& ctx, const SSitesOptions& options) {
    std::string host = SiteHostOf(options.site);
    if (host.empty() || !IsStorableSiteName(host)) {
        Complain() << "\"" << options.site << "\" names no host that can be stored\n";
        ctx.exitCode = 2;
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    SSiteProp site;
    site.site = host;
    if (const SSiteProp* stored = GetSite(FindSiteByName(host))) site = *stored;
    if (options.cookie) site.cookie = *options.cookie;
    if (options.userAgent) site.userAgent = *options.userAgent;
    if (options.maxConnections) site.maxConnections = *options.maxConnections;
    SetSiteRequestProps(site);
    if (app.Stop()) std::cout << "Stored for " << host << "." << PropsText(site) << "\n";
}

void Remove(CliContext& ctx, const SSitesOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    int index = FindSiteByName(options.site);
    if (index < 0) index = FindSiteByName(SiteHostOf(options.site));  // given as it was added
    if (!RemoveSite(index)) {
        Complain() << "no login is stored for " << options.site << "\n";
        ctx.exitCode = 1;
        return;
    }
    if (app.Stop()) std::cout << "Login removed for " << options.site << ".\n";
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SSitesOptions>();
    auto* cmd = app.add_subcommand("sites", "Manage the stored site logins");
    cmd->require_subcommand(1);
    auto* list = cmd->add_subcommand("list", "Show the sites with a stored login (passwords are not shown)");
    list->add_flag("--json", options->json, "Print the list as JSON");
    list->callback([options, &ctx] { List(ctx, *options); });
    auto* add = cmd->add_subcommand("add", "Store (or replace) the login of a site");
    add->add_option("SITE", options->site, "Host name or address")->required();
    add->add_option("USER", options->user, "User name")->required();
    add->add_option("PASSWORD", options->password, "Password")->required();
    add->callback([options, &ctx] { Add(ctx, *options); });
    auto* set = cmd->add_subcommand("set", "Store what requests to a site carry besides the login");
    set->add_option("SITE", options->site, "Host name or address")->required();
    set->add_option("--cookie", options->cookie, "A cookie line sent to the site (\"a=1; b=2\"; empty: none)");
    set->add_option("--user-agent", options->userAgent,
                    "The site's own User-Agent (\"classic\": the old one; empty: the setting's)");
    set->add_option("--max-connections", options->maxConnections,
                    "Connections to the site at once (0: the setting dwMaxConnectionsPerServer)");
    set->callback([options, &ctx] { Set(ctx, *options); });
    auto* remove = cmd->add_subcommand("remove", "Forget the login of a site");
    remove->add_option("SITE", options->site, "The site exactly as stored")->required();
    remove->callback([options, &ctx] { Remove(ctx, *options); });
}

CommandRegistrar registrar("sites", Setup);

}  // namespace
}  // namespace plover::cli
