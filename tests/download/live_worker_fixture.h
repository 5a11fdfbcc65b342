#pragma once
// The stage for workers over real sockets against real servers on loopback: a socket engine
// without traffic limit, the thread the workers live on, a recording download and downloader.
// Each case runs one worker at a time to its stop and checks what it did to the download.
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "download/http_fakes.h"
#include "engine/engine_end_watch.h"
#include "net/socket_engine.h"

namespace plover::test {

// The thread the workers live on: socket events are delivered here, and the test runs its own
// steps here too (Run), so the worker and the recording download are only touched by it.
class CWorkerThread final : public CEngine {
public:
    static constexpr uint32_t OP_RUN = 6000;
    void Run(std::function<void()> fn) { Post(OP_RUN, reinterpret_cast<uintptr_t>(&fn), 0, true, false); }

protected:
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t) override {
        if (code == OP_RUN) (*reinterpret_cast<std::function<void()>*>(arg1))();
        return 1;
    }
    // As the downloader does: OpenSSL's state of this thread (TLS workers) goes when it stops.
    void OnStop() override { OPENSSL_thread_stop(); }
};

// n bytes of a pattern that does not repeat within a section, so a misplaced block shows.
inline std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 131) ^ (i >> 9) ^ (i >> 17));
    return s;
}

class LiveWorkerTest : public ::testing::Test {
protected:
    LiveWorkerTest() {
        sockets->SetProgress(&socketsEnded);
        worker->SetProgress(&workerEnded);
        sockets->Start();
        worker->Start();
    }
    ~LiveWorkerTest() override {
        worker->Stop();
        workerEnded.ended.Wait();
        worker->Release();
        sockets->Stop();
        socketsEnded.ended.Wait();
        sockets->Release();
    }

    // A download of scheme://127.0.0.1:port/object whose workers connect to 127.0.0.1:port.
    RefPtr<http::FakeDownload> Download(const std::string& scheme, uint16_t port, const std::string& object) {
        auto d = RefPtr<http::FakeDownload>::Adopt(new http::FakeDownload);
        d->serverPort = port;
        d->config.Server = "127.0.0.1";
        d->config.Object = object;
        d->config.Port = port;
        d->config.URL_original = scheme + "://127.0.0.1:" + std::to_string(port) + object;
        return d;
    }

    SLeechEnv Env(bool viaHttpProxy = false) {
        SLeechEnv env;
        env.downloader = RefPtr<IDownloader>(downloader.Get());
        env.sockets = QueryAs<ISocketEngine>(static_cast<IEngine*>(sockets), IID_ISocketEngine);
        env.deliveryEngine = RefPtr<IEngine>(worker);
        env.httpProxyInUse = [viaHttpProxy] { return viaHttpProxy; };
        return env;
    }

    // Runs one worker made by `start` until it stops (or a generous minute passes), then removes it.
    void Run(const std::function<RefPtr<ILeech>()>& start) {
        RefPtr<ILeech> leech;
        worker->Run([&] { leech = start(); });
        ASSERT_TRUE(leech) << "the worker did not start";
        bool stopped = false;
        for (int i = 0; i < 6000 && !stopped; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            worker->Run([&] { stopped = leech->IsStopped(); });
        }
        worker->Run([&] {
            leech->Stop();
            leech.Reset();
        });
        EXPECT_TRUE(stopped) << "the worker never stopped";
    }

    CSocketEngine* sockets = new CSocketEngine([] { return 0xFFFFFFFFu; });  // no traffic limit
    CWorkerThread* worker = new CWorkerThread;
    CEngineEndWatch socketsEnded, workerEnded;
    RefPtr<http::FakeDownloader> downloader = RefPtr<http::FakeDownloader>::Adopt(new http::FakeDownloader);
};

}  // namespace plover::test
