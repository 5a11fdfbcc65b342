#include "platform/homes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace plover {
namespace {

const char* Lookup(const EnvLookup& env, const char* name) {
    const char* v = env ? env(name) : std::getenv(name);
    return (v && *v) ? v : nullptr;
}

SHomes& ProgramHomes() {
    static SHomes homes;
    return homes;
}

}  // namespace

SHomes ResolveHomes(const std::string& homeOption, const EnvLookup& env) {
    std::filesystem::path home;
    if (!homeOption.empty())
        home = homeOption;
    else if (const char* h = Lookup(env, "PLOVER_HOME"))
        home = h;
    if (!home.empty()) return {home, home, home / "cache"};

    SHomes homes;
    const char* user = Lookup(env, "HOME");
    // XDG asks that relative paths in its variables be ignored.
    auto xdg = [&](const char* var, const char* fallback) -> std::filesystem::path {
        const char* v = Lookup(env, var);
        if (v && v[0] == '/') return std::filesystem::path(v) / "plover";
        if (user) return std::filesystem::path(user) / fallback / "plover";
        return {};
    };
    homes.settingsDir = xdg("XDG_CONFIG_HOME", ".config");
    homes.dataDir = xdg("XDG_DATA_HOME", ".local/share");
    homes.cacheDir = xdg("XDG_CACHE_HOME", ".cache");
    return homes;
}

bool CreateHomes(const SHomes& homes, std::string* error) {
    for (const auto& dir : {homes.settingsDir, homes.dataDir}) {
        if (dir.empty()) {
            if (error) *error = "no home folder: set HOME, PLOVER_HOME or --home";
            return false;
        }
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec || !std::filesystem::is_directory(dir)) {
            if (error) *error = "cannot create " + dir.string() + ": " + (ec ? ec.message() : "not a folder");
            return false;
        }
    }
    return true;
}

void SetProgramHomes(const SHomes& homes) { ProgramHomes() = homes; }

const SHomes& GetProgramHomes() { return ProgramHomes(); }

std::string GetProgramFolder() {
    std::string s = ProgramHomes().dataDir.string();
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}

std::filesystem::path GetProgramCacheFolder() {
    const SHomes& h = ProgramHomes();
    if (!h.cacheDir.empty()) return h.cacheDir;
    return h.dataDir.empty() ? std::filesystem::path() : h.dataDir / "cache";
}

bool IsUsableFolder(const std::filesystem::path& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool CreatePrivateFolder(const std::filesystem::path& folder, std::string* error) {
    if (folder.empty()) {
        if (error) *error = "no folder";
        return false;
    }
    std::filesystem::path f = folder.lexically_normal();
    if (!f.has_filename()) f = f.parent_path();  // "dir/" names dir itself
    std::error_code ec;
    if (f.has_parent_path()) std::filesystem::create_directories(f.parent_path(), ec);
    if (::mkdir(f.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error) *error = "cannot create " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!IsUsableFolder(folder)) {
        if (error) *error = folder.string() + " is not a folder that can take files";
        return false;
    }
    return true;
}

std::filesystem::path GetSystemTempFolder() {
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? std::filesystem::path(t) : std::filesystem::path("/tmp");
}

}  // namespace plover
