#pragma once
// The options that users of other download programs type by habit, on every command that
// fetches (get, scan, collect, search): -q/--quiet, --limit-rate RATE, --header "Name: value"
// (repeatable), --proxy URL and --no-proxy. All of them hold for this run only: the stored
// settings are put back before they are saved. Without --proxy or --no-proxy, and with no proxy
// stored, the environment's http_proxy, https_proxy and ftp_proxy are honoured (chosen by the
// run's first address, and not when no_proxy names its host).
#include <string>
#include <vector>

#include "cli/command.h"
#include "net/proxy_info.h"

namespace plover::cli {

struct SFetchCliOptions {
    bool quiet = false;
    std::string limitRate;
    std::vector<std::string> headers;
    std::string proxy;
    bool noProxy = false;
};

void AddFetchOptions(CLI::App* cmd, SFetchCliOptions& options);

// A command whose work a running Plover does: says, when any was given, that these options (and
// -v, the protocol log) hold for a run of the command alone; the running Plover keeps its settings.
void WarnFetchOptionsStayHere(const SFetchCliOptions& options, bool verbose);

// Before Plover starts: checks what was typed (false, said why: exit status 2) and makes the
// header lines this run's.
bool CheckFetchOptions(const SFetchCliOptions& options);

// The run's rate and proxy over the loaded settings; Restore (or the destructor) puts the stored
// ones back.
class CRunFetchSettings {
public:
    CRunFetchSettings() = default;
    CRunFetchSettings(const CRunFetchSettings&) = delete;
    CRunFetchSettings& operator=(const CRunFetchSettings&) = delete;
    ~CRunFetchSettings() { Restore(); }

    // Once the settings are loaded. firstAddress picks the environment's proxy.
    void Apply(const SFetchCliOptions& options, const std::string& firstAddress);
    void Restore();

private:
    bool proxySaved_ = false;
    SHTTPProxyInfo http_;
    SFTPProxyInfo ftp_;
    bool quotaSaved_ = false;
    std::vector<uint32_t> quotas_;
};

}  // namespace plover::cli
