#pragma once
// One Plover per home, many front ends: while `plover ui` runs, the address of its server is
// recorded in the home ("ui-address"). A command of the same home that finds it answering sends
// its work there through the page's JSON commands instead of stopping at "Plover is already
// running."; an address nobody answers at (the instance died) is ignored and the command runs
// alone.
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/command.h"

namespace plover::cli {

struct SRunningPlover {
    std::string host;
    int port = 0;
    std::string token;
};

// "http://HOST:PORT/?token=TOKEN" split; false when the text is not such an address.
bool ParseRunningAddress(const std::string& url, SRunningPlover& out);

// Ctrl-C and SIGTERM no longer end the process: Interrupted() tells that one came, and the
// command ends its part (the work in the running Plover may go on).
void CatchInterrupt();
bool Interrupted();

// The address recorded in this run's home by a running Plover, not checked: it may be stale.
std::optional<SRunningPlover> ReadRunningAddress(const CliContext& ctx);

// The running Plover of this run's home, when its recorded address answers. The plain build of
// the program hands the command over to plover-web when an address is recorded (web_handoff.cpp).
std::optional<SRunningPlover> FindRunningPlover(const CliContext& ctx);

// `plover get` through the running Plover: the addresses are added to its list into folder with
// the priority, then followed until each has finished or failed; the same lines and exit status
// as a run alone (0 all finished, 1 some failed, 130 interrupted).
int RunGetThrough(const SRunningPlover& plover, const std::vector<std::string>& addresses, const std::string& folder,
                  int priority);

// A job of the running Plover ("collect", "drop"): its progress on standard error (unless quiet)
// and its errors as they come, at its end its summary on standard output; the job's exit status.
// Ctrl-C ends the command with "Interrupted: <goesOn> goes on in the running Plover."
int RunJobThrough(const SRunningPlover& plover, const std::string& kind, nlohmann::json body, bool quiet,
                  const std::string& goesOn);

// `plover collect` through the running Plover: the collection runs there; its progress goes to
// standard error, its summary to standard output, with the exit status of a run alone.
int RunCollectThrough(const SRunningPlover& plover, const std::string& url, const std::string& basket,
                      const std::string& profile, bool reload, bool json,
                      const nlohmann::json& overrides = nlohmann::json::object());

struct SScanOptions;
// `plover scan` through the running Plover: the scan runs there as a scan document (the browser
// shows it), this command shows its progress and at its end prints the results as a run alone
// does, with the same exit status.
int RunScanThrough(const SRunningPlover& plover, const SScanOptions& options);

}  // namespace plover::cli
