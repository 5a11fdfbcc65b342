// The socket engine on real loopback connections: connect, stream, back-pressure, listen/accept,
// throttled reads and host lookups. Every test ends with the engines stopped and no socket left.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/br_socket.h"
#include "net/host_lookup.h"
#include "net/socket_engine.h"
#include "net/socket_redirector.h"
#include "net_test_util.h"
#include "platform/tick.h"

namespace plover {
namespace {

using test::CRecordingSink;
using test::CRunning;
using test::CTargetEngine;
using test::WaitUntil;

class SocketEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WaitUntil([&] { return engine->GetThreadId() != std::thread::id(); }));
    }
    void TearDown() override {
        engine.Stop();
        EXPECT_EQ(CBRSocket::GetLiveCount(), 0) << "every socket is gone with its last reference";
    }
    // A redirector to `target` around `sink`, as the download workers use it.
    static RefPtr<CSocketRedirector> Redirect(CRecordingSink& sink, CEngine* target) {
        return RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target));
    }

    std::atomic<uint32_t> quota{0xFFFFFFFF};
    CRunning<CSocketEngine> engine{new CSocketEngine([this] { return quota.load(); })};
};

TEST_F(SocketEngineTest, ConnectSucceeds) {
    uint16_t port = 0;
    int listener = test::ListenLoopback(&port);
    ASSERT_GE(listener, 0);
    CRecordingSink sink;
    sink.expectedThread = engine->GetThreadId();
    SOCKADDR_IN to = test::LoopbackAddress(port);
    RefPtr<ISocket> socket;
    ASSERT_TRUE(engine->CreateSocket(&sink, &to, socket.Put(), true));
    EXPECT_TRUE(socket->IsStarted());
    EXPECT_TRUE(socket->IsThrottled());
    EXPECT_TRUE(socket->IsRegistrationPending());
    RefPtr<ISocket> listed;
    ASSERT_TRUE(engine->GetSocket(0, listed.Put()));
    EXPECT_EQ(listed, socket);
    EXPECT_FALSE(engine->GetSocket(1, listed.Put()));

    socket->RegisterEvent();
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("ready"); }));
    EXPECT_EQ(sink.Lines().front(), "connect 1");
    EXPECT_TRUE(socket->IsConnected());
    std::string local;
    socket->GetLocalAddressText(local);
    EXPECT_EQ(local, "127,0,0,1");
    SOCKADDR_IN remote{};
    socket->GetRemoteAddress(&remote);
    EXPECT_EQ(ntohs(remote.sin_port), port);
    EXPECT_TRUE(socket->Send("GET / HTTP/1.0\r\n\r\n", 18));
    EXPECT_FALSE(socket->Send(nullptr, 1));
    EXPECT_FALSE(sink.wrongThread);

    socket->Close();
    EXPECT_FALSE(engine->GetSocket(0, listed.Put()));
    close(listener);
}

TEST_F(SocketEngineTest, ConnectRefused) {
    CRecordingSink sink;
    SOCKADDR_IN to = test::LoopbackAddress(test::FreeLoopbackPort());
    RefPtr<ISocket> socket;
    ASSERT_TRUE(engine->CreateSocket(&sink, &to, socket.Put(), true));
    EXPECT_TRUE(socket->IsStarted());
    socket->RegisterEvent();
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("connect 0"); }));
    SleepMs(50);
    EXPECT_EQ(sink.Lines(), std::vector<std::string>{"connect 0"}) << "a failed connect says so once";
    EXPECT_FALSE(socket->IsConnected());
    socket->Close();
}

TEST_F(SocketEngineTest, CreateRefusesMissingArguments) {
    CRecordingSink sink;
    SOCKADDR_IN to = test::LoopbackAddress(1);
    RefPtr<ISocket> socket;
    EXPECT_FALSE(engine->CreateSocket(nullptr, &to, socket.Put(), true));
    EXPECT_FALSE(engine->CreateSocket(&sink, &to, nullptr, true));
    EXPECT_FALSE(engine->CreateListenSocket(&sink, nullptr, nullptr));
    EXPECT_EQ(CBRSocket::GetLiveCount(), 0);
}

