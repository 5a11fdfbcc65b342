#include "cli/profile_override_options.h"

namespace plover::cli {
namespace {

std::optional<bool> YesNo(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text == "yes";
}

}  // namespace

SProfileOverrides SProfileOverrideOptions::Overrides() const {
    SProfileOverrides o;
    if (depth >= 0) o.depth = depth;
    o.allThumbnails = allThumbnails;
    o.anySite = anySite;
    o.largePictures = YesNo(largePictures);
    o.thumbnails = YesNo(thumbnails);
    return o;
}

nlohmann::json SProfileOverrideOptions::ToJson() const {
    return {{"depth", depth},
            {"allThumbnails", allThumbnails},
            {"anySite", anySite},
            {"largePictures", largePictures},
            {"thumbnails", thumbnails},
            {"followPicturePages", followPicturePages}};
}

SProfileOverrideOptions SProfileOverrideOptions::FromJson(const nlohmann::json& j) {
    SProfileOverrideOptions o;
    if (!j.is_object()) return o;
    auto yesNo = [&](const char* key) {
        std::string v = j.value(key, "");
        return v == "yes" || v == "no" ? v : std::string();
    };
    o.depth = j.value("depth", -1);
    o.allThumbnails = j.value("allThumbnails", false);
    o.anySite = j.value("anySite", false);
    o.largePictures = yesNo("largePictures");
    o.thumbnails = yesNo("thumbnails");
    o.followPicturePages = j.value("followPicturePages", false);
    return o;
}

void AddProfileOverrideOptions(CLI::App* cmd, SProfileOverrideOptions& o) {
    const std::string group = "Profile overrides (this run only)";
    cmd->add_option("--depth", o.depth, "Follow links to numbered pages N levels down (0: the start page only)")
        ->check(CLI::Range(0, 1000))
        ->type_name("N")
        ->group(group);
    cmd->add_flag("--all-thumbnails", o.allThumbnails, "Take every thumbnail of each page, not only the first")
        ->group(group);
    cmd->add_flag("--any-site", o.anySite, "Follow links to other sites too")->group(group);
    cmd->add_option("--large-pictures", o.largePictures, "Collect the large pictures shown on pages, or not")
        ->check(CLI::IsMember({"yes", "no"}))
        ->type_name("yes|no")
        ->group(group);
    cmd->add_option("--thumbnails", o.thumbnails, "Collect the pictures that thumbnails link to, or not")
        ->check(CLI::IsMember({"yes", "no"}))
        ->type_name("yes|no")
        ->group(group);
    cmd->add_flag("--follow-picture-pages", o.followPicturePages,
                  "A thumbnail that opens a page (not a picture) is scanned for the large picture on that page")
        ->group(group);
}

}  // namespace plover::cli
