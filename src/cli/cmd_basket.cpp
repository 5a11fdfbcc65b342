// plover basket list | add NAME FOLDER | edit NAME | remove NAME | show NAME | drop NAME URL... |
// move FILE... --to NAME: the baskets, stored with the settings under "Baskets". A basket is
// named by its name (any case). A change is stored when the command ends, like every setting.
//
// add and edit follow the basket properties rules with their messages (the folder must exist,
// must not overlap another basket's folder, the name must not be empty); remove asks "Do you
// really want to delete the selected basket?" (--yes answers it; the folder and its files
// stay). drop hands addresses to the basket as a dropped selection and follows the downloads it
// starts to their end; move moves files into the basket's folder with the conflict answers of
// the basket views, and the download history follows every moved file. While Plover runs for the
// home, each of them works through it (its basket API and its jobs), with the same output.
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "baskets/history_parts.h"
#include "baskets/move_files.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/basket_lines.h"
#include "cli/basket_session.h"
#include "cli/command.h"
#include "cli/protocol_log.h"
#include "cli/remote_commands.h"
#include "cli/cookie_options.h"
#include "cli/fetch_options.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"
#include "cli/window_ticker.h"
#include "engine/sinks.h"
#include "platform/tick.h"
#include "scan/scan_rules.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_BASKET_TICK = WM_APP + 0x7A4;

CBasket* FindOrSay(const std::string& name) {
    CBasket* b = GetBaskets().FindByName(name);
    if (!b) SayNoBasket(name);
    return b;
}

SBasketRow RowOf(const CBasket& b) {
    return {b.csName, b.csRootFolder, b.icon.csFile, int(b.dwID), int(b.GetClientID()), b.eDispatch};
}

void List(CliContext& ctx, bool json) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketListThrough(*running, json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    CBasketList& list = GetBaskets();
    for (int i = 0; i < list.GetSize(); ++i) PrintBasketRow(std::cout, RowOf(*list.GetAt(i)), json);
    if (!json && list.GetSize() == 0) SayNoBaskets();
}

void Show(CliContext& ctx, const std::string& name, bool json) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketShowThrough(*running, name, json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    PrintBasketShow(std::cout, RowOf(*b), json);
}

bool NameTaken(const std::string& name, const CBasket* except) {
    CBasket* other = GetBaskets().FindByName(name);
    if (!other || other == except) return false;
    SayNameTaken(other->csName);
    return true;
}

void Add(CliContext& ctx, const std::string& name, const std::string& folder, bool perServer) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketAddThrough(*running, name, AbsoluteFolder(folder), perServer);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    std::string dir = AbsoluteFolder(folder);
    std::string refusal = CheckBasketProperties(GetBaskets(), nullptr, name, dir);
    if (!refusal.empty()) {
        std::cerr << RefusalLine(refusal, dir) << "\n";
        return void(ctx.exitCode = 1);
    }
    if (NameTaken(name, nullptr)) return void(ctx.exitCode = 1);
    auto* basket = new CBasket;
    StoreBasketProperties(GetBaskets(), basket, name, dir, perServer ? DISPATCH_PER_SERVER : DISPATCH_ROOT, nullptr);
    if (app.Stop()) SayCollectsInto(name, basket->csRootFolder);
}

void Edit(CliContext& ctx, const SBasketEditOptions& o) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketEditThrough(*running, o);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(o.basket);
    if (!b) return void(ctx.exitCode = 1);
    std::string name = o.name.value_or(b->csName);
    std::string folder = o.folder ? AbsoluteFolder(*o.folder) : b->csRootFolder;
    std::string refusal = CheckBasketProperties(GetBaskets(), b, name, folder);
    if (!refusal.empty()) {
        std::cerr << RefusalLine(refusal, folder) << "\n";
        return void(ctx.exitCode = 1);
    }
    if (NameTaken(name, b)) return void(ctx.exitCode = 1);
    uint32_t mode = o.perServer ? DISPATCH_PER_SERVER : o.rootFolder ? DISPATCH_ROOT : b->eDispatch;
    StoreBasketProperties(GetBaskets(), b, name, folder, mode, nullptr);
    if (app.Stop()) SayCollectsInto(b->csName, b->csRootFolder);
}

