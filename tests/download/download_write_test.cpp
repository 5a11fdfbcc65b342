// Writing received blocks into the target file, the size, opening the file and completion.
#include <sys/stat.h>

#include <cerrno>

#include "download/download_fixture.h"

namespace plover::test {
namespace {

using Writing = DownloadTest;

std::string Sections(CDownload* d) {
    std::vector<SSection> s, w;
    d->GetSections(s, w);
    std::string out;
    for (auto& x : s) out += std::to_string(x.Start) + "+" + std::to_string(x.Size) + " ";
    return out;
}

TEST_F(Writing, BlocksLandAtTheirOffsetsAndTheWholeFileFinishes) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 12);
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 12u) << "extended at once";
    EXPECT_TRUE(Write(d.Get(), 8, "IJKL"));
    EXPECT_TRUE(Write(d.Get(), 0, "ABCD"));
    EXPECT_EQ(Sections(d.Get()), "8+4 0+4 ");
    EXPECT_EQ(d->GetDownloaded(), 8u);
    EXPECT_FALSE(d->IsFinished());
    EXPECT_FALSE(Write(d.Get(), 4, "EFGH")) << "finished: the worker stops";
    EXPECT_TRUE(d->IsFinished());
    EXPECT_FALSE(d->IsFileOpen());
    EXPECT_EQ(ReadFile(Path("a.bin")), "ABCDEFGHIJKL");
    EXPECT_EQ(owner->Logs(LOG_FINISHED), std::vector<std::string>{"http://127.0.0.1/a.bin"});
    EXPECT_GE(owner->Count(NE_PROGRESS), 3);
    EXPECT_FALSE(Write(d.Get(), 0, "zz")) << "nothing is written once finished";
}

TEST_F(Writing, BytesOverDataOnDiskAreNotWrittenAgain) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 20);
    EXPECT_TRUE(Write(d.Get(), 10, "BBBBB"));
    // A server that sends another range than asked: the part over the section on disk is dropped.
    EXPECT_FALSE(Write(d.Get(), 5, "aaaaaaaaa"));
    EXPECT_EQ(Sections(d.Get()), "5+10 ");
    std::string file = ReadFile(Path("a.bin"));
    EXPECT_EQ(file.substr(5, 10), "aaaaaBBBBB");
    // A block that starts inside a section and runs on writes only its new tail.
    EXPECT_TRUE(Write(d.Get(), 12, "xxxxxxxx"));
    EXPECT_EQ(ReadFile(Path("a.bin")).substr(10, 10), "BBBBBxxxxx");
}

TEST_F(Writing, BytesPastTheEndAreNotPartOfTheFile) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 10);
    EXPECT_FALSE(Write(d.Get(), 6, "6789XYZ"));
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 10u);
    EXPECT_EQ(Sections(d.Get()), "6+4 ");
    EXPECT_FALSE(d->IsFinished()) << "a hole is never reported finished";
    EXPECT_FALSE(Write(d.Get(), 10, "more"));
    EXPECT_FALSE(d->IsFinished());
    d->Complete();
    EXPECT_FALSE(d->IsFinished());
    EXPECT_FALSE(Write(d.Get(), 0, "012345"));
    EXPECT_TRUE(d->IsFinished());
    EXPECT_EQ(ReadFile(Path("a.bin")), "0123456789");
}

TEST_F(Writing, OffsetsThatWouldWrapAreRefused) {
    auto d = Make("http://127.0.0.1/a.bin");
    std::string block(0x200, 'x');
    EXPECT_FALSE(Write(d.Get(), 0xFFFFFF00u, block));
    EXPECT_EQ(d->GetStatus(), DS_FILE_TOO_BIG);
    EXPECT_FALSE(std::filesystem::exists(Path("a.bin"))) << "nothing written";
}

TEST_F(Writing, ASingleStreamPassesOverWhatIsOnDisk) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 8);
    d->ResetSections();
    EXPECT_TRUE(Write(d.Get(), 0, "ABCD"));
    // The stream starts again at byte 0 (a server without ranges) and goes on past the old data.
    EXPECT_TRUE(Write(d.Get(), 0, "ABC"));
    EXPECT_FALSE(Write(d.Get(), 3, "DEFGH"));  // finished
    EXPECT_TRUE(d->IsFinished());
    EXPECT_EQ(ReadFile(Path("a.bin")), "ABCDEFGH");
}

