// The HTTP worker over TLS against real servers on loopback: a body read to the end of the
// connection is whole only when the server ended the TLS stream properly (close_notify), and a
// server that never answers the handshake runs into the worker's connect time-out.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "download/http_leech.h"
#include "live_worker_fixture.h"
#include "testutil/servers.h"
#include "testutil/test_certs.h"

namespace plover {
namespace {

using test::Pattern;
using test::http::FakeDownload;

// A TLS server in python that answers every GET with a body of unknown length and then closes
// the connection without close_notify, as a cut link or an attacker would end it.
class CutStreamServer : public test::ServerProcess {
public:
    CutStreamServer(const test::TlsPair& pair, size_t bodySize) {
        test::WriteFile(Folder() / "serve.py",
                        "import socket, ssl, sys\n"
                        "ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)\n"
                        "ctx.load_cert_chain(sys.argv[1], sys.argv[2])\n"
                        "ls = socket.socket()\n"
                        "ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                        "ls.bind(('127.0.0.1', int(sys.argv[3])))\n"
                        "ls.listen(8)\n"
                        "body = bytes((i * 131 ^ i >> 9 ^ i >> 17) & 255 for i in range(int(sys.argv[4])))\n"
                        "while True:\n"
                        "    c, _ = ls.accept()\n"
                        "    try:\n"
                        "        s = ctx.wrap_socket(c, server_side=True)\n"
                        "        req = b''\n"
                        "        while b'\\r\\n\\r\\n' not in req:\n"
                        "            d = s.recv(4096)\n"
                        "            if not d: break\n"
                        "            req += d\n"
                        "        s.sendall(b'HTTP/1.0 200 OK\\r\\nContent-Type: application/octet-stream\\r\\n\\r\\n' + body)\n"
                        "        s.close()  # no unwrap: no close_notify\n"
                        "    except Exception:\n"
                        "        c.close()\n");
        Start("cut-stream", [&](uint16_t port) {
            return std::vector<std::string>{"python3", (Folder() / "serve.py").string(), pair.certificate, pair.key,
                                            std::to_string(port), std::to_string(bodySize)};
        });
    }
    ~CutStreamServer() override { Stop(); }
};

class HttpsLiveTest : public test::LiveWorkerTest {
protected:
    RefPtr<FakeDownload> Secure(uint16_t port, const std::string& object) {
        auto d = Download("https", port, object);
        d->config.Service = SERVICE_HTTPS;
        d->config.Server = "localhost";
        return d;
    }
    SLeechEnv TlsEnv() {
        SLeechEnv env = Env();
        env.tlsOptions = [ca = certs.CaFile()] { return STlsOptions{false, ca}; };
        return env;
    }

    test::TestCertificates certs;
};

TEST_F(HttpsLiveTest, ABodyReadToTheCloseIsWholeOnlyAfterCloseNotify) {
    const size_t size = 300000;
    {
        // nginx ends its TLS stream properly: the single stream is complete.
        test::NginxOptions options;
        options.tlsCertificate = certs.Server().certificate;
        options.tlsKey = certs.Server().key;
        test::NginxServer web(options);
        test::WriteFile(web.Root() / "whole.bin", Pattern(size));
        auto download = Secure(web.Port(), "/whole.bin");
        download->singleStream = true;
        Run([&] { return StartHttpLeech(download.Get(), 0, 0, TlsEnv()); });
        EXPECT_TRUE(download->file == Pattern(size));
        EXPECT_EQ(download->completes, 1);
    }
    CutStreamServer cut(certs.Server(), size);
    auto download = Secure(cut.Port(), "/cut.bin");
    download->singleStream = true;
    Run([&] { return StartHttpLeech(download.Get(), 0, 0, TlsEnv()); });
    EXPECT_TRUE(download->file == Pattern(size)) << "every byte received is still written";
    EXPECT_EQ(download->completes, 0) << "a cut stream is never taken as the whole file";
    EXPECT_EQ(download->status, DS_ABORTED);
}

TEST_F(HttpsLiveTest, AServerThatNeverAnswersTheHandshakeTimesOut) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 4), 0);  // the kernel accepts; nobody ever answers
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    auto download = Secure(ntohs(a.sin_port), "/never.bin");
    SLeechEnv env = TlsEnv();
    env.timeouts = [] { return SLeechTimeouts{1, 1}; };
    RefPtr<ILeech> leech;
    worker->Run([&] { leech = StartHttpLeech(download.Get(), 0, 0, env); });
    ASSERT_TRUE(leech);
    bool stopped = false;
    for (int i = 0; i < 600 && !stopped; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        worker->Run([&] {
            leech->CheckTimeout();  // what the downloader does every second
            stopped = leech->IsStopped();
        });
    }
    worker->Run([&] {
        leech->Stop();
        leech.Reset();
    });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(download->status, DS_TIMEOUT);
    EXPECT_TRUE(download->writes.empty());
    close(listener);
}

}  // namespace
}  // namespace plover
