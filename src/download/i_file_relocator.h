#pragma once
// The file relocator's interface. A download hands it a relocation request (reloc_info.h) to move
// its file; the relocator works on one request at a time, in the order received, and hands each
// back to the downloader engine when it has ended (event 124), with a progress report after every
// block (event 125). Both operations may be called from any thread.
#include <cstdint>

#include "engine/engine_mgr.h"  // ENGINE_ID_FILE_RELOCATOR
#include "platform/com.h"

namespace plover {

struct IDownload;
class CRelocInfo;

inline constexpr GUID IID_IFileRelocator = MakeGuid("EB4BCB34-069A-4EBF-9872-D3EC4CFF4577");

// The relocator's engine operations.
enum ERelocatorOp : uint32_t {
    ROP_RELOCATE = 301,  // record: the CRelocInfo (the relocator takes charge of it)
    ROP_CANCEL = 302,    // record RefPtr<IDownload>: drop the first queued request of that download
};

// The size of one block of a copy, moved per timer tick.
inline constexpr uint32_t kRelocBlockSize = 409600;

struct IFileRelocator : IUnknown {
    // Queues the request (operation 301, not waiting); a null request returns 0 and does nothing.
    virtual uint32_t Relocate(CRelocInfo* request) = 0;                                  // 3
    // Drops the first queued request of the download (operation 302), waiting when asked; a null
    // download returns 0.
    virtual uint32_t Cancel(IDownload* download, bool wait) = 0;                         // 4

protected:
    ~IFileRelocator() = default;
};

}  // namespace plover
