#include "download/download_status.h"

#include <cstring>

namespace plover {

const SDownloadStatusRow kDownloadStatusTable[kDownloadStatusRows] = {
    {DS_NONE, " "},
    {DS_WAITING, "Waiting"},
    {DS_REDIRECTING, "Redirecting"},
    {DS_LOOKING_FOR_SITE, "Looking for site"},
    {DS_SITE_NOT_FOUND, "Site not found"},
    {DS_FINISHED, "Finished"},
    {DS_PAUSED, "Paused"},
    {DS_DOWNLOADING, "Downloading"},
    {DS_CONNECTING, "Connecting"},
    {DS_FILE_NOT_FOUND, "File not found"},
    {DS_UNAUTHORIZED, "Unauthorized"},
    {DS_TIMEOUT, "Timeout"},
    {DS_CANT_CREATE_FILE, "Can't create file"},
    {DS_WAIT_FOR_USER, "Wait for user"},
    {DS_FORBIDDEN, "Forbidden"},
    {DS_SERVER_ERROR, "Server error"},
    {DS_CANT_CONNECT, "Can't connect"},
    {DS_ABORTED, "Aborted"},
    {DS_NOT_AVAILABLE, "Not available"},
    {DS_FILE_TOO_BIG, "File too big"},
    {DS_DELETED, "Deleted"},
    {DS_MOVING, "Moving"},
    {DS_TGT_FILE_EXISTS, "Tgt file exists"},
    {DS_MOVING_FAILED, "Moving failed"},
    {DS_TEMPORARILY_UNAVAILABLE, "Temporarily unavailable"},
    {DS_DUPLICATE, "Duplicate"},
    {DS_FAILED, "Failed"},
    {DS_SCHEDULED, "Scheduled"},
    {DS_NOT_MODIFIED, "Not modified"},
    {DS_DISK_FULL, "Disk full"},
    {DS_TOO_MANY_REDIRECTS, "Too many redirects"},
    {DS_CERT_EXPIRED, "Certificate expired"},
    {DS_CERT_OTHER_HOST, "Certificate is for another host"},
    {DS_CERT_NOT_TRUSTED, "Certificate not trusted"},
    {DS_PROXY_REFUSED, "Proxy refused the tunnel"},
};

DownloadStatus StatusFromRow(uint32_t row) {
    return row < kDownloadStatusRows ? kDownloadStatusTable[row].value : DS_NONE;
}

const char* StatusText(DownloadStatus s) {
    uint32_t row = StatusRow(s);
    if (row < kDownloadStatusRows && kDownloadStatusTable[row].value == s)
        return kDownloadStatusTable[row].text;
    return kDownloadStatusTable[0].text;
}

DownloadStatus StatusFromText(const char* text) {
    if (!text) return DS_NONE;
    for (const auto& row : kDownloadStatusTable)
        if (std::strcmp(row.text, text) == 0) return row.value;
    return DS_NONE;
}

}  // namespace plover
