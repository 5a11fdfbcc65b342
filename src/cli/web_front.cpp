// The web front end's side of `plover ui` and `plover run`: the engines, the server with its routes
// and services, the address recorded in the home, and the orderly end.
#include "cli/web_front.h"

#include <spawn.h>

#include <functional>
#include <iostream>

#include "app/reg_store.h"
#include "cli/app_session.h"
#include "cli/cli_kit.h"
#include "cli/collect_job.h"
#include "cli/install.h"
#include "download/i_downloader.h"
#include "web/basket_routes.h"
#include "web/basket_service.h"
#include "web/format_determ.h"
#include "web/instance_token.h"
#include "web/option_routes.h"
#include "web/request_guard.h"
#include "web/scan_routes.h"
#include "web/scan_service.h"
#include "web/setup_api.h"
#include "web/sysinfo_api.h"
#include "web/web_model.h"
#include "web/web_server.h"

extern char** environ;

namespace plover::cli {
namespace {

// Starts the desktop's browser on the address without waiting for it.
void OpenBrowser(const std::string& url) {
    pid_t pid;
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        Complain() << "cannot start xdg-open; open the address above in a browser\n";
}

// With the engines of app started: serves until the program is told to quit (Ctrl-C, SIGTERM,
// Exit in the page), then stops the server, the engines in reverse order and saves. started gets
// the address to open once the server listens. ctx.exitCode is 1 when it cannot start.
void ServeUntilQuit(CliContext& ctx, CCliApp& app, web::SWebServerConfig config,
                    const std::function<void(const std::string&)>& started) {
    RefPtr<IEngine> engine;
    RefPtr<IDownloader> downloader;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()))
        downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    const std::filesystem::path& home = app.App().Homes().settingsDir;
    config.token = web::LoadOrCreateToken(home);
    if (!downloader || config.token.empty()) {
        Complain() << "cannot start the web front end" << (config.token.empty() ? " (cannot store its key)" : "")
                  << "\n";
        ctx.exitCode = 1;
        return;
    }
    web::CEventHub hub;
    web::CWebModel model(hub, downloader);
    downloader->Advise(&model);
    web::CScanService scans(hub, downloader);
    scans.Start();
    web::CWebServer server(model, hub, config, [&app] { app.App().Quit(); });
    // A home without settings gets the installation as the page's first-run wizard.
    web::CSetupApi setup(web::SSetupContext{home / kStoreFileName, ProposedBasketsFolder(ctx), GetProgramFolder(), [&app] {
                              app.App().SetUninstalled();
                              app.App().Quit();
                          }});
    server.SetSetup(&setup);
    // `plover collect` of this home while the windows run: its collection runs here.
    auto jobs = std::make_unique<CCollectJobs>();
    server.SetJobs([&jobs](const nlohmann::json& b, int& status) { return jobs->Start(b, status); },
                   [&jobs](int id, int& status) { return jobs->State(id, status); });
    web::CBasketService baskets(hub);
    web::InstallBasketRoutes(server.Http(), baskets);
    const SHomes& homes = app.App().Homes();
    web::InstallOptionRoutes(server.Http(),
                             {PLOVER_VERSION, homes.settingsDir, homes.dataDir, home / kStoreFileName,
                              [&downloader] { return downloader->GetDownloadCount(); }, [&model] { return model.Traffic(); }});
    baskets.Start();
    server.AddRoutes([&scans](httplib::Server& s) { web::InstallScanRoutes(s, scans); });
    web::CFormatDetermination formats;  // the search-site format window
    server.AddRoutes([&formats](httplib::Server& s) { web::InstallFormatRoutes(s, formats); });
    std::string error;
    if (!server.Start(&error)) {
        Complain() << error << "\n";
        scans.Stop();
        downloader->Unadvise(&model);
        ctx.exitCode = 1;
        return;
    }
    if (!web::IsLoopbackHost(config.host))
        Complain() << "warning: listening on " << config.host
                  << ", reachable from other machines; the key in the address is all that guards it\n";
    web::WriteAddressFile(home, server.Url());
    started(server.Url());
    app.RunUntilQuit();
    std::cout << "Stopping..." << std::endl;
    server.Stop();
    scans.Stop();
    jobs.reset();  // before the engines stop
    baskets.Stop();
    downloader->Unadvise(&model);
    web::RemoveAddressFile(home);
    if (app.Stop()) std::cout << "Plover has stopped; settings saved." << std::endl;
}

}  // namespace

void RunUiCommand(CliContext& ctx, const SUiOptions& options) {
    web::SWebServerConfig config;
    if (!web::ParseListenAddress(options.listen, config.host, config.port)) {
        Complain() << "--listen needs ADDRESS:PORT, e.g. 127.0.0.1:8080\n";
        ctx.exitCode = 2;
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    ServeUntilQuit(ctx, app, config, [&](const std::string& url) {
        std::cout << "Plover is running. Open this address in a browser:\n" << url << std::endl;
        if (options.open) OpenBrowser(url);
    });
}

void RunServeCommand(CliContext& ctx, bool noUi) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    web::SWebServerConfig config;
    config.pages = !noUi;
    // Said once the other commands can find it.
    ServeUntilQuit(ctx, app, config, [&](const std::string& url) {
        std::cout << "Plover is running (settings in " << app.App().Homes().settingsDir.string()
                  << "). Stop it with Ctrl-C." << std::endl;
        if (!noUi) std::cout << "Its windows: " << url << std::endl;
    });
}

}  // namespace plover::cli
