// The downloader engine with scripted downloads: the scheduling pass, adding, the sink fan-out,
// operations, import and export, and the housekeeping timer.
#include "download/downloader.h"
#include "download/i_leech.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <fstream>
#include <mutex>

#include "app/settings.h"
#include "download/i_download.h"
#include "download/fake_download.h"
#include "download/site_prop.h"
#include "platform/tick.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::FakeDownload;

// A sink that records every event (called on the downloader's thread).
class RecordingSink final : public INetAdviseSink {
public:
    HRESULT QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t OnNetNotify(uint32_t code, uintptr_t v1, uintptr_t v2) override {
        std::lock_guard g(lock);
        events.push_back({code, v1, v2});
        return 0;
    }
    int Count(uint32_t code, uintptr_t v1) {
        std::lock_guard g(lock);
        int n = 0;
        for (auto& e : events) n += e.code == code && e.v1 == v1;
        return n;
    }
    int Count(uint32_t code) {
        std::lock_guard g(lock);
        int n = 0;
        for (auto& e : events) n += e.code == code;
        return n;
    }

    struct Event {
        uint32_t code;
        uintptr_t v1, v2;
    };
    std::mutex lock;
    std::vector<Event> events;
};

// A timer clock that runs a thousand times faster than real time, or stands still while a test
// changes the settings a timed schedule pass reads.
class FastClock final : public ITimerClock {
public:
    uint32_t Now() override { return now_.load(); }
    void WaitStep(uint32_t, Handle stop) override {
        pollfd p{stop, POLLIN, 0};
        poll(&p, 1, 1);
        if (!held_) now_ += 100 * 10;
    }
    void Hold(bool held) { held_ = held; }

private:
    std::atomic<uint32_t> now_{0};
    std::atomic<bool> held_{false};
};

RefPtr<IDownload> MakeFake(const SDownloadConfig& config, IDownloader* owner) {
    auto d = FakeDownload::Make(config.Prior);
    d->config = config;
    d->owner = owner;
    d->id = owner->GetFreeID();
    return RefPtr<IDownload>(d.Get());
}

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTrafficModeDefaults(GetSettings());
        GetSettings().eTrafficMode = 0;
        GetSettings().dwAutoSaveTime = 0;
        // One pretend server serves every download here: its connection limit is tested alone.
        GetSettings().dwMaxConnectionsPerServer = 0;
        dl = CDownloader::Create(dir.Str());
        dl->SetDownloadFactory(MakeFake);
        dl->SetTimerClock(&clock);
        dl->Advise(&sink);
        dl->Start();
        dl->LoadList(nullptr);  // no file yet: an empty list
        StopTime();
    }
    void TearDown() override {
        dl->Unadvise(&sink);
        dl->Stop();
        // A waiting post after the stop returns at once; the thread ends by itself.
        Sync();
        dl.Reset();
        SetTrafficModeDefaults(GetSettings());
        GetSettings().eTrafficMode = 0;
        GetSettings().dwAutoSaveTime = 15;
        GetSettings().dwMaxConnectionsPerServer = 4;
    }
    // Waits until every event posted so far has run.
    void Sync() {
        RefPtr<IDownload> none;
        dl->FindDownloadByID(-12345, none.Put());
    }
    FakeDownload* Add(int prior, const std::string& url, int clientId = 1, int startMode = START_RUN) {
        auto* c = new SDownloadConfig();
        c->URL_remote = c->URL_original = url;
        c->Server = "host";
        c->Prior = prior;
        c->ClientID = clientId;
        c->StartMode = startMode;
        RefPtr<IDownload> d;
        int id = -1;
        dl->AddDownload(c, &id, d.Put());
        Sync();
        return static_cast<FakeDownload*>(d.Get());  // the list keeps it alive
    }
    void Pass() {
        dl->Reschedule();
        Sync();
    }
    // Changes the settings while no schedule pass runs.
    template <typename F>
    void ChangeSettings(F change) {
        Sync();
        change(GetSettings());
    }
    // Holds the clock and lets what was queued run, a tick the timer had on its way included: no
    // timed pass runs while a test looks at its downloads (time goes on only where a test says).
    void StopTime() {
        clock.Hold(true);
        Sync();
        SleepMs(5);  // the timer's step is a millisecond: its last tick has been posted by now
        Sync();
    }

    test::TempDir dir;
    FastClock clock;
    RecordingSink sink;
    RefPtr<CDownloader> dl;
};