TEST_F(Writing, AStreamOfUnknownSizeEndsAtItsClose) {
    auto d = Make("http://127.0.0.1/a.bin");
    d->ResetSections();
    EXPECT_TRUE(Write(d.Get(), 0, "hello "));
    EXPECT_TRUE(Write(d.Get(), 6, "world"));
    EXPECT_EQ(d->GetSize(), 0u);
    d->Complete();
    EXPECT_TRUE(d->IsFinished());
    EXPECT_EQ(d->GetSize(), 11u);
    EXPECT_EQ(ReadFile(Path("a.bin")), "hello world");
}

TEST_F(Writing, SizeRules) {
    auto small = Make("http://127.0.0.1/small.bin");
    env.freeSpace = 1000;
    EXPECT_FALSE(small->SetSize(1000)) << "free space must be larger than the file";
    EXPECT_EQ(small->GetStatus(), DS_DISK_FULL) << "the file fits a file system, not this one now";
    EXPECT_FALSE(std::filesystem::exists(Path("small.bin")));
    env.freeSpace = UINT64_MAX;

    auto huge = Make("http://127.0.0.1/huge.bin");
    EXPECT_FALSE(huge->SetSize(0xFFFFFFFFu)) << "4 GiB - 1 cannot be told from unknown";
    EXPECT_EQ(huge->GetStatus(), DS_FILE_TOO_BIG);
    EXPECT_FALSE(std::filesystem::exists(Path("huge.bin")));

    auto empty = Make("http://127.0.0.1/empty.bin");
    EXPECT_TRUE(empty->SetSize(0));
    EXPECT_TRUE(empty->IsFinished());
    EXPECT_EQ(std::filesystem::file_size(Path("empty.bin")), 0u);
}

TEST_F(Writing, AFullDiskStopsTheDownloadUntilItIsRetried) {
    GetSettings().TimeoutParams.dwRetry = 5;  // a full disk is not one of the attempts
    auto d = Make("http://127.0.0.1/a.bin");
    ASSERT_TRUE(d->PlanSection());
    Sized(d.Get(), 10);
    env.Leech(0)->stopped = 1;
    d->RemoveStoppedLeeches();
    ASSERT_TRUE(d->PlanSection());
    env.Leech(1)->state = LEECH_RECEIVING;
    ASSERT_TRUE(Write(d.Get(), 0, "0123"));
    env.writeError = ENOSPC;
    EXPECT_FALSE(Write(d.Get(), 4, "456"));
    EXPECT_EQ(d->GetStatus(), DS_DISK_FULL);
    EXPECT_STREQ(StatusText(d->GetStatus()), "Disk full");
    EXPECT_FALSE(d->IsAutoRetry()) << "nothing retries against a full disk by itself";
    EXPECT_EQ(d->GetDownloaded(), 4u) << "what did not reach the disk is not counted";
    env.writeError = 0;
    EXPECT_FALSE(Write(d.Get(), 7, "789")) << "no other worker writes on against the full disk";
    EXPECT_EQ(d->GetDownloaded(), 4u);
    env.Leech(1)->stopped = 1;
    d->RemoveStoppedLeeches();
    EXPECT_FALSE(d->PlanSection());
    EXPECT_EQ(env.leeches.size(), 2u);
    // Room again: the user's retry continues where the download stopped.
    env.writeError = 0;
    d->Retry(0);
    owner->RunOps();
    ASSERT_TRUE(d->PlanSection());  // the probe learns the size again
    Sized(d.Get(), 10);
    EXPECT_EQ(d->GetDownloaded(), 4u);
    EXPECT_FALSE(Write(d.Get(), 4, "456789"));
    EXPECT_TRUE(d->IsFinished());
    EXPECT_EQ(ReadFile(Path("a.bin")), "0123456789");
}

