#pragma once
// What every command of the command line shares: the pace of plain progress lines and the way a
// refusal or failure is written.
#include <cstdint>
#include <ostream>

#include "download/i_downloader.h"

namespace plover::cli {

// Progress on standard error that is not a terminal: one plain line at most this often.
constexpr uint32_t kPlainProgressMs = 5000;

// Standard error with "plover: " written, for the rest of a refusal or failure line.
std::ostream& Complain();

// A listener to the downloader that its command keeps (on the stack or in a session) for longer
// than it is advised: no counting, and it answers only as an INetAdviseSink. Commands derive their
// listeners from it and write only OnNetNotify.
class CCommandNetSink : public INetAdviseSink {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

protected:
    ~CCommandNetSink() = default;
};

}  // namespace plover::cli
