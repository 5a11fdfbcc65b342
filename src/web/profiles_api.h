#pragma once
// The scan profiles and the search sites, each a list with add, edit, delete and reset to the
// defaults, kept with the settings and written at once. The refusals are the editing rules' own
// texts ("Profile name cannot be empty.", "Site name and format cannot be empty").
//
//   GET  /api/profiles                 {"profiles": [profile], "empty": text shown without any}
//   POST /api/profiles                 profile fields: a new profile (defaults for what is absent)
//   POST /api/profiles/N               profile fields: changes profile N (from 0)
//   POST /api/profiles/N/delete        removes it; /api/profiles/reset {"confirm":true}: the four defaults
//   profile: {"index","name","description","thumbnails","largePictures","links","recurse",
//             "oneThumbnailFromEach","onlyThisSite","responsivePictures" (booleans),"depth","scanNote" (why it cannot scan, or "")}
//
//   GET  /api/search-sites             {"sites": [{"index","title","format"}]}
//   POST /api/search-sites             {"title","format"} a new site
//   POST /api/search-sites/N           {"title"?,"format"?} changes site N
//   POST /api/search-sites/N/delete    removes it; /api/search-sites/reset {"confirm":true}: the defaults
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

SApiAnswer ListProfiles();
// index -1: a new profile.
SApiAnswer SaveProfile(int index, const nlohmann::json& body);
SApiAnswer DeleteProfile(int index);
SApiAnswer ResetProfiles(const nlohmann::json& body);

SApiAnswer ListSearchSites();
SApiAnswer SaveSearchSite(int index, const nlohmann::json& body);
SApiAnswer DeleteSearchSite(int index);
SApiAnswer ResetSearchSites(const nlohmann::json& body);

}  // namespace plover::web
