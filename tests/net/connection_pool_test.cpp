// The pool of kept connections over stand-in sockets and a hand-set clock: places kept apart, the
// newest taken first, the limits per place and in all, the idle time, and connections the server
// closed or sent something on while parked never handed out.
#include <gtest/gtest.h>

#include <memory>

#include "net/connection_pool.h"
#include "net_test_util.h"

namespace plover {
namespace {

using test::CRecordingSink;

class CPoolSocket final : public ISocket, public ISocketHandover {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (iid == IID_ISocketHandover) {
            *out = static_cast<ISocketHandover*>(this);
        } else if (iid == IID_IUnknown || iid == IID_ISocket) {
            *out = static_cast<ISocket*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() override { return uint32_t(++refs); }
    uint32_t Release() override { return uint32_t(--refs); }  // lives in the test
    void SetSink(ISockAdviseSink* s) override { sink = RefPtr<ISockAdviseSink>(s); }
    void GetRemoteAddress(SOCKADDR_IN*) override {}
    void GetLocalAddressText(std::string& out) override { out.clear(); }
    bool Accept() override { return false; }
    bool IsStarted() override { return true; }
    void Kick() override {}
    uint32_t GetIdleSeconds() override { return 0; }
    int32_t Recv(void*, int32_t) override { return -1; }
    bool Send(const void*, uint32_t) override { return true; }
    bool GetSink(ISockAdviseSink** out) override {
        if (!sink) return false;
        *out = RefPtr<ISockAdviseSink>(sink).Detach();
        return true;
    }
    Handle GetEvent() override { return kNoHandle; }
    bool ReadNetworkEvents(SNetworkEvents*) override { return false; }
    bool HasData() override { return hasData; }
    bool IsConnected() override { return connected; }
    void Close() override {
        ++closes;
        sink.Reset();
    }
    bool IsFirstRead() override { return false; }
    void RegisterEvent() override {}
    bool IsRegistrationPending() override { return false; }
    int32_t AddPending() override { return 0; }
    int32_t ReleasePending() override { return 0; }
    int32_t GetPendingCount() override { return 0; }
    void SetThrottled(bool) override {}
    bool IsThrottled() override { return false; }
    void SetActive(bool) override {}
    bool IsActive() override { return true; }

    std::atomic<int> refs{1};
    RefPtr<ISockAdviseSink> sink;
    bool hasData = false, connected = true;
    int closes = 0;
};

class ConnectionPoolTest : public ::testing::Test {
protected:
    ConnectionPoolTest() {
        for (auto& s : sockets) s = std::make_unique<CPoolSocket>();
    }
    ~ConnectionPoolTest() override { pool->CloseAll(); }
    ISocket* Taken(const std::string& key) {
        ISocket* out = nullptr;
        if (!pool->Take(key, &owner, &out)) return nullptr;
        out->Release();  // the test's sockets outlive the pool's use of them
        return out;
    }

    CRecordingSink owner;  // first: the sockets hold it
    SPoolLimits limits{15000, 2};
    uint32_t now = 1000;
    RefPtr<CConnectionPool> pool = RefPtr<CConnectionPool>::Adopt(
        new CConnectionPool([this] { return limits; }, [this] { return now; }));
    std::unique_ptr<CPoolSocket> sockets[CConnectionPool::kMaxParked + 2];
};

TEST_F(ConnectionPoolTest, PlacesApartNewestFirstAndTheNewOwnerHearsTheSocket) {
    ASSERT_TRUE(pool->Park("a", sockets[0].get()));
    ASSERT_TRUE(pool->Park("a", sockets[1].get()));
    ASSERT_TRUE(pool->Park("b", sockets[2].get()));
    EXPECT_EQ(sockets[0]->sink.Get(), static_cast<ISockAdviseSink*>(pool.Get()));  // the pool hears it now
    EXPECT_EQ(Taken("c"), nullptr);
    EXPECT_EQ(Taken("a"), sockets[1].get());
    EXPECT_EQ(sockets[1]->sink.Get(), &owner);
    EXPECT_EQ(Taken("a"), sockets[0].get());
    EXPECT_EQ(Taken("a"), nullptr);
    EXPECT_EQ(pool->ParkedCount("b"), 1u);
    // A notification the socket engine was making for the pool when the socket was taken reaches
    // the new owner.
    pool->OnReceive(sockets[0].get(), reinterpret_cast<const uint8_t*>("HTTP"), 4);
    EXPECT_TRUE(owner.Has("receive")) << ::testing::PrintToString(owner.Lines());
    EXPECT_EQ(sockets[0]->closes + sockets[1]->closes, 0);
}

TEST_F(ConnectionPoolTest, LimitsPerPlaceAndInAllCloseTheOldest) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(pool->Park("a", sockets[i].get()));
    EXPECT_EQ(sockets[0]->closes, 1);  // over the place's limit of 2
    EXPECT_EQ(pool->ParkedCount("a"), 2u);
    limits.perPlace = 100;
    for (size_t i = 3; i < std::size(sockets); ++i) ASSERT_TRUE(pool->Park("p" + std::to_string(i), sockets[i].get()));
    EXPECT_EQ(pool->TotalParked(), CConnectionPool::kMaxParked);
    EXPECT_EQ(sockets[1]->closes, 1);  // the oldest of all went first
    EXPECT_EQ(sockets[2]->closes, 0);
}

TEST_F(ConnectionPoolTest, IdleTimeAndStop) {
    ASSERT_TRUE(pool->Park("a", sockets[0].get()));
    now += 5000;
    ASSERT_TRUE(pool->Park("a", sockets[1].get()));
    now += 9999;
    pool->Sweep();
    EXPECT_EQ(sockets[0]->closes, 0);
    now += 1;
    pool->Sweep();
    EXPECT_EQ(sockets[0]->closes, 1);
    EXPECT_EQ(sockets[1]->closes, 0);
    pool->CloseAll();
    EXPECT_EQ(sockets[1]->closes, 1);
    EXPECT_EQ(pool->TotalParked(), 0u);
}

TEST_F(ConnectionPoolTest, ConnectionsNotFitForTheNextRequestAreNeverHandedOut) {
    // The server closed it, sent bytes nobody asked for, or its last owner saw bytes after the end.
    limits.perPlace = 10;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool->Park("a", sockets[i].get()));
    pool->OnClose(sockets[0].get());
    pool->OnReceive(sockets[2].get(), reinterpret_cast<const uint8_t*>("x"), 1);
    pool->Discard(sockets[3].get());
    EXPECT_TRUE(owner.Lines().empty());
    EXPECT_EQ(Taken("a"), sockets[1].get());
    EXPECT_EQ(Taken("a"), nullptr);
    pool->Sweep();
    for (int i : {0, 2, 3}) EXPECT_EQ(sockets[i]->closes, 1) << i;
    // Bytes waiting in the kernel, or a connection no longer open: closed, not taken.
    sockets[4]->hasData = true;
    ASSERT_TRUE(pool->Park("b", sockets[4].get()));
    EXPECT_EQ(Taken("b"), nullptr);
    EXPECT_EQ(sockets[4]->closes, 1);
    sockets[5]->connected = false;
    EXPECT_FALSE(pool->Park("b", sockets[5].get()));
    // Keeping turned off.
    limits.idleMs = 0;
    EXPECT_FALSE(pool->Park("b", sockets[6].get()));
}

}  // namespace
}  // namespace plover
