// What a request carries besides its address: the User-Agent chosen by site and setting, the
// cookies of the site's line and of the run's jar, and Set-Cookie answers kept for the run.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "download/request_identity.h"
#include "download/site_prop.h"
#include "net/cookie_jar.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

class RequestIdentityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSites();
        RunCookieJar().Clear();
        // No default file is read: the run's (empty) file stands in for it.
        test::WriteFile(dir.Path() / "none.txt", "");
        ASSERT_TRUE(LoadRunCookieFile((dir.Path() / "none.txt").string(), nullptr));
    }
    void TearDown() override {
        ClearSites();
        RunCookieJar().Clear();
        GetSettings().csUserAgent.clear();
    }
    static SHttpRequest To(const char* server, const char* object, int32_t service = SERVICE_HTTP) {
        SHttpRequest r;
        r.server = server;
        r.object = object;
        r.service = service;
        AddIdentityHeaders(r);
        return r;
    }
    test::TempDir dir;
};

TEST_F(RequestIdentityTest, UserAgentBySiteThenSetting) {
    struct { const char* setting; const char* expected; } cases[] = {
        {"", kBrowserUserAgent}, {"classic", kClassicUserAgent}, {"Classic", kClassicUserAgent},
        {"MyAgent/2", "MyAgent/2"},
    };
    for (auto& c : cases) EXPECT_EQ(UserAgentOf(c.setting), c.expected) << c.setting;
    GetSettings().csUserAgent = "classic";
    EXPECT_EQ(To("a.org", "/x").userAgent, kClassicUserAgent);
    SSiteProp site;
    site.site = "a.org";
    site.userAgent = "SiteAgent/1";
    SetSiteRequestProps(site);
    EXPECT_EQ(To("a.org", "/x").userAgent, "SiteAgent/1");
    EXPECT_EQ(To("b.org", "/x").userAgent, kClassicUserAgent);
}

TEST_F(RequestIdentityTest, CookiesOfTheSiteLineAndTheJarAndAnswersKeptForTheRun) {
    SSiteProp site;
    site.site = "www.a.org";
    site.cookie = "line=1";
    SetSiteRequestProps(site);
    EXPECT_EQ(To("www.a.org", "/g/p.jpg").cookie, "line=1");
    EXPECT_EQ(GetSite(0)->login.Login, 0u) << "a site without a login sends none";

    SHttpResponse answer;
    answer.lines = {"HTTP/1.1 302 Found", "set-cookie: sid=abc; Path=/g", "Set-Cookie: wide=w; Domain=a.org; Path=/",
                    "Set-Cookie: evil=e; Domain=org", "Set-Cookie: other=o; Domain=b.org", "Set-Cookie2: old=1"};
    KeepAnswerCookies("www.a.org", "/g/index.html?x=1", SERVICE_HTTP, answer);
    EXPECT_EQ(To("www.a.org", "/g/p.jpg?size=2").cookie, "line=1; sid=abc; wide=w");
    EXPECT_EQ(To("img.a.org", "/g/p.jpg").cookie, "wide=w");
    EXPECT_EQ(To("www.a.org", "/other").cookie, "line=1; wide=w");
    EXPECT_EQ(To("b.org", "/").cookie, "");
    EXPECT_EQ(To("www.a.org", "/g/", SERVICE_FTP).cookie, "") << "no cookies for FTP through the proxy";

    std::string file = (dir.Path() / "saved.txt").string(), error;
    answer.lines = {"HTTP/1.1 200 OK", "Set-Cookie: keep=k; Max-Age=3600"};
    KeepAnswerCookies("www.a.org", "/", SERVICE_HTTP, answer);
    ASSERT_TRUE(SaveRunCookieFile(file, &error)) << error;
    RunCookieJar().Clear();
    ASSERT_TRUE(LoadRunCookieFile(file, &error)) << error;
    EXPECT_EQ(To("www.a.org", "/").cookie, "line=1; keep=k") << "only lasting cookies are written";
    EXPECT_FALSE(LoadRunCookieFile((dir.Path() / "missing.txt").string(), &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos);
}

}  // namespace
}  // namespace plover
