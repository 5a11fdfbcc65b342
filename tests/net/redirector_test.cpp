// The socket redirector: order and copies of the notifications, blocks handed over uncopied, End,
// and the traffic report to the downloader once one is registered.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/socket_message.h"
#include "net/socket_redirector.h"
#include "net_test_util.h"
#include "fake_net_reports.h"

namespace plover {
namespace {

using test::CRecordingSink;
using test::CRunning;
using test::CTargetEngine;

// A socket that only counts its pending messages.
class CFakeSocket final : public ISocket {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return uint32_t(++refs); }
    uint32_t Release() override { return uint32_t(--refs); }
    void GetRemoteAddress(SOCKADDR_IN*) override {}
    void GetLocalAddressText(std::string& out) override { out.clear(); }
    bool Accept() override { return false; }
    bool IsStarted() override { return true; }
    void Kick() override {}
    uint32_t GetIdleSeconds() override { return 0; }
    int32_t Recv(void*, int32_t) override { return -1; }
    bool Send(const void*, uint32_t) override { return false; }
    bool GetSink(ISockAdviseSink**) override { return false; }
    Handle GetEvent() override { return kNoHandle; }
    bool ReadNetworkEvents(SNetworkEvents*) override { return false; }
    bool HasData() override { return false; }
    bool IsConnected() override { return true; }
    void Close() override {}
    bool IsFirstRead() override { return false; }
    void RegisterEvent() override {}
    bool IsRegistrationPending() override { return false; }
    int32_t AddPending() override { return ++pending; }
    int32_t ReleasePending() override { return --pending; }
    int32_t GetPendingCount() override { return pending; }
    void SetThrottled(bool) override {}
    bool IsThrottled() override { return false; }
    void SetActive(bool) override {}
    bool IsActive() override { return true; }

    std::atomic<int> refs{1};
    std::atomic<int32_t> pending{0};
};

TEST(SocketRedirector, KeepsOrderAndCopiesData) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    CFakeSocket socket;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target.Get()));
    sink.expectedThread = target->GetThreadId();
    target->Hold();
    char block[4];
    std::memcpy(block, "one", 3);
    redirector->OnConnect(&socket, true);
    redirector->OnReceive(&socket, reinterpret_cast<const uint8_t*>(block), 3);
    std::memcpy(block, "two", 3);  // the socket engine reuses its buffer at once
    redirector->OnReceive(&socket, reinterpret_cast<const uint8_t*>(block), 3);
    redirector->OnReceive(&socket, nullptr, 5);  // nothing to carry: no message
    redirector->OnReady(&socket);
    redirector->OnError(&socket, 1);
    redirector->OnAccept(&socket);
    redirector->OnClose(&socket);
    EXPECT_EQ(socket.pending, 7);
    EXPECT_TRUE(sink.Lines().empty()) << "nothing runs on the socket engine's thread";
    target->Let();
    target->Sync();
    EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"connect 1", "receive", "receive", "ready", "error 1",
                                                      "accept", "close"}));
    EXPECT_EQ(sink.Data(), "onetwo");
    EXPECT_EQ(socket.pending, 0);
    EXPECT_EQ(socket.refs, 1) << "every message let the socket go";
    EXPECT_FALSE(sink.wrongThread);
    redirector->End();
}

TEST(SocketRedirector, DropsEverythingAfterEnd) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    CFakeSocket socket;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target.Get()));
    auto endable = QueryAs<IEndable>(static_cast<ISockAdviseSink*>(redirector.Get()), IID_IEndable);
    ASSERT_TRUE(endable);
    endable->End();
    redirector->OnReceive(&socket, reinterpret_cast<const uint8_t*>("late"), 4);
    redirector->OnClose(&socket);
    EXPECT_EQ(socket.pending, 0) << "no message was made";
    target->Sync();
    EXPECT_TRUE(sink.Lines().empty());
    EXPECT_EQ(sink.AddRef(), 2u) << "End let the real sink go";
    sink.Release();
}

TEST(SocketRedirector, ReportsTrafficOnceAReceiverIsInstalled) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CRecordingSink sink;
    CFakeSocket socket;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target.Get()));
    const uint8_t data[10] = {};
    redirector->OnReceive(&socket, data, 10);  // nobody listens yet: skipped silently
    {
        test::CFakeNetReports heard;
        redirector->OnReceive(&socket, data, 7);
        redirector->OnReceive(&socket, data, 3);
        EXPECT_EQ(heard.TrafficTotal(), 10u);
    }
    target->Sync();
    EXPECT_EQ(sink.Received(), 20u);
    redirector->End();
}

// A sink that keeps where each received block lay when it was delivered, and its bytes.
class CBlockSink final : public ISockAdviseSink {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    bool OnConnect(ISocket*, bool) override { return true; }
    bool OnAccept(ISocket*) override { return true; }
    bool OnClose(ISocket*) override { return true; }
    bool OnReady(ISocket*) override { return true; }
    bool OnReceive(ISocket*, const uint8_t* data, uint32_t length) override {
        at.push_back(data);
        bytes.emplace_back(reinterpret_cast<const char*>(data), length);
        return true;
    }
    bool OnError(ISocket*, uint32_t) override { return true; }

    std::vector<const uint8_t*> at;
    std::vector<std::string> bytes;
};

TEST(SocketRedirector, ABlockReadIntoIsHandedOverWithoutACopy) {
    CRunning<CTargetEngine> target(new CTargetEngine);
    CBlockSink sink;
    CFakeSocket socket;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target.Get()));
    auto handover = QueryAs<IReceiveHandover>(static_cast<ISockAdviseSink*>(redirector.Get()), IID_IReceiveHandover);
    ASSERT_TRUE(handover) << "the socket engine finds the redirector's handover";
    const std::string large(100000, 'L'), small = "small";
    CReceivedData block;
    block.Reserve();
    std::memcpy(block.writable(), large.data(), large.size());
    block.Fit(uint32_t(large.size()));
    const uint8_t* readInto = block.get();
    handover->OnReceiveBlock(&socket, block, uint32_t(large.size()));
    EXPECT_EQ(block.get(), nullptr) << "the message took the block";
    // A few bytes leave the full-size block for one of their own.
    block.Reserve();
    std::memcpy(block.writable(), small.data(), small.size());
    block.Fit(uint32_t(small.size()));
    handover->OnReceiveBlock(&socket, block, uint32_t(small.size()));
    target->Sync();
    ASSERT_EQ(sink.at.size(), 2u);
    EXPECT_EQ(sink.at[0], readInto);
    EXPECT_EQ(sink.bytes, (std::vector<std::string>{large, small}));
    EXPECT_EQ(socket.pending, 0);
    redirector->End();
}

}  // namespace
}  // namespace plover
