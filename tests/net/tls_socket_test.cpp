// The TLS layer over the socket engine against real servers on loopback: a whole response arrives
// decrypted, in order and before the one close, through the redirector's back-pressure; faults
// before the session (garbage, a close during the handshake, an untrusted certificate) and a
// stream cut without close_notify are each told by their own error code, and nothing is delivered
// from a session that never came up.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/br_socket.h"
#include "net/socket_engine.h"
#include "net/socket_redirector.h"
#include "net/tls_socket.h"
#include "net_test_util.h"
#include "testutil/servers.h"
#include "testutil/test_certs.h"

namespace plover {
namespace {

using test::CRecordingSink;
using test::CRunning;
using test::CTargetEngine;
using test::WaitUntil;

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = char(test::PatternByte(i));
    return body;
}

class TlsSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitUntil([&] { return engine->GetThreadId() != std::thread::id(); }));
    }
    void TearDown() override {
        engine.Stop();
        EXPECT_EQ(CBRSocket::GetLiveCount(), 0);
    }
    test::NginxServer& Web(const test::TlsPair& pair, uint32_t limitRate = 2 * 1024 * 1024) {
        test::NginxOptions options;
        options.tlsCertificate = pair.certificate;
        options.tlsKey = pair.key;
        options.limitRate = limitRate;
        web = std::make_unique<test::NginxServer>(options);
        return *web;
    }
    RefPtr<ISocket> Open(ISockAdviseSink* sink, uint16_t port) {
        SOCKADDR_IN to = test::LoopbackAddress(port);
        STlsTarget target{"localhost", STlsOptions{false, certs.CaFile()}, {}};
        RefPtr<ISocket> socket;
        std::string error;
        EXPECT_TRUE(CreateTlsSocket(engine.Get(), sink, &to, target, socket.Put(), true, &error)) << error;
        if (socket) socket->RegisterEvent();
        return socket;
    }

    test::TestCertificates certs;
    std::unique_ptr<test::NginxServer> web;
    CRunning<CSocketEngine> engine{new CSocketEngine([] { return 0xFFFFFFFFu; })};
};

TEST_F(TlsSocketTest, ResponseArrivesWholeAndInOrderBeforeTheOneClose) {
    const std::string body = Body(6 << 20);
    test::NginxServer& server = Web(certs.Server());
    test::WriteFile(server.Root() / "p.bin", body);
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target.Get()));
    RefPtr<ISocket> socket = Open(redirector.Get(), server.Port());
    ASSERT_TRUE(socket);
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("ready"); }));
    auto session = QueryAs<ITlsSession>(socket.Get(), IID_ITlsSession);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->GetSessionText().rfind("TLSv1.3 ", 0), 0u) << session->GetSessionText();
    target->Hold();  // the owner is busy: the decrypted blocks wait, and the socket is held back
    std::string request = "GET /p.bin HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ASSERT_TRUE(socket->Send(request.data(), uint32_t(request.size())));
    ASSERT_TRUE(WaitUntil([&] { return socket->GetPendingCount() >= CSocketEngine::kMaxPendingMessages; }));
    target->Let();
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }, 120000));
    target->Sync();
    std::string data = sink.Data();
    ASSERT_GE(data.size(), body.size());
    EXPECT_EQ(data.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_TRUE(data.compare(data.size() - body.size(), body.size(), body) == 0) << "the body arrived changed";
    EXPECT_EQ(sink.receivedAtClose, data.size());
    EXPECT_EQ(sink.Lines().front(), "connect 1");
    EXPECT_EQ(sink.Lines().back(), "close");
    EXPECT_EQ(sink.Count("close"), 1u);
    for (const std::string& line : sink.Lines()) EXPECT_EQ(line.rfind("error", 0), std::string::npos) << line;
    socket->Close();
    redirector->End();
}

TEST_F(TlsSocketTest, FaultsBeforeTheSessionAreToldAndNothingIsDelivered) {
    struct Case {
        const char* name;
        std::string garbage;  // a plain server sends this and closes; empty with a certificate
        bool selfSigned;
        uint32_t error;
    } cases[] = {
        {"garbage instead of a handshake", "HTTP/1.0 200 OK\r\n\r\nnot a handshake at all", false, SOCKERR_TLS},
        {"closed during the handshake", "", false, SOCKERR_TLS},
        {"self-signed certificate", "", true, SOCKERR_CERT_NOT_TRUSTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingSink sink;
        std::thread plain;
        int listener = -1;
        uint16_t port = 0;
        if (c.selfSigned) {
            port = Web(certs.SelfSigned()).Port();
        } else {
            listener = test::ListenLoopback(&port);
            plain = test::ServeOnce(listener, 0, c.garbage);
        }
        RefPtr<ISocket> socket = Open(&sink, port);
        ASSERT_TRUE(socket);
        std::string expected = "error " + std::to_string(c.error);
        EXPECT_TRUE(WaitUntil([&] { return sink.Has(expected); })) << testing::PrintToString(sink.Lines());
        EXPECT_FALSE(sink.Has("receive"));
        EXPECT_FALSE(sink.Has("ready"));
        auto session = QueryAs<ITlsSession>(socket.Get(), IID_ITlsSession);
        EXPECT_FALSE(session->GetFailureText().empty());
        std::string request = "GET / HTTP/1.0\r\n\r\n";
        EXPECT_FALSE(socket->Send(request.data(), uint32_t(request.size())));  // never in the clear
        socket->Close();
        if (plain.joinable()) plain.join();
        if (listener >= 0) close(listener);
        web.reset();
    }
}

TEST_F(TlsSocketTest, AStreamCutWithoutCloseNotifyIsToldBeforeTheClose) {
    test::NginxServer& server = Web(certs.Server(), 256 * 1024);
    test::WriteFile(server.Root() / "long.bin", Body(8 << 20));
    CRecordingSink sink;
    RefPtr<ISocket> socket = Open(&sink, server.Port());
    ASSERT_TRUE(socket);
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("ready"); }));
    std::string request = "GET /slow/long.bin HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ASSERT_TRUE(socket->Send(request.data(), uint32_t(request.size())));
    ASSERT_TRUE(WaitUntil([&] { return sink.Received() > 100000; }));
    // The server dies: the kernel ends the connection without a TLS close_notify.
    pid_t pid = std::stoi(test::ReadFile(server.Folder() / "nginx.pid"));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }));
    std::vector<std::string> lines = sink.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "error " + std::to_string(SOCKERR_TLS_TRUNCATED));
    EXPECT_EQ(lines.back(), "close");
    socket->Close();
}

}  // namespace
}  // namespace plover
