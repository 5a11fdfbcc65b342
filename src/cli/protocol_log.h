#pragma once
// The protocol log that -v/--verbose prints on standard error: requests and responses line by
// line after "> " and "< ", everything else as one "* " line, as other download programs show it.
#include <cstdint>
#include <mutex>
#include <string>

#include "cli/cli_kit.h"
#include "download/i_downloader.h"

namespace plover::cli {

// One log notice of the downloader (its text and ELogKind) as the lines to print.
std::string ProtocolLogText(uint32_t kind, const std::string& text);

// Prints the downloader's log between Start and Stop (scan and collect: pages and pictures as
// they are fetched), each line at once.
class CProtocolLogPrinter final : public CCommandNetSink {
public:
    ~CProtocolLogPrinter() { Stop(); }
    // Listens to the running downloader; nothing when it is not there.
    void Start();
    // Stops listening: no call of the printer is under way afterwards.
    void Stop();
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

private:
    RefPtr<IDownloader> downloader_;
    std::mutex lock_;
};

}  // namespace plover::cli
