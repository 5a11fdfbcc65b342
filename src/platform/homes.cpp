#include "platform/homes.h"

#include <cstdlib>
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
    if (!home.empty()) return {home, home};

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

std::filesystem::path GetSystemTempFolder() {
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? std::filesystem::path(t) : std::filesystem::path("/tmp");
}

}  // namespace plover
