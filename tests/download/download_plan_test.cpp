// The planner driven through a CDownload: host resolution, the probe, chunk placement with
// workers running, and the limits that stop it.
#include "download/download_fixture.h"

namespace plover::test {
namespace {

using Plan = DownloadTest;

TEST_F(Plan, ProbeThenChunksWhileWorkersRun) {
    auto d = Make("http://127.0.0.1:8080/a.bin");
    ASSERT_TRUE(d->PlanSection());  // a dotted host needs no lookup; the probe starts
    EXPECT_EQ(d->GetHostState(), HOST_RESOLVED);
    EXPECT_EQ(ntohs(d->GetServerAddress().sin_port), 8080);
    EXPECT_EQ(d->GetSizeState(), SIZE_PROBING);
    EXPECT_EQ(d->GetStatus(), DS_CONNECTING);
    EXPECT_EQ(env.Leech(0)->GetEnd(), 0u);
    EXPECT_FALSE(d->PlanSection());  // the probe has not learnt the size

    Sized(d.Get(), 1000);
    env.Leech(0)->stopped = 1;
    EXPECT_EQ(d->RemoveStoppedLeeches(), 0);
    EXPECT_EQ(env.Leech(0)->stops, 1);
    EXPECT_EQ(d->GetSizeState(), SIZE_KNOWN);

    struct Step {
        uint32_t start, end;
    } steps[] = {{0, 249}, {625, 874}, {375, 624}, {250, 374}};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(d->PlanSection()) << i;
        FakeLeech* l = env.Leech(i + 1);
        EXPECT_EQ(l->position, steps[i].start);
        EXPECT_EQ(l->end, steps[i].end);
        EXPECT_FALSE(d->PlanSection()) << "one worker at a time until it receives";
        l->state = LEECH_RECEIVING;
    }
    EXPECT_EQ(d->GetStatus(), DS_DOWNLOADING);
    ASSERT_TRUE(d->PlanSection());
    env.Leech(4)->state = LEECH_RECEIVING;
    EXPECT_EQ(env.Leech(4)->position, steps[3].start);
    EXPECT_FALSE(d->PlanSection()) << "four workers is the limit";
    EXPECT_EQ(d->GetLeechCount(), 4);
}

TEST_F(Plan, HostLookupAndItsFailure) {
    auto d = Make("http://files.example/a.bin");
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(d->GetStatus(), DS_LOOKING_FOR_SITE);
    EXPECT_TRUE(d->IsBusy());
    EXPECT_EQ(owner->Logs(LOG_LOOKUP), std::vector<std::string>{"files.example"});
    env.AnswerLookup(false);
    EXPECT_EQ(d->GetStatus(), DS_SITE_NOT_FOUND);
    EXPECT_EQ(d->GetHostState(), HOST_UNRESOLVED);
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.lookups.size(), 1u) << "no new lookup while the site is not found";

    d->Retry(0);
    owner->RunOps();
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_FALSE(d->PlanSection());
    env.AnswerLookup(true);
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(owner->Logs(LOG_LOOKUP_OK), std::vector<std::string>{"files.example (127.0.0.1)"});
    EXPECT_TRUE(d->PlanSection());
    EXPECT_EQ(ntohl(d->GetServerAddress().sin_addr.s_addr), 0x7F000001u);
}

TEST_F(Plan, LimitsThatStopThePlanner) {
    auto d = Make("http://127.0.0.1/a.bin");
    env.liveSockets = 60;
    EXPECT_FALSE(d->PlanSection());
    env.liveSockets = 0;
    env.startOk = false;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(d->GetSizeState(), SIZE_UNKNOWN) << "a probe that did not start is forgotten";
    EXPECT_EQ(d->GetLeechCount(), 0);
    env.startOk = true;
    d->SetStatus(DS_FORBIDDEN);
    EXPECT_FALSE(d->PlanSection());
    d->SetStatus(DS_NOT_MODIFIED);  // the copy on disk is current: never asked again
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(d->GetLeechCount(), 0);
    d->SetStatus(DS_WAITING);
    env.supported = false;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(d->GetStatus(), DS_FAILED) << "no worker serves the address";
}

