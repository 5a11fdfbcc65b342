#pragma once
// `plover settings ...`, `plover list` and `plover basket ...` through the running Plover of the home: the same
// output and exit status as when they run alone, from the running program's own state (its
// settings as they are now, its download list as it is now). A change is stored at once.
#include <string>
#include <vector>

#include "cli/basket_lines.h"

#include "cli/remote_session.h"

namespace plover::cli {

int RunSettingsListThrough(const SRunningPlover& plover, bool json);
int RunSettingsGetThrough(const SRunningPlover& plover, const std::string& name);
int RunSettingsSetThrough(const SRunningPlover& plover, const std::string& name, const std::string& value);
int RunListThrough(const SRunningPlover& plover, bool json);

// `plover basket ...` through the running Plover's basket API and its jobs.
int RunBasketListThrough(const SRunningPlover& plover, bool json);
int RunBasketShowThrough(const SRunningPlover& plover, const std::string& name, bool json);
int RunBasketAddThrough(const SRunningPlover& plover, const std::string& name, const std::string& folder, bool perServer);
int RunBasketEditThrough(const SRunningPlover& plover, const SBasketEditOptions& options);
int RunBasketRemoveThrough(const SRunningPlover& plover, const std::string& name, bool yes);
// The drop runs there as a job: its progress here on standard error, its summary on standard output.
int RunBasketDropThrough(const SRunningPlover& plover, const std::string& name, const std::vector<std::string>& urls,
                         const std::string& referrer, bool json, bool quiet);
// files: absolute paths. A conflict is answered here as a move run alone answers it.
int RunBasketMoveThrough(const SRunningPlover& plover, const std::vector<std::string>& files, const std::string& name,
                         const std::string& onConflict);

}  // namespace plover::cli
