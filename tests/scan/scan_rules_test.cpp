// The scanner's rules as tables: the picture, page-digit and host tests, the one-thumbnail skip,
// what an anchor becomes under each profile, the image rule, and the queue's limit.
#include <gtest/gtest.h>

#include "scan/scan_rules.h"
#include "scanner_fixture.h"

namespace plover {
namespace {

using test::Profile;

TEST(ScanRules, PictureTest) {
    struct { const char* url; bool picture; } cases[] = {
        {"http://h/a.jpg", true},   {"http://h/a.JPEG", true}, {"http://h/a.tif", true},  {"http://h/a.tiff", true},
        {"http://h/a.png", true},   {"http://h/a.pcx", true},  {"http://h/a.Bmp", true},  {"http://h/a.gif", false},
        {"http://h/a.jpg?x=1", false}, {"http://h/a.html", false}, {"http://h/jpg", false}, {"", false},
        {"http://h/a.jpgx", false},
        {"http://h/a.webp", true},  {"http://h/a.WebP", true}, {"http://h/a.avif", true}, {"http://h/a.AVIF", true},
        {"http://h/a.webpx", false}, {"http://h/webp", false}, {"http://h/a.avif?w=2", false},
    };
    for (auto& c : cases) EXPECT_EQ(IsPictureUrl(c.url), c.picture) << c.url;
}

TEST(ScanRules, DigitTestLooksPastTheServer) {
    struct { const char* url; bool digit; } cases[] = {
        {"http://h/g/page2.html", true},
        {"http://h/g/gallery.html", false},
        {"http://127.0.0.1:8080/g/gallery.html", false},  // a numeric host and a port are not a page number
        {"http://www.site4u.com/gallery.html", false},
        {"http://h/2009/gallery.html", true},
        {"http://h?page=2", true},
        {"http://h", false},
        {"page7.htm", true},
    };
    for (auto& c : cases) EXPECT_EQ(HasDigit(c.url), c.digit) << c.url;
}

TEST(ScanRules, HostFilePartAndKeys) {
    EXPECT_EQ(UrlHost("http://Example.com:81/a/b.html"), "Example.com");
    EXPECT_EQ(UrlHost("http://user:pw@h/x"), "h");
    EXPECT_EQ(UrlHost("mailto:me@h"), "");
    EXPECT_EQ(UrlFilePart("http://h/g/big/p1.jpg"), "p1.jpg");
    EXPECT_EQ(UrlFilePart("p1.jpg"), "p1.jpg");
    EXPECT_TRUE(SameUrlNoCase("http://H/A.jpg", "http://h/a.JPG"));
    EXPECT_FALSE(SameUrlNoCase("http://h/a.jpg", "http://h/a.jp"));
    EXPECT_EQ(UrlKey("HTTP://H/Page2.HTML"), "http://h/page2.html");
    EXPECT_TRUE(IsFetchableUrl("http://h/a.html"));
    EXPECT_TRUE(IsFetchableUrl("ftp://h/a.html"));
    EXPECT_FALSE(IsFetchableUrl("mailto:me@h.com"));
    EXPECT_FALSE(IsFetchableUrl("javascript:go(2)"));
}

// A new thumbnail is one whatever the facts the scanner then leaves unlooked-up say.
TEST(ScanRules, ANewThumbnailIsDecidedByItsAddressesAlone) {
    SScanProfile profile = Profile(true, true, true, true);
    for (int other = 0; other < 16; ++other) {
        SAnchorFacts f;
        f.imageLink = true;
        f.link = "http://h/big/p1.jpg";
        f.picture = "http://h/small/p1.jpg";
        f.visited = other & 1;
        f.linkSeen = other & 2;
        f.onStartSite = other & 4;
        f.fetchable = other & 8;
        ASSERT_TRUE(IsNewThumbnail(f));
        EXPECT_EQ(DecideAnchor(profile, f).outcome, EAnchorOutcome::Thumbnail) << other;
    }
    SAnchorFacts seen;
    seen.imageLink = true;
    seen.link = "http://h/big/p1.jpg";
    seen.picture = "http://h/small/p1.jpg";
    seen.pictureSeen = true;
    EXPECT_FALSE(IsNewThumbnail(seen));
    seen.pictureSeen = false;
    seen.link = "http://h/photo1.html";
    EXPECT_FALSE(IsNewThumbnail(seen));
}

// One look at a link agrees with the two separate rules it stands for.
TEST(ScanRules, PlaceOfLinkAgreesWithHostAndFetchable) {
    const char* links[] = {"http://Example.com:81/a/b.html", "https://example.com/x", "ftp://user:pw@example.com/f",
                           "http://other.org/p2.html",       "mailto:me@example.com", "javascript:go(2)",
                           "gopher://example.com/1",         "http://[::1]:8/x",      ""};
    for (const char* start : {"example.com", "EXAMPLE.COM", "[::1]", ""}) {
        for (const char* link : links) {
            SLinkPlace place = PlaceOfLink(link, start);
            EXPECT_EQ(place.fetchable, IsFetchableUrl(link)) << link;
            EXPECT_EQ(place.onStartSite, SameUrlNoCase(UrlHost(link), start)) << link << " from " << start;
        }
    }
}

TEST(ScanRules, OneThumbnailFromEachSkipsLaterThumbnailLinksOnlyWhenRecursing) {
    SScanProfile oneEach = Profile(true, true, false, true, true);
    SScanProfile noRecurse = Profile(true, true, false, false, true);
    SScanProfile allOfThem = Profile(true, true, false, true, false);
    EXPECT_FALSE(SkipsThumbnailLink(oneEach, true, true));
    EXPECT_TRUE(SkipsThumbnailLink(oneEach, true, false));
    EXPECT_FALSE(SkipsThumbnailLink(oneEach, false, false));  // not a picture link: always classified
    EXPECT_FALSE(SkipsThumbnailLink(noRecurse, true, false));
    EXPECT_FALSE(SkipsThumbnailLink(allOfThem, true, false));
}

SAnchorFacts Facts(bool imageLink, std::string_view link, std::string_view picture = "", int32_t depth = 0,
                   bool pictureSeen = false, bool visited = false, bool linkSeen = false, bool onStartSite = true,
                   bool fetchable = true) {
    SAnchorFacts f;
    f.imageLink = imageLink;
    f.link = link;
    f.picture = picture;
    f.depth = depth;
    f.pictureSeen = pictureSeen;
    f.visited = visited;
    f.linkSeen = linkSeen;
    f.onStartSite = onStartSite;
    f.fetchable = fetchable;
    return f;
}

TEST(ScanRules, AnchorDecisions) {
    using O = EAnchorOutcome;
    SScanProfile single = Profile(true, true, true, false);
    SScanProfile recurse = Profile(true, true, true, true, false, false, 1);
    SScanProfile onlySite = Profile(true, true, true, true, false, true);
    SScanProfile noThumbs = Profile(false, true, false, true);
    struct SCase {
        const char* name;
        SScanProfile profile;
        SAnchorFacts facts;
        SAnchorDecision want;
    } cases[] = {
        {"thumbnail", single, Facts(true, "http://h/big/p1.jpg", "http://h/s/p1.jpg"), {O::Thumbnail, true}},
        {"thumbnail not collected", noThumbs, Facts(true, "http://h/big/p1.jpg", "http://h/s/p1.jpg"), {O::Thumbnail, false}},
        {"gif thumbnail is a link", single, Facts(true, "http://h/big/p1.gif", "http://h/s/p1.gif"), {O::PageLink, true}},
        {"small picture seen: a link", single, Facts(true, "http://h/big/p1.jpg", "http://h/s/p1.jpg", 0, true), {O::PageLink, true}},
        {"image link to a page is a link, never queued", recurse, Facts(true, "http://h/page2.html", "http://h/s/p.jpg"), {O::PageLink, true}},
        {"numbered page queued", recurse, Facts(false, "http://h/page2.html"), {O::QueuePage, false}},
        {"below the depth limit: a link", recurse, Facts(false, "http://h/page2.html", "", 1), {O::PageLink, true}},
        {"no digit: a link", recurse, Facts(false, "http://h/gallery.html"), {O::PageLink, true}},
        {"not a page: a link", recurse, Facts(false, "http://h/file2.zip"), {O::PageLink, true}},
        {"visited: a link", recurse, Facts(false, "http://h/page2.html", "", 0, false, true), {O::PageLink, true}},
        {"link seen before: not reported", recurse, Facts(false, "http://h/page2.html", "", 0, false, true, true), {O::PageLink, false}},
        {"off site, first sight", onlySite, Facts(false, "http://other/p2.html", "", 0, false, false, false, false), {O::OffSite, false}},
        {"off site, second sight", onlySite, Facts(false, "http://other/p2.html", "", 0, false, true, false, false), {O::PageLink, true}},
        {"off site allowed without only-this-site", recurse, Facts(false, "http://other/p2.html", "", 0, false, false, false, false), {O::QueuePage, false}},
        {"not fetchable: a link", recurse, Facts(false, "javascript:go(2)", "", 0, false, false, false, false, false), {O::PageLink, true}},
        {"no recursion: a link", single, Facts(false, "http://h/page2.html"), {O::PageLink, true}},
        {"links not collected", noThumbs, Facts(false, "http://h/gallery.html"), {O::PageLink, false}},
    };
    for (auto& c : cases) {
        SAnchorDecision got = DecideAnchor(c.profile, c.facts);
        EXPECT_EQ(int(got.outcome), int(c.want.outcome)) << c.name;
        EXPECT_EQ(got.report, c.want.report) << c.name;
    }
}

TEST(ScanRules, PicturePageDecisions) {
    using O = EAnchorOutcome;
    SScanProfile single = Profile(true, true, true, false);
    SScanProfile onlySite = Profile(true, true, true, true, false, true, 1);
    auto follow = [](SAnchorFacts f, bool onPicturePage = false) {
        f.followPicturePages = true;
        f.onPicturePage = onPicturePage;
        return f;
    };
    struct SCase {
        const char* name;
        SScanProfile profile;
        SAnchorFacts facts;
        SAnchorDecision want;
    } cases[] = {
        {"photo page followed", single, follow(Facts(true, "http://h/photo1.html", "http://h/s/p1.jpg")), {O::PicturePage, false}},
        {"below the depth limit still followed", onlySite, follow(Facts(true, "http://h/photo.php", "http://h/s/p.jpg", 3)), {O::PicturePage, false}},
        {"not followed unless asked", single, Facts(true, "http://h/photo1.html", "http://h/s/p1.jpg"), {O::PageLink, true}},
        {"a picture of another format is no page", single, follow(Facts(true, "http://h/big.gif", "http://h/s/p.jpg")), {O::PageLink, true}},
        {"a real thumbnail stays one", single, follow(Facts(true, "http://h/big.jpg", "http://h/s/p.jpg")), {O::Thumbnail, true}},
        {"visited: a link", single, follow(Facts(true, "http://h/photo1.html", "http://h/s/p1.jpg", 0, false, true)), {O::PageLink, true}},
        {"off site refused", onlySite, follow(Facts(true, "http://o/photo1.html", "http://o/s/p.jpg", 0, false, false, false, false)), {O::PageLink, true}},
        {"not from a picture page", single, follow(Facts(true, "http://h/photo2.html", "http://h/s/p2.jpg"), true), {O::PageLink, true}},
        {"a picture page queues no numbered page", onlySite, follow(Facts(false, "http://h/page2.html"), true), {O::PageLink, true}},
    };
    for (auto& c : cases) {
        SAnchorDecision got = DecideAnchor(c.profile, c.facts);
        EXPECT_EQ(int(got.outcome), int(c.want.outcome)) << c.name;
        EXPECT_EQ(got.report, c.want.report) << c.name;
    }
}

TEST(ScanRules, OtherPictureFormats) {
    struct { const char* url; const char* format; } cases[] = {
        {"http://h/a.gif", "GIF"}, {"http://h/a.GIF?x=1", "GIF"}, {"http://h/logo.svg#top", "SVG"},
        {"http://h/a.jpg", ""},    {"http://h/a.html", ""},       {"http://h/gif", ""},
        {"http://h.gif/page", ""}, {"", ""},
    };
    for (auto& c : cases) EXPECT_EQ(OtherPictureFormat(c.url), c.format) << c.url;
}

TEST(ScanRules, ImageRule) {
    SScanProfile large = Profile(true, true, false, false);
    SScanProfile none = Profile(true, false, false, false);
    EXPECT_TRUE(IsLargePicture(large, "http://h/a.jpg", false, false));
    EXPECT_FALSE(IsLargePicture(large, "http://h/a.gif", false, false));
    EXPECT_FALSE(IsLargePicture(large, "http://h/a.jpg", true, false));  // a thumbnail's picture
    EXPECT_FALSE(IsLargePicture(large, "http://h/a.jpg", false, true));  // reported already
    EXPECT_FALSE(IsLargePicture(none, "http://h/a.jpg", false, false));
}

TEST(ScanRules, QueueLimitAndEnd) {
    struct { int inFlight, queued, want; } cases[] = {
        {0, 6, 5}, {0, 3, 3}, {4, 6, 1}, {5, 6, 0}, {20, 6, 0}, {0, 0, 0},
    };
    for (auto& c : cases) EXPECT_EQ(PagesToRequest(c.inFlight, c.queued), c.want) << c.inFlight << " " << c.queued;
    EXPECT_TRUE(ScanHasEnded(0, 0, 0));
    EXPECT_FALSE(ScanHasEnded(1, 0, 0));
    EXPECT_FALSE(ScanHasEnded(0, 1, 0));
    EXPECT_FALSE(ScanHasEnded(0, 0, 1));
}

}  // namespace
}  // namespace plover
