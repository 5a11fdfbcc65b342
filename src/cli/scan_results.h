#pragma once
// What `plover scan` prints at its end, whether the scan ran in this process or as a scan
// document of the running Plover: the start page's title and address, the thumbnails, the large
// pictures and the page links with what the download history knows of each, and the counts; or,
// with --json, one JSON object a line. Also the live progress line both show while it runs.
#include <ostream>
#include <string>
#include <vector>

#include "scan/download_mark.h"
#include "scan/i_scanner.h"

namespace plover::cli {

struct SScanResult {
    EScanElementType type = SCAN_THUMBNAIL;
    std::string url, text, page, pageTitle;
    std::string thumbnailUrl, thumbnailFile;  // a thumbnail's small picture, and its file once fetched
    EDownloadMark mark = EDownloadMark::None;
};

struct SScanReport {
    std::string title, startUrl, requested;
    std::vector<SScanResult> results;  // in the order found
    int pagesScanned = 0, thumbnailsFetched = 0;
    bool complete = false;  // the scan ended on its own (not interrupted)
};

// "Scanning: 3 pages scanned, 2 remaining, 12 thumbnails, 40 links"
std::string ScanProgressText(int pages, int remaining, size_t thumbnails, int links);

void PrintScanText(std::ostream& out, const SScanReport& report);
void PrintScanJson(std::ostream& out, const SScanReport& report);

}  // namespace plover::cli
