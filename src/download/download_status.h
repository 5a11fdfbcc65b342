#pragma once
// DownloadStatus: the 32-bit state of a download. The low 16 bits are a row number of the status
// table (also the form saved in the list file), bits 16 to 19 a class (1 failed, 2 busy, 3 idle)
// and bits 20 to 24 flags:
//   bit 20  the downloader retries the download by itself (IsAutoRetry);
//   bit 21  the download may be paused;
//   bit 22  a transient failure: it consumes a retry and does not stop the section planner;
//   bit 23  the download is held: the planner starts nothing;
//   bit 24  the value is saved with the download.
// The rows, their values and texts come from one table (kDownloadStatusTable), so the
// constants, the texts and the saved row numbers never drift apart.
#include <cstdint>

namespace plover {

using DownloadStatus = uint32_t;

enum : DownloadStatus {
    DS_NONE = 0x00030000,
    DS_WAITING = 0x00330001,
    DS_REDIRECTING = 0x00020002,
    DS_LOOKING_FOR_SITE = 0x00120003,
    DS_SITE_NOT_FOUND = 0x01110004,
    DS_FINISHED = 0x01030005,
    DS_PAUSED = 0x01030006,
    DS_DOWNLOADING = 0x00320007,
    DS_CONNECTING = 0x00320008,
    DS_FILE_NOT_FOUND = 0x01110009,
    DS_UNAUTHORIZED = 0x0101000A,
    DS_TIMEOUT = 0x0151000B,
    DS_CANT_CREATE_FILE = 0x0101000C,
    DS_WAIT_FOR_USER = 0x00A1000D,
    DS_FORBIDDEN = 0x0101000E,
    DS_SERVER_ERROR = 0x0141000F,
    DS_CANT_CONNECT = 0x01510010,
    DS_ABORTED = 0x01410011,
    DS_NOT_AVAILABLE = 0x01010012,
    DS_FILE_TOO_BIG = 0x01010013,
    DS_DELETED = 0x00030014,
    DS_MOVING = 0x00830015,
    DS_TGT_FILE_EXISTS = 0x01830016,
    DS_MOVING_FAILED = 0x01410017,
    DS_TEMPORARILY_UNAVAILABLE = 0x00910018,
    DS_DUPLICATE = 0x01010019,
    DS_FAILED = 0x0101001A,
    DS_SCHEDULED = 0x0103001B,
    DS_NOT_MODIFIED = 0x0103001C,
    // Rows added after the first 29 (saved row numbers never change, so they go at the end).
    DS_DISK_FULL = 0x0101001D,           // the target's file system has no room: not retried
    DS_TOO_MANY_REDIRECTS = 0x0101001E,  // a chain of redirects longer than a download follows
    DS_CERT_EXPIRED = 0x0101001F,        // https: the server's certificate is out of date
    DS_CERT_OTHER_HOST = 0x01010020,     // https: the certificate names another host
    DS_CERT_NOT_TRUSTED = 0x01010021,    // https: no trusted authority vouches for the certificate
    DS_PROXY_REFUSED = 0x01010022,       // the HTTP proxy refused to open a tunnel (CONNECT)
};

// Classes (bits 16 to 19).
enum : uint32_t {
    DSC_FAILED = 1,
    DSC_BUSY = 2,
    DSC_IDLE = 3,
};

// Flags (bits 20 to 24).
enum : uint32_t {
    DSF_AUTO_RETRY = 0x00100000,
    DSF_PAUSABLE = 0x00200000,
    DSF_TRANSIENT = 0x00400000,
    DSF_HELD = 0x00800000,
    DSF_SAVED = 0x01000000,
};

struct SDownloadStatusRow {
    DownloadStatus value;
    const char* text;
};

constexpr uint32_t kDownloadStatusRows = 35;
// Row i holds the value whose low 16 bits are i.
extern const SDownloadStatusRow kDownloadStatusTable[kDownloadStatusRows];

constexpr uint32_t StatusRow(DownloadStatus s) { return s & 0xFFFFu; }
constexpr uint32_t StatusClass(DownloadStatus s) { return (s >> 16) & 0xFu; }
constexpr bool StatusHas(DownloadStatus s, uint32_t flag) { return (s & flag) != 0; }
constexpr bool IsFailedStatus(DownloadStatus s) { return StatusClass(s) == DSC_FAILED; }
// A failure that consumes a retry instead of stopping the download (class 1 with bit 22).
constexpr bool IsTransientFailure(DownloadStatus s) {
    return IsFailedStatus(s) && StatusHas(s, DSF_TRANSIENT);
}
// A failure that stops the section planner (class 1 without bit 22).
constexpr bool IsStoppingFailure(DownloadStatus s) {
    return IsFailedStatus(s) && !StatusHas(s, DSF_TRANSIENT);
}

// The status of a saved row number; a row outside the table gives DS_NONE.
DownloadStatus StatusFromRow(uint32_t row);
// The text of a status ("Waiting", "File not found", ...); " " for DS_NONE and for values that
// are not in the table.
const char* StatusText(DownloadStatus s);
// The status whose text is `text` (case-sensitive); DS_NONE when there is none.
DownloadStatus StatusFromText(const char* text);

}  // namespace plover
