// The dial-up engine against the scripted dialer, with a stepped clock instead of real waiting:
// attempts and their spacing, the end of a request, what the downloader hears, the login
// question, hang-ups with and without a connection.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "net/dialup_engine.h"
#include "net/scripted_dialer.h"
#include "net_test_util.h"
#include "fake_net_reports.h"

namespace plover::test {
namespace {

// A timer clock whose 100 ms steps pass only when the test says so (one timer per clock).
class CStepClock final : public ITimerClock {
public:
    CStepClock() : gate_(eventfd(0, EFD_SEMAPHORE | EFD_CLOEXEC)) {}
    ~CStepClock() { close(gate_); }
    uint32_t Now() override { return now_.load(); }
    void WaitStep(uint32_t ms, Handle stop) override {
        {
            std::lock_guard g(lock_);
            ++entered_;
        }
        cv_.notify_all();
        pollfd p[2] = {{gate_, POLLIN, 0}, {stop, POLLIN, 0}};
        while (poll(p, 2, -1) < 0 && errno == EINTR) {
        }
        uint64_t one;
        if ((p[0].revents & POLLIN) && read(gate_, &one, sizeof one) == sizeof one) now_ += ms;
    }
    void WaitUntilWaiting() {
        std::unique_lock g(lock_);
        cv_.wait(g, [&] { return entered_ > 0; });
    }
    // One step passes; returns once the timer waits in the next one (a due tick has been posted).
    void Step() {
        std::unique_lock g(lock_);
        int before = entered_;
        g.unlock();
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(gate_, &one, sizeof one);
        g.lock();
        cv_.wait(g, [&] { return entered_ > before; });
    }

private:
    int gate_;
    std::atomic<uint32_t> now_{0};
    std::mutex lock_;
    std::condition_variable cv_;
    int entered_ = 0;
};

using EOutcome = CScriptedDialer::EOutcome;

class DialUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.csActiveDialUp = "isp";
        auto owned = std::make_unique<CScriptedDialer>();
        dialer = owned.get();
        BeforeStart();
        engine = new CDialUpEngine(std::move(owned), &mgr, &settings, &clock);
        engine->SetLoginPrompt([this](const std::string& entry, SDialUpLogin& login) {
            prompts.push_back(entry + ":" + login.userName);
            if (!answer) return false;
            login = *answer;
            return true;
        });
        ASSERT_TRUE(mgr.RegisterEngine(ENGINE_ID_DIALUP, engine));
        clock.WaitUntilWaiting();  // the 500 ms timer runs
    }
    void TearDown() override {
        mgr.StopAllEngines(&window);
        auto msg = window.GetMessage(30000);
        ASSERT_TRUE(msg);
        EXPECT_EQ(msg->msg, WM_PV_ENGINES_STOPPED);
        engine->Release();
    }
    virtual void BeforeStart() {}
    // Every operation posted so far, and what those posted in turn (a dial's outcome), has run.
    void Sync() {
        for (int i = 0; i < 2; ++i) engine->Post(0x7FFF, 0, 0, true, false);
    }
    void Entry(EOutcome outcome, bool passwordSaved = true) {
        CScriptedDialer::SEntry e;
        e.userName = "user";
        e.password = passwordSaved ? "saved" : "";
        e.passwordSaved = passwordSaved;
        e.phoneNumber = "*99#";
        e.outcome = outcome;
        dialer->SetEntry("isp", e);
    }
    // Lets `seconds` pass in 100 ms steps; returns the times at which `count` grew.
    std::vector<uint32_t> Run(int seconds, const std::function<size_t()>& count) {
        std::vector<uint32_t> at;
        size_t seen = count();
        for (int step = 0; step < seconds * 10; ++step) {
            clock.Step();
            Sync();
            if (count() > seen) at.push_back(clock.Now());
            seen = count();
        }
        return at;
    }
    void Dial(uint32_t attempts, uint32_t seconds) {
        engine->Dial(new SDialRequest{attempts, seconds});
        Sync();
    }

