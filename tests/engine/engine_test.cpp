// The engine's run loop: waited and unwaited posts, queue order, the event table, stop and end.
#include <gtest/gtest.h>

#include <thread>

#include "probe_engine.h"

namespace plover::test {
namespace {

using Lines = std::vector<std::string>;

// A started probe engine that the test stops and whose destruction it checks at the end.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = new CProbeEngine(log);
        engine->destroyed = &destroyed;
        engine->SetProgress(&progress);
        engine->Start();
    }
    void TearDown() override {
        engine->Stop();
        EXPECT_TRUE(WaitUntil([&] { return progress.completions.load() > 0; }));
        engine->Release();
        EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
        EXPECT_EQ(progress.completions.load(), 1);
    }
    // The lines after the engine's "e:start".
    Lines Ops() {
        Lines all = log->Lines();
        if (!all.empty() && all.front() == "e:start") all.erase(all.begin());
        return all;
    }

    std::shared_ptr<CLog> log = std::make_shared<CLog>();
    CCountingProgress progress;
    std::atomic<bool> destroyed{false};
    CProbeEngine* engine = nullptr;
};

TEST_F(EngineTest, WaitedPostReturnsWhatTheOperationReturned) {
    struct Case {
        uintptr_t arg1, arg2;
        uint32_t expected;
    };
    for (Case c : {Case{0, 0, 0}, Case{1, 2, 5}, Case{0x55555555, 0, 0xFFFFFFFF}, Case{7, 0xFFFFFFF0, 0x5}}) {
        EXPECT_EQ(engine->Post(OP_VALUE, c.arg1, c.arg2, true, false), c.expected) << c.arg1 << "," << c.arg2;
        EXPECT_EQ(engine->Post(OP_VALUE, c.arg1, c.arg2, true, true), c.expected) << "priority";
    }
}

TEST_F(EngineTest, PostWithoutWaitReturnsZeroWhileTheEngineIsBusy) {
    engine->Hold();
    EXPECT_EQ(engine->Post(OP_VALUE, 1, 2, false, false), 0u);
    EXPECT_EQ(engine->Post(OP_RECORD, 1, 0, false, true), 0u);
    engine->Let();
    EXPECT_EQ(engine->Sync(), 1u);
    EXPECT_EQ(Ops(), (Lines{"op 1"}));
}

TEST_F(EngineTest, PriorityOperationsRunBeforeWaitingNormalOnes) {
    engine->Hold();
    engine->Post(OP_RECORD, 1, 0, false, false);
    engine->Post(OP_RECORD, 2, 0, false, true);
    engine->Post(OP_RECORD, 3, 0, false, true);
    engine->Post(OP_RECORD, 4, 0, false, false);
    engine->Let();
    engine->Sync();
    EXPECT_EQ(Ops(), (Lines{"op 2", "op 3", "op 1", "op 4"}));
}

TEST_F(EngineTest, WaitedPostFromTheEngineThreadRunsAtOnce) {
    // An operation that waits for another one on its own engine would block forever otherwise.
    struct CSelf : CProbeEngine {
        using CProbeEngine::CProbeEngine;
        uint32_t OnOperation(uint32_t code, uintptr_t a1, uintptr_t a2) override {
            if (code == 2000) return Post(OP_VALUE, a1, a2, true, false) + 1;
            return CProbeEngine::OnOperation(code, a1, a2);
        }
    };
    auto* self = new CSelf(log);
    self->Start();
    EXPECT_EQ(self->Post(2000, 2, 1, true, false), 8u);
    self->Stop();
    self->Release();
}

TEST_F(EngineTest, AddEventForAHandleAlreadyWaitedOnKeepsTheFirstCookie) {
    CEvent a, b;
    engine->Watch(10, &a);
    engine->Watch(30, &b);
    engine->AddEvent(a.GetHandle(), 10);
    engine->AddEvent(a.GetHandle(), 20);
    engine->AddEvent(b.GetHandle(), 30);
    ASSERT_EQ(engine->Post(OP_TABLE, 0, 0, true, false), 3u);
    EXPECT_EQ(engine->table[1].handle, a.GetHandle());
    EXPECT_EQ(engine->table[1].cookie, 10u);
    EXPECT_EQ(engine->table[2].cookie, 30u);

    a.Set();
    ASSERT_TRUE(WaitUntil([&] { return !Ops().empty(); }));
    engine->RemoveEvent(a.GetHandle(), true);
    engine->RemoveEvent(b.GetHandle(), true);
    EXPECT_EQ(engine->Post(OP_TABLE, 0, 0, true, false), 1u);
    EXPECT_EQ(Ops(), (Lines{"event 10"}));
}

