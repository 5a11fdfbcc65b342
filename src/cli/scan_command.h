#pragma once
// The work of plover scan, for every command that scans an address: plover scan itself and
// plover search, which builds the address from a search site. Run prints the results (or JSON
// lines) and returns the exit status: 0 done, 1 failed, 2 not an HTTP or FTP address, 130
// interrupted.
#include <functional>
#include <string>

#include "cli/command.h"

namespace plover::cli {

struct SScanOptions {
    std::string url;
    std::string profile;  // a profile's name or number; empty: the first
    bool reload = false;  // fetch every page again instead of using the page cache
    bool json = false;
    // Builds the address once Plover is up and its settings are loaded (plover search), instead
    // of url; an empty answer ends the command with status 1 (the builder has said why).
    std::function<std::string()> buildUrl;
};

// Adds --profile, --reload and --json to a command that scans.
void AddScanOptions(CLI::App* cmd, SScanOptions& options);

int RunScanCommand(CliContext& ctx, const SScanOptions& options);

}  // namespace plover::cli