// A connect refused at once by the platform is a creation failure: false, no socket anywhere.
TEST_F(SocketEngineTest, CreationFailureLeavesNothing) {
    CRecordingSink sink;
    SOCKADDR_IN to = test::LoopbackAddress(80);
    to.sin_family = AF_UNIX;  // not an IPv4 address: the connect fails at once
    ISocket* socket = reinterpret_cast<ISocket*>(&sink);
    EXPECT_FALSE(engine->CreateSocket(&sink, &to, &socket, true));
    EXPECT_EQ(socket, nullptr);
    EXPECT_EQ(CBRSocket::GetLiveCount(), 0);
    RefPtr<ISocket> listed;
    EXPECT_FALSE(engine->GetSocket(0, listed.Put()));
    EXPECT_EQ(sink.AddRef(), 2u) << "the sink is not held";
    sink.Release();
}

// 64 MiB through a redirector to another engine: every byte arrives, in order, and the close
// comes after the last of them although the sender's FIN reaches the kernel long before.
TEST_F(SocketEngineTest, StreamArrivesWholeBeforeClose) {
    constexpr uint64_t kTotal = 64ull << 20;
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    sink.checkPattern = true;
    uint16_t port = 0;
    int listener = test::ListenLoopback(&port);
    std::thread sender = test::ServeOnce(listener, kTotal);
    auto redirector = Redirect(sink, target.Get());
    SOCKADDR_IN to = test::LoopbackAddress(port);
    RefPtr<ISocket> socket;
    target->Hold();  // the owner is busy at first: back-pressure holds the socket
    ASSERT_TRUE(engine->CreateSocket(redirector.Get(), &to, socket.Put(), true));
    socket->RegisterEvent();
    ASSERT_TRUE(WaitUntil([&] { return socket->GetPendingCount() >= CSocketEngine::kMaxPendingMessages; }));
    target->Let();

    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }, 120000));
    sender.join();
    target->Sync();
    EXPECT_EQ(sink.receivedAtClose, kTotal);
    EXPECT_EQ(sink.Received(), kTotal);
    EXPECT_FALSE(sink.patternBroken);
    EXPECT_EQ(sink.Count("close"), 1u);
    EXPECT_EQ(sink.Lines().back(), "close");
    EXPECT_EQ(sink.Count("error 1"), 0u);
    EXPECT_EQ(sink.Lines().front(), "connect 1");
    for (uint32_t n : sink.ReadSizes()) EXPECT_LE(n, kMaxSocketRead);
    socket->Close();
    redirector->End();
    close(listener);
}

// A socket whose owner has ten notifications still to take is not read until it takes one.
TEST_F(SocketEngineTest, TenPendingMessagesHoldTheSocket) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    sink.checkPattern = true;
    uint16_t port = 0;
    int listener = test::ListenLoopback(&port);
    constexpr uint64_t kTotal = 8ull << 20;
    std::thread sender = test::ServeOnce(listener, kTotal);
    auto redirector = Redirect(sink, target.Get());
    SOCKADDR_IN to = test::LoopbackAddress(port);
    RefPtr<ISocket> socket;
    target->Hold();
    ASSERT_TRUE(engine->CreateSocket(redirector.Get(), &to, socket.Put(), false));
    socket->RegisterEvent();
    ASSERT_TRUE(WaitUntil([&] { return socket->GetPendingCount() >= CSocketEngine::kMaxPendingMessages; }));
    SleepMs(100);  // the pass that reached the limit may still be adding its second message
    int32_t held = socket->GetPendingCount();
    SleepMs(300);  // whatever the engine does meanwhile, it must not read this socket
    EXPECT_EQ(socket->GetPendingCount(), held);
    EXPECT_LE(held, CSocketEngine::kMaxPendingMessages + 2) << "one pass makes at most two messages";
    EXPECT_TRUE(socket->HasData());
    target->Let();
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }, 60000));
    sender.join();
    target->Sync();
    EXPECT_EQ(sink.receivedAtClose, kTotal);
    EXPECT_FALSE(sink.patternBroken);
    EXPECT_EQ(socket->GetPendingCount(), 0);
    socket->Close();
    close(listener);
}

