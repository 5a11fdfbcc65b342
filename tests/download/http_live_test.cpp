// HTTP workers over real sockets against real servers on loopback: nginx (ranges, login,
// redirects, errors), python's http.server (ignores Range) and tinyproxy (absolute-URI requests).
// The download is the recording stand-in, so each case checks exactly what one worker did; whole
// downloads end to end are the downloader's tests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "download/http_leech.h"
#include "live_worker_fixture.h"
#include "testutil/servers.h"

namespace plover {
namespace {

using test::Pattern;
using test::http::FakeDownload;

class HttpLiveTest : public test::LiveWorkerTest {
protected:
    RefPtr<FakeDownload> Download(uint16_t port, const std::string& object) {
        return LiveWorkerTest::Download("http", port, object);
    }

    // Runs one worker for start..end until it stops (or a generous minute passes), then removes it.
    void Fetch(FakeDownload* download, uint32_t start, uint32_t end, bool viaProxy = false) {
        Run([&] { return StartHttpLeech(download, start, end, Env(viaProxy)); });
    }
};

TEST_F(HttpLiveTest, NginxProbeThenSections) {
    test::NginxServer web;
    const std::string original = Pattern(3 * 1024 * 1024 + 17);
    test::WriteFile(web.Root() / "a.bin", original);
    auto download = Download(web.Port(), "/a.bin");
    Fetch(download.Get(), 0, 0);
    ASSERT_EQ(download->sizes, std::vector<uint32_t>{uint32_t(original.size())});
    EXPECT_TRUE(download->writes.empty());
    uint32_t size = download->size, third = size / 3;
    Fetch(download.Get(), third, 2 * third - 1);  // sections in any order
    Fetch(download.Get(), 2 * third, size - 1);
    Fetch(download.Get(), 0, third - 1);
    EXPECT_TRUE(download->file == original) << "the assembled file differs from the original";
    EXPECT_EQ(download->resets, 0);
    EXPECT_NE(web.AccessLog().find(" 206 bytes=" + std::to_string(third) + "-" + std::to_string(2 * third - 1)),
              std::string::npos)
        << web.AccessLog();
}

TEST_F(HttpLiveTest, ThroughTinyproxy) {
    test::NginxServer web;
    test::TinyProxy proxy;
    const std::string original = Pattern(200000);
    test::WriteFile(web.Root() / "p.bin", original);
    auto download = Download(web.Port(), "/p.bin");
    download->serverPort = proxy.Port();  // the workers connect to the proxy
    download->size = uint32_t(original.size());
    Fetch(download.Get(), 1000, 199999, true);
    EXPECT_TRUE(download->file.substr(1000) == original.substr(1000));
    EXPECT_NE(proxy.Log().find("GET http://127.0.0.1:" + std::to_string(web.Port()) + "/p.bin"), std::string::npos)
        << proxy.Log();
}

TEST_F(HttpLiveTest, ServerThatIgnoresRanges) {
    test::PythonHttpServer plain;
    const std::string original = Pattern(500000);
    test::WriteFile(plain.Root() / "r.bin", original);
    auto download = Download(plain.Port(), "/r.bin");
    download->size = uint32_t(original.size());
    Fetch(download.Get(), 250000, 499999);  // answered with 200 and the whole file
    EXPECT_EQ(download->resets, 1);
    EXPECT_TRUE(download->file == original);
}

TEST_F(HttpLiveTest, BasicLoginWithLongCredentials) {
    test::NginxOptions options;
    options.user = std::string(40, 'u');
    options.password = std::string(45, 'p');  // 86 bytes: a Base64 text longer than 76 characters
    test::NginxServer web(options);
    test::WriteFile(web.Root() / "auth" / "s.txt", "secret file");
    auto download = Download(web.Port(), "/auth/s.txt");
    Fetch(download.Get(), 0, 0);
    EXPECT_EQ(download->unauthorized, 1);  // no login yet: the download asks for one
    download->config.Login = {1, options.user, options.password};
    Fetch(download.Get(), 0, 0);
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{11});
}

TEST_F(HttpLiveTest, ErrorsAndRedirects) {
    test::NginxServer web;
    test::WriteFile(web.Root() / "x.jpg", "jpeg");
    struct Case {
        const char* object;
        DownloadStatus status;
        std::string redirect;
    };
    const Case cases[] = {
        {"/missing.jpg", DS_FILE_NOT_FOUND, ""},
        {"/forbidden/x.jpg", DS_FORBIDDEN, ""},
        {"/busy/x.jpg", DS_SERVER_ERROR, ""},
        {"/r301/x.jpg", DS_NONE, "http://127.0.0.1:" + std::to_string(web.Port()) + "/x.jpg"},
        {"/r302/x.jpg", DS_NONE, "/x.jpg"},
    };
    for (const Case& c : cases) {
        auto download = Download(web.Port(), c.object);
        Fetch(download.Get(), 0, 0);
        EXPECT_EQ(download->statuses.empty() ? DS_NONE : download->statuses.back(), c.status) << c.object;
        EXPECT_EQ(download->redirect, c.redirect) << c.object;
        EXPECT_TRUE(download->writes.empty()) << c.object;
    }
}

// A server that writes its reply in small pieces with pauses between them, so that the header
// reaches the worker in several blocks (as slow servers and proxies deliver it).
TEST_F(HttpLiveTest, ReplyInFragments) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string body = Pattern(5000);
    const std::string reply = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1000-5999/9000\r\n"
                              "Content-Length: 5000\r\n\r\n" + body;
    std::string request;
    std::thread server([&] {
        int c = accept(listener, nullptr, nullptr);
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = read(c, buf, sizeof buf);
            if (n <= 0) break;
            request.append(buf, size_t(n));
        }
        for (size_t at = 0; at < reply.size(); at += 7) {
            if (write(c, reply.data() + at, std::min<size_t>(7, reply.size() - at)) < 0) break;
            if (at < 120) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        close(c);
    });
    auto download = Download(ntohs(a.sin_port), "/f.bin");
    download->size = 9000;
    Fetch(download.Get(), 1000, 5999);
    server.join();
    close(listener);
    EXPECT_NE(request.find("\r\nRange: bytes=1000-5999\r\n\r\n"), std::string::npos) << request;
    EXPECT_TRUE(download->file.substr(1000) == body) << "header bytes reached the file, or body bytes were lost";
    EXPECT_EQ(download->writes.front().offset, 1000u);
}

}  // namespace
}  // namespace plover
