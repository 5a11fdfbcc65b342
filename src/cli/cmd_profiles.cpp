// plover profiles list | show N | add NAME [options] | edit N [options] | remove N: the scan
// profiles, stored with the settings under "ScanProfiles". N is a profile's position (as `list`
// shows it) or its name. A change is stored when the command ends, like every setting.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"
#include "scan/scan_profile.h"

namespace plover::cli {
namespace {

// The options of add and edit; unset ones leave the profile's value as it is.
struct SProfileOptions {
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<bool> thumbnails, largePictures, links, recurse, oneFromEach, onlyThisSite, responsive;
    std::optional<int32_t> depth;
};

void AddProfileOptions(CLI::App* cmd, SProfileOptions& o, bool withName) {
    if (withName) cmd->add_option("--name", o.name, "The shown name (never empty)");
    cmd->add_option("--description", o.description, "The shown description");
    cmd->add_option("--thumbnails", o.thumbnails, "Collect thumbnails (yes/no)");
    cmd->add_option("--large-pictures", o.largePictures, "Collect large pictures (yes/no)");
    cmd->add_option("--links", o.links, "Collect page links (yes/no)");
    cmd->add_option("--recurse", o.recurse, "Follow links to further pages (yes/no)");
    cmd->add_option("--one-from-each", o.oneFromEach, "With --recurse: only the first thumbnail of each page (yes/no)");
    cmd->add_option("--only-this-site", o.onlyThisSite, "With --recurse: only pages of the start address's host (yes/no)");
    cmd->add_option("--depth", o.depth, "With --recurse: link levels below the start page");
    cmd->add_option("--responsive-pictures", o.responsive,
                    "Read srcset, <picture> and lazy-loading attributes (data-src...) (yes/no)");
}

// Applies the options; false (the profile unchanged, the reason shown) when the name is empty.
bool Apply(SScanProfile& p, const SProfileOptions& o) {
    SScanProfile changed = p;
    std::string error;
    if (!SetProfileNameAndDescription(changed, o.name.value_or(p.csName), o.description.value_or(p.csDescription),
                                      &error)) {
        Complain() << error << "\n";
        return false;
    }
    auto flag = [](int32_t& field, const std::optional<bool>& v) {
        if (v) field = *v ? 1 : 0;
    };
    flag(changed.bThumbnails, o.thumbnails);
    flag(changed.bLargePictures, o.largePictures);
    flag(changed.bLinks, o.links);
    flag(changed.bRecurse, o.recurse);
    flag(changed.bOneThumbnailFromEach, o.oneFromEach);
    flag(changed.bOnlyThisSite, o.onlyThisSite);
    flag(changed.bResponsivePictures, o.responsive);
    if (o.depth) changed.iDepth = *o.depth;
    p = changed;
    return true;
}

nlohmann::json ToJson(int index, const SScanProfile& p) {
    return {{"type", "profile"},
            {"number", index},
            {"name", p.csName},
            {"description", p.csDescription},
            {"thumbnails", p.bThumbnails != 0},
            {"largePictures", p.bLargePictures != 0},
            {"links", p.bLinks != 0},
            {"recurse", p.bRecurse != 0},
            {"oneThumbnailFromEach", p.bOneThumbnailFromEach != 0},
            {"onlyThisSite", p.bOnlyThisSite != 0},
            {"depth", p.iDepth},
            {"responsivePictures", p.bResponsivePictures != 0}};
}

// "thumbnails, large pictures; recursive, depth 5, one thumbnail from each page"
std::string Summary(const SScanProfile& p) {
    std::string what;
    auto add = [&](bool on, const char* text) {
        if (!on) return;
        if (!what.empty()) what += ", ";
        what += text;
    };
    add(p.bThumbnails, "thumbnails");
    add(p.bLargePictures, "large pictures");
    add(p.bLinks, "page links");
    if (what.empty()) what = "nothing";
    if (!p.bRecurse) return what + "; this page only";
    what += "; recursive, depth " + std::to_string(p.iDepth);
    if (p.bOneThumbnailFromEach) what += ", one thumbnail from each page";
    if (p.bOnlyThisSite) what += ", only this site";
    return what;
}

void PrintProfile(int index, const SScanProfile& p) {
    auto yn = [](int32_t v) { return v ? "yes" : "no"; };
    std::cout << "Profile " << index << ": " << p.csName << "\n"
              << "  Description:                  " << p.csDescription << "\n"
              << "  Thumbnails:                   " << yn(p.bThumbnails) << "\n"
              << "  Large pictures:               " << yn(p.bLargePictures) << "\n"
              << "  Page links:                   " << yn(p.bLinks) << "\n"
              << "  Follow links:                 " << yn(p.bRecurse) << "\n"
              << "  One thumbnail from each page: " << yn(p.bOneThumbnailFromEach) << "\n"
              << "  Only this site:               " << yn(p.bOnlyThisSite) << "\n"
              << "  Depth:                        " << p.iDepth << "\n"
              << "  Responsive and lazy pictures: " << yn(p.bResponsivePictures) << "\n";
}

// The profile named by text, or -1 (said so, exit status 1).
int Find(CliContext& ctx, const std::string& text) {
    int i = GetScanProfiles().FindByNameOrNumber(text);
    if (i < 0) {
        Complain() << "no profile \"" << text << "\" (plover profiles list shows them)\n";
        ctx.exitCode = 1;
    }
    return i;
}

void List(CliContext& ctx, bool json) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    const CScanProfileList& list = GetScanProfiles();
    if (json) {
        for (int i = 0; i < list.GetSize(); ++i) WriteJsonLine(std::cout, ToJson(i, *list.GetAt(i)));
        return;
    }
    if (list.GetSize() == 0) std::cout << kNoProfilesMessage << "\n";
    for (int i = 0; i < list.GetSize(); ++i)
        std::cout << i << "  " << list.GetAt(i)->csName << "  (" << Summary(*list.GetAt(i)) << ")\n";
}

void Show(CliContext& ctx, const std::string& which, bool json) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    int i = Find(ctx, which);
    if (i < 0) return;
    if (json)
        WriteJsonLine(std::cout, ToJson(i, *GetScanProfiles().GetAt(i)));
    else
        PrintProfile(i, *GetScanProfiles().GetAt(i));
}

