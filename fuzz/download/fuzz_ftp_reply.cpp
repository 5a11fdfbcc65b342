// Feeds arbitrary server bytes to the FTP reply reader and to an FTP worker (probe, section
// 100..199, active or passive), split into blocks at arbitrary points; bytes after a 0xFF marker
// arrive on the data connection. Nothing may crash or hang, every command sent is one line, and
// nothing is written outside the worker's section.
#include <cstdlib>
#include <string>

#include "../../tests/download/http_fakes.h"
#include "download/ftp_leech.h"
#include "download/ftp_reply.h"

using namespace plover;

namespace {

void CheckReplies(const std::vector<SFtpReply>& replies) {
    for (const SFtpReply& r : replies) {
        if (r.code < 100 || r.code > 999) abort();
        ParseTransferSize(r.text);
        if (auto a = ParsePasvReply(r.text); a && r.text.find(',') == std::string::npos) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint8_t mode = data[0] % 4;  // bit 0: section worker; bit 1: passive
    uint8_t step = data[1] | 1;  // block length
    data += 2;
    size -= 2;

    CFtpReplyReader reader;
    for (size_t at = 0; at < size; at += step) CheckReplies(reader.Feed(data + at, std::min<size_t>(step, size - at)));

    auto download = RefPtr<test::http::FakeDownload>::Adopt(new test::http::FakeDownload);
    download->config.Service = SERVICE_FTP;
    download->config.Object = "/pub/a.bin";
    auto downloader = RefPtr<test::http::FakeDownloader>::Adopt(new test::http::FakeDownloader);
    auto engine = RefPtr<test::http::FakeSocketEngine>::Adopt(new test::http::FakeSocketEngine);
    uint32_t start = 0, end = 0;
    if (mode & 1) {
        download->size = 300;
        start = 100;
        end = 199;
    }
    SLeechEnv env;
    env.downloader = RefPtr<IDownloader>(downloader.Get());
    env.sockets = RefPtr<ISocketEngine>(engine.Get());
    auto leech = RefPtr<CFTPLeech>::Adopt(new CFTPLeech(download.Get(), start, end, env, {0, (mode & 2) != 0}));
    if (!leech->Connect()) abort();
    ISocket* control = engine->made[0].Get();
    leech->OnConnect(control, true);
    bool dataSide = false, connected = false;
    for (size_t at = 0; at < size && !leech->IsStopped(); at += step) {
        size_t n = std::min<size_t>(step, size - at);
        for (size_t i = 0; i < n; ++i) dataSide = dataSide || data[at + i] == 0xFF;
        if (engine->made.size() > 1) {
            ISocket* second = engine->made[1].Get();
            if (!connected && !leech->IsStopped()) {
                connected = true;
                if (mode & 2)
                    leech->OnConnect(second, true);
                else
                    leech->OnAccept(second);
            }
            if (dataSide && !leech->IsStopped()) {
                leech->OnReceive(second, data + at, uint32_t(n));
                continue;
            }
        }
        leech->OnReceive(control, data + at, uint32_t(n));
        leech->OnReady(control);
    }
    if (engine->made.size() > 1) leech->OnClose(engine->made[1].Get());
    leech->OnClose(control);
    const std::string& sent = engine->made[0]->sent;
    for (size_t i = 0; i < sent.size(); ++i) {  // CR and LF only together, as line ends
        if (sent[i] == '\n' && (i == 0 || sent[i - 1] != '\r')) abort();
        if (sent[i] == '\r' && (i + 1 == sent.size() || sent[i + 1] != '\n')) abort();
    }
    for (const auto& w : download->writes) {
        uint64_t last = uint64_t(w.offset) + w.length - 1;
        if ((mode & 1) && (w.offset < start || last > end)) abort();
    }
    leech->Stop();
    return 0;
}
