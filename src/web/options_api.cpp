#include "web/options_api.h"

#include <algorithm>
#include <mutex>

#include "app/reg_store.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

// Settings are set by one request at a time; the engines read them as they always do.
std::mutex optionsLock;

bool Has(const std::string& name, std::initializer_list<const char*> parts) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* p : parts)
        if (lower.find(p) != std::string::npos) return true;
    return false;
}

const char* const kGroups[] = {"Downloads", "Connection", "FTP", "Page cache", "Dial-up", "Sounds", "Appearance", "General"};

}  // namespace

std::string SettingGroup(const std::string& name) {
    if (Has(name, {"sound", "wav"})) return "Sounds";
    if (Has(name, {"dial", "ras"})) return "Dial-up";
    if (Has(name, {"cache"})) return "Page cache";
    if (Has(name, {"ftp"})) return "FTP";
    if (Has(name, {"proxy", "timeout", "connect", "useragent", "retry", "retries"})) return "Connection";
    if (Has(name, {"traffic", "quota", "download", "section", "worker", "priority", "speed"})) return "Downloads";
    if (Has(name, {"color", "colour", "width", "view", "thumb", "window", "show", "font", "column", "pos", "size"}))
        return "Appearance";
    return "General";
}

SApiAnswer ListOptions() {
    std::lock_guard g(optionsLock);
    nlohmann::json groups = nlohmann::json::array();
    for (const char* group : kGroups) groups.push_back({{"name", group}, {"settings", nlohmann::json::array()}});
    for (const SSettingInfo& info : ListSettings(GetSettings())) {
        std::string group = SettingGroup(info.name);
        for (nlohmann::json& g2 : groups)
            if (g2["name"] == group)
                g2["settings"].push_back(
                    {{"name", info.name}, {"kind", DescribeKind(info)}, {"value", ValidUtf8(FormatSetting(info))}});
    }
    return {200, {{"groups", groups}}};
}

SApiAnswer SetOption(const nlohmann::json& body) {
    if (!body.contains("name") || !body["name"].is_string() || !body.contains("value") || !body["value"].is_string())
        return ApiError(400, "\"name\" and \"value\" must be strings.");
    std::string name = body["name"].get<std::string>(), value = body["value"].get<std::string>();
    if (value.size() > 4096) return ApiError(400, "The value is too long.");
    std::lock_guard g(optionsLock);
    auto list = ListSettings(GetSettings());
    const SSettingInfo* info = FindSetting(list, name);
    if (!info) return ApiError(404, "No setting named \"" + name + "\".");
    if (info->name == std::string("csCacheFolder"))
        return ApiError(422, "The cache folder moves with its files: plover cache move FOLDER.");
    std::string error;
    if (!ParseSetting(*info, value, &error)) return ApiError(422, error);
    SaveMainSettings();
    if (!GetRegStore().Save(&error)) return ApiError(500, error);
    return {200, {{"name", info->name}, {"value", ValidUtf8(FormatSetting(*info))}}};
}

}  // namespace plover::web
