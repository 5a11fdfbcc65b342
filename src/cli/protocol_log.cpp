#include "cli/protocol_log.h"

#include <unistd.h>

#include <iostream>
#include <map>

#include "engine/engine_mgr.h"

namespace plover::cli {

// A protocol log line as --verbose prints it: requests and responses line by line after "> " and
// "< ", everything else as one "* " line.
std::string ProtocolLogText(uint32_t kind, const std::string& text) {
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    if (kind == LOG_REQUEST || kind == LOG_RESPONSE) {
        const char* mark = kind == LOG_REQUEST ? "> " : "< ";
        std::string out;
        size_t start = 0;
        while (start <= body.size()) {
            size_t end = body.find('\n', start);
            std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out += (out.empty() ? "" : "\n") + std::string(mark) + line;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return out;
    }
    static const std::map<uint32_t, const char*> kinds = {
        {LOG_LOOKUP, "Looking up "},        {LOG_LOOKUP_OK, "Found "},      {LOG_LOOKUP_FAILED, "Site not found: "},
        {LOG_CONNECTING, "Connecting to "}, {LOG_CONNECTED, "Connected to "}, {LOG_CLOSED, "Connection closed "},
        {LOG_DELETED, "Deleted "},          {LOG_PAUSED, "Paused "},        {LOG_RESUMED, "Resumed "},
        {LOG_FINISHED, "Finished "},        {LOG_LIST_LOADED, "List loaded from "},
        {LOG_LIST_SAVED, "List saved to "}, {LOG_TIMEOUT, "Timeout: "},     {LOG_TLS, "TLS "},
        {LOG_TLS_FAILED, "TLS failed: "},
    };
    auto it = kinds.find(kind);
    return "* " + std::string(it == kinds.end() ? "" : it->second) + body;
}

void CProtocolLogPrinter::Start() {
    RefPtr<IEngine> engine;
    if (!GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put())) return;
    downloader_ = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    if (downloader_) downloader_->Advise(this);
}

void CProtocolLogPrinter::Stop() {
    if (downloader_) downloader_->Unadvise(this);
    downloader_.Reset();
}

int32_t CProtocolLogPrinter::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) {
    if (code != NE_LOG || !value1) return 0;
    std::string text = ProtocolLogText(uint32_t(value2), reinterpret_cast<const char*>(value1));
    static const bool live = isatty(STDERR_FILENO) == 1;
    std::lock_guard g(lock_);
    std::cerr << (live ? "\r\033[K" : "") << text << "\n" << std::flush;
    return 0;
}

}  // namespace plover::cli
