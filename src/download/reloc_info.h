#pragma once
// A relocation request: move a download's file from its current path to a new one. The download
// makes it (operation 6), the file relocator copies the file and hands the request back through
// the downloader, and the download's OnRelocated reads the outcome and destroys it.
#include <cstdint>
#include <string>

#include "download/download_status.h"
#include "download/i_download.h"
#include "platform/com.h"

namespace plover {

// Results of a request.
enum : uint32_t {
    RELOC_NOT_STARTED = 0,
    RELOC_COPYING = 1,
    RELOC_DONE = 2,
    RELOC_FAILED = 3,
    RELOC_ERR_OPEN_SOURCE = 0x10004,
    RELOC_ERR_READ = 0x10005,
    RELOC_ERR_CREATE_TARGET = 0x10006,
    RELOC_ERR_WRITE = 0x10007,
    RELOC_ERR_DELETE_SOURCE = 0x10008,
};

class CRelocInfo {
public:
    CRelocInfo() = default;
    CRelocInfo(const CRelocInfo&) = delete;
    CRelocInfo& operator=(const CRelocInfo&) = delete;
    virtual ~CRelocInfo() = default;

    std::string source;                       // full path of the current file
    std::string target;                       // full path of the new file
    RefPtr<IDownload> download;               // the download being moved
    uint32_t result = RELOC_NOT_STARTED;
    DownloadStatus statusToRestore = DS_NONE; // the download's Status when the request was made
    uint32_t total = 0;                       // size of the source, read when copying starts
    uint32_t copied = 0;
    uint32_t reopen = 0;                      // the download reopens its file after a good move
};

}  // namespace plover