TEST_F(DownloaderTest, PriorityTenRunsBesideTheFirstOthersInListOrder) {
    std::vector<FakeDownload*> five;
    for (int i = 0; i < 5; ++i) five.push_back(Add(5, "http://host/f" + std::to_string(i)));
    FakeDownload* urgent = Add(10, "http://host/urgent");
    Pass();
    EXPECT_TRUE(urgent->IsBusy());
    EXPECT_TRUE(five[0]->IsBusy());
    EXPECT_TRUE(five[1]->IsBusy());
    for (int i = 2; i < 5; ++i) EXPECT_EQ(five[size_t(i)]->GetLeechCount(), 0) << i;
    EXPECT_EQ(dl->GetActiveCount(), 3);
}

TEST_F(DownloaderTest, StoppedQueueRunsOnlyPriorityTen) {
    ChangeSettings([](CRegistrySettings& s) { s.eTrafficMode = 3; });
    FakeDownload* normal = Add(9, "http://host/a");
    FakeDownload* urgent = Add(10, "http://host/b");
    Pass();
    EXPECT_EQ(normal->planCalls, 0);
    EXPECT_TRUE(urgent->IsBusy());
}

TEST_F(DownloaderTest, OutOfRangePriorityIsCountedNowhereAndNeverRuns) {
    FakeDownload* high = Add(11, "http://host/a");
    FakeDownload* low = Add(-1, "http://host/b");
    Pass();
    EXPECT_EQ(high->planCalls + low->planCalls, 0);
    EXPECT_EQ(dl->GetActiveCount() + dl->GetPausedCount() + dl->GetFailedCount() + dl->GetFinishedCount(), 0);
}

TEST_F(DownloaderTest, PassCountsEveryStateAndStopsWorkersOfPausedAndHeld) {
    FakeDownload* paused = Add(5, "http://host/p");
    FakeDownload* held = Add(5, "http://host/h");
    FakeDownload* failed = Add(5, "http://host/f");
    FakeDownload* done = Add(5, "http://host/d");
    Pass();  // all four got a worker
    paused->status = DS_PAUSED;
    held->status = DS_WAIT_FOR_USER;  // carries the hold bit
    failed->status = DS_FILE_NOT_FOUND;
    done->status = DS_FINISHED;
    Pass();
    EXPECT_EQ(dl->GetPausedCount(), 1);
    EXPECT_EQ(dl->GetHeldCount(), 1);
    EXPECT_EQ(dl->GetFailedCount(), 1);
    EXPECT_EQ(dl->GetFinishedCount(), 1);
    EXPECT_EQ(paused->GetLeechCount(), 0);
    EXPECT_EQ(held->GetLeechCount(), 0);
    EXPECT_EQ(dl->HasAutoRetryDownloads(), 1);  // "File not found" is retried automatically
}

TEST_F(DownloaderTest, OneWorkerPerPassUpToTheLimitAndSurplusStopped) {
    FakeDownload* d = Add(5, "http://host/a");
    d->sectionLimit = 3;
    for (int i = 0; i < 5; ++i) Pass();
    EXPECT_EQ(d->GetLeechCount(), 3);
    d->sectionLimit = 1;
    Pass();
    EXPECT_EQ(d->GetLeechCount(), 1);
}

