#pragma once
// The TLS options of the commands that fetch (get, scan, collect, search): --ca-certificate FILE
// adds a trust anchor for this run, --insecure skips certificate verification for this run. The
// stored settings "csTlsCaFile" and "bTlsInsecure" do the same for every run; a run that does not
// verify says so on standard error, every time.
#include <string>

#include "cli/command.h"

namespace plover::cli {

struct STlsCliOptions {
    std::string caFile;
    bool insecure = false;
};

void AddTlsOptions(CLI::App* cmd, STlsCliOptions& options);

// Before Plover starts (a download of the list may resume at once): makes the options this run's.
// False (said why) when the anchor file cannot be read: the command fails (status 1).
bool ApplyTlsOptions(const STlsCliOptions& options);
// Once the settings are loaded: the warning line when this run does not verify certificates.
void WarnWhenUnverified();

inline constexpr const char* kInsecureWarning =
    "Warning: certificates of https servers are not verified (--insecure or the setting bTlsInsecure): "
    "anyone on the way can read and change what is fetched.";

}  // namespace plover::cli
