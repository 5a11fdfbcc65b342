#pragma once
// The work of plover collect, for every command that collects a scanned address into a basket:
// plover collect itself and plover search --basket, which builds the address from a search site.
// Run prints the summary and returns the exit status: 0 when the scan ran and nothing failed,
// 1 otherwise, 2 not an HTTP or FTP address, 130 interrupted.
#include <functional>
#include <string>

#include "cli/command.h"
#include "cli/cookie_options.h"
#include "cli/fetch_options.h"
#include "cli/profile_override_options.h"
#include "cli/tls_options.h"

namespace plover::cli {

struct SCollectOptions {
    std::string url;
    std::string basket;
    std::string profile;  // a profile's name or number; empty: the first
    bool reload = false;
    bool json = false;
    STlsCliOptions tls;
    SCookieCliOptions cookies;
    SProfileOverrideOptions overrides;
    SFetchCliOptions fetch;
    bool verbose = false;  // the protocol log of every page and picture fetched
    // Builds the address once Plover is up and its settings are loaded (plover search), instead
    // of url; an empty answer ends the command with status 1 (the builder has said why).
    std::function<std::string()> buildUrl;
};

int RunCollectCommand(CliContext& ctx, const SCollectOptions& options);

}  // namespace plover::cli
