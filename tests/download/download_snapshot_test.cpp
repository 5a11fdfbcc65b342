// The snapshot a front end reads of a download: every figure from one moment, also while blocks
// arrive on another thread.
#include <algorithm>
#include <atomic>
#include <numeric>
#include <random>
#include <thread>

#include "download/download_fixture.h"

namespace plover::test {
namespace {

using Snapshot = DownloadTest;

uint32_t Sum(const std::vector<SSection>& sections) {
    uint32_t n = 0;
    for (const SSection& s : sections) n += s.Size;
    return n;
}

TEST_F(Snapshot, HoldsWhatTheGettersTell) {
    auto d = Make("http://127.0.0.1/dir/a.bin");
    d->SetPriority(7);
    Sized(d.Get(), 12);
    ASSERT_TRUE(Write(d.Get(), 4, "EFGH"));
    SDownloadSnapshot s = d->GetSnapshot();
    EXPECT_EQ(s.id, d->GetID());
    EXPECT_EQ(s.clientId, d->GetClientID());
    EXPECT_EQ(s.originalUrl, "http://127.0.0.1/dir/a.bin");
    EXPECT_EQ(s.remoteUrl, d->GetRemoteUrl());
    EXPECT_EQ(s.server, "127.0.0.1");
    EXPECT_EQ(s.fileName, "a.bin");
    EXPECT_EQ(DisplayName(s), "a.bin");
    EXPECT_EQ(s.localFolder, dir.Str());
    EXPECT_EQ(s.localPath, Path("a.bin"));
    EXPECT_EQ(s.status, d->GetStatus());
    EXPECT_EQ(s.statusText, StatusText(s.status));
    EXPECT_EQ(ShownStatusText(s), s.statusText);
    EXPECT_TRUE(s.sizeKnown);
    EXPECT_EQ(s.size, 12u);
    EXPECT_EQ(s.downloaded, 4u);
    EXPECT_EQ(s.sections, (std::vector<SSection>{{4, 4}}));
    EXPECT_TRUE(s.workers.empty());
    EXPECT_EQ(s.priority, 7);
    EXPECT_FALSE(s.finished);
    EXPECT_FALSE(s.failed);
}

TEST_F(Snapshot, UnknownSizeAndAFailureReasonAreShownAsSuch) {
    auto d = Make("http://127.0.0.1/");
    d->SetSuperStatus(DS_FILE_NOT_FOUND);
    SDownloadSnapshot s = d->GetSnapshot();
    EXPECT_FALSE(s.sizeKnown);
    EXPECT_EQ(s.size, 0u);
    EXPECT_TRUE(s.failed);
    EXPECT_EQ(s.superStatusText, StatusText(DS_FILE_NOT_FOUND));
    EXPECT_EQ(ShownStatusText(s), StatusText(DS_FILE_NOT_FOUND));
}

TEST_F(Snapshot, EverySnapshotTakenWhileBlocksArriveIsConsistent) {
    constexpr uint32_t kBlock = 64, kBlocks = 512, kSize = kBlock * kBlocks;
    auto d = Make("http://127.0.0.1/big.bin");
    Sized(d.Get(), kSize);
    std::vector<uint32_t> order(kBlocks);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));

    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::string block(kBlock, 'x');
        for (uint32_t i : order) Write(d.Get(), i * kBlock, block);
        done = true;
    });
    // The first broken rule, or empty; the writer is joined either way.
    std::string broken;
    uint32_t last = 0;
    for (bool end = false; !end && broken.empty();) {
        end = done.load();  // one more snapshot after the writer has ended
        SDownloadSnapshot s = d->GetSnapshot();
        if (Sum(s.sections) != s.downloaded) broken = "the sections do not add up to the bytes downloaded";
        if (s.downloaded > s.size) broken = "more bytes downloaded than the size";
        if (s.downloaded < last) broken = "progress went back";
        if (s.statusText != StatusText(s.status)) broken = "the status text is another status's";
        if (s.finished && s.downloaded != s.size) broken = "finished but not whole";
        for (const SSection& x : s.sections)
            if (x.End() > s.size) broken = "a section past the end";
        last = s.downloaded;
    }
    writer.join();
    EXPECT_EQ(broken, "");
    SDownloadSnapshot s = d->GetSnapshot();
    EXPECT_TRUE(s.finished);
    EXPECT_EQ(s.downloaded, kSize);
    EXPECT_EQ(s.sections, (std::vector<SSection>{{0, kSize}}));
}

}  // namespace
}  // namespace plover::test