TEST_F(DownloaderTest, DownloadsBeyondTheLimitLoseTheirWorkers) {
    ChangeSettings([](CRegistrySettings& s) { s.TrafficModes[0].dwMaxDownloads = 2; });
    FakeDownload* a = Add(5, "http://host/a");
    FakeDownload* b = Add(5, "http://host/b");
    Pass();
    ASSERT_TRUE(b->IsBusy());
    FakeDownload* c = Add(6, "http://host/c");  // outranks both
    Pass();
    EXPECT_TRUE(c->IsBusy());
    EXPECT_TRUE(a->IsBusy());
    EXPECT_FALSE(b->IsBusy());
}

TEST_F(DownloaderTest, AServerGetsNoMoreConnectionsThanItsLimitAcrossDownloads) {
    ChangeSettings([](CRegistrySettings& s) { s.TrafficModes[0].dwMaxDownloads = 10; });
    ChangeSettings([](CRegistrySettings& s) { s.dwMaxConnectionsPerServer = 3; });
    FakeDownload* a = Add(5, "http://host/a");
    FakeDownload* b = Add(5, "http://host/b");
    FakeDownload* other = Add(5, "http://other/c");
    other->config.Server = "other";
    for (int i = 0; i < 8; ++i) Pass();
    EXPECT_EQ(a->leeches + b->leeches, 3);
    EXPECT_EQ(other->leeches, 3);  // another server has room of its own

    SSiteProp site;  // a site's own limit wins over the setting
    site.site = "HOST";
    site.maxConnections = 4;
    AddSite(site);
    for (int i = 0; i < 3; ++i) Pass();
    EXPECT_EQ(a->leeches + b->leeches, 4);

    ClearSites();
    ChangeSettings([](CRegistrySettings& s) { s.dwMaxConnectionsPerServer = 0; });  // no limit
    for (int i = 0; i < 8; ++i) Pass();
    EXPECT_EQ(a->leeches + b->leeches, 10);
}

TEST_F(DownloaderTest, AddingRefusesDuplicatesAndUnknownClients) {
    ASSERT_NE(Add(5, "http://host/same"), nullptr);
    EXPECT_EQ(Add(5, "http://host/same"), nullptr);
    EXPECT_EQ(Add(5, "http://host/other", -1), nullptr);
    EXPECT_EQ(dl->GetDownloadCount(), 1);
    EXPECT_EQ(sink.Count(NE_DOWNLOAD_ADDED), 0);  // the fakes do not announce themselves
}

TEST_F(DownloaderTest, AddingWithoutWaitingTellsTheNewDownloadOnTheDownloadersThread) {
    struct STold {
        IDownload* download;
        bool onDownloaderThread;
    };
    std::vector<STold> told;  // written on the downloader's thread, read after a Sync
    auto add = [&](const std::string& url) {
        auto* c = new SDownloadConfig();
        c->URL_remote = c->URL_original = url;
        c->Server = "host";
        c->ClientID = 1;
        dl->AddDownloadThen(c, [&](IDownload* d) { told.push_back({d, dl->IsEngineThread()}); });
    };
    add("http://host/then");
    add("http://host/then");  // a duplicate: nothing added
    Sync();
    ASSERT_EQ(told.size(), 2u);
    ASSERT_NE(told[0].download, nullptr);
    EXPECT_EQ(told[0].download->GetRemoteUrl(), "http://host/then");
    EXPECT_TRUE(told[0].onDownloaderThread);
    EXPECT_EQ(told[1].download, nullptr);
    EXPECT_EQ(dl->GetDownloadCount(), 1);

    dl->Stop();
    Sync();
    // A stopped downloader answers too: at once, or as its ending thread drops what was queued.
    enum class EAnswer { None, Refused, Added };
    std::atomic<EAnswer> lateTold{EAnswer::None};
    auto* late = new SDownloadConfig();
    late->URL_remote = late->URL_original = "http://host/late";
    late->ClientID = 1;
    dl->AddDownloadThen(late, [&](IDownload* d) { lateTold = d ? EAnswer::Added : EAnswer::Refused; });
    for (int i = 0; i < 2000 && lateTold.load() == EAnswer::None; ++i) SleepMs(5);
    EXPECT_EQ(lateTold.load(), EAnswer::Refused);
}