void Remove(CliContext& ctx, const std::string& name, bool yes) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketRemoveThrough(*running, name, yes);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    if (!ConfirmBasketDelete(yes)) return void(ctx.exitCode = 1);
    std::string folder = b->csRootFolder;
    GetBaskets().Remove(b);
    FireSinks(BRN_BASKET_LIST_CHANGED, 0, 0);
    if (app.Stop()) SayRemoved(name, folder);
}

// What `plover basket drop` is told besides the basket and the addresses.
struct SDropOptions {
    std::string referrer;
    bool json = false;
    bool quiet = false;    // no progress line
    bool verbose = false;  // the protocol log of every file fetched
    SCookieCliOptions cookies;
};

void Drop(CliContext& ctx, const std::string& name, const std::vector<std::string>& urls, const SDropOptions& options) {
    const SCookieCliOptions& cookies = options.cookies;
    for (const auto& u : urls)
        if (!IsFetchableUrl(u)) return void(ctx.exitCode = Refuse(kExitUsage, "not an HTTP or FTP address: " + u));
    if (auto running = FindRunningPlover(ctx)) {
        WarnCookiesStayHere(cookies);
        WarnFetchOptionsStayHere({}, options.verbose);
        ctx.exitCode = RunBasketDropThrough(*running, name, urls, options.referrer, options.json, options.quiet);
        return;
    }
    if (!ApplyCookieOptions(cookies)) return void(ctx.exitCode = 2);
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    CBasketSession session(app, *b, kBasketItemPauseMs);
    if (!session.Start()) return void(ctx.exitCode = 1);
    for (const auto& u : urls) session.Add({u, options.referrer});
    session.Finish();
    CProtocolLogPrinter log;
    if (options.verbose) log.Start();
    bool done = false;
    CProgressLine progress(STDERR_FILENO);
    progress.DelayPlain();
    {
        CWindowTicker ticker(app.App().MainWindow(), WM_BASKET_TICK, 250);
        app.RunUntilQuit([&](const SWindowMessage& m) {
            if (session.OnMessage(m)) {
                if (!done && session.Done()) {
                    done = true;
                    app.App().Quit();
                }
            } else if (m.msg == WM_BASKET_TICK && !done && !options.quiet) {
                progress.Show(session.ProgressLine());
            }
        });
    }
    progress.Clear();
    session.Stop();
    log.Stop();
    bool saved = app.Stop();
    saved = SaveCookiesAsAsked(cookies) && saved;
    if (!done) std::cerr << "Interrupted: what was done so far follows.\n";
    session.PrintSummary(std::cout, options.json, UseColourOn(STDOUT_FILENO));
    ctx.exitCode = !done ? kExitInterrupted : (saved && session.AllCollected()) ? kExitOk : kExitFailed;
}

