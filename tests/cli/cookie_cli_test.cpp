// Cookies as a user meets them: a file that nginx serves only to a visitor with the right cookie,
// fetched with a browser's cookies.txt (--cookies), and a cookie a server sets kept for the next
// run (--save-cookies).
#include <gtest/gtest.h>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

NginxOptions CookieLocations() {
    NginxOptions options;
    options.extraLocations =
        "    location /members/ { if ($cookie_session != \"opensesame\") { return 403; } }\n"
        "    location /login/ { add_header Set-Cookie \"session=opensesame; Max-Age=3600; Path=/\"; }\n";
    return options;
}

class CookieCliTest : public ::testing::Test {
protected:
    SRunResult Get(std::vector<std::string> args) {
        args.insert(args.begin(), {"get", "--folder", out.Str()});
        return RunPlover(home.Str(), args);
    }

    void SetUp() override {
        std::filesystem::create_directories(web.Root() / "members");
        std::filesystem::create_directories(web.Root() / "login");
    }

    TempDir home, out, files;
    NginxServer web{CookieLocations()};
};

TEST_F(CookieCliTest, ProtectedFileNeedsTheCookieOfTheFile) {
    WriteFile(web.Root() / "members" / "a.bin", PatternBytes(5000, 1));
    std::string url = web.Url("/members/a.bin");

    SRunResult refused = Get({url});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE((refused.out + refused.err).find("Forbidden"), std::string::npos) << refused.out << refused.err;

    std::string cookies = (files / "cookies.txt").string();
    WriteFile(cookies, "# Netscape HTTP Cookie File\n"
                       "127.0.0.1\tFALSE\t/members\tFALSE\t0\tsession\topensesame\n"
                       "other.example\tTRUE\t/\tFALSE\t0\tsession\tnot-for-this-server\n");
    SRunResult r = Get({"--cookies", cookies, url});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(out.Str() + "/a.bin"), Sha256Of((web.Root() / "members" / "a.bin").string()));

    SRunResult missing = Get({"--cookies", (files / "none.txt").string(), url});
    EXPECT_EQ(missing.exitCode, 2) << missing.out << missing.err;
}

TEST_F(CookieCliTest, CookieSetByAServerIsSavedForTheNextRun) {
    WriteFile(web.Root() / "login" / "welcome.txt", "hello");
    WriteFile(web.Root() / "members" / "b.bin", PatternBytes(3000, 2));
    std::string cookies = (files / "cookies.txt").string();
    WriteFile(cookies, "");

    SRunResult login = Get({"--cookies", cookies, "--save-cookies", web.Url("/login/welcome.txt")});
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    EXPECT_NE(ReadFile(cookies).find("opensesame"), std::string::npos) << ReadFile(cookies);

    SRunResult r = Get({"--cookies", cookies, web.Url("/members/b.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(out.Str() + "/b.bin"), Sha256Of((web.Root() / "members" / "b.bin").string()));
}

}  // namespace
}  // namespace plover::test