TEST_F(EngineTest, QueuedOperationsRunBeforeSignalledHandlesWhichFollowInTableOrder) {
    CEvent hold, first, second;
    engine->Watch(1, &hold);
    engine->Watch(2, &first);
    engine->Watch(3, &second);
    engine->holdCookie = 1;
    engine->AddEvent(hold.GetHandle(), 1);
    engine->AddEvent(first.GetHandle(), 2);
    engine->AddEvent(second.GetHandle(), 3);
    engine->Sync();

    // The engine sits in OnEvent(1); meanwhile both handles and the wake event get signalled.
    hold.Set();
    engine->WaitHeld();
    second.Set();
    first.Set();
    engine->Post(OP_RECORD, 9, 0, false, false);
    engine->Let();
    ASSERT_TRUE(WaitUntil([&] { return Ops().size() == 4; }));
    EXPECT_EQ(Ops(), (Lines{"event 1", "op 9", "event 2", "event 3"}));
    for (Handle h : {hold.GetHandle(), first.GetHandle(), second.GetHandle()}) engine->RemoveEvent(h, true);
}

TEST_F(EngineTest, TheSixtyFourthHandleIsRefused) {
    std::vector<std::unique_ptr<CEvent>> events;
    for (size_t i = 0; i < kMaxEngineHandles; ++i) {
        events.push_back(std::make_unique<CEvent>());
        engine->AddEvent(events.back()->GetHandle(), i + 1);
    }
    EXPECT_EQ(engine->Post(OP_TABLE, 0, 0, true, false), uint32_t(kMaxEngineHandles));
    EXPECT_EQ(engine->table.back().cookie, kMaxEngineHandles - 1);
    for (auto& e : events) engine->RemoveEvent(e->GetHandle(), true);
    EXPECT_EQ(engine->Post(OP_TABLE, 0, 0, true, false), 1u);
}

// Not the fixture: these tests stop the engine themselves.
struct StopCase : EngineTest {
    void TearDown() override {
        engine->Release();
        EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
        EXPECT_EQ(progress.completions.load(), 1);
    }
};

TEST_F(StopCase, QueuedWorkStillRunsAfterStopAndCompletionIsReportedOnce) {
    engine->Hold();
    engine->Post(OP_RECORD, 1, 0, false, false);
    engine->Stop();
    engine->Post(OP_RECORD, 2, 0, false, false);
    engine->Let();
    ASSERT_TRUE(WaitUntil([&] { return progress.completions.load() == 1; }));
    EXPECT_EQ(Ops(), (Lines{"op 1", "e:stop", "op 2", "e:tail"}));
    EXPECT_FALSE(engine->IsRunning());
}

TEST_F(StopCase, PostsAfterTheEndAreNotRunAndWaitingCallersAreReleased) {
    engine->Stop();
    ASSERT_TRUE(WaitUntil([&] { return progress.completions.load() == 1; }));
    EXPECT_EQ(engine->Post(OP_VALUE, 1, 2, true, false), 0u);
    engine->Post(OP_HEAP, reinterpret_cast<uintptr_t>(new int(5)), 0, false, false);  // freed by OnDiscard
    engine->Stop();
    EXPECT_EQ(Ops(), (Lines{"e:stop", "e:tail", "discard 1006"}));
}

TEST_F(StopCase, CallersWaitingWhileTheEngineStopsAreNeverLeftBlocked) {
    // Posters race the stop; each keeps posting until one of its posts is refused (result 0).
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            while (engine->Post(OP_VALUE, 1, 0, true, false) == 3) {
            }
        });
    engine->Sync();
    engine->Stop();
    for (auto& t : posters) t.join();
    ASSERT_TRUE(WaitUntil([&] { return progress.completions.load() == 1; }));
}

