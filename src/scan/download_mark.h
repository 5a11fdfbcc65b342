#pragma once
// What the download history knows of an address that a scan found: nothing, a file already on
// disk, or a download waiting in the queue. A scan window shows the mark beside each result.
//
// The scanning side does not know the download history; the history plugs its lookup in once at
// start-up (SetDownloadMarkSource, e.g. from the program's parts list), and every front end asks
// GetDownloadMark for each result it shows. Until a source is set every address is unmarked.
// Both may be called from any thread; the source itself must be safe to call from any thread.
#include <functional>
#include <string>

namespace plover {

enum class EDownloadMark {
    None,    // not downloaded and not queued (or no history)
    OnDisk,  // the history holds a file for the address and the file exists
    Queued,  // a download of the address is in the queue
};

using DownloadMarkSource = std::function<EDownloadMark(const std::string& url)>;

// Replaces the lookup; an empty function removes it.
void SetDownloadMarkSource(DownloadMarkSource source);
EDownloadMark GetDownloadMark(const std::string& url);
// "on disk", "queued", or "" for none.
const char* DownloadMarkText(EDownloadMark mark);

}  // namespace plover
