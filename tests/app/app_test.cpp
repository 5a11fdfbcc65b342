#include <gtest/gtest.h>
#include <signal.h>

#include <mutex>

#include "app/app.h"
#include "app/message.h"
#include "app/reg_store.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

// What the test engines did, in order, across their threads.
std::mutex g_logLock;
std::vector<std::string> g_log;
void Log(const std::string& s) {
    std::lock_guard g(g_logLock);
    g_log.push_back(s);
}

template <char Name>
class CNamedEngine final : public CEngine {
protected:
    void OnStart() override { Log(std::string("start ") + Name); }
    void OnStop() override { Log(std::string("stop ") + Name); }
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TMPDIR", tmp.Str().c_str(), 1);
        SetMessageHandler([this](const std::string& m) { messages.push_back(m); });
        g_log.clear();
    }
    void TearDown() override {
        SetMessageHandler(nullptr);
        unsetenv("TMPDIR");
    }
    SHomes Homes() { return {home.Path() / "config", home.Path() / "data", home.Path() / "cache"}; }
    std::string StoreText() { return test::ReadFile(Homes().settingsDir / kStoreFileName); }

    test::TempDir home, tmp;
    std::vector<std::string> messages;
};

TEST_F(AppTest, EnginesStartInOrderStopInReverseAndSettingsAreSaved) {
    CEngineMgr mgr;
    SAppParts parts;
    parts.engines = {
        {ENGINE_ID_SOCKET, []() -> IEngine* { return new CNamedEngine<'a'>; }},
        {ENGINE_ID_DOWNLOADER, []() -> IEngine* { return new CNamedEngine<'b'>; },
         [](IEngine*) { Log("after b"); }},
        {ENGINE_ID_SOCKET, []() -> IEngine* { return new CNamedEngine<'x'>; }},  // taken: never started
        {ENGINE_ID_PAGE_MGR, []() -> IEngine* { return new CNamedEngine<'c'>; }},
    };
    parts.siteLogins = [](CBRRegKey& key, bool load) {
        Log(load ? "sites load" : "sites save");
        if (!load) CBRRegKey().OpenForWrite(key, "Sites\\example.com");
    };
    parts.beforeEnginesStop = [] { Log("closing"); };
    parts.onExit = [] { Log("exit"); };
    {
        CApp app(&mgr);
        ASSERT_EQ(app.Init(Homes(), parts), CApp::EStart::Running);
        EXPECT_EQ(GetProgramHomes().dataDir, Homes().dataDir);
        EXPECT_EQ(app.StartEngines(), 3u);
        GetSettings().eTrafficMode = 2;
        // Messages posted to the main window while it runs reach the handler; Quit ends the loop.
        PostMessage(app.MainWindow(), WM_APP + 1, 7, 0);
        app.Quit();
        std::vector<uint32_t> seen;
        app.RunMessageLoop([&](const SWindowMessage& m) { seen.push_back(m.msg); });
        EXPECT_EQ(seen, std::vector<uint32_t>{WM_APP + 1});
        EXPECT_TRUE(app.Shutdown());
        EXPECT_FALSE(mgr.IsRunning());
    }
    std::vector<std::string> stops;
    for (const auto& line : g_log)
        if (line.rfind("start", 0) != 0) stops.push_back(line);
    // A fresh home has no program key, so there are no site logins to load.
    EXPECT_EQ(stops, (std::vector<std::string>{"after b", "closing", "stop c", "stop b", "stop a",
                                                "exit", "sites save"}));
    std::string text = StoreText();
    EXPECT_NE(text.find("[Software\\Bramble\\Plover]"), std::string::npos);
    EXPECT_NE(text.find("\"eTrafficMode\" = number 2"), std::string::npos);
    EXPECT_NE(text.find("[Software\\Bramble\\Plover\\Sites\\example.com]"), std::string::npos);
}

TEST_F(AppTest, SecondInstanceIsRefusedUntilTheFirstHasEnded) {
    CEngineMgr mgr1, mgr2, mgr3;
    auto first = std::make_unique<CApp>(&mgr1);
    ASSERT_EQ(first->Init(Homes(), {}), CApp::EStart::Running);
    CApp second(&mgr2);
    EXPECT_EQ(second.Init(Homes(), {}), CApp::EStart::AlreadyRunning);
    EXPECT_FALSE(second.IsInitialized());
    EXPECT_EQ(messages.back(), "Plover is already running.");
    EXPECT_FALSE(RunSetup(Homes(), [] { return true; }));
    EXPECT_EQ(messages.back(), "Plover is already running. Close it and restart the installation.");

    first.reset();
    CApp third(&mgr3);
    EXPECT_EQ(third.Init(Homes(), {}), CApp::EStart::Running);
}

TEST_F(AppTest, UninstalledRunSavesNothingAndUninitialisedShutdownDoesNothing) {
    CEngineMgr mgr;
    {
        CApp never(&mgr);
        EXPECT_TRUE(never.Shutdown());
    }
    CApp app(&mgr);
    ASSERT_EQ(app.Init(Homes(), {}), CApp::EStart::Running);
    app.SetUninstalled();
    EXPECT_TRUE(app.Shutdown());
    EXPECT_FALSE(std::filesystem::exists(Homes().settingsDir / kStoreFileName));
}

TEST_F(AppTest, DamagedStoreWarnsOnceAndStartsFromDefaults) {
    std::filesystem::create_directories(Homes().settingsDir);
    test::WriteFile(Homes().settingsDir / kStoreFileName, "[Software\\Bramble\\Plover]\n\"eTrafficMode\" = 2\n");
    CEngineMgr mgr;
    CApp app(&mgr);
    ASSERT_EQ(app.Init(Homes(), {}), CApp::EStart::Running);
    int warnings = 0;
    for (const auto& m : messages) warnings += m.find("damaged") != std::string::npos;
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(GetSettings().eTrafficMode, 0);
    ASSERT_TRUE(app.Shutdown());
    int kept = 0;
    for (const auto& e : std::filesystem::directory_iterator(Homes().settingsDir))
        kept += e.path().filename().string().rfind("settings.txt.damaged-", 0) == 0;
    EXPECT_EQ(kept, 1);
    EXPECT_NE(StoreText().find("\"eTrafficMode\" = number 0"), std::string::npos);
}

TEST_F(AppTest, TermSignalAsksTheLoopToQuit) {
    CEngineMgr mgr;
    CApp app(&mgr);
    ASSERT_EQ(app.Init(Homes(), {}), CApp::EStart::Running);
    ASSERT_TRUE(app.EnableQuitOnSignals());
    kill(getpid(), SIGTERM);  // blocked here, read by the watcher, posted as a quit request
    app.RunMessageLoop();
    EXPECT_TRUE(app.Shutdown());
}

}  // namespace
}  // namespace plover
