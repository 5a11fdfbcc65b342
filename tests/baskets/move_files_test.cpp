// The job that moves files into a folder: progress messages, conflict answers (and that "All"
// answers are remembered), a target that cannot be deleted, files already in place, and the
// history following every moved file.
#include "baskets/move_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

class ScriptedConflict final : public IMoveConflict {
public:
    std::vector<EConflictAnswer> answers;
    std::vector<std::string> asked, cantDelete;
    EConflictAnswer TargetExists(const std::string&, const std::string& target) override {
        asked.push_back(fs::path(target).filename().string());
        EConflictAnswer a = answers.empty() ? EConflictAnswer::Skip : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        return a;
    }
    void CantDelete(const std::string& path) override { cantDelete.push_back(CantDeleteFileMessage(path)); }
};

class MoveFilesTest : public ::testing::Test {
protected:
    std::string Src(const std::string& name, const std::string& bytes) {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src" / name, bytes);
        return (dir / "src" / name).string();
    }
    std::string Dst(const std::string& name, const std::string& bytes) {
        fs::create_directories(dir / "dst");
        WriteFile(dir / "dst" / name, bytes);
        return (dir / "dst" / name).string();
    }
    SMoveReport Run(std::vector<std::string> files) {
        fs::create_directories(dir / "dst");
        job.files = std::move(files);
        job.targetFolder = (dir / "dst").string();
        job.window = &window;
        job.conflict = &conflict;
        job.db = &db;
        SMoveReport r = RunMoveJob(job);
        while (auto m = window.GetMessage(0)) {
            messages.push_back(m->msg);
            FreeMoveNotice(m->msg, m->wp, m->lp);
        }
        return r;
    }

    TempDir dir;
    CMessageQueueWindow window;
    ScriptedConflict conflict;
    CDownloadDB db;
    SMoveJob job;
    std::vector<uint32_t> messages;
};

TEST_F(MoveFilesTest, ConflictAnswersAndAllAnswersRemembered) {
    std::string a = Src("a.jpg", "new a"), b = Src("b.jpg", "new b"), c = Src("c.jpg", "new c"),
                d = Src("d.jpg", "new d");
    Dst("a.jpg", "old a");
    Dst("b.jpg", "old b");
    Dst("c.jpg", "old c");
    db.Record("http://h/a.jpg", a);
    conflict.answers = {EConflictAnswer::Skip, EConflictAnswer::OverwriteAll};
    SMoveReport r = Run({a, b, c, d});
    ASSERT_TRUE(r.ran);
    EXPECT_EQ(conflict.asked, (std::vector<std::string>{"a.jpg", "b.jpg"}));  // c is overwritten without asking
    EXPECT_EQ(ReadFile(dir / "dst/a.jpg"), "old a");
    EXPECT_EQ(ReadFile(dir / "dst/b.jpg"), "new b");
    EXPECT_EQ(ReadFile(dir / "dst/c.jpg"), "new c");
    EXPECT_EQ(ReadFile(dir / "dst/d.jpg"), "new d");
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(fs::exists(d));
    EXPECT_EQ(r.moved.size(), 3u);
    EXPECT_EQ(r.skipped, std::vector<std::string>{a});
    // Count, sizes, total, one step per file, the end.
    EXPECT_EQ(messages.front(), WM_PV_MOVE_RANGE);
    EXPECT_EQ(messages.back(), WM_PV_MOVE_DONE);

    // Skip All: nothing more is asked.
    std::string e = Src("e.jpg", "e"), f = Src("f.jpg", "f");
    Dst("e.jpg", "old e");
    Dst("f.jpg", "old f");
    conflict.asked.clear();
    conflict.answers = {EConflictAnswer::SkipAll};
    r = Run({e, f});
    EXPECT_EQ(conflict.asked, std::vector<std::string>{"e.jpg"});
    EXPECT_EQ(r.skipped.size(), 2u);
}

TEST_F(MoveFilesTest, TheHistoryFollowsMovedFilesAndFilesInPlaceAreSkipped) {
    std::string a = Src("a.jpg", "a");
    std::string inPlace = Dst("z.jpg", "z");
    db.Record("http://h/a.jpg", a);
    db.Record("http://h/z.jpg", inPlace);
    SMoveReport r = Run({a, inPlace});
    EXPECT_EQ(db.Lookup("http://h/a.jpg"), (dir / "dst/a.jpg").string());
    EXPECT_EQ(db.Lookup("http://h/z.jpg"), inPlace);
    EXPECT_EQ(r.skipped, std::vector<std::string>{inPlace});
    EXPECT_TRUE(conflict.asked.empty());
}

TEST_F(MoveFilesTest, ATargetThatCannotBeDeletedSkipsTheFile) {
    std::string a = Src("a.jpg", "a");
    fs::create_directories(dir / "dst/a.jpg/inside");  // a folder with contents cannot be unlinked
    conflict.answers = {EConflictAnswer::Overwrite};
    SMoveReport r = Run({a});
    EXPECT_EQ(conflict.cantDelete, std::vector<std::string>{"Can't delete file " + (dir / "dst/a.jpg").string() + "."});
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(r.skipped, std::vector<std::string>{a});
}

TEST_F(MoveFilesTest, NothingRunsWithoutAListOrAWindow) {
    job.window = &window;
    EXPECT_FALSE(RunMoveJob(job).ran);
    job.files = {"/x"};
    job.window = nullptr;
    EXPECT_FALSE(RunMoveJob(job).ran);
}

}  // namespace
}  // namespace plover
