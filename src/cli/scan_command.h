#pragma once
// The work of plover scan, for every command that scans an address: plover scan itself and
// plover search, which builds the address from a search site. Run prints the results (or JSON
// lines) and returns the exit status: 0 done, 1 failed, 2 not an HTTP or FTP address, 130
// interrupted.
#include <functional>
#include <string>

#include "cli/command.h"
#include "cli/cookie_options.h"
#include "cli/fetch_options.h"
#include "cli/profile_override_options.h"
#include "cli/tls_options.h"
#include "platform/com.h"
#include "platform/window.h"
#include "scan/i_scanner.h"
#include "scan/scan_profile.h"

namespace plover::cli {

struct SScanOptions {
    std::string url;
    std::string profile;  // a profile's name or number; empty: the first
    bool reload = false;  // fetch every page again instead of using the page cache
    bool json = false;
    STlsCliOptions tls;
    SCookieCliOptions cookies;
    SProfileOverrideOptions overrides;
    SFetchCliOptions fetch;
    bool verbose = false;  // the protocol log of every page and picture fetched
    // Builds the address once Plover is up and its settings are loaded (plover search), instead
    // of url; an empty answer ends the command with status 1 (the builder has said why).
    std::function<std::string()> buildUrl;
    // What buildUrl builds from (plover search): the site's number as the user gave it (from 1)
    // and the text, for a running Plover that builds the address itself.
    std::string searchSite, searchText;
};

// plover search's words about the site and the address it built, shared by a run alone and one
// through the running Plover.
void SayNoSearchSite(const std::string& number);
void SayNoSearchMarker(const std::string& number);
void SaySearching(const std::string& title, const std::string& text, const std::string& url);

// Adds --profile, --reload, --json, the profile overrides and the TLS options to a command that
// scans.
void AddScanOptions(CLI::App* cmd, SScanOptions& options);

int RunScanCommand(CliContext& ctx, const SScanOptions& options);

// The profile named by `which` (a name or a number; empty: the first) with this run's overrides,
// when it can scan; otherwise says why and gives false.
bool ChooseScanProfile(const std::string& which, SScanProfile& out, const SProfileOverrideOptions& overrides = {});

// "no scan profile "which" (see plover profiles list)" on standard error.
void SayNoScanProfile(const std::string& which);

// Starts one scan through the scanner engine with its notices to window; null (said why) when the
// scanner is not available.
RefPtr<IScanner> StartScanner(const std::string& url, bool reload, const SScanProfile& profile, HWND window,
                              bool followPicturePages = false);

// 0 when url is an HTTP or FTP address; otherwise says so and gives exit status 2.
int RefuseUnfetchable(const std::string& url);

// Sets url to what build makes of the loaded settings: 0 when that is an HTTP or FTP address,
// otherwise the exit status (1: nothing built, the builder has said why; 2: not fetchable).
int TakeBuiltAddress(std::string& url, const std::function<std::string()>& build);

}  // namespace plover::cli
