#include "cli/cli_kit.h"
#include "cli/app_session.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/reg_store.h"
#include "cli/install.h"
#include "cli/manual.h"
#include "cli/program_parts.h"
#include "cli/remote_session.h"
#include "platform/kept_aside.h"

namespace plover::cli {

SHomes HomesOf(const CliContext& ctx) { return ResolveHomes(ctx.home); }

bool CCliApp::Start(unsigned flags) {
    started_ = app_.Init(HomesOf(ctx_), ProgramParts(),
                         (flags & kReadOnly) ? CApp::EAccess::Reader : CApp::EAccess::Owner);
    if (started_ != CApp::EStart::Running) {
        // Only some commands send their work to a running Plover; this one needs the home to itself.
        if (started_ == CApp::EStart::AlreadyRunning && FindRunningPlover(ctx_))
            std::cerr << "This command does not work through the running Plover; end it (Exit in its window, or "
                         "Ctrl-C where it runs) and try again.\n";
        ctx_.exitCode = 1;
        return false;
    }
    if (flags & kEngines) {
        app_.EnableQuitOnSignals();  // before any engine thread exists
        app_.StartEngines();
    }
    return true;
}

void CCliApp::RunUntilQuit(CApp::MessageHandler handler) { app_.RunMessageLoop(std::move(handler)); }

bool CCliApp::Stop() {
    if (app_.Shutdown()) return true;
    ctx_.exitCode = 1;
    return false;
}

int RunInstall(const CliContext& ctx) { return RunInstallWith(ctx, SInstallOptions{}); }

int RunInstallWith(const CliContext& ctx, const SInstallOptions& options) {
    SHomes homes = HomesOf(ctx);
    bool ok = RunSetup(homes, [&] {
        // Installing for one user: the folders exist (RunSetup made them) and the store holds at
        // least the default settings, so that the user can read and edit them.
        CRegStore& store = GetRegStore();
        auto loaded = store.Load(homes.settingsDir / kStoreFileName);
        if (loaded.status == CRegStore::ELoadStatus::Unreadable) {
            Complain() << "cannot read " << store.File().string() << ": " << loaded.reason << "\n";
            return false;
        }
        if (loaded.status == CRegStore::ELoadStatus::Damaged)
            Complain() << ""
                      << KeptAsideWarning("settings file", store.File(), loaded.reason, loaded.keptAs,
                                          loaded.moveError, "the default settings are installed")
                      << "\n";
        if (loaded.status != CRegStore::ELoadStatus::Loaded) {
            CRegistrySettings defaults;
            // The installation proposes the home's own cache folder, private to its user.
            std::filesystem::path cache = homes.cacheDir;
            CreatePrivateFolder(cache);
            defaults.csCacheFolder = cache.string();
            CBRRegKey key;
            if (key.OpenForWrite(store.Root(), kPloverKey)) SerializeTable(defaults.Table(), key, nullptr, false);
        }
        // The default baskets page and the system's proxy setting.
        CBRRegKey plover;
        if (!plover.OpenForWrite(store.Root(), kPloverKey) || !InstallBasketsAndProxy(ctx, plover, options)) {
            Complain() << "cannot write the settings\n";
            return false;
        }
        std::string error;
        if (!store.Save(&error)) {
            Complain() << error << "\n";
            return false;
        }
        std::cout << "Plover is installed for this user.\n"
                  << "Settings: " << (homes.settingsDir / kStoreFileName).string() << "\n"
                  << "Data:     " << homes.dataDir.string() << "\n";
        // The manual page and the completions, where man and the shells look for a user's own.
        return !ctx.root || InstallManualAndCompletions(*ctx.root, ShareFolderOf(ctx));
    });
    return ok ? 0 : 1;
}

std::filesystem::path ShareFolderOf(const CliContext& ctx) {
    if (!ctx.home.empty()) return std::filesystem::absolute(ctx.home) / "share";
    return HomesOf(ctx).dataDir.parent_path();
}

int RunUninstall(const CliContext& ctx) {
    SHomes homes = HomesOf(ctx);
    bool ok = RunSetup(homes, [&] {
        // The settings store is the program's registry tree: it goes. Downloads, baskets and the
        // download history are the user's files and stay.
        std::error_code ec;
        std::filesystem::path store = homes.settingsDir / kStoreFileName;
        bool existed = std::filesystem::exists(store, ec);
        if (existed && !std::filesystem::remove(store, ec)) {
            Complain() << "cannot remove " << store.string() << ": " << ec.message() << "\n";
            return false;
        }
        std::cout << (existed ? "Removed the settings " + store.string() : std::string("No settings to remove"))
                  << ".\nThe data folder " << homes.dataDir.string() << " is kept.\n";
        return true;
    });
    return ok ? 0 : 1;
}

}  // namespace plover::cli
