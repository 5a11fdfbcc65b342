// plover settings list | get NAME | set NAME VALUE: the stored settings by their value names.
// Nested records are named "Record/value" ("TimeoutParams/dwConnect"). A change is stored when
// the command ends, like every setting the program changes.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/settings_catalog.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/remote_commands.h"
#include "cli/json_lines.h"
#include "platform/homes.h"

namespace plover::cli {
namespace {

nlohmann::json ToJson(const SSettingInfo& info) {
    switch (info.kind) {
        case kRegDWord: return *static_cast<const uint32_t*>(info.target);
        case kRegInt: return *static_cast<const int32_t*>(info.target);
        case kRegBinary: {
            nlohmann::json words = nlohmann::json::array();
            const auto* p = static_cast<const int32_t*>(info.target);
            for (size_t i = 0; i < info.size / 4; ++i) words.push_back(p[i]);
            return words;
        }
        default: return FormatSetting(info);
    }
}

const SSettingInfo* FindOrComplain(const std::vector<SSettingInfo>& list, const std::string& name, CliContext& ctx) {
    const SSettingInfo* info = FindSetting(list, name);
    if (!info) {
        Complain() << "unknown setting \"" << name << "\" (plover settings list shows them all)\n";
        ctx.exitCode = 1;
    }
    return info;
}

nlohmann::json SettingLine(const SSettingInfo& info) {
    return {{"type", "setting"}, {"name", info.name}, {"value", ToJson(info)}};
}

void List(CliContext& ctx, bool json) {
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunSettingsListThrough(*running, json);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    auto list = ListSettings(GetSettings());
    if (json) {
        for (const auto& info : list) WriteJsonLine(std::cout, SettingLine(info));
        return;
    }
    for (const auto& info : list) std::cout << info.name << " = " << FormatSetting(info) << "\n";
}

void Get(CliContext& ctx, const std::string& name, bool json) {
    if (!json)  // the JSON line is read from the stored settings, which a running Plover saves at once
        if (auto running = FindRunningPlover(ctx)) {
            ctx.exitCode = RunSettingsGetThrough(*running, name);
            return;
        }
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    auto list = ListSettings(GetSettings());
    const SSettingInfo* info = FindOrComplain(list, name, ctx);
    if (!info) return;
    if (json)
        WriteJsonLine(std::cout, SettingLine(*info));
    else
        std::cout << FormatSetting(*info) << "\n";
}

void Set(CliContext& ctx, const std::string& name, const std::string& value) {
    // While Plover runs in this home, the change is made there and stored at once.
    if (auto running = FindRunningPlover(ctx)) {
        ctx.exitCode = RunSettingsSetThrough(*running, name, value);
        return;
    }
    CCliApp app(ctx);
    if (!app.Start()) return;
    auto list = ListSettings(GetSettings());
    const SSettingInfo* info = FindOrComplain(list, name, ctx);
    if (!info) return;
    // The cache folder must be one that can take the cached files (empty: the home's own);
    // plover cache move takes the files along to a new one.
    if (info->name == std::string("csCacheFolder") && !value.empty() && !IsUsableFolder(value)) {
        Complain() << "csCacheFolder: " << value
                  << " is not a folder that can take files (plover cache move FOLDER moves the cache)\n";
        ctx.exitCode = 1;
        return;
    }
    std::string error;
    if (!ParseSetting(*info, value, &error)) {
        Complain() << error << "\n";
        ctx.exitCode = 1;
        return;
    }
    if (app.Stop()) std::cout << info->name << " = " << FormatSetting(*info) << "\n";
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("settings", "Read and change the stored settings by their value names");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* list = cmd->add_subcommand("list", "Every setting with its value, in stored order");
    list->add_flag("--json", *json, "One JSON object: names to values");
    list->callback([&ctx, json] { List(ctx, *json); });

    auto name = std::make_shared<std::string>();
    auto* get = cmd->add_subcommand("get", "Print one setting's value");
    get->add_option("NAME", *name, "Value name, e.g. eTrafficMode or TimeoutParams/dwConnect")->required();
    auto getJson = std::make_shared<bool>(false);
    get->add_flag("--json", *getJson, "As one JSON object");
    get->callback([&ctx, name, getJson] { Get(ctx, *name, *getJson); });

    auto setName = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    auto* set = cmd->add_subcommand("set", "Change one setting (stored when the command ends)");
    set->add_option("NAME", *setName, "Value name, e.g. eTrafficMode or TimeoutParams/dwConnect")->required();
    set->add_option("VALUE", *value,
                    "A number (decimal or 0x hex), a text, or for blocks their numbers: \"32 32\"")
        ->required();
    set->callback([&ctx, setName, value] { Set(ctx, *setName, *value); });
}

CommandRegistrar registrar("settings", Setup);

}  // namespace
}  // namespace plover::cli
