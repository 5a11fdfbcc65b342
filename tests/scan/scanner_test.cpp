// The page scanner over a fake page manager, run on the test's thread as its engine would run it:
// the cases of a gallery (thumbnails, .gif links, depth, numbered pages, one thumbnail from each,
// only this site, relative links, five pages in flight), the start page's notices, Stop, and
// hostile pages that must end by the profile's rules.
#include <gtest/gtest.h>

#include <random>

#include "app/settings.h"
#include "scan/scan_rules.h"
#include "scanner_fixture.h"

namespace plover {
namespace {

using test::CScanDriver;
using test::Profile;
using test::Failure;
using test::Redirected;
using test::SFakeAnswer;
using test::Unreadable;
using Strings = std::vector<std::string>;

SFakeAnswer Page(const std::string& body) {
    SFakeAnswer a;
    a.body = body;
    return a;
}

std::string Thumbs(int n, const std::string& prefix = "p") {
    std::string s;
    for (int i = 1; i <= n; ++i) {
        std::string name = prefix + std::to_string(i) + ".jpg";
        s += "<a href=\"big/" + name + "\"><img src=\"small/" + name + "\"></a>\n";
    }
    return s;
}

struct SCase {
    const char* name;
    SScanProfile profile;
    std::string start;
    std::map<std::string, SFakeAnswer> site;
    Strings elements;   // in delivery order
    Strings requested;  // every request, in order
};

TEST(Scanner, CasesOfAGallery) {
    const SScanProfile single = Profile(true, true, true, false);
    const SCase cases[] = {
        {"a thumbnail linking straight to its picture",
         single, "http://h/g/index.html",
         {{"http://h/g/index.html", Page("<a href=\"big/p1.jpg\"><img src=\"small/p1.jpg\"></a>")}},
         {"T http://h/g/big/p1.jpg thumb=http://h/g/small/p1.jpg text=p1.jpg on http://h/g/index.html"},
         {"http://h/g/index.html", "http://h/g/small/p1.jpg"}},
        {".gif files make a page link and no large picture",
         single, "http://h/g/index.html",
         {{"http://h/g/index.html", Page("<a href=\"big/p1.gif\"><img src=\"small/p1.gif\"></a>")}},
         {"L http://h/g/big/p1.gif on http://h/g/index.html"},
         {"http://h/g/index.html"}},
        {"depth 1: page2.html is scanned, its links are not followed",
         Profile(true, true, true, true, false, false, 1), "http://h/g/index.html",
         {{"http://h/g/index.html", Page("<a href=\"page2.html\">two</a>")},
          {"http://h/g/page2.html", Page("<a href=\"page3.html\">three</a><img src=\"x.png\">")}},
         {"L http://h/g/page3.html on http://h/g/page2.html", "P http://h/g/x.png on http://h/g/page2.html"},
         {"http://h/g/index.html", "http://h/g/page2.html"}},
        {"gallery.html (no digit) is never followed, only reported",
         Profile(true, true, true, true), "http://h/g/index.html",
         {{"http://h/g/index.html", Page("<a href=\"gallery.html\">all</a>")}},
         {"L http://h/g/gallery.html on http://h/g/index.html"},
         {"http://h/g/index.html"}},
        {"a queued page is a page link at its next sight, on any page",
         Profile(false, false, true, true), "http://h/index.html",
         {{"http://h/index.html", Page("<a href=\"page1.html\">1</a><a href=\"page2.html\">2</a>")},
          {"http://h/page1.html", Page("<a href=\"page2.html\">2</a><a href=\"index.html\">home</a>")},
          {"http://h/page2.html", Page("<a href=\"page1.html\">1</a>")}},
         {"L http://h/page2.html on http://h/page1.html", "L http://h/index.html on http://h/page1.html",
          "L http://h/page1.html on http://h/page2.html"},
         {"http://h/index.html", "http://h/page1.html", "http://h/page2.html"}},
        {"only this site: nothing at the first sight, a page link at the second",
         Profile(false, false, true, true, false, true), "http://h/index.html",
         {{"http://h/index.html", Page("<a href=\"http://other/p2.html\">x</a><a href=\"page1.html\">1</a>")},
          {"http://h/page1.html", Page("<a href=\"http://other/p2.html\">x</a>")}},
         {"L http://other/p2.html on http://h/page1.html"},
         {"http://h/index.html", "http://h/page1.html"}},
        {"/a/b3.htm and ../c4.htm",
         single, "http://h/x/y.html",
         {{"http://h/x/y.html", Page("<a href=\"/a/b3.htm\">b</a><a href=\"../c4.htm\">c</a>")}},
         {"L http://h/a/b3.htm on http://h/x/y.html", "L http://h/c4.htm on http://h/x/y.html"},
         {"http://h/x/y.html"}},
        {"a thumbnail's picture is never a large picture; a seen small picture makes a link",
         single, "http://h/g/index.html",
         {{"http://h/g/index.html",
           Page("<a href=\"big/p1.jpg\"><img src=\"small/p1.jpg\"></a><a href=\"big/q1.jpg\"><img "
                "src=\"small/p1.jpg\"></a><img src=\"small/p1.jpg\"><img src=\"big/p9.jpg\">")}},
         {"T http://h/g/big/p1.jpg thumb=http://h/g/small/p1.jpg text=p1.jpg on http://h/g/index.html",
          "L http://h/g/big/q1.jpg on http://h/g/index.html", "P http://h/g/big/p9.jpg on http://h/g/index.html"},
         {"http://h/g/index.html", "http://h/g/small/p1.jpg"}},
        {"a named anchor links nowhere; addresses compare ignoring case",
         single, "http://h/g/index.html",
         {{"http://h/g/index.html",
           Page("<a name=\"top\">top</a><a href=\"Next.html\">n</a><a href=\"next.HTML\">n</a>")}},
         {"L http://h/g/Next.html on http://h/g/index.html"},
         {"http://h/g/index.html"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CScanDriver d(c.profile, c.start);
        d.pageMgr.site = c.site;
        d.RunToEnd();
        EXPECT_EQ(d.elements, c.elements);
        EXPECT_EQ(d.pageMgr.RequestedUrls(), c.requested);
        EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
    }
}

TEST(Scanner, FollowedPicturePagesGiveTheirLargePictureOnly) {
    // An index of thumbnails that open photo pages; each photo page shows its picture, links to
    // the next photo page with a small picture and a numbered text link, and back to the index.
    std::string photo = "<img src=\"full/p%.jpg\"><a href=\"photo#.html\"><img src=\"small/p#.jpg\"></a>"
                        "<a href=\"page2.html\">more</a><a href=\"index.html\">up</a>";
    auto photoPage = [&](int n, int next) {
        std::string s = photo;
        s.replace(s.find('%'), 1, std::to_string(n));
        for (size_t at; (at = s.find('#')) != std::string::npos;) s.replace(at, 1, std::to_string(next));
        return Page(s);
    };
    const Strings followed = {"P http://h/g/full/p1.jpg on http://h/g/photo1.html",
                              "P http://h/g/full/p2.jpg on http://h/g/photo2.html"};
    struct {
        bool follow;
        SScanProfile profile;
        Strings pictures;
    } cases[] = {
        {true, Profile(true, true, false, false), followed},
        // A profile without large pictures still takes them from the pages it follows for them.
        {true, Profile(true, false, false, true, true), followed},
        {false, Profile(true, true, false, false),
         {"P http://h/g/small/p1.jpg on http://h/g/index.html", "P http://h/g/small/p2.jpg on http://h/g/index.html"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.follow);
        CScanDriver d(c.profile, "http://h/g/index.html", false, c.follow);
        d.pageMgr.site["http://h/g/index.html"] = Page(
            "<a href=\"photo1.html\"><img src=\"small/p1.jpg\"></a><a href=\"photo2.html\"><img src=\"small/p2.jpg\"></a>"
            "<a href=\"big.gif\"><img src=\"small/g.jpg\"></a>");
        d.pageMgr.site["http://h/g/photo1.html"] = photoPage(1, 2);
        d.pageMgr.site["http://h/g/photo2.html"] = photoPage(2, 1);
        d.RunToEnd();
        Strings pictures;
        for (auto& e : d.elements)
            if (e.rfind("P ", 0) == 0 && e.find("/g.jpg") == std::string::npos) pictures.push_back(e);
        EXPECT_EQ(pictures, c.pictures);
        // Photo pages are scanned one level deep only: nothing they link to is requested.
        Strings want = {"http://h/g/index.html"};
        if (c.follow) want = {"http://h/g/index.html", "http://h/g/photo1.html", "http://h/g/photo2.html"};
        EXPECT_EQ(d.pageMgr.RequestedUrls(), want);
        EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
    }
}

TEST(Scanner, OneThumbnailFromEachPageOnlyWhenRecursing) {
    struct { SScanProfile profile; size_t thumbnails; } cases[] = {
        {Profile(true, false, false, true, true), 1},
        {Profile(true, false, false, false, true), 10},
        {Profile(true, false, false, true, false), 10},
    };
    for (auto& c : cases) {
        CScanDriver d(c.profile, "http://h/g/index.html");
        d.pageMgr.site["http://h/g/index.html"] = Page(Thumbs(10));
        d.RunToEnd();
        ASSERT_EQ(d.elements.size(), c.thumbnails);
        EXPECT_EQ(d.elements[0], "T http://h/g/big/p1.jpg thumb=http://h/g/small/p1.jpg text=p1.jpg on http://h/g/index.html");
        EXPECT_EQ(d.pageMgr.requests.size(), 1 + c.thumbnails);
    }
}

TEST(Scanner, SmallPicturesAreRequestedWithThePageAsReferrerAndDelivered) {
    CScanDriver d(Profile(true, false, false, false), "http://h/g/index.html", true);
    d.pageMgr.site["http://h/g/index.html"] = Page(Thumbs(2));
    d.pageMgr.site["http://h/g/small/p1.jpg"] = Page("jpeg1");
    d.pageMgr.site["http://h/g/small/p2.jpg"] = Page("jpeg2");
    d.RunToEnd();
    ASSERT_EQ(d.pageMgr.requests.size(), 3u);
    EXPECT_EQ(d.pageMgr.requests[0].referrer, "");
    EXPECT_EQ(d.pageMgr.requests[1].referrer, "http://h/g/index.html");
    EXPECT_TRUE(d.pageMgr.requests[1].reload);  // the reload flag goes with every request
    EXPECT_EQ(d.fetched, (Strings{"http://h/g/small/p1.jpg", "http://h/g/small/p2.jpg"}));
    EXPECT_EQ(d.scanner->GetThumbnailCount(), 2);
    EXPECT_EQ(d.scanner->GetPagesScanned(), 1);
    EXPECT_EQ(d.scanner->GetRemainingCount(), 0);
}

TEST(Scanner, SixQueuedPagesFiveInFlight) {
    for (bool failOne : {false, true}) {
        SCOPED_TRACE(failOne ? "one fails" : "one finishes");
        CScanDriver d(Profile(false, false, false, true), "http://h/index.html");
        std::string links;
        for (int i = 1; i <= 6; ++i) links += "<a href=\"page" + std::to_string(i) + ".html\">x</a>";
        d.pageMgr.site["http://h/index.html"] = Page(links);
        for (int i = 1; i <= 6; ++i) d.pageMgr.site["http://h/page" + std::to_string(i) + ".html"] = Page("");
        if (failOne) d.pageMgr.site["http://h/page1.html"] = Failure("Not found");
        d.scanner->Start();
        ASSERT_TRUE(d.AnswerNext());  // the start page
        EXPECT_EQ(d.pageMgr.requests.size(), 6u);  // start + five
        EXPECT_EQ(d.scanner->GetRemainingCount(), 6);
        EXPECT_TRUE(d.scanner->IsBusy());
        ASSERT_TRUE(d.AnswerNext());
        EXPECT_EQ(d.pageMgr.requests.size(), 7u);
        EXPECT_EQ(d.pageMgr.requests.back().url, "http://h/page6.html");
        EXPECT_EQ(d.pageMgr.requests.back().referrer, "http://h/index.html");
        while (d.AnswerNext()) {
        }
        d.scanner->Tick();
        d.DrainWindow();
        EXPECT_EQ(d.scanner->GetPagesScanned(), failOne ? 6 : 7);
        EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
        EXPECT_EQ(d.Count(WM_SCAN_FAILED), 0);  // only the start page's failure is told
    }
}

TEST(Scanner, StartPageNotices) {
    {
        CScanDriver d(Profile(true, true, true, false), "http://h/a.html");
        d.pageMgr.site["http://h/a.html"] = Redirected("<title>My page</title>", "http://h/b/a.html");
        d.RunToEnd();
        EXPECT_EQ(d.notices, (std::vector<uint32_t>{1104, 1102, 1106}));
        EXPECT_EQ(d.scanner->GetStartURL(), "http://h/b/a.html");
        EXPECT_EQ(d.scanner->GetPageTitle(), "My page");
    }
    {
        CScanDriver d(Profile(true, true, true, false), "http://h/a.html");
        d.pageMgr.site["http://h/a.html"] = Page("<p>no title");
        d.RunToEnd();
        EXPECT_EQ(d.notices, (std::vector<uint32_t>{1102, 1106}));
        EXPECT_EQ(d.scanner->GetPageTitle(), "No Title");
        EXPECT_EQ(d.scanner->GetStartURL(), "http://h/a.html");
    }
    struct { const char* status; const char* text; } failures[] = {{"Not found", "Not found"}, {"", "Can't load document"}};
    for (auto& f : failures) {
        CScanDriver d(Profile(true, true, true, false), "http://h/a.html");
        d.pageMgr.site["http://h/a.html"] = Failure(f.status);
        d.RunToEnd();
        EXPECT_EQ(d.notices, (std::vector<uint32_t>{1103, 1106}));
        EXPECT_EQ(d.scanner->GetErrorText(), f.text);
        EXPECT_EQ(d.scanner->GetPagesScanned(), 0);
    }
    {
        // A start page whose file cannot be opened counts as scanned and yields nothing.
        CScanDriver d(Profile(true, true, true, false), "http://h/a.html");
        d.pageMgr.site["http://h/a.html"] = Unreadable();
        d.RunToEnd();
        EXPECT_EQ(d.notices, (std::vector<uint32_t>{1106}));
        EXPECT_EQ(d.scanner->GetPagesScanned(), 1);
    }
    {
        // No address at all: the start fails at once and the scan ends.
        CScanDriver d(Profile(true, true, true, false), "");
        d.RunToEnd();
        EXPECT_EQ(d.notices, (std::vector<uint32_t>{1103, 1106}));
        EXPECT_EQ(d.scanner->GetErrorText(), "Can't load document");
    }
}

TEST(Scanner, PagesPastTheSizeLimitFailUnparsedAndPicturesAreNotLimited) {
    GetSettings().iMaxPageSize = 1;
    const size_t limit = 1048576;
    auto padded = [](std::string page, size_t size) { return page + std::string(size - page.size(), ' '); };
    struct Case {
        const char* name;
        size_t startSize, page2Size;
        std::vector<uint32_t> notices;
        int pagesScanned;
        size_t elements;
    } cases[] = {
        {"both at the limit", limit, limit, {1102, 1106}, 2, 6},
        {"the start page one byte over", limit + 1, limit, {1103, 1106}, 0, 0},
        {"a page of the scan one byte over: dropped", limit, limit + 1, {1102, 1106}, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScanDriver d(Profile(true, true, false, true, false, false, 1), "http://h/index.html");
        d.pageMgr.site["http://h/index.html"] =
            Page(padded("<title>Big</title><a href=page2.html>2</a>" + Thumbs(1, "a"), c.startSize));
        d.pageMgr.site["http://h/page2.html"] = Page(padded(Thumbs(2, "b"), c.page2Size));
        // The small pictures are files, not pages: any size passes.
        d.pageMgr.generate = [&](const std::string&, test::SFakeAnswer& a) {
            a.body = std::string(limit + 1, 'x');
            return true;
        };
        d.RunToEnd();
        EXPECT_EQ(d.notices, c.notices);
        EXPECT_EQ(d.scanner->GetPagesScanned(), c.pagesScanned);
        EXPECT_EQ(d.elements.size() + d.fetched.size(), c.elements);
        if (c.notices.front() == 1103) {
            EXPECT_EQ(d.scanner->GetErrorText(),
                      "Page too large: more than 1 MiB (the limit is the setting iMaxPageSize)");
        }
    }
    GetSettings().iMaxPageSize = 32;
}

TEST(Scanner, ResultsWaitForTheTickUntilTheLastFileIsBackThenEndOnce) {
    CScanDriver d(Profile(true, true, true, false), "http://h/g/index.html");
    d.pageMgr.site["http://h/g/index.html"] = Page(Thumbs(1));
    d.pageMgr.site["http://h/g/small/p1.jpg"] = Page("jpeg");
    d.scanner->Tick();  // a tick before the start ends nothing
    d.scanner->Start();
    d.AnswerNext();  // the page: its thumbnail waits for the tick while its picture is fetched
    d.DrainWindow();
    EXPECT_TRUE(d.elements.empty());
    d.AnswerNext();  // the last file is back: everything is delivered at once, then the end
    d.DrainWindow();
    EXPECT_EQ(d.elements.size(), 1u);
    EXPECT_EQ(d.fetched.size(), 1u);
    EXPECT_EQ(d.notices.back(), 1106u);
    d.scanner->Tick();
    d.scanner->Tick();
    d.DrainWindow();
    EXPECT_EQ(d.elements.size(), 1u);
    EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
}

TEST(Scanner, StopCancelsFetchesAndDropsUndeliveredResults) {
    CScanDriver d(Profile(true, true, true, true), "http://h/g/index.html");
    d.pageMgr.site["http://h/g/index.html"] = Page(Thumbs(3) + "<a href=\"page2.html\">2</a>");
    d.scanner->Start();
    d.AnswerNext();
    std::vector<RefPtr<test::CFakeWebFile>> pending(d.pageMgr.pending.begin(), d.pageMgr.pending.end());
    ASSERT_EQ(pending.size(), 4u);
    d.scanner->Stop();
    for (auto& f : pending) EXPECT_TRUE(f->cancelled) << f->GetURL();
    EXPECT_FALSE(d.scanner->IsBusy());
    EXPECT_EQ(d.scanner->GetRemainingCount(), 0);
    // Late answers are not this scan's any more; nothing is requested or delivered.
    size_t requests = d.pageMgr.requests.size();
    EXPECT_FALSE(d.scanner->HandlePageComplete(pending[0].Get()));
    EXPECT_FALSE(d.scanner->HandlePageFailed(pending[1].Get()));
    EXPECT_FALSE(d.scanner->HandlePageWaiting(pending[2].Get()));
    d.scanner->Tick();
    d.DrainWindow();
    EXPECT_EQ(d.pageMgr.requests.size(), requests);
    EXPECT_TRUE(d.elements.empty());
    EXPECT_EQ(d.Count(WM_SCAN_ENDED), 0);
}

TEST(Scanner, AWebFileOfAnotherScanIsNotHandled) {
    CScanDriver d(Profile(true, true, true, false), "http://h/a.html");
    d.scanner->Start();
    auto stranger = RefPtr<test::CFakeWebFile>::Adopt(new test::CFakeWebFile("http://h/a.html", ""));
    EXPECT_FALSE(d.scanner->HandlePageComplete(stranger.Get()));
    EXPECT_FALSE(d.scanner->HandlePageFailed(stranger.Get()));
    EXPECT_FALSE(d.scanner->HandlePageWaiting(stranger.Get()));
    EXPECT_FALSE(d.scanner->HandlePageComplete(nullptr));
    EXPECT_TRUE(d.scanner->HandlePageWaiting(d.pageMgr.pending.front().Get()));
    EXPECT_TRUE(d.scanner->IsBusy());  // a waiting file stays in flight
}

// ---- hostile pages ----

TEST(ScannerHostile, SelfLinksAndCyclesScanEachPageOnce) {
    CScanDriver d(Profile(true, true, true, true, false, false, 50), "http://h/page1.html");
    d.pageMgr.site["http://h/page1.html"] =
        Page("<a href=\"page1.html\">me</a><a href=\"page2.html\">2</a><a href=\"HTTP://H/PAGE1.HTML\">me</a>");
    d.pageMgr.site["http://h/page2.html"] = Page("<a href=\"page1.html\">1</a><a href=\"page2.html\">2</a>");
    d.RunToEnd();
    EXPECT_EQ(d.pageMgr.RequestedUrls(), (Strings{"http://h/page1.html", "http://h/page2.html"}));
    EXPECT_EQ(d.scanner->GetPagesScanned(), 2);
    EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
    EXPECT_EQ(d.Count(WM_SCAN_TITLE), 1);
}

TEST(ScannerHostile, AnEndlessSiteEndsAtTheDepthLimit) {
    // Every page links to 20 new numbered pages and 20 new thumbnails.
    CScanDriver d(Profile(true, true, true, true, false, false, 2), "http://h/page0.html");
    d.pageMgr.generate = [](const std::string& url, SFakeAnswer& a) {
        if (IsPictureUrl(url)) return a.body = "jpeg", true;
        std::string id = url.substr(url.find("page") + 4);
        id = id.substr(0, id.find('.'));
        for (int i = 0; i < 20; ++i) {
            std::string n = id + "_" + std::to_string(i);
            a.body += "<a href=\"page" + n + ".html\">p</a><a href=\"b" + n + ".jpg\"><img src=\"s" + n + ".jpg\"></a>";
        }
        return true;
    };
    d.RunToEnd();
    EXPECT_EQ(d.scanner->GetPagesScanned(), 1 + 20 + 400);
    EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
    EXPECT_EQ(d.scanner->GetRemainingCount(), 0);
    EXPECT_EQ(d.scanner->GetThumbnailCount(), 20 * 421);
}

TEST(ScannerHostile, ThousandsOfLinksHugeAttributesDeepNestingAndBinaryNeverBreakTheScan) {
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "<a href=\"page" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
    std::string huge = "<a href=\"" + std::string(2'000'000, 'x') + "9.html\">h</a><img src=\"" +
                       std::string(1'000'000, 'y') + ".jpg\"><a href=\"q.jpg\"><img src=\"" + std::string(500'000, 'z') +
                       ".png\"></a>\n";
    std::string deep = "<a href=\"deep1.html\">";
    for (int i = 0; i < 200'000; ++i) deep += "<b>";
    deep += "caption</a>";
    std::string binary(1 << 20, '\0');
    std::mt19937 rng(7);
    for (char& c : binary) c = char(rng());
    struct { const char* name; std::string body; } pages[] = {
        {"thousands of links", many}, {"huge attributes", huge}, {"deep nesting", deep}, {"binary", binary},
    };
    for (auto& p : pages) {
        SCOPED_TRACE(p.name);
        CScanDriver d(Profile(true, true, true, true, false, false, 1), "http://h/start.html");
        d.pageMgr.site["http://h/start.html"] = Page(p.body);
        d.pageMgr.generate = [](const std::string&, SFakeAnswer& a) { return a.body = "<a href=page.html>x</a>", true; };
        d.RunToEnd();
        EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
        EXPECT_EQ(d.scanner->GetRemainingCount(), 0);
    }
}

TEST(ScannerHostile, TheDeepCaptionIsFoundDownTheChainOfFirstChildren) {
    std::string deep = "<a href=\"x.html\">";
    for (int i = 0; i < 100'000; ++i) deep += "<b>";
    deep += "caption</a>";
    CScanDriver d(Profile(false, false, true, false), "http://h/start.html");
    d.pageMgr.site["http://h/start.html"] = Page(deep);
    d.RunToEnd();
    EXPECT_EQ(d.captions, (Strings{"caption"}));
}

}  // namespace
}  // namespace plover
