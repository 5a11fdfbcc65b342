// Kept connections over real sockets: workers one after the other to nginx (plain and TLS) share
// one connection, nginx's own keep-alive limits and closes change nothing in the files, and a
// server of the test's own that drops, cuts, pads or chunks its answers gives correct files or a
// clean failure, never a response read from the leftovers of the last one.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include "download/http_leech.h"
#include "live_worker_fixture.h"
#include "testutil/servers.h"
#include "testutil/test_certs.h"

namespace plover {
namespace {

using test::Pattern;
using test::http::FakeDownload;

// A python server that keeps its connections and misbehaves as told: "drop" closes a connection
// instead of answering its second request, "cut" sends only the header of the second answer and
// closes, "surplus" sends bytes after every body, "chunked" answers in chunks of odd sizes. Files
// come from Root(); ranges are served as 206. Log() has a line "CONNECTION PATH" per request.
class MisbehavingServer : public test::ServerProcess {
public:
    explicit MisbehavingServer(const std::string& mode) {
        std::filesystem::create_directories(Folder() / "root");
        test::WriteFile(Folder() / "serve.py", R"PY(import socket, sys, threading, os
port, mode, root, logname = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
lock = threading.Lock()
count = {'requests': 0, 'connections': 0}
def log(line):
    with lock, open(logname, 'a') as f:
        f.write(line + '\n')
def serve(c, cid):
    buf, n = b'', 0
    try:
        while True:
            while b'\r\n\r\n' not in buf:
                d = c.recv(65536)
                if not d:
                    return
                buf += d
            head, buf = buf.split(b'\r\n\r\n', 1)
            lines = head.decode('latin-1').split('\r\n')
            path = lines[0].split(' ')[1]
            n += 1
            with lock:
                count['requests'] += 1
                total = count['requests']
            log('%d %s' % (cid, path))
            if mode == 'drop' and n == 2:
                return
            data = open(os.path.join(root, path.lstrip('/')), 'rb').read()
            first, last, status = 0, len(data) - 1, '200 OK'
            for l in lines[1:]:
                if l.lower().startswith('range: bytes='):
                    a, b = l.split('=', 1)[1].split('-')
                    first, last, status = int(a), min(int(b), len(data) - 1), '206 Partial Content'
            body = data[first:last + 1]
            head = 'HTTP/1.1 %s\r\n' % status
            if status.startswith('206'):
                head += 'Content-Range: bytes %d-%d/%d\r\n' % (first, last, len(data))
            if mode == 'chunked':
                out, at, sizes, k = b'', 0, [1, 7, 4096, 1000, 333], 0
                while at < len(body):
                    piece = body[at:at + sizes[k % len(sizes)]]
                    out += b'%x\r\n' % len(piece) + piece + b'\r\n'
                    at += len(piece)
                    k += 1
                c.sendall((head + 'Transfer-Encoding: chunked\r\n\r\n').encode() + out + b'0\r\n\r\n')
                continue
            head += 'Content-Length: %d\r\n\r\n' % len(body)
            if mode == 'cut' and total == 2:
                c.sendall(head.encode())
                return
            c.sendall(head.encode() + body + (b'SURPLUS BYTES' if mode == 'surplus' else b''))
    finally:
        c.close()
ls = socket.socket()
ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
ls.bind(('127.0.0.1', port))
ls.listen(16)
while True:
    c, _ = ls.accept()
    count['connections'] += 1
    threading.Thread(target=serve, args=(c, count['connections']), daemon=True).start()
)PY");
        Start("misbehaving", [&](uint16_t port) {
            return std::vector<std::string>{"python3", (Folder() / "serve.py").string(), std::to_string(port), mode,
                                            (Folder() / "root").string(), (Folder() / "requests.log").string()};
        });
    }
    ~MisbehavingServer() override { Stop(); }
    std::filesystem::path Root() const { return Folder() / "root"; }
    std::string Log() const { return test::ReadFile(Folder() / "requests.log"); }
    // The distinct connections that carried requests.
    int Connections() const {
        std::istringstream log(Log());
        std::set<std::string> ids;
        std::string id, path;
        while (log >> id >> path) ids.insert(id);
        return int(ids.size());
    }
};

class KeepAliveLiveTest : public test::LiveWorkerTest {
protected:
    SLeechEnv PoolEnv() {
        SLeechEnv env = Env();
        env.pool = QueryAs<IConnectionPool>(static_cast<IEngine*>(sockets), IID_IConnectionPool);
        env.tlsOptions = [ca = certs.CaFile()] { return STlsOptions{false, ca}; };
        return env;
    }
    // One worker fetches the whole file (size known, one ranged request) to its end.
    RefPtr<FakeDownload> Fetch(const std::string& scheme, uint16_t port, const std::string& object, uint32_t size) {
        auto d = Download(scheme, port, object);
        if (scheme == "https") {
            d->config.Service = SERVICE_HTTPS;
            d->config.Server = "localhost";
        }
        d->size = size;
        Run([&] { return StartHttpLeech(d.Get(), 0, size - 1, PoolEnv()); });
        return d;
    }
    size_t Reused() const {
        size_t n = 0;
        for (const auto& line : downloader->logs) n += line.text.find("(reused connection)") != std::string::npos;
        return n;
    }
    // Waits (generously) until the pool holds no connection any more.
    bool PoolEmptied() {
        auto pool = PoolEnv().pool;
        auto* concrete = static_cast<CConnectionPool*>(pool.Get());
        for (int i = 0; i < 600 && concrete->TotalParked() != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return concrete->TotalParked() == 0;
    }

    test::TestCertificates certs;
};

TEST_F(KeepAliveLiveTest, WorkersOneAfterTheOtherShareOneConnectionPlainAndTls) {
    for (bool tls : {false, true}) {
        test::NginxOptions options;
        if (tls) {
            options.tlsCertificate = certs.Server().certificate;
            options.tlsKey = certs.Server().key;
        }
        test::NginxServer web(options);
        for (int i = 0; i < 5; ++i) test::WriteFile(web.Root() / ("f" + std::to_string(i)), Pattern(70000 + i * 5111));
        downloader->logs.clear();
        for (int i = 0; i < 5; ++i) {
            uint32_t size = 70000 + i * 5111;
            auto d = Fetch(tls ? "https" : "http", web.Port(), "/f" + std::to_string(i), size);
            EXPECT_TRUE(d->file == Pattern(size)) << i;
            EXPECT_TRUE(d->statuses.empty() || d->statuses.back() == DS_DOWNLOADING) << i;
        }
        EXPECT_EQ(web.RequestsLogged(), 5) << web.ConnectionLog();
        EXPECT_EQ(web.ConnectionsUsed(), 1) << web.ConnectionLog();
        EXPECT_EQ(Reused(), 4u);
    }
}

TEST_F(KeepAliveLiveTest, NginxLimitsAndIdleClosesKeepTheFilesWhole) {
    test::NginxOptions options;
    options.keepAlive = "keepalive_requests 2;\n  keepalive_timeout 1;";
    test::NginxServer web(options);
    for (int i = 0; i < 5; ++i) test::WriteFile(web.Root() / ("g" + std::to_string(i)), Pattern(30000 + i));
    for (int i = 0; i < 5; ++i) {
        auto d = Fetch("http", web.Port(), "/g" + std::to_string(i), 30000 + i);
        EXPECT_TRUE(d->file == Pattern(30000 + i)) << i;
    }
    EXPECT_EQ(web.ConnectionsUsed(), 3) << web.ConnectionLog();  // two requests a connection
    // nginx closes the kept connection after a second: the pool lets it go, the next worker connects anew.
    ASSERT_TRUE(PoolEmptied());
    auto d = Fetch("http", web.Port(), "/g0", 30000);
    EXPECT_TRUE(d->file == Pattern(30000));
    EXPECT_EQ(web.ConnectionsUsed(), 4) << web.ConnectionLog();
}

TEST_F(KeepAliveLiveTest, AKeptConnectionClosedInsteadOfAnsweringIsTriedOnceMoreOnANewOne) {
    MisbehavingServer server("drop");
    test::WriteFile(server.Root() / "a", Pattern(20000));
    test::WriteFile(server.Root() / "b", Pattern(25000));
    EXPECT_TRUE(Fetch("http", server.Port(), "/a", 20000)->file == Pattern(20000));
    auto b = Fetch("http", server.Port(), "/b", 25000);
    EXPECT_TRUE(b->file == Pattern(25000));
    for (DownloadStatus s : b->statuses) EXPECT_NE(s, DS_ABORTED) << "the retry is not a failed attempt";
    EXPECT_EQ(server.Connections(), 2) << server.Log();
    EXPECT_EQ(Reused(), 1u);
}

TEST_F(KeepAliveLiveTest, AnAnswerCutAfterItsHeaderFailsCleanlyAndTheNextStartsAfresh) {
    MisbehavingServer server("cut");
    for (const char* n : {"a", "b", "c"}) test::WriteFile(server.Root() / n, Pattern(20000));
    EXPECT_TRUE(Fetch("http", server.Port(), "/a", 20000)->file == Pattern(20000));
    auto b = Fetch("http", server.Port(), "/b", 20000);
    EXPECT_EQ(b->status, DS_ABORTED);
    EXPECT_TRUE(b->writes.empty());
    EXPECT_TRUE(Fetch("http", server.Port(), "/c", 20000)->file == Pattern(20000));
    EXPECT_EQ(server.Connections(), 2) << server.Log();
}

TEST_F(KeepAliveLiveTest, BytesAfterTheBodyAreNeverTheNextAnswer) {
    MisbehavingServer server("surplus");
    for (const char* n : {"a", "b", "c"}) test::WriteFile(server.Root() / n, Pattern(20000));
    for (const char* n : {"a", "b", "c"}) EXPECT_TRUE(Fetch("http", server.Port(), std::string("/") + n, 20000)->file == Pattern(20000)) << n;
    EXPECT_EQ(server.Connections(), 3) << server.Log();
    EXPECT_EQ(Reused(), 0u);
}

TEST_F(KeepAliveLiveTest, ChunkedAnswersAreDecodedAndTheConnectionKept) {
    MisbehavingServer server("chunked");
    test::WriteFile(server.Root() / "a", Pattern(100000));
    test::WriteFile(server.Root() / "b", Pattern(3));
    EXPECT_TRUE(Fetch("http", server.Port(), "/a", 100000)->file == Pattern(100000));
    EXPECT_TRUE(Fetch("http", server.Port(), "/b", 3)->file == Pattern(3));
    // An answer of unknown size in chunks is whole at its last chunk, not at the close.
    auto page = Download("http", server.Port(), "/a");
    page->singleStream = true;
    Run([&] { return StartHttpLeech(page.Get(), 0, 0, PoolEnv()); });
    EXPECT_TRUE(page->file == Pattern(100000));
    EXPECT_EQ(page->completes, 1);
    EXPECT_EQ(server.Connections(), 1) << server.Log();
}

}  // namespace
}  // namespace plover