TEST_F(SocketEngineTest, ListenAcceptAndHostOrderPort) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    sink.onAccept = [](ISocket* s) { EXPECT_TRUE(s->Accept()); };
    auto redirector = Redirect(sink, target.Get());
    uint16_t port = 0;
    RefPtr<ISocket> socket;
    ASSERT_TRUE(engine->CreateListenSocket(redirector.Get(), &port, socket.Put()));
    ASSERT_NE(port, 0);
    EXPECT_TRUE(socket->IsStarted());
    EXPECT_FALSE(socket->IsConnected());
    socket->RegisterEvent();

    int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    SOCKADDR_IN to = test::LoopbackAddress(port);  // the reported port, converted as a host-order number
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(WaitUntil([&] { return socket->IsConnected(); }));
    EXPECT_EQ(sink.Lines().front(), "accept");
    ASSERT_EQ(send(client, "hello", 5, 0), 5);
    ASSERT_TRUE(WaitUntil([&] { return sink.Data() == "hello"; }));
    std::string local;
    socket->GetLocalAddressText(local);
    EXPECT_EQ(local, "127,0,0,1");
    SOCKADDR_IN clientAddr{};
    socklen_t len = sizeof clientAddr;
    getsockname(client, reinterpret_cast<sockaddr*>(&clientAddr), &len);
    SOCKADDR_IN remote{};
    socket->GetRemoteAddress(&remote);
    EXPECT_EQ(remote.sin_port, clientAddr.sin_port);
    EXPECT_TRUE(socket->Send("world", 5));
    char reply[5];
    ASSERT_EQ(recv(client, reply, 5, MSG_WAITALL), 5);
    EXPECT_EQ(std::string(reply, 5), "world");

    close(client);
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }));
    EXPECT_FALSE(socket->IsConnected());
    socket->Close();
    redirector->End();
}

// Quota 500000 bytes per second with one socket: after the unlimited first read (at most the
// buffer) no read takes more than a fifth of it, and the timer's kicks bring the rest in.
TEST_F(SocketEngineTest, ThrottledReadsTakeTheirShare) {
    quota = 500000;
    CRecordingSink sink;
    sink.checkPattern = true;
    uint16_t port = 0;
    int listener = test::ListenLoopback(&port);
    constexpr uint64_t kTotal = 600000;
    std::thread sender = test::ServeOnce(listener, kTotal);
    SOCKADDR_IN to = test::LoopbackAddress(port);
    RefPtr<ISocket> socket;
    ASSERT_TRUE(engine->CreateSocket(&sink, &to, socket.Put(), true));
    socket->RegisterEvent();
    ASSERT_TRUE(WaitUntil([&] { return sink.Has("close"); }));
    sender.join();
    EXPECT_EQ(sink.receivedAtClose, kTotal);
    EXPECT_FALSE(sink.patternBroken);
    std::vector<uint32_t> sizes = sink.ReadSizes();
    ASSERT_GE(sizes.size(), 2u);
    for (size_t i = 1; i < sizes.size(); ++i) EXPECT_LE(sizes[i], 100000u) << "read " << i;
    socket->Close();
    close(listener);
}

class CLookupAnswer final : public IHostByNameCallback {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return uint32_t(++refs); }
    uint32_t Release() override { return uint32_t(--refs); }
    void OnHostByName(SHostLookup* lookup) override {
        thread = std::this_thread::get_id();
        resolved = lookup->resolved;
        address = lookup->address;
        answered.Set();
    }
    std::atomic<int> refs{1};
    CEvent answered;
    std::thread::id thread;
    bool resolved = false;
    SOCKADDR_IN address{};
};

TEST_F(SocketEngineTest, HostLookupsAnswerOnTheEngineThread) {
    struct Row {
        std::string host;
        bool resolved;
        const char* address;
    };
    // A label of 64 characters is refused by the resolver itself: a failure without any network.
    const Row rows[] = {
        {"localhost", true, "127.0.0.1"},
        {"127.0.0.2", true, "127.0.0.2"},
        {std::string(64, 'x') + ".invalid", false, "10.1.2.3"},
        {"", false, "10.1.2.3"},
    };
    for (const Row& r : rows) {
        CLookupAnswer answer;
        SOCKADDR_IN address = test::LoopbackAddress(80);
        inet_pton(AF_INET, "10.1.2.3", &address.sin_addr);
        ResolveHostAsync(address, r.host.c_str(), &answer, engine.Get());
        ASSERT_TRUE(answer.answered.Wait(30000)) << r.host;
        EXPECT_EQ(answer.thread, engine->GetThreadId());
        EXPECT_EQ(answer.resolved, r.resolved) << r.host;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &answer.address.sin_addr, text, sizeof text);
        EXPECT_STREQ(text, r.address) << r.host;
        EXPECT_EQ(ntohs(answer.address.sin_port), 80) << "only the address part is written";
        ASSERT_TRUE(WaitUntil([&] { return answer.refs == 1; })) << "the record let the callback go";
    }
}

}  // namespace
}  // namespace plover
