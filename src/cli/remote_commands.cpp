#include "cli/remote_commands.h"

#include <algorithm>
#include <iostream>

#include "cli/cli_kit.h"
#include "cli/download_format.h"
#include "cli/json_lines.h"
#include "cli/remote_client.h"

namespace plover::cli {
namespace {

bool SameName(std::string a, std::string b) {
    auto lower = [](std::string& s) { std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); }); };
    lower(a);
    lower(b);
    return a == b;
}

// The stored settings in stored order, or false (said why).
bool Stored(const SRunningPlover& plover, nlohmann::json& settings) {
    nlohmann::json answer;
    if (CPloverClient(plover).Get("/api/settings/stored", answer) != 200) {
        Complain() << "the running Plover does not answer\n";
        return false;
    }
    settings = answer.value("settings", nlohmann::json::array());
    return true;
}

void UnknownSetting(const std::string& name) {
    Complain() << "unknown setting \"" << name << "\" (plover settings list shows them all)\n";
}

}  // namespace

int RunSettingsListThrough(const SRunningPlover& plover, bool json) {
    nlohmann::json settings;
    if (!Stored(plover, settings)) return 1;
    if (json) {
        for (const nlohmann::json& s : settings)
            WriteJsonLine(std::cout, {{"type", "setting"}, {"name", s.value("name", "")}, {"value", s["json"]}});
        return 0;
    }
    for (const nlohmann::json& s : settings) std::cout << s.value("name", "") << " = " << s.value("value", "") << "\n";
    return 0;
}

int RunSettingsGetThrough(const SRunningPlover& plover, const std::string& name) {
    nlohmann::json settings;
    if (!Stored(plover, settings)) return 1;
    for (const nlohmann::json& s : settings)
        if (SameName(s.value("name", ""), name)) {
            std::cout << s.value("value", "") << "\n";
            return 0;
        }
    UnknownSetting(name);
    return 1;
}

int RunSettingsSetThrough(const SRunningPlover& plover, const std::string& name, const std::string& value) {
    nlohmann::json answer;
    int status = CPloverClient(plover).Post("/api/settings", {{"name", name}, {"value", value}}, answer);
    if (status == 200) {
        std::cout << answer.value("name", name) << " = " << answer.value("value", "") << "\n";
        return 0;
    }
    if (status == 404) UnknownSetting(name);
    else if (status == 0) Complain() << "the running Plover does not answer\n";
    else Complain() << answer.value("error", "refused") << "\n";
    return 1;
}

int RunListThrough(const SRunningPlover& plover, bool json) {
    nlohmann::json snapshot;
    if (CPloverClient(plover).Get("/api/snapshot", snapshot) != 200) {
        Complain() << "the running Plover does not answer\n";
        return 1;
    }
    std::vector<nlohmann::json> downloads;
    for (const nlohmann::json& d : snapshot.value("downloads", nlohmann::json::array())) downloads.push_back(d);
    std::stable_sort(downloads.begin(), downloads.end(),
                     [](const nlohmann::json& a, const nlohmann::json& b) { return a.value("queue", 0) < b.value("queue", 0); });
    if (json) {
        for (const nlohmann::json& d : downloads)
            WriteJsonLine(std::cout, {{"type", "download"}, {"id", d["id"]}, {"status", d["status"]},
                                      {"reason", d.value("reason", "")}, {"downloaded", d["downloaded"]},
                                      {"size", d["size"]}, {"priority", d["priority"]}, {"path", d.value("path", "")},
                                      {"url", d["url"]}, {"tls", d.value("tls", false)}});
        return 0;
    }
    if (downloads.empty()) std::cout << "The download list is empty.\n";
    for (const nlohmann::json& d : downloads) {
        std::string status = d.value("status", "");
        if (!d.value("reason", "").empty()) status += " (" + d.value("reason", "") + ")";
        uint32_t size = d.value("size", 0u), done = d.value("downloaded", 0u);
        int pct = Percent(done, size);
        std::string progress = pct >= 0 ? std::to_string(pct) + "% of " + FormatBytes(size) : FormatBytes(done);
        std::cout << d.value("id", 0) << "  " << status << "  " << progress << "  priority " << d.value("priority", 0)
                  << "  " << d.value("path", "") << "  " << (d.value("tls", false) ? "TLS " : "") << d.value("url", "")
                  << "\n";
    }
    return 0;
}

}  // namespace plover::cli
