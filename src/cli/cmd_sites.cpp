// plover sites: the stored site logins (user name and password per site), which every new
// download of a matching site uses. A site is given as a host name ("example.com") or an address
// ("http://example.com:8080/gallery/") and stored as its host, which is what downloads are
// matched by; passwords are kept in the encoded form of the settings store and never printed.
#include <nlohmann/json.hpp>

#include <iostream>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "download/site_prop.h"

namespace plover::cli {
namespace {

struct SSitesOptions {
    std::string site, user, password;
    bool json = false;
};

void List(CliContext& ctx, const SSitesOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    if (options.json) {
        nlohmann::json out = nlohmann::json::array();
        for (int i = 0; i < GetSiteCount(); ++i)
            out.push_back({{"site", GetSite(i)->site}, {"user", GetSite(i)->login.Username}});
        std::cout << out.dump(2) << "\n";
    } else if (GetSiteCount() == 0) {
        std::cout << "No site logins are stored.\n";
    } else {
        for (int i = 0; i < GetSiteCount(); ++i)
            std::cout << GetSite(i)->site << "  " << GetSite(i)->login.Username << "\n";
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
    auto* remove = cmd->add_subcommand("remove", "Forget the login of a site");
    remove->add_option("SITE", options->site, "The site exactly as stored")->required();
    remove->callback([options, &ctx] { Remove(ctx, *options); });
}

CommandRegistrar registrar("sites", Setup);

}  // namespace
}  // namespace plover::cli