TEST_F(Writing, BytesWrittenAgainAreNoProgress) {
    // A server that ignores ranges and closes early sends the same first bytes each time: the
    // attempts must run out, not start afresh with every block.
    GetSettings().TimeoutParams.dwRetry = 3;
    auto d = Make("http://127.0.0.1/a.bin");
    ASSERT_TRUE(d->PlanSection());
    Sized(d.Get(), 10);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        d->ResetSections();
        ASSERT_TRUE(Write(d.Get(), 0, "0123"));
        d->SetStatus(DS_ABORTED);
        EXPECT_EQ(d->GetAttempts(), attempt + 1) << attempt;
    }
    EXPECT_EQ(d->GetStatus(), DS_ABORTED);
}

TEST_F(Writing, AChangedServerFileStartsAgainFromZero) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 10);
    d->SetLastModified("Mon, 01 Jan 2024 00:00:00 GMT");
    ASSERT_TRUE(Write(d.Get(), 0, "old"));
    EXPECT_FALSE(d->SetSize(20)) << "another total than the known size";
    EXPECT_FALSE(Write(d.Get(), 3, "xyz")) << "nothing is spliced while the restart is pending";
    owner->RunOps();
    EXPECT_EQ(d->GetDownloaded(), 0u);
    EXPECT_EQ(d->GetSizeState(), SIZE_UNKNOWN);
    EXPECT_EQ(d->GetSize(), 0u);
    EXPECT_EQ(d->GetLastModified(), "");
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 0u);
    EXPECT_TRUE(d->SetSize(20));
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 20u);
}

TEST_F(Writing, AnExistingTargetWaitsForTheUser) {
    WriteFile(Path("a.bin"), "old");
    auto d = Make("http://127.0.0.1/a.bin");
    EXPECT_FALSE(d->SetSize(10));
    EXPECT_EQ(d->GetStatus(), DS_WAIT_FOR_USER);
    EXPECT_EQ(d->GetSuperStatus(), DS_TGT_FILE_EXISTS);
    EXPECT_EQ(ReadFile(Path("a.bin")), "old");
    EXPECT_FALSE(d->PlanSection()) << "held while waiting";
    d->Overwrite();
    owner->RunOps();
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(d->GetSuperStatus(), DS_NONE);
    EXPECT_TRUE(Write(d.Get(), 0, "new"));
    EXPECT_EQ(ReadFile(Path("a.bin")).substr(0, 3), "new");
    EXPECT_EQ(std::filesystem::file_size(Path("a.bin")), 10u);
}

TEST_F(Writing, OverwriteAlwaysAndUncreatableTargets) {
    GetSettings().bOverwriteAlways = 1;
    WriteFile(Path("a.bin"), "old");
    auto d = Make("http://127.0.0.1/a.bin");
    EXPECT_TRUE(d->SetSize(4));
    auto e = Make("http://127.0.0.1/b.bin", Path("missing-folder"));
    EXPECT_FALSE(e->SetSize(4));
    EXPECT_EQ(e->GetStatus(), DS_WAIT_FOR_USER);
    EXPECT_EQ(e->GetSuperStatus(), DS_CANT_CREATE_FILE);
}

TEST_F(Writing, AnAddressWithoutANameIsSavedAsIndexHtml) {
    auto d = Make("http://127.0.0.1/");
    EXPECT_EQ(d->GetFileName(), "");
    EXPECT_TRUE(d->SetServerFileName("") == DS_WAITING);
    Sized(d.Get(), 2);
    EXPECT_EQ(d->GetFileName(), "index.html");
    EXPECT_TRUE(std::filesystem::exists(Path("index.html")));
}

TEST_F(Writing, ServerFileNamesStayInTheFolder) {
    auto d = Make("http://127.0.0.1/");
    d->SetServerFileName("..%2F..%2Fevil.sh");
    EXPECT_EQ(d->GetFileName(), "evil.sh");
    d->SetServerFileName("other.bin");
    EXPECT_EQ(d->GetFileName(), "evil.sh") << "a known name is kept";
    auto e = Make("http://127.0.0.1/x/");
    e->SetServerFileName("..");
    EXPECT_EQ(e->GetFileName(), "");
}

}  // namespace
}  // namespace plover::test
