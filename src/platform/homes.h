#pragma once
// Where Plover keeps its files. One "home" holds everything, so that tests and users can keep
// separate worlds: --home DIR or PLOVER_HOME puts settings and data both in DIR and the page cache
// in DIR/cache; without them the XDG folders serve ($XDG_CONFIG_HOME/plover for settings,
// $XDG_DATA_HOME/plover for data, $XDG_CACHE_HOME/plover for the page cache, with ~/.config,
// ~/.local/share and ~/.cache as their defaults). The cache is the home's own, never a shared
// temporary folder: cached pages may come from sites that needed a login. "The program folder" of the download list and
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
    std::filesystem::path cacheDir;     // the default page cache folder
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

// The default page cache folder of the program's homes: their cacheDir, or "cache" in the data
// folder when that is not set; empty when no homes are known.
std::filesystem::path GetProgramCacheFolder();

// Creates folder (and its missing parents) when missing; a folder made here is private to its
// user (mode 0700). True when it is then a folder the user can write in; false with a reason.
bool CreatePrivateFolder(const std::filesystem::path& folder, std::string* error = nullptr);

// Whether path is a folder in which the user can create and remove files.
bool IsUsableFolder(const std::filesystem::path& path);

// The system temporary folder: $TMPDIR when set and not empty, otherwise /tmp.
std::filesystem::path GetSystemTempFolder();

}  // namespace plover
