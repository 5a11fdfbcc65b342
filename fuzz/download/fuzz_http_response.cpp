// Feeds arbitrary server bytes to the response header reader and to an HTTP worker, split into
// blocks at arbitrary points, for each kind of worker (probe, section, single stream). Nothing may
// crash or hang, and nothing may be written outside the worker's section.
#include <cstdlib>
#include <string>

#include "../../tests/download/http_fakes.h"
#include "download/http_response.h"
#include "download/page_test.h"
#include "download/retry_rule.h"

using namespace plover;

namespace {

void CheckValueReaders(const SHttpResponse& r) {
    std::string after = r.Find("Retry-After").value_or("");
    if (auto wait = RetryAfterMs(after, 1780000000, 0xFFFFFFFFu); wait && *wait > kLongestServerWaitSeconds * 1000)
        abort();
    for (const char* name : {"Content-Length", "Content-Range", "Content-Disposition", "Location", "Content-Type"}) {
        std::string v = r.Find(name).value_or("");
        ParseContentLength(v);
        if (auto range = ParseContentRange(v); range && range->last < range->first) abort();
        std::string file = ServerFileNameFromDisposition(v);
        if (file == "." || file == ".." || file.find('/') != std::string::npos || file.find('\\') != std::string::npos)
            abort();
        LooksLikePage(v);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint8_t mode = data[0] % 4;   // probe, section 100..199, single stream of 300, unknown size
    uint8_t step = data[1] | 1;   // block length
    data += 2;
    size -= 2;

    CHttpHeaderReader reader;
    size_t body = 0;
    for (size_t at = 0; at < size; at += step) {
        size_t n = std::min<size_t>(step, size - at);
        if (reader.Feed(data + at, n, &body) == CHttpHeaderReader::HEADER_DONE) {
            if (body > n) abort();
            if (reader.Response().text.find('\0') != std::string::npos) abort();  // a zero byte is malformed
            CheckValueReaders(reader.Response());
            break;
        }
    }

    auto download = RefPtr<test::http::FakeDownload>::Adopt(new test::http::FakeDownload);
    auto downloader = RefPtr<test::http::FakeDownloader>::Adopt(new test::http::FakeDownloader);
    auto engine = RefPtr<test::http::FakeSocketEngine>::Adopt(new test::http::FakeSocketEngine);
    uint32_t start = 0, end = 0;
    if (mode == 1) {
        download->size = 300;
        start = 100;
        end = 199;
    } else if (mode == 2) {
        download->size = 300;
        download->singleStream = true;
    } else if (mode == 3) {
        download->singleStream = true;
    }
    download->leechCount = 2;
    SLeechEnv env;
    env.downloader = RefPtr<IDownloader>(downloader.Get());
    env.sockets = RefPtr<ISocketEngine>(engine.Get());
    auto leech = RefPtr<CHTTPLeech>::Adopt(new CHTTPLeech(download.Get(), start, end, env));
    if (!leech->Connect()) abort();
    leech->OnConnect(engine->last.Get(), true);
    leech->OnReady(engine->last.Get());
    for (size_t at = 0; at < size && !leech->IsStopped(); at += step)
        leech->OnReceive(engine->last.Get(), data + at, uint32_t(std::min<size_t>(step, size - at)));
    leech->OnClose(engine->last.Get());
    for (const auto& w : download->writes) {
        uint64_t last = uint64_t(w.offset) + w.length - 1;
        if (mode == 1 && !download->resets && (w.offset < start || last > end)) abort();
        if (mode == 2 && last >= 300) abort();
    }
    leech->Stop();
    return 0;
}
