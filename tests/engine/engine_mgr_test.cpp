// The engine manager: registration, finding engines, the orderly stop in reverse order.
#include <gtest/gtest.h>

#include "probe_engine.h"

namespace plover::test {
namespace {

using Lines = std::vector<std::string>;

// A private manager with the seven engines registered in the front end's order. Each engine is
// held only by the manager's table (the creation reference is released at once, as the front end
// does), so the last release happens inside the manager's completion handling.
class EngineMgrTest : public ::testing::Test {
protected:
    void RegisterAll() {
        for (size_t i = 0; i < std::size(kEngineRegistrationOrder); ++i) {
            auto* e = new CProbeEngine(log, std::to_string(i));
            e->destroyed = &destroyed[i];
            ASSERT_TRUE(mgr.RegisterEngine(kEngineRegistrationOrder[i], e));
            engines.push_back(e);
            e->Release();
        }
    }
    void TearDown() override {
        mgr.StopAllEngines(&window);
        for (auto& d : destroyed) EXPECT_TRUE(WaitUntil([&] { return d.load(); }));
    }
    // Waits for the stopped message and checks that it came once.
    void ExpectStoppedOnce() {
        auto msg = window.GetMessage(20000);
        ASSERT_TRUE(msg);
        EXPECT_EQ(msg->msg, WM_PV_ENGINES_STOPPED);
        EXPECT_EQ(msg->wp, 0u);
        EXPECT_EQ(msg->lp, 0u);
        EXPECT_EQ(window.Pending(), 0u);
        EXPECT_FALSE(mgr.IsRunning());
        EXPECT_EQ(mgr.GetEngineCount(), 0u);
    }
    std::shared_ptr<CLog> log = std::make_shared<CLog>();
    CEngineMgr mgr;
    CMessageQueueWindow window;
    std::atomic<bool> destroyed[std::size(kEngineRegistrationOrder)] = {};
    std::vector<CProbeEngine*> engines;  // not referenced: valid while registered
};

TEST_F(EngineMgrTest, FindsEachRegisteredEngineByItsIdentifier) {
    RegisterAll();
    for (size_t i = 0; i < engines.size(); ++i) {
        RefPtr<IEngine> found;
        ASSERT_TRUE(mgr.GetEngine(kEngineRegistrationOrder[i], found.Put()));
        EXPECT_EQ(found.Get(), static_cast<IEngine*>(engines[i]));
    }
    IEngine* untouched = reinterpret_cast<IEngine*>(0x1);
    EXPECT_FALSE(mgr.GetEngine(IID_IEngine, &untouched));
    EXPECT_EQ(untouched, reinterpret_cast<IEngine*>(0x1));
    EXPECT_FALSE(mgr.GetEngine(ENGINE_ID_SOCKET, nullptr));
    EXPECT_TRUE(mgr.IsRunning());
}

TEST_F(EngineMgrTest, ADuplicateRegistrationIsRefusedAndDoesNotStartTheEngine) {
    RegisterAll();
    std::atomic<bool> gone{false};
    auto* second = new CProbeEngine(log, "dup");
    second->destroyed = &gone;
    EXPECT_FALSE(mgr.RegisterEngine(ENGINE_ID_DOWNLOADER, second));
    EXPECT_EQ(second->GetThreadId(), std::thread::id());
    second->Release();
    EXPECT_TRUE(gone);
    RefPtr<IEngine> found;
    ASSERT_TRUE(mgr.GetEngine(ENGINE_ID_DOWNLOADER, found.Put()));
    EXPECT_EQ(found.Get(), static_cast<IEngine*>(engines[1]));
}

TEST_F(EngineMgrTest, StopsInReverseOrderOneAtATimeAndTellsTheWindowOnce) {
    RegisterAll();
    mgr.StopAllEngines(&window);
    ExpectStoppedOnce();
    // Each engine's work queued behind its stop ("tail") ends before the next engine is stopped.
    Lines expected;
    for (int i = 6; i >= 0; --i) {
        expected.push_back(std::to_string(i) + ":stop");
        expected.push_back(std::to_string(i) + ":tail");
    }
    Lines got;
    for (const std::string& l : log->Lines())
        if (l.ends_with(":stop") || l.ends_with(":tail")) got.push_back(l);
    EXPECT_EQ(got, expected);
    mgr.StopAllEngines(&window);  // a second stop does nothing
    EXPECT_EQ(window.Pending(), 0u);
}

TEST_F(EngineMgrTest, AnEngineThatEndedOnItsOwnIsSkippedWhenItsTurnComes) {
    RegisterAll();
    engines[3]->Stop();
    ASSERT_TRUE(WaitUntil([&] { return destroyed[3].load() || !engines[3]->IsRunning(); }));
    mgr.StopAllEngines(&window);
    ExpectStoppedOnce();
}

TEST_F(EngineMgrTest, UnregisterReleasesTheRowAndKeepsTheOrderOfTheRest) {
    RegisterAll();
    RefPtr<IEngine> keep;
    ASSERT_TRUE(mgr.GetEngine(ENGINE_ID_BASKET, keep.Put()));
    EXPECT_TRUE(mgr.UnregisterEngine(ENGINE_ID_BASKET));
    EXPECT_FALSE(mgr.UnregisterEngine(ENGINE_ID_BASKET));
    RefPtr<IEngine> none;
    EXPECT_FALSE(mgr.GetEngine(ENGINE_ID_BASKET, none.Put()));
    EXPECT_EQ(mgr.GetEngineCount(), 6u);
    keep.Reset();  // still running: its own thread holds it until it is stopped
    engines[4]->Stop();
    mgr.StopAllEngines(&window);
    ExpectStoppedOnce();
    Lines got;
    for (const std::string& l : log->Lines())
        if (l.ends_with(":stop") && l != "4:stop") got.push_back(l);
    EXPECT_EQ(got, (Lines{"6:stop", "5:stop", "3:stop", "2:stop", "1:stop", "0:stop"}));
}

TEST(EngineMgr, AnEmptyTablePostsTheMessageAtOnceAndRegistrationIsClosedAfterTheStop) {
    CEngineMgr mgr;
    CMessageQueueWindow window;
    mgr.StopAllEngines(&window);
    ASSERT_EQ(window.Pending(), 1u);
    EXPECT_EQ(window.GetMessage(0)->msg, WM_PV_ENGINES_STOPPED);
    EXPECT_FALSE(mgr.IsRunning());
    std::atomic<bool> gone{false};
    auto* late = new CProbeEngine(std::make_shared<CLog>());
    late->destroyed = &gone;
    EXPECT_FALSE(mgr.RegisterEngine(ENGINE_ID_SOCKET, late));
    EXPECT_EQ(late->GetThreadId(), std::thread::id());
    late->Release();
    EXPECT_TRUE(gone);
}

TEST(EngineMgr, TheProcessWideManagerAnswersBothInterfacesAndIsNeverCounted) {
    IEngineMgr* mgr = GetEngineMgr();
    ASSERT_NE(mgr, nullptr);
    EXPECT_EQ(GetEngineMgr(), mgr);
    EXPECT_EQ(mgr->AddRef(), 1u);
    EXPECT_EQ(mgr->Release(), 1u);
    void* out = nullptr;
    EXPECT_EQ(mgr->QueryInterface(IID_IEngineMgr, nullptr), E_INVALIDARG);
    ASSERT_EQ(mgr->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, mgr);
    ASSERT_EQ(mgr->QueryInterface(IID_IProgress, &out), S_OK);
    EXPECT_NE(out, nullptr);
    EXPECT_TRUE(SameObject(mgr, static_cast<IProgress*>(out)));
    EXPECT_EQ(mgr->QueryInterface(IID_IEngine, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace plover::test