void Move(CliContext& ctx, const std::vector<std::string>& files, const std::string& name, const std::string& onConflict) {
    std::vector<std::string> absolute;
    for (const auto& f : files) absolute.push_back(AbsoluteFolder(f));
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketMoveThrough(*running, absolute, name, onConflict);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    LoadDownloadHistory();
    SMoveJob job;
    job.files = absolute;
    job.targetFolder = b->csRootFolder;
    CMessageQueueWindow window;
    CConflictQuestion conflict(onConflict);
    job.window = &window;
    job.conflict = &conflict;
    job.db = &GetDownloadDB();
    SMoveReport report;
    std::thread worker([&] { report = RunMoveJob(job); });
    CProgressLine progress(STDERR_FILENO);
    progress.DelayPlain();
    uint64_t totalKiB = 0;
    int ranges = 0;
    for (;;) {
        auto m = window.GetMessage();
        if (!m) continue;
        if (m->msg == WM_PV_MOVE_RANGE && ++ranges == 2) totalKiB = m->wp;
        if (m->msg == WM_PV_MOVE_STEP && ranges == 2) progress.Show(MoveProgressText(m->wp, totalKiB));
        FreeMoveNotice(m->msg, m->wp, m->lp);
        if (m->msg == WM_PV_MOVE_DONE) break;
    }
    worker.join();
    while (auto m = window.GetMessage(0)) FreeMoveNotice(m->msg, m->wp, m->lp);
    progress.Clear();
    PrintMoveReport(report);
    bool saved = SaveDownloadHistory();
    if (!app.Stop() || !saved || !report.errors.empty()) ctx.exitCode = 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("basket", "The baskets: named folders that collected pictures go to");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* list = cmd->add_subcommand("list", "List the baskets");
    list->add_flag("--json", *json, "One JSON object a line");
    list->callback([json, &ctx] { List(ctx, *json); });

    auto name = std::make_shared<std::string>();
    auto folder = std::make_shared<std::string>();
    auto perServer = std::make_shared<bool>(false);
    auto* add = cmd->add_subcommand("add", "Make a basket that collects into an existing folder");
    add->add_option("NAME", *name, "The basket's name")->required();
    add->add_option("FOLDER", *folder, "Its folder (it must exist)")->required();
    add->add_flag("--per-server", *perServer, "Files go into a subfolder named after each address's server");
    add->callback([=, &ctx] { Add(ctx, *name, *folder, *perServer); });

    auto edit = std::make_shared<SBasketEditOptions>();
    auto* ed = cmd->add_subcommand("edit", "Change a basket's name, folder or where its files go");
    ed->add_option("NAME", edit->basket, "The basket")->required();
    ed->add_option("--name", edit->name, "Its new name");
    ed->add_option("--folder", edit->folder, "Its new folder (it must exist)");
    auto* ps = ed->add_flag("--per-server", edit->perServer, "Files go into a subfolder per server");
    ed->add_flag("--root-folder", edit->rootFolder, "Files go into the folder itself")->excludes(ps);
    ed->callback([edit, &ctx] { Edit(ctx, *edit); });

    auto yes = std::make_shared<bool>(false);
    auto* rm = cmd->add_subcommand("remove", "Remove a basket (its folder and files stay)");
    rm->add_option("NAME", *name, "The basket")->required();
    rm->add_flag("--yes", *yes, "Answer the confirmation with yes");
    rm->callback([=, &ctx] { Remove(ctx, *name, *yes); });

    auto* show = cmd->add_subcommand("show", "Show a basket");
    show->add_option("NAME", *name, "The basket")->required();
    show->add_flag("--json", *json, "As one JSON object");
    show->callback([=, &ctx] { Show(ctx, *name, *json); });

    auto urls = std::make_shared<std::vector<std::string>>();
    auto dropped = std::make_shared<SDropOptions>();
    auto* drop = cmd->add_subcommand("drop", "Drop addresses into a basket and wait until they are there");
    drop->add_option("NAME", *name, "The basket")->required();
    drop->add_option("URL", *urls, "Addresses of files (http://, https:// or ftp://)")->required();
    drop->add_option("--referrer,--referer", dropped->referrer, "The page the addresses were found on")
        ->type_name("PAGE");
    drop->add_flag("--json", dropped->json, "One JSON object a line: each address, then a summary");
    drop->add_flag("-q,--quiet", dropped->quiet, "No progress line");
    drop->add_flag("-v,--verbose", dropped->verbose, "Print the protocol log of every file fetched");
    AddCookieOptions(drop, dropped->cookies);
    drop->callback([=, &ctx] { Drop(ctx, *name, *urls, *dropped); });

    auto files = std::make_shared<std::vector<std::string>>();
    auto onConflict = std::make_shared<std::string>();
    auto* mv = cmd->add_subcommand("move", "Move files into a basket's folder");
    mv->add_option("FILE", *files, "The files to move")->required();
    mv->add_option("--to", *name, "The basket")->required()->type_name("NAME");
    mv->add_option("--on-conflict", *onConflict, "When a file of that name is there: overwrite or skip (default: ask)")
        ->check(CLI::IsMember({"overwrite", "skip"}));
    mv->callback([=, &ctx] { Move(ctx, *files, *name, *onConflict); });
}

CommandRegistrar registrar("basket", Setup);

}  // namespace
}  // namespace plover::cli
