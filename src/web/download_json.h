#pragma once
// What the browser receives about downloads and the log: one JSON object per download (the
// columns of the download list), and one per log line.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "download/categories.h"

namespace plover {
struct IDownload;
}

namespace plover::web {

// {"id","name","url","folder","server","status","statusClass","waitForUser","waitReason",
//  "statusTime","size","downloaded","speed","timeLeft","priority","paused","finished","failed",
//  "queue","sections":[[start,size],...],"category","moving","moveDone","moveTotal"}
// category indexes categories, which is ListCategories() taken once for all the downloads written
// together (-1: none); moveDone and moveTotal are the bytes the file
// relocator has carried while the download is "moving".
// waitReason says what a download in "Wait for user" waits for: "login" (the server asked for
// one), "exists" (the target file exists: overwrite or cancel), "other"; "" when not waiting.
nlohmann::json DownloadJson(IDownload* d, const std::vector<SCategoryProp>& categories);
// The categories the list is filtered by: the installed ones, or the five defaults (by their
// extensions alone) while none is installed, so the filter is useful from the first start.
std::vector<SCategoryProp> ListCategories();
nlohmann::json CategoriesJson(const std::vector<SCategoryProp>& categories);  // their names, in index order
// Whether a download is a row of the download list: the page cache's fetches and the picture
// previews are the program's own short-lived work (thousands in a large scan), not the user's.
bool ShownInDownloadList(int clientId);
const char* WaitReason(uint32_t status, uint32_t reason);
// "failed", "busy" or "idle" for a status class.
const char* StatusClassName(uint32_t statusClass);
// {"seq","kind","kindName","text"}
nlohmann::json LogLineJson(uint64_t seq, uint32_t kind, const std::string& text);
const char* LogKindName(uint32_t kind);

}  // namespace plover::web
