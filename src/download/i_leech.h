#pragma once
// A worker ("leech") fetches one section of one download over its own connection(s) and writes
// what it receives into the download. A download creates its workers in its section planner; the
// downloader removes stopped ones and calls CheckTimeout periodically; socket events reach a worker
// on the downloader's thread through a socket redirector.
//
// A worker's section runs from its position (the offset of the next byte to write) to its end (the
// last byte, inclusive). The probe is the worker made for 0..0 while the file's size is unknown:
// it learns the size (a 0..0 worker of a file whose size is known fetches its first byte).
// Lifecycle: new (0) -> connecting (1) -> request sent (2) -> receiving (3); from any state it may
// stop, and a stopped worker waits for the downloader to remove it (Stop, then Release).
#include <cstdint>

#include "platform/com.h"

namespace plover {

struct IDownload;
struct ISocket;

inline constexpr GUID IID_ILeech = MakeGuid("3E1D5B7A-6C2F-4E8B-9A41-7D0C5F2B8E63");

enum ELeechState : uint32_t {
    LEECH_NEW = 0,
    LEECH_CONNECTING = 1,    // the connect was started
    LEECH_REQUEST_SENT = 2,  // the request (or the first command) went out
    LEECH_RECEIVING = 3,     // body bytes have arrived
};

struct ILeech : IUnknown {
    virtual bool HasEnd() = 0;                                // a section worker, not the probe
    virtual uint32_t GetState() = 0;                          // ELeechState
    virtual uint8_t IsStopped() = 0;
    virtual uint32_t GetPosition() = 0;                       // next byte to write
    virtual uint32_t GetEnd() = 0;                            // last byte of the section
    virtual uint32_t GetRemaining() = 0;                      // end - position + 1
    virtual uint8_t IsPreparing() = 0;                        // 1 until the data starts
    virtual uint32_t GetSocketCount() = 0;
    virtual bool GetSocket(uint32_t index, ISocket** out) = 0;  // counted reference
    virtual void CheckTimeout() = 0;                          // the periodic idle check
    virtual void Stop() = 0;                                  // teardown, before the last Release
    virtual bool GetDownload(IDownload** out) = 0;            // counted reference
    // (the destructor belongs to the implementation: the last Release deletes it)
    virtual void OnFinish() = 0;                              // called when the worker stops

protected:
    ~ILeech() = default;
};

}  // namespace plover
