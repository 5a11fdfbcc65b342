// The scanner on pages of today: lazy thumbnails with a placeholder in src, srcset and <picture>
// offering one picture in several sizes, and the profile's switch that turns this reading off.
#include <gtest/gtest.h>

#include "scanner_fixture.h"

namespace plover {
namespace {

using test::CScanDriver;
using test::Profile;
using Strings = std::vector<std::string>;

struct SCase {
    const char* name;
    bool responsive;
    std::string page;
    Strings elements;
    Strings requested;  // besides the page
};

TEST(ScannerPictures, LazyAndResponsivePictures) {
    const std::string on = " on http://h/g/index.html";
    const SCase cases[] = {
        {"a lazy thumbnail: the small picture is the real one, not the placeholder", true,
         "<a href=\"big/p1.jpg\"><img src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" "
         "data-src=\"small/p1.jpg\"></a>",
         {"T http://h/g/big/p1.jpg thumb=http://h/g/small/p1.jpg text=p1.jpg" + on},
         {"http://h/g/small/p1.jpg"}},
        {"a thumbnail inside <picture> keeps its link; the img is no large picture", true,
         "<a href=\"big/r.jpg\"><picture><source srcset=\"small/r.webp 1x, small/r2.webp 2x\">"
         "<img src=\"small/r.jpg\"></picture></a>",
         {"T http://h/g/big/r.jpg thumb=http://h/g/small/r.jpg text=r.jpg" + on},
         {"http://h/g/small/r.jpg"}},
        {"srcset: the widest once, its other sizes never separately", true,
         "<img src=\"p-300.jpg\" srcset=\"p-300.jpg 300w, p-1200.jpg 1200w, p-600.jpg 600w\" sizes=\"50vw\">"
         "<img src=\"p-600.jpg\"><img srcset=\"p-1200.jpg 2x\">",
         {"P http://h/g/p-1200.jpg" + on},
         {}},
        {"<picture>: the sources and the img together", true,
         "<picture><source type=\"image/avif\" srcset=\"q.avif 1x, q2.avif 2x\"><source srcset=\"q.webp\">"
         "<img src=\"q.jpg\" alt=\"q\"></picture><img src=\"other.png\">",
         {"P http://h/g/q2.avif" + on, "P http://h/g/other.png" + on},
         {}},
        {"lazy large pictures: data-src and data-srcset over a spacer", true,
         "<img src=\"/img/blank.gif\" data-src=\"lazy1.jpg\">"
         "<img src=\"/img/spacer.gif\" data-srcset=\"lz-400.jpg 400w, lz-800.jpg 800w\">",
         {"P http://h/g/lazy1.jpg" + on, "P http://h/g/lz-800.jpg" + on},
         {}},
        {"off: src as the profile always read it, no lazy pictures", false,
         "<a href=\"big/p1.jpg\"><img src=\"blank.gif\" data-src=\"small/p1.jpg\"></a>"
         "<img src=\"p-300.jpg\"><img srcset=\"a.jpg 2x\" src=\"s.jpg\">",
         {"L http://h/g/big/p1.jpg" + on, "P http://h/g/p-300.jpg" + on},
         {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SScanProfile profile = Profile(true, true, true, false);
        profile.bResponsivePictures = c.responsive;
        CScanDriver d(profile, "http://h/g/index.html");
        d.pageMgr.site["http://h/g/index.html"].body = c.page;
        d.RunToEnd();
        EXPECT_EQ(d.elements, c.elements);
        Strings requested = {"http://h/g/index.html"};
        requested.insert(requested.end(), c.requested.begin(), c.requested.end());
        EXPECT_EQ(d.pageMgr.RequestedUrls(), requested);
    }
}

TEST(ScannerPictures, EndlessPicturesAndSourcesStayBounded) {
    // A <picture> never closed, thousands of sources and candidates: the scan still ends and
    // reports each picture once.
    std::string page = "<picture>";
    for (int i = 0; i < 3000; ++i) page += "<source srcset=\"s" + std::to_string(i) + ".jpg " + std::to_string(i + 1) + "w\">";
    std::string srcset;
    for (int i = 0; i < 3000; ++i) srcset += "c" + std::to_string(i) + ".jpg " + std::to_string(i + 1) + "x,";
    page += "<img src=\"a.jpg\" srcset=\"" + srcset + "\">";
    CScanDriver d(Profile(true, true, true, false), "http://h/g/index.html");
    d.pageMgr.site["http://h/g/index.html"].body = page;
    d.RunToEnd();
    ASSERT_EQ(d.elements.size(), 1u);
    EXPECT_EQ(d.Count(WM_SCAN_ENDED), 1);
}

}  // namespace
}  // namespace plover
