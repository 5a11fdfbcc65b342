// plover install [--baskets-folder DIR] [--no-baskets]: the installation run with its choices
// (plover --install and /BRInst run it with the proposed ones). Besides the folders and the
// default settings it makes the default baskets "Animals", "Art", "Cars", "Nature", "Erotic" and
// "Space" under the parent folder (only when no basket exists yet), makes that folder the
// default download folder, and imports the system's proxy setting (http_proxy, ftp_proxy).
#include <filesystem>
#include <iostream>

#include "app/settings.h"
#include "baskets/basket.h"
#include "baskets/default_baskets.h"
#include "cli/app_session.h"
#include "cli/install.h"
#include "net/proxy_import.h"
#include "net/proxy_info.h"
#include "platform/homes.h"

namespace plover::cli {

std::string ProposedBasketsFolder(const CliContext& ctx) {
    std::filesystem::path parent;
    if (!ctx.home.empty())
        parent = std::filesystem::absolute(ctx.home);
    else if (std::string docs = XdgDocumentsFolder(); !docs.empty())
        parent = docs;
    else
        parent = HomesOf(ctx).dataDir;
    return (parent / kBasketsFolderName).lexically_normal().string();
}

bool InstallBasketsAndProxy(const CliContext& ctx, const HKEY& ploverKey, const SInstallOptions& options) {
    std::string parent = options.basketsFolder.empty()
                             ? ProposedBasketsFolder(ctx)
                             : std::filesystem::absolute(options.basketsFolder).lexically_normal().string();
    CBRRegKey key;
    if (!key.Attach(ploverKey, false)) return false;
    key.WriteString("csDefDownloadFolder", parent);
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    std::cout << "Default download folder: " << parent << "\n";

    if (options.baskets) {
        CBasketList& list = GetBaskets();
        list.Load(ploverKey);
        SDefaultBaskets made = MakeDefaultBaskets(list, parent, GetProgramFolder());
        if (!made.created) {
            std::cout << "Baskets exist already (" << list.GetSize() << "): no default baskets made.\n";
        } else {
            list.Save(ploverKey);
            std::cout << "Default baskets:";
            for (const auto& n : made.made) std::cout << " " << n;
            std::cout << (made.made.empty() ? " none" : "") << " (under " << parent << ")\n";
        }
    }

    // The proxy records as stored (FTP passive when nothing says otherwise), with the system's
    // setting imported over their addresses.
    SerializeProxySettings(ploverKey, true);
    std::string proxy = ProxyServerFromEnvironment();
    if (!proxy.empty()) {
        SProxyImport found = ImportProxyServer(proxy);
        SetHTTPProxy(found.http);
        SetFTPProxy(MergeImportedFtp(GetFTPProxy(), found.ftp));
        std::cout << "Proxy settings imported: " << proxy << "\n";
    }
    SerializeProxySettings(ploverKey, false);
    return true;
}

namespace {

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SInstallOptions>();
    auto noBaskets = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("install", "Install Plover for this user, with its default baskets");
    cmd->add_option("--baskets-folder", options->basketsFolder,
                    "Parent folder of the default baskets (default: Documents/Plover Baskets, or the --home folder's)")
        ->type_name("DIR");
    cmd->add_flag("--no-baskets", *noBaskets, "Make no default baskets");
    cmd->callback([options, noBaskets, &ctx] {
        SInstallOptions o = *options;
        o.baskets = !*noBaskets;
        ctx.exitCode = RunInstallWith(ctx, o);
    });
}

CommandRegistrar registrar("install", Setup);

}  // namespace
}  // namespace plover::cli
