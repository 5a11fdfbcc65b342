// The basket engine with the program's real socket engine and downloader: a dropped picture is
// fetched from nginx into the basket, recorded in the history, taken out of the list and
// announced to the basket windows; a basket download that fails half-way is taken out of the
// list with its partial file deleted; basket downloads in the list are queued at start.
#include "baskets/basket_engine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/settings.h"
#include "baskets/basket_dispatch.h"
#include "baskets/download_db_sink.h"
#include "download/downloader.h"
#include "engine/engine_end_watch.h"
#include "engine/engine_mgr.h"
#include "net/socket_engine.h"
#include "platform/event.h"
#include "platform/tick.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::ReadFile;
using test::TempDir;
namespace fs = std::filesystem;

// The socket engine and the downloader, registered once in the process-wide manager and stopped
// in order when the test program ends.
class CLiveEngines final : public ::testing::Environment {
public:
    static RefPtr<IDownloader> Downloader() {
        static bool started = [] {
            IEngineMgr* mgr = GetEngineMgr();
            auto sockets = RefPtr<IEngine>::Adopt(new CSocketEngine());
            mgr->RegisterEngine(ENGINE_ID_SOCKET, sockets.Get());
            static TempDir data;
            auto dl = CDownloader::Create(data.Str());
            return mgr->RegisterEngine(ENGINE_ID_DOWNLOADER, static_cast<IEngine*>(dl.Get()));
        }();
        RefPtr<IEngine> e;
        if (!started || !GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, e.Put())) return {};
        return QueryAs<IDownloader>(e.Get(), IID_IDownloader);
    }
    void TearDown() override {
        CMessageQueueWindow window;
        GetEngineMgr()->StopAllEngines(&window);
        while (auto m = window.GetMessage(60000))
            if (m->msg == WM_PV_ENGINES_STOPPED) break;
    }
};
::testing::Environment* const kLiveEngines = ::testing::AddGlobalTestEnvironment(new CLiveEngines);

// A server that answers every request with a 200 that promises `promised` bytes, sends `sent`
// of them and closes the connection.
class CShortServer {
public:
    CShortServer(size_t promised, size_t sent) : promised_(promised), sent_(sent) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(fd_, 8), 0);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~CShortServer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int Requests() const { return requests_.load(); }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            char buf[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, size_t(n));
            }
            ++requests_;
            std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                std::to_string(promised_) + "\r\n\r\n" + std::string(sent_, 'x');
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::shutdown(c, SHUT_RDWR);
            ::close(c);
        }
    }
    size_t promised_, sent_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

class BasketEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        downloader = CLiveEngines::Downloader();
        ASSERT_TRUE(downloader);
        downloader->Advise(&sink);
        engine = CBasketEngine::Create(GetEngineMgr(), &db);
        engine->SetProgress(&end);
        engine->Start();
        ASSERT_TRUE(engine->WaitUntilStarted());
        engine->RegisterWindow(&window);
        fs::create_directories(dir / "basket");
        basket.csName = "Live";
        basket.csRootFolder = (dir / "basket").string();
        basket.dwID = 7;
        env = SDispatchEnv{&db, downloader.Get(), nullptr};
    }
    void TearDown() override {
        engine->Stop();
        end.ended.Wait();
        // Operations the basket engine posted to the downloader (retiring) run before the
        // next test: a waited no-op behind them in the downloader's queue.
        if (auto e = QueryAs<IEngine>(downloader.Get(), IID_IEngine)) e->Post(0, 0, 0, true, false);
        downloader->Unadvise(&sink);
    }
    // Waits (generously) until the downloader's list is empty; false when it is not.
    bool WaitForEmptyList() {
        for (int i = 0; i < 600; ++i) {
            if (downloader->GetDownloadCount() == 0) return true;
            SleepMs(100);
        }
        return false;
    }

    TempDir dir;
    CDownloadDB db;
    CDownloadDBSink sink{db};
    RefPtr<IDownloader> downloader;
    RefPtr<CBasketEngine> engine;
    CEngineEndWatch end;
    CMessageQueueWindow window;
    CBasket basket;
    SDispatchEnv env;
};

