#pragma once
// Where Plover keeps its files. One "home" holds everything, so that tests and users can keep
// separate worlds: --home DIR or PLOVER_HOME puts settings and data both in DIR; without them the
// XDG folders serve ($XDG_CONFIG_HOME/plover for settings, $XDG_DATA_HOME/plover for data, with
// ~/.config and ~/.local/share as their defaults). "The program folder" of the download list and
// the download database is the data folder: the executable's folder is not writable on Linux.
//
// ResolveHomes is a pure rule over the option and the environment; the front end resolves the
// homes once at start-up and publishes them with SetProgramHomes for every part to read.
#include <filesystem>
#include <functional>
#include <string>

namespace plover {

struct SHomes {
    std::filesystem::path settingsDir;  // the settings store and the instance lock
    std::filesystem::path dataDir;      // the program folder: download list, download database
};

using EnvLookup = std::function<const char*(const char* name)>;

// homeOption: the --home value (empty when not given). env: getenv by default.
// Empty result folders mean that no home could be determined (no HOME and no XDG variables).
SHomes ResolveHomes(const std::string& homeOption, const EnvLookup& env = nullptr);

// Creates both folders (and their parents) when missing; false with a reason on failure.
bool CreateHomes(const SHomes& homes, std::string* error);

// The process-wide homes, set once at start-up by the front end.
void SetProgramHomes(const SHomes& homes);
const SHomes& GetProgramHomes();
// The program folder (data folder) with a trailing separator, for "%sDefault.%s"-style names.
std::string GetProgramFolder();

// The system temporary folder: $TMPDIR when set and not empty, otherwise /tmp.
std::filesystem::path GetSystemTempFolder();

}  // namespace plover