    CRegistrySettings settings;
    CEngineMgr mgr;
    CMessageQueueWindow window;
    CStepClock clock;
    CFakeNetReports heard;  // what the layers above hear
    CScriptedDialer* dialer = nullptr;  // owned by the engine
    CDialUpEngine* engine = nullptr;
    std::optional<SDialUpLogin> answer;
    std::vector<std::string> prompts;
};

TEST_F(DialUpTest, ThreeAttemptsTwentySecondsApartEndAfterTheThird) {
    struct Case {
        const char* name;
        bool known;  // false: the dialer does not know the entry, so no dial starts
    } cases[] = {{"failing entry", true}, {"unknown entry", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Entry(EOutcome::Fail);
        settings.csActiveDialUp = c.known ? "isp" : "elsewhere";
        auto attempts = [&]() -> size_t { return c.known ? dialer->Dials().size() : size_t(dialer->ParamReads()); };
        size_t before = attempts();
        int failedBefore = heard.Count(HEARD_LOG, kDialUpFailedText);
        uint32_t start = clock.Now();
        Dial(3, 20);
        EXPECT_EQ(attempts(), before + 1);  // the first attempt at once
        EXPECT_TRUE(engine->HasRequest());
        std::vector<uint32_t> at = Run(100, attempts);
        ASSERT_EQ(at.size(), 2u);
        EXPECT_GT(at[0] - start, 20000u);
        EXPECT_LE(at[0] - start, 21000u);
        EXPECT_GT(at[1] - at[0], 20000u);
        EXPECT_LE(at[1] - at[0], 21000u);
        EXPECT_FALSE(engine->HasRequest());
        EXPECT_EQ(engine->GetState(), DIALUP_IDLE);
        EXPECT_EQ(heard.Count(HEARD_LOG, kDialUpFailedText) - failedBefore, c.known ? 3 : 0);
        EXPECT_EQ(heard.Count(HEARD_ESTABLISHED), 0);
    }
}

TEST_F(DialUpTest, SuccessClearsTheRequestAndTellsTheDownloaderOnce) {
    Entry(EOutcome::Connect);
    Dial(5, 20);
    EXPECT_FALSE(engine->HasRequest());
    EXPECT_EQ(engine->GetState(), DIALUP_IDLE);
    Run(50, [&] { return dialer->Dials().size(); });
    ASSERT_EQ(dialer->Dials().size(), 1u);
    EXPECT_EQ(dialer->Dials()[0].phoneNumber, "*99#");
    EXPECT_EQ(dialer->Dials()[0].password, "saved");
    std::vector<SHeard> lines = heard.Heard();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "Dialing isp");
    EXPECT_EQ(lines[0].value, 14u);
    EXPECT_EQ(lines[1].what, uint32_t(HEARD_ESTABLISHED));
    EXPECT_EQ(lines[2].text, "Dial-Up connection established");
    EXPECT_EQ(lines[2].value, 15u);
    EXPECT_TRUE(engine->FindActiveConnection());

    // A later request starts with all of its attempts again.
    Entry(EOutcome::Fail);
    Dial(2, 1);
    Run(5, [&] { return dialer->Dials().size(); });
    EXPECT_EQ(dialer->Dials().size(), 3u);
    EXPECT_FALSE(engine->HasRequest());
}

TEST_F(DialUpTest, HangUpWithoutAConnectionStillReportsDisconnected) {
    Entry(EOutcome::Connect);
    EXPECT_FALSE(engine->FindActiveConnection());
    EXPECT_EQ(engine->HangUp(true), 0u);
    EXPECT_EQ(dialer->HangUps(), 0);
    ASSERT_EQ(heard.Heard().size(), 1u);
    EXPECT_EQ(heard.Heard()[0].text, "Dial-Up connection disconnected");
    EXPECT_EQ(heard.Heard()[0].value, 16u);

    settings.csActiveDialUp.clear();  // nothing chosen: not even a look at the connections
    EXPECT_FALSE(engine->FindActiveConnection());
}

