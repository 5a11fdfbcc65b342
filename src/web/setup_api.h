#pragma once
// The installation as the page's first-run wizard, and the uninstallation from the options.
// The running program holds the home's instance lock, so no other Plover can be installing or
// running in the same home meanwhile; the wizard installs into the running program's own store.
//
//   GET  /api/setup             {"installed", "basketsFolder" (proposed), "baskets": [names], "settings"}
//   POST /api/setup/install     {"basketsFolder":"/abs", "baskets":[names], "importProxy":bool}
//   POST /api/setup/uninstall   {"confirm":true}  removes the settings, saves nothing and quits
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

struct SSetupContext {
    std::filesystem::path storeFile;    // the settings store; its absence means "not installed"
    std::string proposedBasketsFolder;  // the parent the wizard proposes
    std::string iconFolder;             // where the baskets' icons are
    std::function<void()> uninstalled;  // the program saves nothing at exit and quits
};

class CSetupApi {
public:
    explicit CSetupApi(SSetupContext context);

    SApiAnswer State();
    SApiAnswer Install(const nlohmann::json& body);
    SApiAnswer Uninstall(const nlohmann::json& body);

private:
    std::mutex lock_;
    SSetupContext context_;
    bool installed_;
};

}  // namespace plover::web
