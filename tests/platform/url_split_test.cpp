#include <gtest/gtest.h>

#include "platform/url_split.h"

namespace plover {
namespace {

TEST(UrlSplit, Table) {
    struct SCase {
        const char* url;
        bool ok;
        uint32_t service;
        const char* scheme;
        const char* user;
        const char* password;
        const char* server;
        uint16_t port;
        const char* object;
    } cases[] = {
        {"http://example.com", true, kServiceHttp, "http", "", "", "example.com", 80, "/"},
        {"HTTP://Example.COM/A/b.jpg?x=1&y=2#top", true, kServiceHttp, "http", "", "", "Example.COM", 80,
         "/A/b.jpg?x=1&y=2"},
        {"ftp://ftp.example.com/pub/file.zip", true, kServiceFtp, "ftp", "", "", "ftp.example.com", 21,
         "/pub/file.zip"},
        {"ftp://joe:s3cr@t@host:2121/a%20b", true, kServiceFtp, "ftp", "joe", "s3cr@t", "host", 2121, "/a%20b"},
        {"http://joe@host/", true, kServiceHttp, "http", "joe", "", "host", 80, "/"},
        {"https://host:8443", true, kServiceHttps, "https", "", "", "host", 8443, "/"},
        {"http://host?q=1", true, kServiceHttp, "http", "", "", "host", 80, "/?q=1"},
        {"http://[::1]:8080/x", true, kServiceHttp, "http", "", "", "[::1]", 8080, "/x"},
        {"gopher+x://host/", true, kServiceUnknown, "gopher+x", "", "", "host", 0, "/"},
    };
    for (const auto& c : cases) {
        SUrlParts p;
        ASSERT_EQ(SplitUrl(c.url, p), c.ok) << c.url;
        EXPECT_EQ(p.service, c.service) << c.url;
        EXPECT_EQ(p.scheme, c.scheme) << c.url;
        EXPECT_EQ(p.user, c.user) << c.url;
        EXPECT_EQ(p.password, c.password) << c.url;
        EXPECT_EQ(p.server, c.server) << c.url;
        EXPECT_EQ(p.port, c.port) << c.url;
        EXPECT_EQ(p.object, c.object) << c.url;
    }
}

TEST(UrlSplit, RefusesWhatIsNoAbsoluteAddressWithAServer) {
    const char* bad[] = {"http://host:0/", "http://host:65536/", "http://host:8a/", "http://host:/", "http:///path", "http://user@/x", "www.example.com/x", "://host/", "1http://host/", "http://ho st/", "http://[::1/"};
    for (const char* url : bad) {
        SUrlParts p;
        p.server = "unchanged";
        EXPECT_FALSE(SplitUrl(url, p)) << url;
        EXPECT_EQ(p.server, "unchanged") << url;
    }
}

TEST(UrlSplit, PasswordAndPortPresenceAndFragment) {
    SUrlParts p;
    ASSERT_TRUE(SplitUrl("ftp://anon:@host:21/#frag", p));
    EXPECT_TRUE(p.hasPassword);
    EXPECT_TRUE(p.hasPort);
    EXPECT_EQ(p.fragment, "frag");
    ASSERT_TRUE(SplitUrl("ftp://anon@host/", p));
    EXPECT_FALSE(p.hasPassword);
    EXPECT_FALSE(p.hasPort);
}

}  // namespace
}  // namespace plover
