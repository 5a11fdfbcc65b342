#pragma once
// Fetching a large picture for the scan document's preview: a download of client number 1999 into
// the preview folder below the cache folder, so the history records it like a basket download and
// the picture counts as on disk from then on. Its file gets the first free name in the folder
// (never one a preview or a queued download already holds), it is told that overwriting is
// confirmed and starts at once, ahead of the queue.
#include <string>

#include "download/i_downloader.h"

namespace plover::web {

// The download, or null when the address cannot be fetched or is already in the download list
// (the downloader refuses duplicates). The folder is created when missing.
RefPtr<IDownload> AddPreviewDownload(IDownloader* downloader, const std::string& url, const std::string& referrer,
                                     const std::string& previewFolder);

}  // namespace plover::web
