// plover list [--json]: shows the saved download list (the list file in the data folder), one
// download a line: its number, status, progress, priority, target and address ("TLS" before an
// https one, whose traffic is encrypted; a password written in an address is never shown).
// Showing only reads the file, which is always saved whole, so it works while another Plover of
// the same home runs.
//
// plover list remove|pause|resume|retry ID|ADDRESS... and plover list clear --finished|--failed
// change the saved list. They go through the downloader engine, as the download window's buttons
// do (a removed unfinished download takes its partial file along, the history hears of it), with
// the list loaded held and the engine at rest: nothing is fetched, the states change and the list
// is saved when the engines stop. `plover get` with no address then continues the list.
#include <iostream>

#include "cli/app_session.h"
#include "cli/cli_kit.h"
#include "cli/command.h"
#include "cli/download_format.h"
#include "cli/remote_commands.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"
#include "download/download_list.h"
#include "download/downloader.h"
#include "download/i_download.h"
#include "download/url_name.h"
#include "platform/homes.h"

namespace plover::cli {
namespace {

enum class EListAction { Remove, Pause, Resume, Retry, ClearFinished, ClearFailed };

struct SListOptions {
    bool json = false;
    std::vector<std::string> targets;  // ID or ADDRESS
    bool finished = false, failed = false;
};

std::string Line(const SDownloadSnapshot& s) {
    std::string status = s.statusText;
    if (s.superStatus != DS_NONE) status += " (" + s.superStatusText + ")";
    int pct = Percent(s.downloaded, s.size);
    std::string progress = pct >= 0 ? std::to_string(pct) + "% of " + FormatBytes(s.size) : FormatBytes(s.downloaded);
    return std::to_string(s.id) + "  " + status + "  " + progress + "  priority " + std::to_string(s.priority) + "  " +
           s.localPath + "  " + (s.tls ? "TLS " : "") + AddressWithoutPassword(s.originalUrl);
}

// Why the action does not apply to the download as it stands; empty when it does.
std::string Refusal(EListAction action, const SDownloadSnapshot& s) {
    switch (action) {
        case EListAction::Pause:
            if (s.finished) return "it has finished";
            if (s.paused) return "it is paused already";
            if (s.failed) return "it has failed (plover list retry starts it again)";
            return "";
        case EListAction::Resume:
            if (s.finished) return "it has finished";
            if (s.failed) return "it has failed (plover list retry starts it again)";
            if (!s.paused) return "it is not paused";
            return "";
        case EListAction::Retry:
            return s.finished ? "it has finished" : "";
        default: return "";
    }
}

const char* DoneWord(EListAction action) {
    switch (action) {
        case EListAction::Pause: return "Paused";
        case EListAction::Resume: return "Resumed";
        case EListAction::Retry: return "Retried";
        default: return "Removed";
    }
}

// The downloads that one ID or ADDRESS names: the download of that number, or every download of
// that address (as given, after redirects, or without its password).
std::vector<RefPtr<IDownload>> Matches(const std::vector<RefPtr<IDownload>>& listed, const std::string& target) {
    std::vector<RefPtr<IDownload>> out;
    bool number = !target.empty() && target.find_first_not_of("0123456789") == std::string::npos;
    for (auto& d : listed) {
        bool hit = number ? std::to_string(d->GetID()) == target
                          : d->GetOriginalUrl() == target || d->GetRemoteUrl() == target ||
                                d->GetOriginalUrl() == AddressWithoutPassword(target);
        if (hit) out.push_back(d);
    }
    return out;
}

void Show(CliContext& ctx, const SListOptions& options) {
    // While Plover runs in this home, its list as it is now.
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunListThrough(*running, options.json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
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
            for (auto& d : items) WriteJsonLine(std::cout, DownloadJson(d->GetSnapshot()));
        } else if (!loaded || items.empty()) {
            std::cout << "The download list is empty.\n";
        } else {
            for (auto& d : items) std::cout << Line(d->GetSnapshot()) << "\n";
        }
    }
    owner.Reset();
    app.Stop();
}

// Posts the action's operation to one download; false (and the reason told) when it does not apply.
bool Apply(EListAction action, IDownload* d) {
    SDownloadSnapshot s = d->GetSnapshot();
    std::string why = Refusal(action, s);
    if (!why.empty()) {
        Complain() << "download " << s.id << " (" << DisplayName(s) << ") is left as it is: " << why << "\n";
        return false;
    }
    switch (action) {
        case EListAction::Pause: d->Pause(); break;
        case EListAction::Resume: d->Resume(); break;
        case EListAction::Retry: d->Retry(0); break;
        default: d->PostOperation(new SDnlOp(DNLOP_DELETE), 0); break;
    }
    return true;
}

void Change(CliContext& ctx, EListAction action, const SListOptions& options) {
    // The list loads held and nothing runs: this run changes states, it fetches nothing.
    HoldLoadedDownloads(true);
    KeepDownloadsAtRest(true);
    CTerminalListProgress listProgress;
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    RefPtr<IEngine> engine;
    RefPtr<IDownloader> downloader;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()))
        downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    if (!downloader) {
        Complain() << "the downloader is not available\n";
        ctx.exitCode = 1;
        return;
    }
    auto* owner = dynamic_cast<CDownloader*>(downloader.Get());
    if (!owner || !owner->HasList()) downloader->LoadList(nullptr);
    std::vector<RefPtr<IDownload>> listed;
    {
        std::unique_ptr<CDownloadArray> array(downloader->GetDownloadArray(nullptr));
        for (IDownload* d : *array) listed.emplace_back(d);
    }

    std::vector<RefPtr<IDownload>> touched;
    if (action == EListAction::ClearFinished || action == EListAction::ClearFailed) {
        for (auto& d : listed)
            if (action == EListAction::ClearFinished ? d->IsFinished() : d->IsFailed()) touched.push_back(d);
        for (auto& d : touched) Apply(EListAction::Remove, d.Get());
    } else {
        for (const std::string& target : options.targets) {
            std::vector<RefPtr<IDownload>> found = Matches(listed, target);
            if (found.empty()) {
                Complain() << "no download " << target << " in the list (see plover list)\n";
                ctx.exitCode = 1;
            }
            for (auto& d : found) {
                if (Apply(action, d.Get()))
                    touched.push_back(d);
                else
                    ctx.exitCode = 1;
            }
        }
    }
    // A waiting call returns after everything posted before it: the operations have run.
    RefPtr<IDownload> none;
    downloader->FindDownloadByID(-1, none.Put());

    bool removing = action != EListAction::Pause && action != EListAction::Resume && action != EListAction::Retry;
    for (auto& d : touched) {
        SDownloadSnapshot s = d->GetSnapshot();
        if (options.json) {
            nlohmann::json j = DownloadJson(s);
            j["action"] = ToLower(DoneWord(removing ? EListAction::Remove : action));
            WriteJsonLine(std::cout, j);
        } else {
            std::cout << DoneWord(removing ? EListAction::Remove : action) << " " << s.id << "  "
                      << DisplayName(s) << (removing ? "" : "  (" + ShownStatusText(s) + ")") << "\n";
        }
    }
    if (touched.empty() && !options.json && ctx.exitCode == 0) std::cout << "Nothing to change.\n";
    touched.clear();
    listed.clear();
    downloader.Reset();
    engine.Reset();
    app.Stop();  // the engines stop: the list is saved
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SListOptions>();
    auto* cmd = app.add_subcommand("list", "Show or change the saved download list");
    cmd->add_flag("--json", options->json, "One JSON object a line");
    cmd->require_subcommand(0, 1);
    struct SAction {
        const char* name;
        EListAction action;
        const char* help;
    };
    static const SAction kActions[] = {
        {"remove", EListAction::Remove, "Remove downloads from the list (an unfinished one's partial file goes too)"},
        {"pause", EListAction::Pause, "Pause downloads: plover get leaves them until they are resumed"},
        {"resume", EListAction::Resume, "Resume paused downloads: the next plover get continues them"},
        {"retry", EListAction::Retry, "Start failed downloads again: the next plover get fetches them"},
    };
    for (const SAction& a : kActions) {
        auto* sub = cmd->add_subcommand(a.name, a.help);
        sub->add_option("ID|ADDRESS", options->targets, "Download numbers (see plover list) or addresses")
            ->required();
        sub->add_flag("--json", options->json, "One JSON object a line for each changed download");
        EListAction action = a.action;
        sub->callback([options, action, &ctx] { Change(ctx, action, *options); });
    }
    auto* clear = cmd->add_subcommand("clear", "Remove every finished or every failed download from the list");
    auto* finished = clear->add_flag("--finished", options->finished, "The finished downloads (their files stay)");
    auto* failed = clear->add_flag("--failed", options->failed, "The failed downloads");
    finished->excludes(failed);
    clear->add_flag("--json", options->json, "One JSON object a line for each removed download");
    clear->callback([options, &ctx] {
        if (!options->finished && !options->failed) throw CLI::RequiredError("--finished or --failed");
        Change(ctx, options->finished ? EListAction::ClearFinished : EListAction::ClearFailed, *options);
    });
    cmd->callback([options, cmd, &ctx] {
        if (cmd->get_subcommands().empty()) Show(ctx, *options);
    });
}

CommandRegistrar registrar("list", Setup);

}  // namespace
}  // namespace plover::cli
