#pragma once
// The downloader as the receiver of the network layer's reports: each report becomes the
// downloader's notice (traffic, proxy change, dial-up log line, dial-up established) on the
// downloader registered at that moment; with none registered the report is dropped.
#include "net/net_reports.h"

namespace plover {

// The receiver (one for the program; it finds the downloader at each report).
INetReports* DownloaderNetReports();

}  // namespace plover