TEST_F(DownloaderTest, AFinishedDownloadOrOneOfTheOtherSideOfThePageCacheKeepsNothingOut) {
    FakeDownload* user = Add(5, "http://host/p.jpg", 1);
    // Queued: a basket's download of the address is kept out, the page cache's fetch is not.
    EXPECT_EQ(Add(4, "http://host/p.jpg", 1005), nullptr);
    FakeDownload* cached = Add(5, "http://host/p.jpg", kPageCacheClient);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(Add(5, "http://host/p.jpg", kPageCacheClient), nullptr);
    // Finished: nothing is kept out any more.
    user->status = DS_FINISHED;
    cached->status = DS_NOT_MODIFIED;
    EXPECT_NE(Add(4, "http://host/p.jpg", 1005), nullptr);
    EXPECT_NE(Add(5, "http://host/p.jpg", kPageCacheClient), nullptr);
    EXPECT_EQ(dl->GetDownloadCount(), 4);
}

TEST(DownloaderRules, WhichListedDownloadKeepsOutANewOneOfTheSameAddress) {
    struct Case {
        int listedClient;
        DownloadStatus listedStatus;
        int newClient;
        bool keepsOut;
    } cases[] = {
        {1, DS_WAITING, 1, true},         {1, DS_PAUSED, 1005, true},       {1005, DS_FAILED, 1, true},
        {1005, DS_WAITING, 1006, true},   {4, DS_WAITING, 4, true},         {1, DS_FINISHED, 1005, false},
        {1, DS_FINISHED, 4, false},       {4, DS_NOT_MODIFIED, 4, false},   {1, DS_WAITING, 4, false},
        {4, DS_WAITING, 1005, false},     {1999, DS_WAIT_FOR_USER, 4, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepsOutSameAddress(c.listedClient, c.listedStatus, c.newClient), c.keepsOut)
            << c.listedClient << " " << StatusText(c.listedStatus) << " " << c.newClient;
}

TEST(DownloaderRules, APageFetchWhoseAnswerIsOnTheWayFinishesPastTheLimit) {
    struct Case {
        int client;
        bool singleSection;
        int workers;
        uint32_t state;
        bool finishes;
    } cases[] = {
        {kPageCacheClient, true, 1, LEECH_REQUEST_SENT, true},
        {kPageCacheClient, true, 1, LEECH_RECEIVING, true},
        {kPageCacheClient, true, 1, LEECH_CONNECTING, false},  // nothing asked yet: it yields
        {kPageCacheClient, true, 1, LEECH_NEW, false},
        {kPageCacheClient, false, 1, LEECH_RECEIVING, false},  // a sectioned download yields
        {kPageCacheClient, true, 2, LEECH_RECEIVING, false},
        {1, true, 1, LEECH_RECEIVING, false},  // a user's download yields as ever
    };
    for (const auto& c : cases)
        EXPECT_EQ(FinishesPastTheLimit(c.client, c.singleSection, c.workers, c.state), c.finishes)
            << c.client << " " << c.singleSection << " " << c.workers << " " << c.state;
}

TEST_F(DownloaderTest, StartModesScheduleOrPause) {
    FakeDownload* scheduled = Add(5, "http://host/a", 1, START_SCHEDULED);
    FakeDownload* paused = Add(5, "http://host/b", 1, START_PAUSED);
    FakeDownload* runs = Add(5, "http://host/c", 1, START_RUN);
    EXPECT_EQ(scheduled->superStatus, DS_SCHEDULED);
    EXPECT_TRUE(scheduled->IsPaused());
    EXPECT_TRUE(paused->IsPaused());
    EXPECT_EQ(paused->superStatus, DS_NONE);
    Sync();
    EXPECT_TRUE(runs->IsBusy());
    EXPECT_EQ(paused->planCalls, 0);
}

TEST_F(DownloaderTest, SinksAreRegisteredOnceAndCategoryChangesRecomputeOnce) {
    EXPECT_FALSE(dl->Advise(&sink));
    RecordingSink other;
    EXPECT_FALSE(dl->Unadvise(&other));
    FakeDownload* a = Add(5, "http://host/a");
    FakeDownload* b = Add(5, "http://host/b");
    dl->Notify(NE_CATEGORIES, CATEGORIES_CHANGED, 0);
    Sync();
    EXPECT_EQ(a->categoryUpdates, 1);
    EXPECT_EQ(b->categoryUpdates, 1);
    EXPECT_EQ(sink.Count(NE_CATEGORIES, CATEGORIES_RECOMPUTED), 1);
}

TEST_F(DownloaderTest, ProxyChangeRetriesConnectingAndDialUpRetriesAutoRetryFailures) {
    FakeDownload* connecting = Add(5, "http://host/a");
    FakeDownload* lost = Add(5, "http://host/b");
    FakeDownload* gone = Add(5, "http://host/c");
    connecting->planStarts = lost->planStarts = gone->planStarts = false;
    connecting->status = DS_CONNECTING;
    lost->status = DS_SITE_NOT_FOUND;  // failed, retried automatically
    gone->status = DS_FORBIDDEN;       // failed for good
    dl->Notify(NE_PROXY_CHANGED, 0, 0);
    dl->Notify(NE_DIALUP_ESTABLISHED, 0, 0);
    Sync();
    EXPECT_EQ(connecting->retries, std::vector<uint8_t>{1});
    EXPECT_EQ(lost->retries, std::vector<uint8_t>{0});
    EXPECT_TRUE(gone->retries.empty());
}

TEST_F(DownloaderTest, ALoginAnswersTheIdleDownloadsOfTheSameServerOnly) {
    FakeDownload* asked = Add(5, "http://host/a");
    FakeDownload* waiting = Add(5, "http://host/b");
    FakeDownload* finished = Add(5, "http://host/c");
    FakeDownload* elsewhere = Add(5, "http://other/d");
    for (auto* d : {asked, waiting, finished, elsewhere}) {
        d->planStarts = false;
        d->leeches = 0;
    }
    elsewhere->config.Server = "other";
    waiting->status = DS_WAIT_FOR_USER;
    waiting->superStatus = DS_UNAUTHORIZED;
    finished->status = DS_FINISHED;
    std::unique_ptr<SDnlOp> op = std::make_unique<SDOAuthorize>("u", "p");
    op->download = RefPtr<IDownload>(asked);
    PostOwned(static_cast<IEngine*>(dl.Get()), DOP_DOWNLOAD_OP, std::move(op));
    Sync();
    EXPECT_EQ(asked->executed, std::vector<uint32_t>{DNLOP_AUTHORIZE});
    EXPECT_EQ(waiting->executed, std::vector<uint32_t>{DNLOP_AUTHORIZE});
    EXPECT_TRUE(finished->executed.empty());
    EXPECT_TRUE(elsewhere->executed.empty());
}

TEST_F(DownloaderTest, DeleteOperationTakesTheDownloadOutAndTellsTheSinks) {
    FakeDownload* a = Add(5, "http://host/a");
    Add(5, "http://host/b");
    auto op = std::make_unique<SDnlOp>(DNLOP_DELETE);
    op->download = RefPtr<IDownload>(a);
    PostOwned(static_cast<IEngine*>(dl.Get()), DOP_DOWNLOAD_OP, std::move(op));
    Sync();
    EXPECT_EQ(dl->GetDownloadCount(), 1);
    EXPECT_EQ(sink.Count(NE_DOWNLOAD_REMOVED), 1);
}

TEST_F(DownloaderTest, ImportTakesHttpHttpsAndFtpAddressesOnlyAndExportWritesEveryAddress) {
    auto in = dir / "in.txt";
    test::WriteFile(in,
                    "http://host/a.jpg\r\n"
                    "ftp://host/pub/b.zip\n"
                    "mailto:someone@host.org\n"
                    "http://host/mailto:x.html\n"
                    "not an address\n"
                    "  http://host/c.png  \n"
                    "https://host/d.gif\n");
    dl->ImportUrls(in.c_str());
    Sync();
    Sync();  // the import posts its additions
    ASSERT_EQ(dl->GetDownloadCount(), 4);
    RefPtr<IDownload> first;
    ASSERT_TRUE(dl->GetDownload(0, first.Put()));
    EXPECT_EQ(first->GetClientID(), 1);
    EXPECT_EQ(first->GetConfig()->StartMode, START_RUN);

    auto out = dir / "out.txt";
    dl->ExportUrls(out.c_str());
    Sync();
    EXPECT_EQ(test::ReadFile(out), "http://host/a.jpg\r\nftp://host/pub/b.zip\r\nhttp://host/c.png\r\nhttps://host/d.gif\r\n");
}

// The basket engine and a command may both ask for the list at start: the second load of the
// same file leaves the downloads the first one gave (and that the others now hold) in place.
TEST_F(DownloaderTest, ASecondLoadOfTheSameListKeepsTheDownloadsHeld) {
    FakeDownload* held = Add(5, "http://host/held.bin");
    dl->LoadList(nullptr);
    Sync();
    RefPtr<IDownload> found;
    ASSERT_TRUE(dl->FindDownloadByID(held->GetID(), found.Put()));
    EXPECT_EQ(found.Get(), static_cast<IDownload*>(held));
    EXPECT_EQ(dl->GetDownloadCount(), 1);
}

TEST_F(DownloaderTest, ArraysAndLookupsByID) {
    FakeDownload* a = Add(5, "http://host/a");
    Add(5, "http://host/b", 1000);
    std::unique_ptr<CDownloadArray> all(dl->GetDownloadArray(nullptr));
    ASSERT_EQ(all->GetSize(), 2u);
    std::unique_ptr<CDownloadArray> baskets(dl->GetDownloadArray(DefaultSaveFilter));
    EXPECT_EQ(baskets->GetSize(), 2u);  // a user's download and a basket download are both kept
    RefPtr<IDownload> found;
    EXPECT_TRUE(dl->FindDownloadByID(a->GetID(), found.Put()));
    EXPECT_EQ(found.Get(), static_cast<IDownload*>(a));
    EXPECT_FALSE(dl->FindDownloadByID(99, found.Put()));
    EXPECT_EQ(dl->GetFreeID(), 2);
}

TEST_F(DownloaderTest, HousekeepingRetriesLongUnavailableDownloads) {
    clock.Hold(false);  // the housekeeping timer's passes are what this test looks at
    FakeDownload* old = Add(5, "http://host/a");
    FakeDownload* fresh = Add(5, "http://host/b");
    old->planStarts = fresh->planStarts = false;
    old->status = fresh->status = DS_TEMPORARILY_UNAVAILABLE;
    old->statusTime = GetTickCount() - 31000;
    fresh->statusTime = GetTickCount();
    for (int i = 0; i < 2000 && old->retryCount.load() == 0; ++i) SleepMs(5);
    StopTime();
    EXPECT_EQ(old->retries, std::vector<uint8_t>{0});
    EXPECT_TRUE(fresh->retries.empty());
}

TEST(DownloaderRules, ImportableAddresses) {
    struct Case {
        const char* line;
        bool take;
    } cases[] = {
        {"http://a/b.jpg", true},       {"ftp://a/b.zip", true},    {"HTTP://A/B", true},
        {"https://a/b", true},          {"mailto:x@y", false},      {"http://a/mailto:x", false},
        {"a/b.jpg", false},             {"", false},                {"file:///etc/passwd", false},
    };
    for (auto& c : cases) EXPECT_EQ(IsImportableAddress(c.line), c.take) << c.line;
}

}  // namespace
}  // namespace plover
