// plover basket list | add NAME FOLDER | edit NAME | remove NAME | show NAME | drop NAME URL... |
// move FILE... --to NAME: the baskets, stored with the settings under "Baskets". A basket is
// named by its name (any case). A change is stored when the command ends, like every setting.
//
// add and edit follow the basket properties rules with their messages (the folder must exist,
// must not overlap another basket's folder, the name must not be empty); remove asks "Do you
// really want to delete the selected basket?" (--yes answers it; the folder and its files
// stay). drop hands addresses to the basket as a dropped selection and follows the downloads it
// starts to their end; move moves files into the basket's folder with the conflict answers of
// the basket views, and the download history follows every moved file.
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
#include "cli/basket_session.h"
#include "cli/command.h"
#include "cli/protocol_log.h"
#include "cli/remote_commands.h"
#include "cli/cookie_options.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"
#include "cli/window_ticker.h"
#include "engine/sinks.h"
#include "platform/tick.h"
#include "scan/scan_rules.h"

namespace plover::cli {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t WM_BASKET_TICK = WM_APP + 0x7A4;

const char* DispatchName(uint32_t mode) {
    return mode == DISPATCH_ROOT ? "root folder" : mode == DISPATCH_PER_SERVER ? "per server" : "accepts nothing";
}

std::string Absolute(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec);
    return (ec ? fs::path(folder) : p).lexically_normal().string();
}

CBasket* FindOrSay(const std::string& name) {
    CBasket* b = GetBaskets().FindByName(name);
    if (!b) Complain() << "no basket named \"" << name << "\" (see plover basket list)\n";
    return b;
}

// Files and bytes below a folder.
std::pair<uint64_t, uint64_t> FolderContents(const std::string& folder) {
    uint64_t files = 0, bytes = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_regular_file(e2)) {
            ++files;
            bytes += it->file_size(e2);
        }
    }
    return {files, bytes};
}

nlohmann::json ToJson(const CBasket& b) {
    return {{"type", "basket"},          {"name", b.csName},     {"folder", b.csRootFolder}, {"id", b.dwID},
            {"client", b.GetClientID()}, {"dispatch", DispatchName(b.eDispatch)}, {"icon", b.icon.csFile}};
}

void List(CliContext& ctx, bool json) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunBasketListThrough(*running, json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    CBasketList& list = GetBaskets();
    for (int i = 0; i < list.GetSize(); ++i) {
        const CBasket& b = *list.GetAt(i);
        if (json)
            WriteJsonLine(std::cout, ToJson(b));
        else
            std::cout << b.csName << "\t" << b.csRootFolder
                      << (b.eDispatch == DISPATCH_ROOT ? "" : std::string("\t(") + DispatchName(b.eDispatch) + ")")
                      << "\n";
    }
    if (!json && list.GetSize() == 0)
        std::cerr << "No baskets. plover basket add NAME FOLDER makes one; plover --install makes the default ones.\n";
}

void Show(CliContext& ctx, const std::string& name, bool json) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    auto [files, bytes] = FolderContents(b->csRootFolder);
    if (json) {
        nlohmann::json j = ToJson(*b);
        j["files"] = files;
        j["bytes"] = bytes;
        WriteJsonLine(std::cout, j);
        return;
    }
    std::cout << "Name:      " << b->csName << "\n"
              << "Folder:    " << b->csRootFolder << "\n"
              << "Files go:  " << (b->eDispatch == DISPATCH_PER_SERVER ? "into a subfolder per server" :
                                   b->eDispatch == DISPATCH_ROOT       ? "into the folder" : "nowhere (accepts nothing)")
              << "\n"
              << "ID:        " << b->dwID << " (downloads carry client number " << b->GetClientID() << ")\n"
              << "Icon:      " << b->icon.csFile << "\n"
              << "Contents:  " << files << " files, " << bytes << " bytes\n";
}

struct SEditOptions {
    std::string basket;
    std::optional<std::string> name, folder;
    bool perServer = false, rootFolder = false;
};

// A refusal of the basket rules as a line; the folder one names the folder it refused.
std::string RefusalLine(const std::string& refusal, const std::string& folder) {
    return refusal == kMsgInvalidFolder ? refusal + ": " + folder : refusal;
}

bool NameTaken(const std::string& name, const CBasket* except) {
    CBasket* other = GetBaskets().FindByName(name);
    if (!other || other == except) return false;
    Complain() << "a basket named \"" << other->csName << "\" exists already\n";
    return true;
}