TEST_F(DialUpTest, HangUpEndsTheConnection) {
    Entry(EOutcome::Connect);
    Dial(1, 20);
    ASSERT_TRUE(engine->FindActiveConnection());
    EXPECT_EQ(engine->HangUp(true), 0u);
    EXPECT_EQ(dialer->HangUps(), 1);
    EXPECT_FALSE(engine->FindActiveConnection());
    EXPECT_EQ(heard.Count(HEARD_LOG, kDialUpDisconnectedText), 1);
    EXPECT_EQ(engine->GetState(), DIALUP_IDLE);
}

TEST_F(DialUpTest, WhileDiallingAHangUpWithoutAConnectionAnswersTheState) {
    Entry(EOutcome::Pending);
    Dial(1, 20);
    EXPECT_EQ(engine->GetState(), DIALUP_DIALLING);
    EXPECT_EQ(engine->HangUp(true), uint32_t(DIALUP_DIALLING));
    EXPECT_EQ(heard.Count(HEARD_LOG, kDialUpDisconnectedText), 0);
    ASSERT_TRUE(dialer->CompletePending(true));
    Sync();
    EXPECT_EQ(engine->GetState(), DIALUP_IDLE);
    EXPECT_EQ(heard.Count(HEARD_ESTABLISHED), 1);
}

TEST_F(DialUpTest, AnEntryWithoutASavedPasswordAsksOnceWhenTheLoginIsRemembered) {
    Entry(EOutcome::Connect, false);
    answer = SDialUpLogin{"bob", "secret", true};
    Dial(1, 20);
    ASSERT_EQ(prompts, std::vector<std::string>{"isp:user"});
    ASSERT_EQ(dialer->Dials().size(), 1u);
    EXPECT_EQ(dialer->Dials()[0].userName, "bob");
    EXPECT_EQ(dialer->Dials()[0].password, "secret");
    EXPECT_EQ(settings.DialUpUserPass.m_bUsername, 1);
    EXPECT_EQ(settings.DialUpUserPass.m_bPassword, 1);
    EXPECT_EQ(settings.DialUpUserPass.m_csPassword, "secret");

    Dial(1, 20);  // the stored login now serves without a question
    EXPECT_EQ(prompts.size(), 1u);
    ASSERT_EQ(dialer->Dials().size(), 2u);
    EXPECT_EQ(dialer->Dials()[1].userName, "bob");
}

TEST_F(DialUpTest, CancelledLoginQuestionsEndTheRequestWhenItsAttemptsAreUsedUp) {
    Entry(EOutcome::Connect, false);
    Dial(2, 20);
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(engine->HasRequest());
    Run(60, [&] { return prompts.size(); });
    EXPECT_EQ(prompts.size(), 2u);
    EXPECT_TRUE(dialer->Dials().empty());
    EXPECT_FALSE(engine->HasRequest());
    EXPECT_EQ(settings.DialUpUserPass.m_bPassword, 0);
}

class AutoDialTest : public DialUpTest {
protected:
    void BeforeStart() override {
        settings.AutoDial.On = 1;
        settings.AutoDial.Times = 1;
        Entry(EOutcome::Connect);
    }
};

TEST_F(AutoDialTest, AnEngineStartingWithoutItsConnectionDialsIt) {
    Sync();
    ASSERT_EQ(dialer->Dials().size(), 1u);
    EXPECT_EQ(heard.Count(HEARD_ESTABLISHED), 1);
    EXPECT_FALSE(engine->HasRequest());
}

// A dial asked for is the engine's job from the moment Dial returns, before the engine thread has
// taken it up: a caller that looks at once (the command's first tick) must not see "no job".
TEST(DialUpRequest, ADialOnItsWayCountsAsTheJob) {
    CRegistrySettings settings;
    CStepClock clock;
    auto* engine = new CDialUpEngine(std::make_unique<CScriptedDialer>(), nullptr, &settings, &clock);
    EXPECT_FALSE(engine->HasRequest());
    engine->Dial(new SDialRequest{1, 20});  // never started: the request waits in the queue
    EXPECT_TRUE(engine->HasRequest());
    engine->Release();
}

}  // namespace
}  // namespace plover::test
