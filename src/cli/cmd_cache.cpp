// plover cache info | clear | mode 0|1|2 | limit MB | move FOLDER: the page cache, as its options
// page offers it. clear and move run the program's engines, so the page manager loads the index of
// the last run and saves it again when the command ends; info only reads the index; mode and
// limit are settings.
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/settings.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/download_format.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"
#include "engine/engine_mgr.h"
#include "platform/homes.h"
#include "scan/cache_index.h"
#include "scan/i_page_mgr.h"
#include "scan/page_mgr_files.h"
#include "scan/page_mgr_rules.h"

namespace plover::cli {
namespace {

constexpr int32_t kMinCacheMB = 20;
constexpr int32_t kMaxCacheMB = 2000;

const char* ModeText(int32_t mode) {
    switch (mode) {
        case CACHE_EVERY_VISIT: return "Every visit to the page";
        case CACHE_AUTOMATICALLY: return "Automatically";
        case CACHE_NEVER: return "Never";
        default: return "Every visit to the page";  // any other value fetches every time
    }
}

// "%d (%s)": the number of cached files and their size as text.
std::string CountAndSize(int count, uint64_t bytes) { return std::to_string(count) + " (" + FormatBytes(bytes) + ")"; }

RefPtr<IPageMgr> PageMgr(CliContext& ctx) {
    auto pm = EngineOrSay<IPageMgr>(ENGINE_ID_PAGE_MGR, IID_IPageMgr, "page manager");
    if (!pm) ctx.exitCode = kExitFailed;
    return pm;
}

// Only reads the cache's index file (saved whole), so that it works while another Plover runs.
void Info(CliContext& ctx, bool json) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    const CRegistrySettings& s = GetSettings();
    std::string folder = s.csCacheFolder.empty() ? GetProgramCacheFolder().string() : s.csCacheFolder;
    CreatePrivateFolder(folder);  // as the page manager makes it: the cache is private to its user
    CCacheIndex index;
    std::string bytes;
    bool opened = false;
    if (ReadSmallFile(std::filesystem::path(folder) / kCacheIndexName, kMaxCacheIndexBytes, &bytes, &opened) &&
        index.Parse(bytes) != ECacheIndexLoad::Loaded)
        index.Clear();
    int count = index.GetCount();
    uint64_t size = index.GetTotalSize();
    if (json) {
        WriteJsonLine(std::cout, {{"type", "cache"},
                                  {"folder", folder},
                                  {"files", count},
                                  {"bytes", size},
                                  {"mode", s.eCacheMode},
                                  {"modeText", ModeText(s.eCacheMode)},
                                  {"limitMB", s.iMaxCacheSpace}});
        return;
    }
    std::cout << "Cache folder: " << folder << "\n"
              << "Cached files: " << CountAndSize(count, size) << "\n"
              << "Check for newer versions of stored pages: " << ModeText(s.eCacheMode) << " (" << s.eCacheMode
              << ")\n"
              << "Maximal cache disk space: " << s.iMaxCacheSpace << " MB\n";
}

void Clear(CliContext& ctx, bool yes) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    RefPtr<IPageMgr> pm = PageMgr(ctx);
    if (!pm) return;
    if (!yes) {
        if (!StdinIsTerminal()) {
            std::cerr << kClearCacheQuestion << "\nplover: answer with --yes to clear the cache without a terminal.\n";
            ctx.exitCode = 1;
            return;
        }
        if (!AskYesNo(std::string(kClearCacheQuestion) + " [y/N] ", [] { return false; })) return;
    }
    int count = pm->GetCachedCount();
    uint64_t size = pm->GetCacheSize();
    pm->ClearCache();
    pm.Reset();
    if (app.Stop()) std::cout << "Cleared the cache: " << CountAndSize(count, size) << " deleted.\n";
}

void Mode(CliContext& ctx, int32_t mode) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    GetSettings().eCacheMode = mode;
    if (app.Stop()) std::cout << "Check for newer versions of stored pages: " << ModeText(mode) << "\n";
}

void Limit(CliContext& ctx, int32_t megabytes) {
    if (megabytes < kMinCacheMB || megabytes > kMaxCacheMB) {
        Complain() << "the cache space must be from " << kMinCacheMB << " to " << kMaxCacheMB << " MB\n";
        ctx.exitCode = 1;
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    GetSettings().iMaxCacheSpace = megabytes;
    if (app.Stop()) std::cout << "Maximal cache disk space: " << megabytes << " MB\n";
}

void Move(CliContext& ctx, const std::string& folder) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(folder, ec);
    if (ec) {
        Complain() << folder << ": " << ec.message() << "\n";
        ctx.exitCode = 1;
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    RefPtr<IPageMgr> pm = PageMgr(ctx);
    if (!pm) return;
    if (pm->GetPendingCount() != 0) {
        std::cerr << kCacheMoveRefusal << "\n";
        ctx.exitCode = 1;
        return;
    }
    std::string now = target.lexically_normal().string();
    bool moved = pm->MoveCacheFiles(now);
    int kept = pm->GetCachedCount();
    pm.Reset();
    // The setting follows the cache only when it moved: a move that could not complete left
    // every file in the old folder, which stays in use.
    if (moved) GetSettings().csCacheFolder = now;
    if (!moved) {
        Complain() << "the cache could not be moved to " << now << "; it stays in "
                  << GetSettings().csCacheFolder << " with its " << kept << " files\n";
        ctx.exitCode = 1;
    }
    if (app.Stop() && moved) std::cout << "Moved " << kept << " cached files to " << now << "\n";
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("cache", "The page cache: its files, how stored pages are checked, its size");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* info = cmd->add_subcommand("info", "The cache folder, the cached files and their size, the settings");
    info->add_flag("--json", *json, "One JSON object");
    info->callback([&ctx, json] { Info(ctx, *json); });

    auto yes = std::make_shared<bool>(false);
    auto* clear = cmd->add_subcommand("clear", "Delete every cached file (asks first on a terminal)");
    clear->add_flag("--yes", *yes, "Clear without asking");
    clear->callback([&ctx, yes] { Clear(ctx, *yes); });

    auto mode = std::make_shared<int32_t>(1);
    auto* modeCmd = cmd->add_subcommand(
        "mode", "Check for newer versions of stored pages: 0 every visit, 1 automatically (a day), 2 never");
    modeCmd->add_option("MODE", *mode, "0, 1 or 2")->required()->check(CLI::Range(0, 2));
    modeCmd->callback([&ctx, mode] { Mode(ctx, *mode); });

    auto megabytes = std::make_shared<int32_t>(50);
    auto* limit = cmd->add_subcommand("limit", "Maximal cache disk space in megabytes (20 to 2000)");
    limit->add_option("MB", *megabytes, "Megabytes")->required();
    limit->callback([&ctx, megabytes] { Limit(ctx, *megabytes); });

    auto folder = std::make_shared<std::string>();
    auto* move = cmd->add_subcommand("move", "Move the cached files to another folder, which becomes the cache folder");
    move->add_option("FOLDER", *folder, "The new cache folder (created when missing)")->required();
    move->callback([&ctx, folder] { Move(ctx, *folder); });
}

CommandRegistrar registrar("cache", Setup);

}  // namespace
}  // namespace plover::cli
