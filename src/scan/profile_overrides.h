#pragma once
// What one run changes in the scan profile it uses, without storing anything: a command that scans
// takes the profile as stored and then these, so that a whole gallery is collected with one
// command instead of a profile made by hand.
#include <cstdint>
#include <optional>

#include "scan/scan_profile.h"

namespace plover {

struct SProfileOverrides {
    std::optional<int32_t> depth;          // levels of links followed below the start page (none: it alone)
    bool allThumbnails = false;            // every thumbnail of each page, not only the first
    bool anySite = false;                  // follow links to other sites too
    std::optional<bool> largePictures;     // collect large pictures, or not
    std::optional<bool> thumbnails;        // collect thumbnails, or not

    bool Empty() const { return !depth && !allThumbnails && !anySite && !largePictures && !thumbnails; }
};

// The profile with the overrides applied.
SScanProfile WithOverrides(SScanProfile profile, const SProfileOverrides& overrides);

}  // namespace plover
