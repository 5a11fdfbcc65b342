#pragma once
// The options of the commands that scan (scan, collect, search) that change the scan profile for
// this run only: --depth N, --all-thumbnails, --any-site, --large-pictures yes|no,
// --thumbnails yes|no, and --follow-picture-pages (a thumbnail that opens a photo page is
// scanned one level deeper for its large picture). With them one command collects a whole
// gallery under a default profile.
#include <string>

#include <nlohmann/json.hpp>

#include "cli/command.h"
#include "scan/profile_overrides.h"
#include "scan/scan_profile.h"

namespace plover::cli {

struct SProfileOverrideOptions {
    int depth = -1;  // -1: the profile's own
    bool allThumbnails = false;
    bool anySite = false;
    std::string largePictures;  // "yes", "no" or empty: the profile's own
    std::string thumbnails;
    bool followPicturePages = false;

    SProfileOverrides Overrides() const;
    // What a running Plover is sent for a collection it runs, and read back there.
    nlohmann::json ToJson() const;
    static SProfileOverrideOptions FromJson(const nlohmann::json& j);
};

void AddProfileOverrideOptions(CLI::App* cmd, SProfileOverrideOptions& options);

// The stored profile with this run's overrides.
inline SScanProfile WithOverrides(const SScanProfile& profile, const SProfileOverrideOptions& options) {
    return plover::WithOverrides(profile, options.Overrides());
}

}  // namespace plover::cli
