#pragma once
// The page manager's decisions as pure rules, so that each can be read and tested as a table:
// what to do with a stored copy when its address is requested again, and what a download's new
// status means for the web file that waits for it.
#include <cstdint>

#include "download/download_status.h"

namespace plover {

// The cache modes ("Check for newer versions of stored pages:").
enum ECacheMode : int32_t {
    CACHE_EVERY_VISIT = 0,    // "Every visit to the page"
    CACHE_AUTOMATICALLY = 1,  // "Automatically": a copy older than 24 hours is checked
    CACHE_NEVER = 2,          // "Never"
};

// What the cache options page says before it clears the cache, and why it refuses to move the
// cache while pages are being fetched.
inline constexpr const char* kClearCacheQuestion =
    "Are you sure you want to clear the cache? All the temporary\nfiles will be deleted and when you visit pages "
    "you have already visited,\nPlover will have to reload them.\nDo you want to continue?";
inline constexpr const char* kCacheMoveRefusal =
    "Unfortunately it's not possible to change the cache folder right now.\nPlease close all active scan and search "
    "documents and try again.";

// A stored copy is fresh while its age is 24 whole hours or less.
constexpr int64_t kFreshHours = 24;

// What becomes of a request whose address has a row and whose file exists. A fetch that keeps
// the row replaces the row's copy when it finishes (the old file is deleted then), so a copy
// fetched again never lingers unindexed and outside the space limit.
enum class ECachedAnswer {
    UseStored,       // answer with the stored copy at once
    DeleteAndFetch,  // delete the file, remove the row, fetch (reload)
    Revalidate,      // fetch only if changed since the row's date, into the stored file; keep the row
    FetchKeepRow,    // fetch into a new file; keep the row until the new copy replaces it
};

// Reload deletes the stored copy; mode 2 uses it; mode 1 uses it while fresh (or when its age is
// unknown) and otherwise checks it, conditionally when the row has a date; mode 0 and any other
// value fetch again.
// mode: eCacheMode; ageKnown/ageSeconds: the file's last-write age; hasLastModified: the row's
// "Last-Modified" text is not empty.
ECachedAnswer DecideCachedRequest(int32_t mode, bool reload, bool ageKnown, int64_t ageSeconds, bool hasLastModified);

// What a download's new status means for the web files that wait for it.
enum class EFetchOutcome {
    None,         // still under way (or paused): nothing to do
    Finished,     // the file is complete
    NotModified,  // the stored copy is still the server's
    Failed,       // failure: `code` is the status whose text the caller sees
    Waiting,      // waits for a login from the user
    Removed,      // the download left the downloader's list before it ended
};
struct SFetchOutcome {
    EFetchOutcome kind = EFetchOutcome::None;
    DownloadStatus code = DS_NONE;
};

// status: the new Status (DS_DELETED stands for "left the list"); superStatus: the download's
// SuperStatus; downloaded: its byte count. A "Finished" download with no bytes is a failure
// ("Failed"); "Wait for user" for any reason but a login is a failure with that reason, since
// nobody answers it for a cache fetch.
SFetchOutcome ClassifyDownloadEvent(DownloadStatus status, DownloadStatus superStatus, uint32_t downloaded);

}  // namespace plover
