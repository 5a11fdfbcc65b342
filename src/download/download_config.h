#pragma once
// The records a download is made of and that its creators supply.
//
// SSection: a byte range of the file that is on disk, Start to Start+Size-1. A section whose Start
// or Size is 0xFFFFFFFF is invalid and never kept.
//
// SLogin: a site login (flag, user name, password); the download's own login and the stored site
// logins use the same record.
//
// SDownloadConfig: what a creator fills in when it adds a download; the new download copies it
// field by field (the client reference gains a reference). URL_remote is always kept in the form
// scheme "://" [user [":" password] "@"] server object; server, object, service and port are its
// parts. Sizes and offsets are unsigned 32-bit; 0xFFFFFFFF stands for "not yet known".
#include <cstdint>
#include <string>

#include "platform/com.h"

namespace plover {

constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;

struct SSection {
    uint32_t Start = kUnknownSize;
    uint32_t Size = kUnknownSize;

    bool IsValid() const { return Start != kUnknownSize && Size != kUnknownSize; }
    // One past the last byte, in 64 bits so that a range ending at 4 GiB does not wrap.
    uint64_t End() const { return uint64_t(Start) + Size; }
    friend bool operator==(const SSection&, const SSection&) = default;
};

struct SLogin {
    uint32_t Login = 0;  // non-zero: the login is used
    std::string Username;
    std::string Password;

    bool InUse() const { return Login != 0 && !Username.empty(); }
    friend bool operator==(const SLogin&, const SLogin&) = default;
};

// Protocols of an address (the service of the URL splitter).
enum EService : int32_t {
    SERVICE_NONE = -1,
    SERVICE_FTP = 1,
    SERVICE_HTTP = 3,
    SERVICE_HTTPS = 4,  // HTTP over TLS: the same worker and requests as HTTP
};

constexpr bool IsHttpService(int32_t service) { return service == SERVICE_HTTP || service == SERVICE_HTTPS; }
constexpr const char* ServiceScheme(int32_t service) {
    return service == SERVICE_FTP ? "ftp" : service == SERVICE_HTTPS ? "https" : "http";
}
constexpr uint16_t ServiceDefaultPort(int32_t service) {
    return service == SERVICE_FTP ? 21 : service == SERVICE_HTTPS ? 443 : 80;
}

// Bits of SDownloadConfig::Flags.
enum : uint32_t {
    // Fetched by one request without a byte range from offset 0; HTTP(S) only. Removing the
    // download deletes its local file.
    DCF_WHOLE_FILE = 1,
};

// How the downloader starts a newly added download.
enum EStartMode : int32_t {
    START_RUN = 0,        // (any value but 1 and 2) runs when scheduled
    START_SCHEDULED = 1,  // "Scheduled", then paused
    START_PAUSED = 2,
};

struct SDownloadConfig {
    SDownloadConfig() = default;
    SDownloadConfig(const SDownloadConfig&) = default;
    SDownloadConfig& operator=(const SDownloadConfig&) = default;
    virtual ~SDownloadConfig() = default;

    std::string URL_remote;      // the address being fetched now (after redirects)
    std::string URL_original;    // the address as the download was added
    std::string LocalFolder;     // the target folder
    std::string FileName;        // the target file name; empty until known
    std::string Server;          // host part of URL_remote
    std::string Object;          // path part of URL_remote (the request path)
    std::string csPrevServer;    // the referring page, sent as the HTTP referrer
    std::string IfModifiedSince; // when not empty, HTTP requests carry "If-Modified-Since"
    int32_t Service = SERVICE_NONE;
    uint16_t Port = 65535;
    int32_t StartMode = START_SCHEDULED;  // not saved
    SLogin Login;
    int32_t Prior = 5;                    // 0 to 10
    int32_t ClientID = -1;                // 1 user, 4 page manager, 1000+ baskets, 1999 previews
    uint8_t SingleSection = 0;            // one worker fetches the whole file
    uint8_t OverwriteConfirmed = 0;       // not saved: the existing target file was made for it
    int32_t Reserved = -1;
    RefPtr<IUnknown> Client;              // the requester's business
    uint32_t Flags = 0;                   // DCF_*

    bool IsWholeFile() const { return (Flags & DCF_WHOLE_FILE) != 0; }
    // Sets Flags; the whole-file bit is refused (false, nothing changed) unless the address is HTTP.
    bool SetFlags(uint32_t flags) {
        if ((flags & DCF_WHOLE_FILE) && !IsHttpService(Service)) return false;
        Flags = flags;
        return true;
    }
};

}  // namespace plover