void Add(CliContext& ctx, const std::string& name, const std::string& folder, bool perServer) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    std::string dir = Absolute(folder);
    std::string refusal = CheckBasketProperties(GetBaskets(), nullptr, name, dir);
    if (!refusal.empty()) {
        std::cerr << RefusalLine(refusal, dir) << "\n";
        return void(ctx.exitCode = 1);
    }
    if (NameTaken(name, nullptr)) return void(ctx.exitCode = 1);
    auto* basket = new CBasket;
    StoreBasketProperties(GetBaskets(), basket, name, dir, perServer ? DISPATCH_PER_SERVER : DISPATCH_ROOT, nullptr);
    if (app.Stop()) std::cout << "Basket \"" << name << "\" collects into " << basket->csRootFolder << "\n";
}

void Edit(CliContext& ctx, const SEditOptions& o) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(o.basket);
    if (!b) return void(ctx.exitCode = 1);
    std::string name = o.name.value_or(b->csName);
    std::string folder = o.folder ? Absolute(*o.folder) : b->csRootFolder;
    std::string refusal = CheckBasketProperties(GetBaskets(), b, name, folder);
    if (!refusal.empty()) {
        std::cerr << RefusalLine(refusal, folder) << "\n";
        return void(ctx.exitCode = 1);
    }
    if (NameTaken(name, b)) return void(ctx.exitCode = 1);
    uint32_t mode = o.perServer ? DISPATCH_PER_SERVER : o.rootFolder ? DISPATCH_ROOT : b->eDispatch;
    StoreBasketProperties(GetBaskets(), b, name, folder, mode, nullptr);
    if (app.Stop()) std::cout << "Basket \"" << b->csName << "\" collects into " << b->csRootFolder << "\n";
}

void Remove(CliContext& ctx, const std::string& name, bool yes) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    if (!yes) {
        if (!StdinIsTerminal()) {
            std::cerr << kMsgDeleteBasket << " (answer with --yes)\n";
            return void(ctx.exitCode = 1);
        }
        if (!AskYesNo(std::string(kMsgDeleteBasket) + " [y/N] ", [] { return false; })) return void(ctx.exitCode = 1);
    }
    std::string folder = b->csRootFolder;
    GetBaskets().Remove(b);
    FireSinks(BRN_BASKET_LIST_CHANGED, 0, 0);
    if (app.Stop()) std::cout << "Removed the basket \"" << name << "\"; its folder " << folder << " stays.\n";
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

// Conflict answers for a move: fixed by --on-conflict, else asked on the terminal, else skip.
class CConflict final : public IMoveConflict {
public:
    explicit CConflict(std::string fixed) : fixed_(std::move(fixed)) {}
    EConflictAnswer TargetExists(const std::string&, const std::string& target) override {
        if (fixed_ == "overwrite") return EConflictAnswer::OverwriteAll;
        if (fixed_ == "skip" || !StdinIsTerminal()) return EConflictAnswer::Skip;
        std::cerr << kTargetExistsTitle << ": " << target << "\n";
        auto answer = AskLine(std::string("[o] ") + kAnswerOverwrite + ", [a] " + kAnswerOverwriteAll + ", [s] " +
                                  kAnswerSkip + ", [k] " + kAnswerSkipAll + "? ",
                              false, [] { return false; });
        std::string a = answer ? *answer : "";
        if (a == "o") return EConflictAnswer::Overwrite;
        if (a == "a") return EConflictAnswer::OverwriteAll;
        if (a == "k") return EConflictAnswer::SkipAll;
        return EConflictAnswer::Skip;
    }
    void CantDelete(const std::string& path) override { std::cerr << CantDeleteFileMessage(path) << "\n"; }

private:
    std::string fixed_;
};

void Move(CliContext& ctx, const std::vector<std::string>& files, const std::string& name, const std::string& onConflict) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    CBasket* b = FindOrSay(name);
    if (!b) return void(ctx.exitCode = 1);
    LoadDownloadHistory();
    SMoveJob job;
    for (const auto& f : files) job.files.push_back(Absolute(f));
    job.targetFolder = b->csRootFolder;
    CMessageQueueWindow window;
    CConflict conflict(onConflict);
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
        if (m->msg == WM_PV_MOVE_STEP && ranges == 2)
            progress.Show("Moving: " + std::to_string(m->wp) + " of " + std::to_string(totalKiB) + " KiB");
        FreeMoveNotice(m->msg, m->wp, m->lp);
        if (m->msg == WM_PV_MOVE_DONE) break;
    }
    worker.join();
    while (auto m = window.GetMessage(0)) FreeMoveNotice(m->msg, m->wp, m->lp);
    progress.Clear();
    for (const auto& [from, to] : report.moved) std::cout << "Moved " << from << " -> " << to << "\n";
    for (const auto& s : report.skipped) std::cout << "Skipped " << s << "\n";
    for (const auto& e : report.errors) Complain() << "cannot move " << e << "\n";
    std::cout << report.moved.size() << " moved, " << report.skipped.size() << " skipped, " << report.errors.size()
              << " failed.\n";
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

    auto edit = std::make_shared<SEditOptions>();
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
