// Stored site logins: matching, the login applied to a new download, and the store round trip.
#include "download/site_prop.h"

#include <gtest/gtest.h>

#include "app/reg_key.h"
#include "app/reg_store.h"

namespace plover {
namespace {

TEST(SiteProp, MatchingTable) {
    struct Case {
        const char* site;
        const char* x;
        bool match;
    } cases[] = {
        {"example.com", "example.com", true},
        {"EXAMPLE.com", "example.COM", true},
        {"example.com", "http://example.com/a/b.jpg", true},       // the address's server is the site
        {"example.com", "http://user@example.com:8080/x", true},
        {"http://example.com/gallery/", "example.com", true},     // the site's server is the host
        {"http://example.com/gallery/", "http://example.com/other.jpg", true},
        {"http://example.com/", "http://www.example.com/", false},
        {"example.com", "http://other.com/example.com", false},
        {"example.com", "", false},
        {"example.com", "example.org", false},
    };
    for (auto& c : cases) EXPECT_EQ(SiteMatches(SSiteProp{c.site, {}}, c.x), c.match) << c.site << " ~ " << c.x;
    EXPECT_FALSE(SiteMatches(SSiteProp{"example.com", {}}, nullptr));
}

TEST(SiteProp, ApplyLoginToANewConfiguration) {
    ClearSites();
    AddSite({"http://first.org/", {1, "ann", "pw1"}});
    AddSite({"first.org", {1, "bob", "pw2"}});
    SDownloadConfig c;
    c.Server = "first.org";
    ApplySiteLogin(c);
    EXPECT_EQ(c.Login, (SLogin{1, "ann", "pw1"}));  // the first match in array order
    c.Server = "nowhere.net";
    c.Login = {1, "old", "old"};
    ApplySiteLogin(c);
    EXPECT_EQ(c.Login, SLogin{});
    ClearSites();
}

TEST(SiteProp, SetReplacesByNameAndRemoveWorks) {
    ClearSites();
    SetSite({"Host.org", {1, "a", "1"}});
    SetSite({"host.ORG", {1, "b", "2"}});
    ASSERT_EQ(GetSiteCount(), 1);
    EXPECT_EQ(GetSite(0)->login.Username, "b");
    EXPECT_EQ(FindSiteByName("HOST.org"), 0);
    EXPECT_TRUE(RemoveSite(0));
    EXPECT_FALSE(RemoveSite(0));
    EXPECT_EQ(GetSite(0), nullptr);
}

TEST(SiteProp, StoreRoundTripWithEncodedPasswords) {
    CRegStore store;
    CBRRegKey main;
    ASSERT_TRUE(main.OpenForWrite(store.Root(), kPloverKey));
    ClearSites();
    AddSite({"a.org", {1, "ann", "abc"}});
    AddSite({"http://b.org/x/", {0, "", ""}});
    ASSERT_TRUE(SaveSites(main));
    std::string stored;
    CBRRegKey login;
    ASSERT_TRUE(login.OpenForRead(main, "Sites\\a.org\\Login"));
    ASSERT_TRUE(login.ReadString("Password", stored));
    EXPECT_EQ(stored, "X9e9d9c");

    ClearSites();
    AddSite({"stale.org", {}});
    ASSERT_TRUE(LoadSites(main));
    ASSERT_EQ(GetSiteCount(), 2);
    EXPECT_EQ(GetSite(0)->site, "a.org");
    EXPECT_EQ(GetSite(0)->login, (SLogin{1, "ann", "abc"}));
    EXPECT_EQ(GetSite(1)->site, "http://b.org/x/");

    // A save writes the whole key again: a removed site disappears.
    RemoveSite(0);
    ASSERT_TRUE(SaveSites(main));
    ClearSites();
    ASSERT_TRUE(LoadSites(main));
    ASSERT_EQ(GetSiteCount(), 1);
    EXPECT_EQ(GetSite(0)->site, "http://b.org/x/");
    ClearSites();
}

TEST(SiteProp, TheHostOfWhatTheUserGives) {
    struct Row {
        const char* given;
        const char* host;
    } rows[] = {
        {"example.com", "example.com"},
        {"localhost:8080", "localhost"},
        {"user@files.example:21/pub/", "files.example"},
        {"http://user:pw@Example.com:8080/gallery/?x=1", "Example.com"},
        {"ftp://ftp.example/pub", "ftp.example"},
        {"http:///nothing", ""},
        {":8080", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(SiteHostOf(r.given), r.host) << r.given;
}

TEST(SiteProp, StorableNames) {
    EXPECT_TRUE(IsStorableSiteName("http://a.org/x/"));
    EXPECT_FALSE(IsStorableSiteName(""));
    EXPECT_FALSE(IsStorableSiteName("a\\b"));
    EXPECT_FALSE(IsStorableSiteName("a\nb"));
}

}  // namespace
}  // namespace plover
