#pragma once
// `plover settings ...`, `plover list` and `plover basket list` through the running Plover of the home: the same
// output and exit status as when they run alone, from the running program's own state (its
// settings as they are now, its download list as it is now). A change is stored at once.
#include <string>

#include "cli/remote_session.h"

namespace plover::cli {

int RunSettingsListThrough(const SRunningPlover& plover, bool json);
int RunSettingsGetThrough(const SRunningPlover& plover, const std::string& name);
int RunSettingsSetThrough(const SRunningPlover& plover, const std::string& name, const std::string& value);
int RunListThrough(const SRunningPlover& plover, bool json);
int RunBasketListThrough(const SRunningPlover& plover, bool json);

}  // namespace plover::cli
