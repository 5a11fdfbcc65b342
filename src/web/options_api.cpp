#include "web/options_api.h"

#include <algorithm>
#include <mutex>

#include "app/reg_store.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "web/option_pages.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

// Settings are set by one request at a time; the engines read them as they always do.
std::mutex& optionsLock = SettingsLock();

const char* ControlName(EOptionControl c) {
    switch (c) {
        case EOptionControl::Check: return "check";
        case EOptionControl::Number: return "number";
        case EOptionControl::Choice: return "choice";
        case EOptionControl::Folder: return "folder";
        case EOptionControl::File: return "file";
        case EOptionControl::Password: return "password";
        case EOptionControl::Colour: return "colour";
        case EOptionControl::Numbers: return "numbers";
        case EOptionControl::Shown: return "shown";
        case EOptionControl::Text: break;
    }
    return "text";
}

nlohmann::json Describe(const SSettingInfo& info, const SOptionRow* row) {
    std::string value = ValidUtf8(FormatSetting(info));
    nlohmann::json j = {{"name", info.name}, {"kind", DescribeKind(info)}, {"value", value}};
    if (!row) {
        j["label"] = info.name;
        j["control"] = "text";
        return j;
    }
    j["label"] = row->label;
    j["control"] = ControlName(row->control);
    if (row->control == EOptionControl::Number || row->control == EOptionControl::Numbers) {
        j["min"] = row->min;
        j["max"] = row->max;
    }
    if (*row->unit) j["unit"] = row->unit;
    if (row->control == EOptionControl::Choice) j["choices"] = row->choices;
    if (row->control == EOptionControl::Colour) j["colour"] = ColourToHtml(value);
    return j;
}

}  // namespace

std::mutex& SettingsLock() {
    static std::mutex lock;
    return lock;
}

bool WriteSettings(std::string* error) {
    SaveMainSettings();
    return GetRegStore().Save(error);
}

SApiAnswer ListOptions() {
    std::lock_guard g(optionsLock);
    nlohmann::json pages = nlohmann::json::array();
    for (const char* page : OptionPages()) pages.push_back({{"name", page}, {"settings", nlohmann::json::array()}});
    // Each page in the order of its rows; settings no page names come last, on "General".
    auto list = ListSettings(GetSettings());
    std::vector<std::pair<const SOptionRow*, const SSettingInfo*>> ordered;
    for (const SSettingInfo& info : list) ordered.push_back({FindOptionRow(info.name), &info});
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.first && (!b.first || OptionRowOrder(a.first) < OptionRowOrder(b.first));
    });
    for (const auto& [row, infoPtr] : ordered) {
        const SSettingInfo& info = *infoPtr;
        std::string page = row ? row->page : "General";
        for (nlohmann::json& p : pages)
            if (p["name"] == page) p["settings"].push_back(Describe(info, row));
    }
    return {200, {{"groups", pages}}};
}

SApiAnswer StoredSettings() {
    std::lock_guard g(optionsLock);
    nlohmann::json out = nlohmann::json::array();
    for (const SSettingInfo& info : ListSettings(GetSettings())) {
        nlohmann::json typed;
        switch (info.kind) {
            case kRegDWord: typed = *static_cast<const uint32_t*>(info.target); break;
            case kRegInt: typed = *static_cast<const int32_t*>(info.target); break;
            case kRegBinary: {
                typed = nlohmann::json::array();
                const auto* p = static_cast<const int32_t*>(info.target);
                for (size_t i = 0; i < info.size / 4; ++i) typed.push_back(p[i]);
                break;
            }
            default: typed = ValidUtf8(FormatSetting(info)); break;
        }
        out.push_back({{"name", info.name}, {"value", ValidUtf8(FormatSetting(info))}, {"json", typed}});
    }
    return {200, {{"settings", out}}};
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
    const SOptionRow* row = FindOptionRow(info->name);
    if (row && row->control == EOptionControl::Colour)
        if (auto stored = ColourFromHtml(value)) value = *stored;
    std::string error = row ? CheckOptionValue(*row, value) : "";
    if (!error.empty()) return ApiError(422, error);
    if (!ParseSetting(*info, value, &error)) return ApiError(422, error);
    if (!WriteSettings(&error)) return ApiError(500, error);
    return {200, Describe(*info, row)};
}

}  // namespace plover::web
