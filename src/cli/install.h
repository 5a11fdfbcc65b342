#pragma once
// The installation run ("--install", "/BRInst", `plover install`): the folders, the settings
// store with the default settings when there is none, the default baskets and the system's
// proxy setting.
#include <filesystem>
#include <string>

#include "app/reg_key.h"
#include "cli/command.h"

namespace plover::cli {

struct SInstallOptions {
    std::string basketsFolder;  // the parent of the default baskets; empty: the proposed one
    bool baskets = true;        // make the default baskets (when none exist)
};

// The proposed parent of the default baskets: the home's "Plover Baskets" when Plover keeps
// everything in one home (--home, PLOVER_HOME), else the user's documents folder's.
std::string ProposedBasketsFolder(const CliContext& ctx);

// The basket page and the proxy import on the store under ploverKey (the caller saves the
// store): csDefDownloadFolder set to the parent, the six baskets made when none exist, and the
// proxy records replaced by what http_proxy/ftp_proxy name (left alone when they name nothing).
// What was done is printed; false when nothing could be made at all.
bool InstallBasketsAndProxy(const CliContext& ctx, const HKEY& ploverKey, const SInstallOptions& options);

// Where a user's manual pages and shell completions go: DIR/share with a home of its own
// (--home, PLOVER_HOME), else the XDG data folder (~/.local/share).
std::filesystem::path ShareFolderOf(const CliContext& ctx);

int RunInstallWith(const CliContext& ctx, const SInstallOptions& options);

}  // namespace plover::cli