void Add(CliContext& ctx, const std::string& name, SProfileOptions options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    SScanProfile p;  // a new profile has the defaults
    options.name = name;
    if (!Apply(p, options)) {
        ctx.exitCode = 1;
        return;
    }
    int i = GetScanProfiles().AddCopy(p);
    if (app.Stop()) std::cout << "Added profile " << i << ": " << p.csName << "\n";
}

void Edit(CliContext& ctx, const std::string& which, const SProfileOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    int i = Find(ctx, which);
    if (i < 0) return;
    SScanProfile* p = GetScanProfiles().GetAt(i);
    if (!Apply(*p, options)) {
        ctx.exitCode = 1;
        return;
    }
    if (app.Stop()) PrintProfile(i, *p);
}

void Remove(CliContext& ctx, const std::string& which, bool yes) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    int i = Find(ctx, which);
    if (i < 0) return;
    SScanProfile* p = GetScanProfiles().GetAt(i);
    std::string question = DeleteProfileQuestion(*p);
    if (!yes) {
        if (!StdinIsTerminal()) {
            Complain() << question << " Answer with --yes to delete it without a terminal.\n";
            ctx.exitCode = 1;
            return;
        }
        if (!AskYesNo(question + " [y/N] ", [] { return false; })) return;
    }
    std::string name = p->csName;
    GetScanProfiles().Remove(p);
    if (app.Stop()) std::cout << "Deleted profile '" << name << "'.\n";
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("profiles", "The scan profiles: what a scan collects and how far it follows links");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* list = cmd->add_subcommand("list", "Every profile with its number");
    list->add_flag("--json", *json, "One JSON object a line");
    list->callback([&ctx, json] { List(ctx, *json); });

    auto which = std::make_shared<std::string>();
    auto* show = cmd->add_subcommand("show", "One profile's settings");
    show->add_option("N", *which, "The profile's number or name")->required();
    show->add_flag("--json", *json, "One JSON object");
    show->callback([&ctx, which, json] { Show(ctx, *which, *json); });

    auto name = std::make_shared<std::string>();
    auto addOptions = std::make_shared<SProfileOptions>();
    auto* add = cmd->add_subcommand("add", "A new profile (the defaults, then the options given)");
    add->add_option("NAME", *name, "The new profile's name")->required();
    AddProfileOptions(add, *addOptions, false);
    add->callback([&ctx, name, addOptions] { Add(ctx, *name, *addOptions); });

    auto editOptions = std::make_shared<SProfileOptions>();
    auto* edit = cmd->add_subcommand("edit", "Change a profile (only the options given)");
    edit->add_option("N", *which, "The profile's number or name")->required();
    AddProfileOptions(edit, *editOptions, true);
    edit->callback([&ctx, which, editOptions] { Edit(ctx, *which, *editOptions); });

    auto yes = std::make_shared<bool>(false);
    auto* remove = cmd->add_subcommand("remove", "Delete a profile (asks first on a terminal)");
    remove->add_option("N", *which, "The profile's number or name")->required();
    remove->add_flag("--yes", *yes, "Delete without asking");
    remove->callback([&ctx, which, yes] { Remove(ctx, *which, *yes); });
}

CommandRegistrar registrar("profiles", Setup);

}  // namespace
}  // namespace plover::cli
