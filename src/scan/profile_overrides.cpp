#include "scan/profile_overrides.h"

namespace plover {

SScanProfile WithOverrides(SScanProfile profile, const SProfileOverrides& o) {
    if (o.depth) {
        // A depth asks for recursion to that depth; 0 is the start page alone.
        profile.bRecurse = *o.depth > 0;
        if (*o.depth > 0) profile.iDepth = *o.depth;
    }
    if (o.allThumbnails) profile.bOneThumbnailFromEach = 0;
    if (o.anySite) profile.bOnlyThisSite = 0;
    if (o.largePictures) profile.bLargePictures = *o.largePictures;
    if (o.thumbnails) profile.bThumbnails = *o.thumbnails;
    return profile;
}

}  // namespace plover
