// plover list: shows the saved download list (the list file in the data folder), one download a
// line: its number, status, progress, priority, target and address ("TLS" before an https one, whose
// traffic is encrypted). Nothing is downloaded: the
// list is read with an owner that never starts.
#include <nlohmann/json.hpp>

#include <iostream>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/download_format.h"
#include "cli/remote_commands.h"
#include "cli/terminal.h"
#include "download/download_list.h"
#include "download/downloader.h"
#include "download/i_download.h"
#include "platform/homes.h"

namespace plover::cli {
namespace {

struct SListOptions {
    bool json = false;
};

nlohmann::json ToJson(const plover::SDownloadSnapshot& s) {
    return {{"id", s.id},
            {"status", s.statusText},
            {"reason", s.superStatusText},
            {"downloaded", s.downloaded},
            {"size", s.size},
            {"priority", s.priority},
            {"client", s.clientId},
            {"path", s.localPath},
            {"url", s.originalUrl},
            {"tls", s.tls}};
}

std::string Line(const plover::SDownloadSnapshot& s) {
    std::string status = s.statusText;
    if (s.superStatus != DS_NONE) status += " (" + s.superStatusText + ")";
    int pct = Percent(s.downloaded, s.size);
    std::string progress = pct >= 0 ? std::to_string(pct) + "% of " + FormatBytes(s.size) : FormatBytes(s.downloaded);
    return std::to_string(s.id) + "  " + status + "  " + progress + "  priority " + std::to_string(s.priority) + "  " +
           s.localPath + "  " + (s.tls ? "TLS " : "") + s.originalUrl;
}

void Run(CliContext& ctx, const SListOptions& options) {
    // While Plover runs in this home, its list as it is now.
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunListThrough(*running, options.json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    CTerminalListProgress listProgress;
    RefPtr<CDownloader> owner = CDownloader::Create(GetProgramFolder());
    std::string path = owner->GetListPath();
    {
        CDownloadList list;
        SListLoad load;
        bool loaded = list.Load(path, owner.Get(), &load);
        // Only shown here: the downloader keeps such a file aside when the downloads next run.
        if (load.status == SListLoad::EStatus::Incomplete || load.status == SListLoad::EStatus::Damaged)
            Complain() << "warning: the download list " << path << " is damaged (" << load.reason
                      << "); it is kept aside when the downloads next run.\n";
        std::vector<RefPtr<IDownload>> items = list.Snapshot();
        if (options.json) {
            nlohmann::json out = nlohmann::json::array();
            for (auto& d : items) out.push_back(ToJson(d->GetSnapshot()));
            std::cout << out.dump(2) << "\n";
        } else if (!loaded || items.empty()) {
            std::cout << "The download list is empty.\n";
        } else {
            for (auto& d : items) std::cout << Line(d->GetSnapshot()) << "\n";
        }
    }
    owner.Reset();
    app.Stop();
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SListOptions>();
    auto* cmd = app.add_subcommand("list", "Show the saved download list");
    cmd->add_flag("--json", options->json, "Print the list as JSON");
    cmd->callback([options, &ctx] { Run(ctx, *options); });
}

CommandRegistrar registrar("list", Setup);

}  // namespace
}  // namespace plover::cli