TEST(Engine, AnEngineNeverStartedIsDestroyedCleanly) {
    auto log = std::make_shared<CLog>();
    std::atomic<bool> destroyed{false};
    auto* engine = new CProbeEngine(log);
    engine->destroyed = &destroyed;
    engine->Post(OP_HEAP, reinterpret_cast<uintptr_t>(new int(1)), 0, false, false);
    engine->Stop();
    EXPECT_EQ(engine->GetThreadId(), std::thread::id());
    engine->Release();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(log->Lines(), (std::vector<std::string>{"discard 1006"}));
}

TEST_F(EngineTest, AnOwnedRecordIsFreedOnceItsOperationHasRunWaitedOrNot) {
    std::atomic<int> freed{0};
    uint32_t answer = 0;
    EXPECT_EQ(PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(4, &freed, &answer), 0, true), 4u);
    EXPECT_EQ(answer, 4u);
    EXPECT_EQ(freed.load(), 1);  // before the waiting poster went on
    PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(6, &freed), 0, false, true);
    engine->Sync();
    EXPECT_EQ(freed.load(), 2);
    EXPECT_EQ(Ops(), (Lines{"record 4", "record 6"}));
}

TEST_F(StopCase, RecordsAreFreedWhenRunBehindTheStopOrPostedAfterTheEnd) {
    std::atomic<int> freed{0};
    uint32_t answer = 0;
    engine->Hold();
    engine->Stop();
    PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(1, &freed));
    engine->Let();
    ASSERT_TRUE(WaitUntil([&] { return progress.completions.load() == 1; }));
    EXPECT_EQ(freed.load(), 1);  // ran after the stop (queued before the end), then freed
    EXPECT_EQ(PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(2, &freed, &answer), 0, true), 0u);
    PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(3, &freed));
    EXPECT_EQ(freed.load(), 3);
    EXPECT_EQ(answer, 0u);
    EXPECT_EQ(Ops(), (Lines{"e:stop", "record 1", "e:tail"}));
}

TEST(Engine, RecordsQueuedOnAnEngineNeverStartedAreFreedWithIt) {
    std::atomic<int> freed{0};
    std::atomic<bool> destroyed{false};
    auto* engine = new CProbeEngine(std::make_shared<CLog>());
    engine->destroyed = &destroyed;
    PostOwned(engine, OP_OWNED, std::make_unique<SProbeRecord>(1, &freed));
    EXPECT_EQ(freed.load(), 0);
    engine->Release();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(freed.load(), 1);
}

TEST(EngineRecord, GivesTheRecordOnlyAsItsOwnType) {
    std::atomic<int> freed{0};
    CEngineRecord record(std::make_unique<SProbeRecord>(1, &freed));
    EXPECT_EQ(record.Get<int>(), nullptr);
    ASSERT_NE(record.Get<SProbeRecord>(), nullptr);
    CEngineRecord moved = std::move(record);
    EXPECT_FALSE(record);
    EXPECT_EQ(moved.Take<int>(), nullptr);
    EXPECT_EQ(freed.load(), 0);
    std::unique_ptr<SProbeRecord> kept = moved.Take<SProbeRecord>();
    moved = CEngineRecord();
    EXPECT_EQ(freed.load(), 0);
    kept.reset();
    EXPECT_EQ(freed.load(), 1);
}

TEST(Engine, QueryInterfaceAnswersItsIdentifiersOnly) {
    auto engine = RefPtr<CProbeEngine>::Adopt(new CProbeEngine(std::make_shared<CLog>()));
    void* out = &out;
    EXPECT_EQ(engine->QueryInterface(IID_IEngine, nullptr), E_INVALIDARG);
    EXPECT_EQ(engine->QueryInterface(IID_IEngineMgr, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    for (const GUID& iid : {IID_IUnknown, IID_IEngine}) {
        ASSERT_EQ(engine->QueryInterface(iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<IEngine*>(engine.Get()));
        static_cast<IEngine*>(out)->Release();
    }
}

}  // namespace
}  // namespace plover::test