TEST_F(Plan, AConnectionThatCannotBeMadeIsAFailedAttempt) {
    // No route, a refused address, no free descriptor: the worker does not start. Each time is one
    // of the download's attempts, with a growing pause between them, then "Can't connect".
    GetSettings().TimeoutParams.dwRetry = 3;
    auto d = Make("http://127.0.0.1/a.bin");
    env.startOk = false;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 1u);
    EXPECT_EQ(d->GetAttempts(), 2);
    EXPECT_NE(d->GetStatus(), DS_CANT_CONNECT);
    EXPECT_FALSE(d->PlanSection()) << "not before the pause has passed";
    env.ticks += 1999;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 1u);
    env.ticks += 1;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 2u) << "the second attempt";
    EXPECT_EQ(d->GetAttempts(), 3);
    env.ticks += 3999;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 2u) << "the pause has doubled";
    env.ticks += 1;
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 3u);
    EXPECT_EQ(d->GetStatus(), DS_CANT_CONNECT);
    EXPECT_TRUE(d->IsFailed());
    // A retry starts afresh, at once.
    env.startOk = true;
    d->Retry(0);
    owner->RunOps();
    EXPECT_TRUE(d->PlanSection());
    EXPECT_EQ(d->GetAttempts(), 1);
}

TEST_F(Plan, SingleSectionAndSingleStreamUseOneWorker) {
    SDownloadConfig c = MakeConfig("http://127.0.0.1/a.bin", dir.Str());
    c.SingleSection = 1;
    auto d = CDownload::Create(c, owner.Get());
    ASSERT_TRUE(d->PlanSection());
    Sized(d.Get(), 1000);
    env.Leech(0)->stopped = 1;
    d->RemoveStoppedLeeches();
    ASSERT_TRUE(d->PlanSection());
    EXPECT_EQ(env.Leech(1)->position, 0u);
    EXPECT_EQ(env.Leech(1)->end, 999u);
    env.Leech(1)->state = LEECH_RECEIVING;
    EXPECT_FALSE(d->PlanSection());

    auto s = Make("http://127.0.0.1/b.bin");
    ASSERT_TRUE(s->PlanSection());
    Sized(s.Get(), 1000);
    env.Leech(2)->stopped = 1;
    s->RemoveStoppedLeeches();
    ASSERT_TRUE(Write(s.Get(), 300, std::string(100, 'x')));
    s->ResetSections();  // the server ignores ranges
    ASSERT_TRUE(s->PlanSection());
    EXPECT_EQ(env.Leech(3)->position, 0u) << "a single stream starts at byte 0";
    EXPECT_EQ(env.Leech(3)->end, 999u);
    env.Leech(3)->state = LEECH_RECEIVING;
    EXPECT_FALSE(s->PlanSection());
}

TEST_F(Plan, StoppingWorkers) {
    auto d = Make("http://127.0.0.1/a.bin");
    ASSERT_TRUE(d->PlanSection());
    Sized(d.Get(), 1000);
    env.Leech(0)->stopped = 1;
    d->RemoveStoppedLeeches();
    for (size_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(d->PlanSection());
        env.Leech(i)->state = LEECH_RECEIVING;
    }
    d->StopLeeches(2);
    EXPECT_EQ(d->GetLeechCount(), 1);
    EXPECT_EQ(env.Leech(1)->stops + env.Leech(2)->stops + env.Leech(3)->stops, 2);
    EXPECT_EQ(env.Leech(3)->stops, 0) << "the first ones go";
    d->StopAllLeeches();
    EXPECT_EQ(d->GetLeechCount(), 0);
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    d->SetSectionLimit(2);
    EXPECT_EQ(d->GetSectionLimit(), 2);
    d->SetSectionLimit(9);
    EXPECT_EQ(d->GetSectionLimit(), 4);
}

}  // namespace
}  // namespace plover::test
