#pragma once
// Everything a front end shows of one download, read in one step under the download's lock, so
// the figures of one snapshot belong together: the bytes downloaded are the sum of its sections,
// the status text is the text of its status, and the workers are the ones that held its ranges.
#include <cstdint>
#include <string>
#include <vector>

#include "download/download_config.h"
#include "download/download_status.h"

namespace plover {

struct SDownloadSnapshot {
    int id = -1;
    int clientId = 0;  // the basket (client) the download belongs to; 0 for none
    std::string originalUrl;
    std::string remoteUrl;  // after redirects
    std::string server;
    bool tls = false;  // an https address: the traffic is encrypted
    std::string fileName;  // empty while the server has not named the file
    std::string localFolder;
    std::string localPath;

    DownloadStatus status = DS_NONE;
    DownloadStatus superStatus = DS_NONE;  // a failure or waiting reason beside the status
    std::string statusText;
    std::string superStatusText;  // empty when there is no super-status
    uint32_t statusTime = 0;      // tick count of the last status change
    bool paused = false;
    bool finished = false;
    bool failed = false;
    bool held = false;

    uint32_t size = 0;  // 0 while unknown
    bool sizeKnown = false;
    uint32_t downloaded = 0;
    std::vector<SSection> sections;  // the ranges on disk
    std::vector<SSection> workers;   // position and remaining bytes of each worker
    uint32_t speed = 0;              // bytes per second of the current run
    uint32_t timeLeft = 0;           // seconds; 0 when unknown
    int priority = 0;
    int queueValue = -1;
    uint32_t timestamp = 0;  // the file's time on the server
    std::string lastModified;
    uint32_t moveDone = 0, moveTotal = 0;  // a move to another folder
};

// The name a front end shows: the file name, or the address while there is none.
inline const std::string& DisplayName(const SDownloadSnapshot& s) {
    return s.fileName.empty() ? s.originalUrl : s.fileName;
}

// The reason a line shows: a failure or waiting reason says more than the state beside it.
inline const std::string& ShownStatusText(const SDownloadSnapshot& s) {
    return s.superStatus != DS_NONE && IsFailedStatus(s.superStatus) ? s.superStatusText : s.statusText;
}

}  // namespace plover
