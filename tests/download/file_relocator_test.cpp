// The file relocator engine against a recording downloader engine: the steps of a copy, their
// progress and end reports, the error codes, cancelling, and the rename on one filesystem.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "download/file_relocator.h"
#include "download/http_fakes.h"
#include "download/i_downloader.h"
#include "engine/engine_end_watch.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

namespace fs = std::filesystem;
using test::http::FakeDownload;

// The downloader's side of the reports: what arrived, in order ("125 done/total", "124 result").
class CRecorder final : public CEngine {
public:
    static constexpr uint32_t OP_SYNC = 9000;
    // Returns once every report posted before the call has been taken.
    void Sync() { Post(OP_SYNC, 0, 0, true, false); }
    std::vector<std::string> Reports() {
        std::lock_guard g(lock_);
        return reports_;
    }
    std::vector<IDownload*> Ended() {
        std::lock_guard g(lock_);
        return ended_;
    }

protected:
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) override {
        std::lock_guard g(lock_);
        if (SRelocProgress* p = record.Get<SRelocProgress>(); p && code == DOP_RELOCATION_PROGRESS) {
            reports_.push_back("125 " + std::to_string(p->done) + "/" + std::to_string(p->total));
        } else if (CRelocInfo* r = record.Get<CRelocInfo>(); r && code == DOP_RELOCATED) {
            char text[32];
            std::snprintf(text, sizeof text, "124 %#x", r->result);
            reports_.push_back(text);
            ended_.push_back(r->download.Get());
        }
        return 1;
    }

private:
    std::mutex lock_;
    std::vector<std::string> reports_;
    std::vector<IDownload*> ended_;
};

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char(i * 7 + (i >> 11));
    return s;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FileRelocatorTest : public ::testing::Test {
protected:
    void SetUp() override { Begin(CFileRelocator::ETicks::Manual, false); }
    void TearDown() override { End(); }

    void Begin(CFileRelocator::ETicks ticks, bool rename) {
        recorderEnded.ended.Reset();
        relocatorEnded.ended.Reset();
        recorder = new CRecorder;
        relocator = new CFileRelocator(ticks, rename);
        recorder->SetProgress(&recorderEnded);
        relocator->SetProgress(&relocatorEnded);
        recorder->Start();
        relocator->Start();
        fs::create_directories(from);
        fs::create_directories(to);
    }
    void End() {
        if (!relocator) return;
        relocator->Stop();
        relocatorEnded.ended.Wait();
        relocator->Release();
        relocator = nullptr;
        recorder->Stop();
        recorderEnded.ended.Wait();
        recorder->Release();
        recorder = nullptr;
    }
    // A request to move `name` from `from` to `target`, for `download`.
    CRelocInfo* Request(const std::string& name, const fs::path& target, IDownload* download) {
        auto* r = new CRelocInfo;
        r->source = (from / name).string();
        r->target = target.string();
        r->download = RefPtr<IDownload>(download);
        r->downloader = RefPtr<IEngine>(static_cast<IEngine*>(recorder));
        return r;
    }
    std::vector<std::string> TickAndReport() {
        relocator->Tick();
        recorder->Sync();
        return recorder->Reports();
    }

    test::TempDir dir;
    fs::path from = dir.Path() / "from", to = dir.Path() / "to";
    CRecorder* recorder = nullptr;
    CFileRelocator* relocator = nullptr;
    CEngineEndWatch recorderEnded, relocatorEnded;
    RefPtr<FakeDownload> download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
};

TEST_F(FileRelocatorTest, ARequestToARelocatorThatHasEndedGoesBackAsFailed) {
    test::WriteFile(from / "a.bin", "abc");
    relocator->Stop();
    relocatorEnded.ended.Wait();
    relocator->Relocate(Request("a.bin", to / "a.bin", download.Get()));
    recorder->Sync();
    EXPECT_EQ(recorder->Reports(), (std::vector<std::string>{"124 0x3"}));
    EXPECT_TRUE(fs::exists(from / "a.bin"));
}

TEST_F(FileRelocatorTest, CopyInBlocksOfOneTick) {
    const std::string original = Bytes(1000000);
    test::WriteFile(from / "a.bin", original);
    relocator->Relocate(Request("a.bin", to / "a.bin", download.Get()));
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"125 409600/1000000"}));
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"125 409600/1000000", "125 819200/1000000"}));
    EXPECT_FALSE(fs::exists(to / "a.bin")) << "the target appears only when whole";
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"125 409600/1000000", "125 819200/1000000",
                                                         "125 1000000/1000000", "124 0x2"}));
    EXPECT_FALSE(fs::exists(from / "a.bin"));
    EXPECT_TRUE(test::ReadFile(to / "a.bin") == original);
    EXPECT_EQ(Names(to), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(TickAndReport().size(), 4u) << "an empty queue does nothing";
}

