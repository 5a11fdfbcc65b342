// plover basket and plover install as a user meets them: the default baskets made by the
// installation run only once, the properties rules' messages as they stand, the delete
// confirmation, and a file moved into a basket staying known to the download history.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;

class BasketCliTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("PLOVER_BINARY_DIR", PLOVER_TEST_BINARY_DIR, 0); }
    SRunResult Run(const std::vector<std::string>& args) { return RunPlover(home.Str(), args); }
    TempDir home, files;
};

TEST_F(BasketCliTest, TheInstallationMakesTheSixBasketsOnce) {
    SRunResult first = Run({"--install"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    std::string parent = (home.Path() / "Plover Baskets").string();
    SRunResult list = Run({"basket", "list"});
    EXPECT_EQ(list.out, "Animals\t" + parent + "/Animals\nArt\t" + parent + "/Art\nCars\t" + parent +
                            "/Cars\nNature\t" + parent + "/Nature\nErotic\t" + parent + "/Erotic\nSpace\t" + parent +
                            "/Space\n");
    EXPECT_TRUE(fs::is_directory(parent + "/Erotic"));
    EXPECT_EQ(Run({"settings", "get", "csDefDownloadFolder"}).out, parent + "\n");

    SRunResult second = Run({"install", "--baskets-folder", files.Str()});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("Baskets exist already (6)"), std::string::npos) << second.out;
    EXPECT_EQ(Run({"basket", "list"}).out, list.out);
    EXPECT_FALSE(fs::exists(files.Path() / "Cars"));
}

TEST_F(BasketCliTest, PropertiesRulesAndTheDeleteConfirmation) {
    fs::create_directories(files.Path() / "cars/old");
    ASSERT_EQ(Run({"basket", "add", "Cars", (files.Path() / "cars").string()}).exitCode, 0);
    SRunResult missing = Run({"basket", "add", "New", (files.Path() / "missing").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "An invalid folder is specified: " + (files.Path() / "missing").string() + "\n");
    SRunResult inside = Run({"basket", "add", "Old", (files.Path() / "cars/old").string()});
    EXPECT_EQ(inside.exitCode, 1);
    EXPECT_EQ(inside.err, "Chosen folder overlapps with the folder of the 'Cars' basket.\nPlease choose another folder.\n");
    SRunResult empty = Run({"basket", "edit", "cars", "--name", ""});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "Basket name cannot be empty\n");

    SRunResult refused = Run({"basket", "remove", "Cars"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Do you really want to delete the selected basket?"), std::string::npos);
    ASSERT_EQ(Run({"basket", "remove", "Cars", "--yes"}).exitCode, 0);
    EXPECT_EQ(Run({"basket", "list"}).out, "");
    EXPECT_TRUE(fs::is_directory(files.Path() / "cars"));
}

TEST_F(BasketCliTest, AMovedFileStaysKnownToTheHistory) {
    NginxServer web;
    WriteFile(web.Root() / "p.jpg", PatternBytes(50000, 3));
    fs::create_directories(files.Path() / "one");
    fs::create_directories(files.Path() / "two");
    ASSERT_EQ(Run({"basket", "add", "One", (files.Path() / "one").string()}).exitCode, 0);
    ASSERT_EQ(Run({"basket", "add", "Two", (files.Path() / "two").string()}).exitCode, 0);
    SRunResult drop = Run({"basket", "drop", "One", web.Url("/p.jpg")});
    ASSERT_EQ(drop.exitCode, 0) << drop.out << drop.err;

    SRunResult move = Run({"basket", "move", (files.Path() / "one/p.jpg").string(), "--to", "Two"});
    ASSERT_EQ(move.exitCode, 0) << move.err;
    EXPECT_TRUE(fs::exists(files.Path() / "two/p.jpg"));
    // Dropped into Two again: known and in place, nothing is fetched.
    SRunResult again = Run({"basket", "drop", "two", web.Url("/p.jpg"), "--json"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("\"alreadyInBasket\":1"), std::string::npos) << again.out;
    // Dropped into One: the file is moved back, not fetched.
    SRunResult back = Run({"basket", "drop", "One", web.Url("/p.jpg"), "--json"});
    EXPECT_NE(back.out.find("\"moved\":1"), std::string::npos) << back.out;
    EXPECT_TRUE(fs::exists(files.Path() / "one/p.jpg"));
    EXPECT_EQ(Sha256Of((files.Path() / "one/p.jpg").string()), Sha256Of((web.Root() / "p.jpg").string()));
    size_t gets = 0;
    std::string log = web.AccessLog();
    for (size_t at = log.find("GET /p.jpg"); at != std::string::npos; at = log.find("GET /p.jpg", at + 1)) ++gets;
    EXPECT_EQ(gets, 1u);
}

}  // namespace
}  // namespace plover::test
