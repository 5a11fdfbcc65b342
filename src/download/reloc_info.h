#pragma once
// A relocation request: move a download's file from its current path to a new one. The download
// makes it (operation 6), the file relocator moves the file and hands the request back through
// the downloader, and the download's OnRelocated reads the outcome and destroys it.
//
// While a copy runs, the bytes go into a temporary file beside the target, which takes the
// target's name only once the copy is whole. Destroying a request closes its files and removes
// that temporary file when the move did not finish, so a failed or cancelled copy never leaves a
// partial target behind, and an existing file at the target is replaced only by a whole copy.
#include <cstdint>
#include <string>

#include "download/download_status.h"
#include "download/i_download.h"
#include "engine/engine.h"
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
    virtual ~CRelocInfo() { CloseFiles(); }

    // Closes the files still open and removes the temporary copy of an unfinished move.
    void CloseFiles();

    std::string source;                       // full path of the current file
    std::string target;                       // full path of the new file
    RefPtr<IDownload> download;               // the download being moved
    uint32_t result = RELOC_NOT_STARTED;
    DownloadStatus statusToRestore = DS_NONE; // the download's Status when the request was made
    uint64_t total = 0;                       // size of the source, read when copying starts
    uint64_t copied = 0;
    uint32_t reopen = 0;                      // the download reopens its file after a good move
    RefPtr<IEngine> downloader;               // where the reports go (the engine manager's when empty)

    int sourceFd = -1;                        // -1 when closed
    int targetFd = -1;
    std::string partPath;                     // the temporary copy beside the target, while it exists
};

}  // namespace plover