TEST_F(BasketEngineTest, AFinishedDownloadIsRecordedRetiredAndAnnounced) {
    test::NginxServer web;
    std::string bytes = test::ReadFile("/proc/self/exe").substr(0, 300000);
    test::WriteFile(web.Root() / "p.jpg", bytes);
    std::string url = web.Url("/p.jpg");

    SDispatchResult r = DispatchItem(basket, {url, web.Url("/gallery.html")}, env);
    ASSERT_EQ(r.result, EDispatch::Downloading);
    EXPECT_TRUE(db.IsQueuedAddress(url));

    auto m = window.GetMessage(60000);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->msg, WM_PV_BASKET_FILE_ARRIVED);
    std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(m->wp));
    EXPECT_EQ(*path, (dir / "basket/p.jpg").string());
    EXPECT_EQ(ReadFile(*path), bytes);
    EXPECT_EQ(db.Lookup(url), *path);
    ASSERT_TRUE(WaitForEmptyList());
    EXPECT_FALSE(db.IsQueuedAddress(url));
    EXPECT_NE(web.AccessLog().find("GET /p.jpg 200"), std::string::npos);
    // Announced once, however often the download reported its end.
    if (auto again = window.GetMessage(300)) {
        ADD_FAILURE() << "a second message " << again->msg;
        if (again->msg == WM_PV_BASKET_FILE_ARRIVED) delete reinterpret_cast<std::string*>(again->wp);
    }

    // Dropped again: the file is known and already in the basket; nothing is fetched.
    EXPECT_EQ(DispatchItem(basket, {url, ""}, env).result, EDispatch::AlreadyThere);
    EXPECT_EQ(downloader->GetDownloadCount(), 0);
}

TEST_F(BasketEngineTest, AFailedDownloadIsRetiredWithItsPartialFileDeleted) {
    CShortServer server(1000000, 65536);
    std::string url = server.Url("/broken.jpg");
    std::string target = (dir / "basket/broken.jpg").string();

    SDispatchResult r = DispatchItem(basket, {url, ""}, env);
    ASSERT_EQ(r.result, EDispatch::Downloading);
    ASSERT_TRUE(WaitForEmptyList());
    EXPECT_GE(server.Requests(), 1);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(db.Lookup(url), "");
    EXPECT_FALSE(db.IsQueuedAddress(url));
    // Retired on its failure (the downloader's automatic retry may have reset the status to
    // "Waiting" between the retirement and the removal, so the status itself is not checked).
    EXPECT_FALSE(r.download->IsFinished()) << StatusText(r.download->GetStatus());
    // Nothing arrived.
    EXPECT_FALSE(window.GetMessage(0));
}

TEST_F(BasketEngineTest, BasketDownloadsOfTheListAreQueuedAtStart) {
    auto* config = new SDownloadConfig();
    config->URL_original = config->URL_remote = "http://127.0.0.1:9/waiting.jpg";
    config->LocalFolder = basket.csRootFolder;
    config->ClientID = basket.GetClientID();
    config->StartMode = START_PAUSED;
    int id = -1;
    RefPtr<IDownload> d;
    downloader->AddDownload(config, &id, d.Put());
    ASSERT_TRUE(d);
    downloader->SaveList(nullptr);
    d.Reset();

    // The next start loads the saved list and queues its basket download.
    CDownloadDB fresh;
    auto restarted = CBasketEngine::Create(GetEngineMgr(), &fresh);
    CEngineEndWatch restartedEnd;
    restarted->SetProgress(&restartedEnd);
    restarted->Start();
    ASSERT_TRUE(restarted->WaitUntilStarted());
    EXPECT_TRUE(fresh.IsQueuedAddress("http://127.0.0.1:9/waiting.jpg"));
    EXPECT_TRUE(fresh.IsQueuedPath((dir / "basket/waiting.jpg").string()));
    restarted->Stop();
    restartedEnd.ended.Wait();

    std::unique_ptr<CDownloadArray> all(downloader->GetDownloadArray(nullptr));
    for (IDownload* listed : *all) listed->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    EXPECT_TRUE(WaitForEmptyList());
    EXPECT_FALSE(db.IsQueuedAddress("http://127.0.0.1:9/waiting.jpg"));
}

}  // namespace
}  // namespace plover