TEST_F(FileRelocatorTest, EmptyFile) {
    test::WriteFile(from / "e.bin", "");
    relocator->Relocate(Request("e.bin", to / "e.bin", download.Get()));
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"125 0/0", "124 0x2"}));
    EXPECT_FALSE(fs::exists(from / "e.bin"));
    EXPECT_TRUE(fs::exists(to / "e.bin"));
    EXPECT_EQ(fs::file_size(to / "e.bin"), 0u);
}

TEST_F(FileRelocatorTest, Failures) {
    test::WriteFile(from / "kept.bin", "data");
    fs::create_directories(to / "folder.bin");
    relocator->Relocate(Request("missing.bin", to / "missing.bin", download.Get()));
    relocator->Relocate(Request("kept.bin", to / "no" / "such" / "kept.bin", download.Get()));
    relocator->Relocate(Request("kept.bin", to / "folder.bin", download.Get()));
    TickAndReport();
    TickAndReport();
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"124 0x10004", "124 0x10006", "124 0x10006"}));
    EXPECT_EQ(test::ReadFile(from / "kept.bin"), "data");
    EXPECT_EQ(Names(to), std::vector<std::string>{"folder.bin"}) << "no target, no partial copy left";
    EXPECT_TRUE(fs::is_empty(to / "folder.bin"));
}

// Cancelling the second request of the queue drops it; the first goes on. Cancelling the one
// being copied removes its partial copy and leaves the source.
TEST_F(FileRelocatorTest, Cancel) {
    auto second = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    test::WriteFile(from / "a.bin", Bytes(900000));
    test::WriteFile(from / "b.bin", Bytes(10));
    relocator->Relocate(Request("a.bin", to / "a.bin", download.Get()));
    relocator->Relocate(Request("b.bin", to / "b.bin", second.Get()));
    TickAndReport();
    relocator->Cancel(second.Get(), true);
    TickAndReport();
    EXPECT_EQ(TickAndReport().back(), "124 0x2");
    EXPECT_EQ(recorder->Ended(), std::vector<IDownload*>{download.Get()});
    EXPECT_EQ(TickAndReport().size(), 4u);
    EXPECT_TRUE(fs::exists(from / "b.bin"));
    EXPECT_EQ(Names(to), std::vector<std::string>{"a.bin"});

    test::WriteFile(from / "c.bin", Bytes(900000));
    relocator->Relocate(Request("c.bin", to / "c.bin", second.Get()));
    TickAndReport();
    EXPECT_EQ(Names(to).size(), 2u) << "the partial copy";
    relocator->Cancel(second.Get(), false);
    recorder->Sync();
    relocator->Tick();
    EXPECT_EQ(Names(to), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(test::ReadFile(from / "c.bin").size(), 900000u);
    EXPECT_EQ(relocator->Cancel(nullptr, true), 0u);
    EXPECT_EQ(relocator->Relocate(nullptr), 0u);
}

// Within one filesystem the file is renamed: one step, the whole size at once.
TEST_F(FileRelocatorTest, RenameWithinOneFilesystem) {
    End();
    Begin(CFileRelocator::ETicks::Manual, true);
    test::WriteFile(from / "big.bin", Bytes(3000000));
    relocator->Relocate(Request("big.bin", to / "big.bin", download.Get()));
    EXPECT_EQ(TickAndReport(), (std::vector<std::string>{"125 3000000/3000000", "124 0x2"}));
    EXPECT_FALSE(fs::exists(from / "big.bin"));
    EXPECT_EQ(fs::file_size(to / "big.bin"), 3000000u);
}

// The timer steps the queue by itself and stops once it is empty.
TEST_F(FileRelocatorTest, TimerRunsOnlyWhileRequestsWait) {
    End();
    Begin(CFileRelocator::ETicks::Timer, false);
    EXPECT_FALSE(relocator->IsTimerRunning());
    const std::string original = Bytes(2000000);
    test::WriteFile(from / "t.bin", original);
    relocator->Relocate(Request("t.bin", to / "t.bin", download.Get()));
    for (int i = 0; i < 6000 && recorder->Ended().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        recorder->Sync();
    }
    ASSERT_EQ(recorder->Ended().size(), 1u);
    EXPECT_EQ(recorder->Reports().size(), 6u);  // five blocks and the end
    EXPECT_TRUE(test::ReadFile(to / "t.bin") == original);
    relocator->Tick();  // after the step that ended the queue
    EXPECT_FALSE(relocator->IsTimerRunning());
}

}  // namespace
}  // namespace plover
